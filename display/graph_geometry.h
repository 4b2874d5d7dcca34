// Where the spectrum graph lies in the client area, for the paint and for
// the pointer gestures on it. Qt-free.
#pragma once

namespace tolvek {

// Element i of a spectrum (and position bin i) is drawn in column
// graphLeft + i; 0 dB lies on row graphTop, -110 dB on row graphBottom.
// The pointer reacts on rows graphTop..graphBottom inclusive.
constexpr int graphLeft = 60, graphTop = 41, graphBottom = 261;

}  // namespace tolvek
