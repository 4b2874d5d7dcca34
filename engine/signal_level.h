// The signal level of the filtered spectrum in dB: the one formula behind the
// main window's read-out and S-meter, the chart recorder and the level logs.
#pragma once

#include "shared_values.h"

namespace tolvek {

constexpr float levelFloor = -110.0f;  // dB: S1, the left end of the meter, the lowest plotted level

// Level in dB from the power sum (sum of squared magnitudes) of the filtered
// spectrum: minus infinity for an all-zero spectrum, NaN if a bin was NaN.
float signalLevelFromPower(float powerSum);

// At least levelFloor, and levelFloor when there is no finite reading.
float flooredLevel(float level);

// The level of the filtered spectrum as the chart recorder and the level logs
// keep it: without the lower limit, but levelFloor when the spectrum gives no
// finite level (all zero, or a bin that is not finite).
float spectrumLevel(const SharedValues& shared);

}  // namespace tolvek
