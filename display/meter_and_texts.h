// The signal level with its read-out and S-meter, the other read-outs, the
// slider captions and the status texts.
#pragma once

#include <QString>

#include "gdi_surface.h"
#include "settings.h"
#include "shared_values.h"
#include "signal_level.h"

namespace tolvek::display {

// Cut-off and pointer frequencies along the top row.
void drawReadouts(GdiSurface& s, const ProcessingSettings& settings, float mouseBin);
void drawSliderCaptions(GdiSurface& s);
// "Sig = %d dB"; a level without a finite reading shows 0.
void drawSignalReadout(GdiSurface& s, float level);
// One pixel per dB from x 750 (-110 dB); red above S9 (-30 dB); no bar
// without a finite reading.
void drawSMeter(GdiSurface& s, float level);
// Overload, recording, the recorder's own status line, the CPU load and the
// count of dropouts, as their conditions hold.
void drawStatusTexts(GdiSurface& s, const ProcessingSettings& settings, const SharedValues& shared, bool overload,
                     const QString& recorderStatus);

}  // namespace tolvek::display
