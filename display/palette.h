// The colours of the main window, one name per role.
#pragma once

#include <QRgb>

namespace tolvek::palette {

constexpr QRgb black = qRgb(0, 0, 0);
constexpr QRgb readout = qRgb(0, 144, 144);    // cut-off and cursor read-outs
constexpr QRgb caption = qRgb(128, 192, 240);  // slider captions, notch labels
constexpr QRgb notchBand = qRgb(102, 0, 0);
constexpr QRgb scale = qRgb(128, 128, 128);  // scale texts, ticks, frames, CPU load, waterfall marker
constexpr QRgb grid = qRgb(96, 96, 96);
constexpr QRgb filteredTrace = qRgb(221, 221, 221);  // also the S-meter outlines
constexpr QRgb inputTrace = qRgb(102, 102, 0);
constexpr QRgb signal = qRgb(0, 176, 0);  // signal read-out, S-meter lower bar
constexpr QRgb meterBackground = qRgb(80, 80, 80);
constexpr QRgb meterUpperBar = qRgb(176, 0, 0);
constexpr QRgb meterLabels = qRgb(255, 255, 255);
constexpr QRgb cutoffLine = qRgb(0, 255, 0);
constexpr QRgb overload = qRgb(255, 0, 0);
constexpr QRgb recording = qRgb(0, 255, 255);  // also the recorder's own status line
constexpr QRgb levelTrace = qRgb(255, 255, 0);

}  // namespace tolvek::palette
