// The spectrum graph and the waterfall: the formulas that place and colour
// the spectrum, the one pass over the bins that feeds every element, and
// the elements themselves.
#pragma once

#include <QImage>
#include <QPoint>

#include <array>

#include "gdi_surface.h"
#include "graph_geometry.h"
#include "settings.h"
#include "shared_values.h"

namespace tolvek::display {

constexpr int tracePoints = 857;  // the traces stop at column 916

// Waterfall history on screen: waterfallWidth x waterfallHeight at (60, 305).
constexpr int waterfallWidth = 863, waterfallHeight = 180;
constexpr QPoint waterfallOrigin{60, 305};

// Graph row of a smoothed magnitude (1024 is 0 dB), 221/110 rows per dB,
// clamped to the graph. NaN and non-positive magnitudes lie on the bottom row.
int spectrumRow(float magnitude);

// Waterfall colour of a magnitude at a Brightness slider position 0..100:
// black through blue to white. Computed in floating point and clamped, so a
// huge magnitude is white and NaN is black.
QRgb waterfallColour(float magnitude, int brightness);

// Everything one read of the two spectra yields. Each bin is read once, so
// the trace, the colour and the power of a bin agree even while the audio
// thread writes the next block.
struct SpectrumPass {
    std::array<QPoint, spectrumSize> filteredTrace;
    std::array<QPoint, spectrumSize> inputTrace;
    std::array<QRgb, spectrumSize> waterfallRow;
    float powerSum = 0.0f;  // sum of the squared filtered magnitudes
};
void runSpectrumPass(const SharedValues& shared, int brightness, SpectrumPass& pass);

void drawNotchBands(GdiSurface& s, ProcessingSettings& settings);
void drawTraces(GdiSurface& s, const SpectrumPass& pass);
void drawCutoffLines(GdiSurface& s, const ProcessingSettings& settings);

// Writes the new row and the level trace segment from `previousLevel` to
// `level` (both at least -110 and finite) on the surface's top rows, then
// scrolls the history down by one row.
void addWaterfallRow(QImage& surface, const SpectrumPass& pass, float level, float previousLevel);
// Copies the visible history (surface rows 1..180) into the picture.
void showWaterfall(QImage& picture, const QImage& surface);

}  // namespace tolvek::display
