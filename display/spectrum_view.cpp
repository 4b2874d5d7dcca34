#include "spectrum_view.h"

#include <QString>

#include <algorithm>
#include <cmath>

#include "conversions.h"
#include "fonts.h"
#include "palette.h"

namespace tolvek::display {

int spectrumRow(float magnitude) {
    const float m = magnitude > 0.0f ? magnitude : 1e-9f;
    const float dB = static_cast<float>(20.0 * std::log10(static_cast<double>(m / 1024.0f)));
    const float rowsAboveBottom = (dB + 110.0f) * 2.0090909f;
    return std::clamp(graphBottom - truncPixel(rowsAboveBottom), graphTop, graphBottom);
}

QRgb waterfallColour(float magnitude, int brightness) {
    const float b = static_cast<float>(100 - brightness);
    // The product exceeds every integer type for a loud bin at high
    // brightness; clamp it while it is still a float.
    const float product = magnitude * b * b / 50.0f;
    const int q = static_cast<int>(truncClamped(product, 0, 255));
    return qRgb(q, q, std::min(2 * q, 255));
}

void runSpectrumPass(const SharedValues& shared, int brightness, SpectrumPass& pass) {
    pass.powerSum = 0.0f;
    for (int i = 0; i < spectrumSize; ++i) {
        const float m = get(shared.filteredSpectrum[i]);
        pass.powerSum += m * m;
        pass.filteredTrace[i] = QPoint(graphLeft + i, spectrumRow(m));
        pass.inputTrace[i] = QPoint(graphLeft + i, spectrumRow(get(shared.inputSpectrum[i])));
        pass.waterfallRow[i] = waterfallColour(m, brightness);
    }
}

void drawNotchBands(GdiSurface& s, ProcessingSettings& settings) {
    // Half-widths in columns, about the bins each notch removes.
    constexpr int halfWidth[4] = {3, 5, 10, 25};
    for (int n = 0; n < 4; ++n) {
        if (get(settings.notchOn(n)) != 1) continue;
        const int p = positionToBin(get(settings.notchFreq(n)));
        const int centre = graphLeft + p;
        s.rectangle(centre - halfWidth[n], graphTop, centre + halfWidth[n], graphBottom + 1, palette::notchBand,
                    palette::notchBand);
        s.text(QPoint(p + 52, 40), QStringLiteral("N%1").arg(n + 1), defaultFont(), palette::caption,
               TextAlign::leftTop);
    }
}

void drawTraces(GdiSurface& s, const SpectrumPass& pass) {
    s.polyline(pass.inputTrace.data(), tracePoints, Pen{palette::inputTrace});
    s.polyline(pass.filteredTrace.data(), tracePoints, Pen{palette::filteredTrace});
}

void drawCutoffLines(GdiSurface& s, const ProcessingSettings& settings) {
    for (float position : {get(settings.lowerCutoff), get(settings.upperCutoff)}) {
        const int x = graphLeft + positionToBin(position);
        s.line(QPoint(x, graphBottom), QPoint(x, graphTop), Pen{palette::cutoffLine});
    }
}

void addWaterfallRow(QImage& surface, const SpectrumPass& pass, float level, float previousLevel) {
    GdiSurface s(surface);
    for (int i = 0; i < spectrumSize; ++i) s.setPixel(i, 0, pass.waterfallRow[i]);
    // The level trace: x 720 is -110 dB, one column per dB.
    s.line(QPoint(truncPixel(previousLevel + 830.0f), 1), QPoint(truncPixel(level + 830.0f), 0),
           Pen{palette::levelTrace});
    s.line(QPoint(720, 1), QPoint(720, 200), Pen{palette::scale});
    copyPixels(surface, QPoint(0, 0), surface, QPoint(0, -1), QSize(waterfallWidth, waterfallHeight));
}

void showWaterfall(QImage& picture, const QImage& surface) {
    copyPixels(picture, waterfallOrigin, surface, QPoint(0, 1), QSize(waterfallWidth, waterfallHeight));
}

}  // namespace tolvek::display
