// The fixture of the window-level live tests: a running virtual sound device
// and a fresh folder made current for the recordings the window starts there,
// both undone when the test ends, however it ends.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "virtual_device.h"

namespace tolvek::test {

struct LiveDevice {
    VirtualDevice device;
    QTemporaryDir recordings;
    const QString oldDir = QDir::currentPath();
    const bool started;
    explicit LiveDevice(const DeviceOptions& options = {}) : started(device.start(options)) {
        if (started) QDir::setCurrent(recordings.path());
    }
    ~LiveDevice() { QDir::setCurrent(oldDir); }  // not copyable: its members are not
};

}  // namespace tolvek::test

// Skips the test when the device did not start, or fails it on CI.
#define REQUIRE_LIVE_DEVICE(live)                        \
    if ((live).started) {                                \
    } else if (tolvek::test::deviceRequired())           \
        QFAIL("the virtual sound device did not start"); \
    else                                                 \
        QSKIP("the virtual sound device did not start")
