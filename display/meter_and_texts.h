// The signal level with its read-out and S-meter, the other read-outs, the
// slider captions and the status texts.
#pragma once

#include <QString>

#include "gdi_surface.h"
#include "settings.h"
#include "shared_values.h"

namespace tolvek::display {

constexpr float levelFloor = -110.0f;  // dB: S1, the left end of the meter and of the level trace

// Signal level in dB from the power sum of the filtered spectrum: minus
// infinity for an all-zero spectrum, NaN if a bin was NaN.
float signalLevelFromPower(float powerSum);
// The level as the waterfall trace and the chart recorder keep it: at least
// levelFloor, and levelFloor when there is no finite reading.
float flooredLevel(float level);

// Cut-off and pointer frequencies along the top row.
void drawReadouts(GdiSurface& s, const ProcessingSettings& settings, float mouseBin);
void drawSliderCaptions(GdiSurface& s);
// "Sig = %d dB"; a level without a finite reading shows 0.
void drawSignalReadout(GdiSurface& s, float level);
// One pixel per dB from x 750 (-110 dB); red above S9 (-30 dB); no bar
// without a finite reading.
void drawSMeter(GdiSurface& s, float level);
// Overload (clears the flag it shows), recording, the recorder's own status
// line and the CPU load, as their conditions hold.
void drawStatusTexts(GdiSurface& s, const ProcessingSettings& settings, SharedValues& shared,
                     const QString& recorderStatus);

}  // namespace tolvek::display
