// The virtual sound device of scripts/virtual-audio for in-process tests.
// ALSA reads its configuration once per process, so a test executable uses
// one device at a time.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace tolvek {

inline const QString deviceScript = QFileInfo(__FILE__).dir().filePath("../../scripts/virtual-audio/device.sh");

// Starts the virtual sound device and takes over its environment; false
// when it cannot start here.
inline bool startDevice(const QTemporaryDir& dir, QStringList extra = {}, int rate = 22050) {
    QProcess device;
    device.start(deviceScript, QStringList{"start", dir.path(), QString::number(rate), "--owner",
                                           QString::number(QCoreApplication::applicationPid())} +
                                   extra);
    if (!device.waitForFinished(30000) || device.exitCode() != 0) return false;
    QFile env(dir.filePath("env"));
    if (!env.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : env.readAll().split('\n'))
        if (const int eq = line.indexOf('='); eq > 0) qputenv(line.left(eq), line.mid(eq + 1));
    return true;
}

// The device's sound server, the first process it started; 0 when unknown.
inline qint64 serverPid(const QTemporaryDir& dir) {
    QFile pids(dir.filePath("pids"));
    return pids.open(QIODevice::ReadOnly) ? pids.readLine().trimmed().toLongLong() : 0;
}

inline void stopDevice(const QTemporaryDir& dir) { QProcess::execute(deviceScript, {"stop", dir.path()}); }

// A running device, and a fresh folder made current for the recordings the
// window starts there; both undone when the test ends, however it ends.
struct LiveDevice {
    QTemporaryDir deviceDir, recordings;
    const QString oldDir = QDir::currentPath();
    const bool started;
    explicit LiveDevice(const QStringList& extra = {}, int rate = 22050)
        : started(startDevice(deviceDir, extra, rate)) {
        if (started) QDir::setCurrent(recordings.path());
    }
    ~LiveDevice() {
        QDir::setCurrent(oldDir);
        if (started) stopDevice(deviceDir);
    }
    LiveDevice(const LiveDevice&) = delete;
    LiveDevice& operator=(const LiveDevice&) = delete;
};

}  // namespace tolvek
