#include "main_window_paint.h"

#include <algorithm>

#include "fonts.h"
#include "gdi_surface.h"
#include "meter_and_texts.h"
#include "palette.h"
#include "spectrum_view.h"

namespace tolvek {

using namespace display;

namespace {

// Column of the k-th frequency tick, every 100 Hz at 22050 samples per second.
int frequencyTickColumn(int k) { return static_cast<int>(60.0 + 18.58 * k); }

void drawDbScale(GdiSurface& s) {
    for (int k = 0; k <= 11; ++k) {
        s.text(QPoint(44, 33 + 20 * k), QString::number(-10 * k), defaultFont(), palette::scale, TextAlign::rightTop);
        s.line(QPoint(45, 41 + 20 * k), QPoint(54, 41 + 20 * k), Pen{palette::scale});
    }
    s.text(QPoint(44, 10), QStringLiteral("[dB]"), defaultFont(), palette::scale, TextAlign::rightTop);
}

void drawFrequencyScale(GdiSurface& s, int sampleRate) {
    for (int k = 0; k <= 46; ++k) {
        const int x = frequencyTickColumn(k);
        s.line(QPoint(x, 268), QPoint(x, 277), Pen{palette::scale});
    }
    const QFont& font = defaultFont();
    s.text(QPoint(60, 277), QStringLiteral("0"), font, palette::scale, TextAlign::centreTop);
    s.text(QPoint(911, 277), QStringLiteral("kHz"), font, palette::scale, TextAlign::centreTop);
    // The label positions stay; their values follow the sample rate.
    const int labelColumn[4] = {245, 431, 616, 802};
    for (int n = 1; n <= 4; ++n)
        s.text(QPoint(labelColumn[n - 1], 277), QString::asprintf("%1.1f", sampleRate * n / 22050.0), font,
               palette::scale, TextAlign::centreTop);
}

void drawFrames(GdiSurface& s) {
    const Pen pen{palette::scale};
    const QPoint outer[] = {{54, 267}, {928, 267}, {928, 35}, {54, 35}, {54, 267}};
    s.polyline(outer, 5, pen);
    s.line(QPoint(54, 301), QPoint(928, 301), pen);
    const QPoint waterfall[] = {{54, 261}, {54, 489}, {928, 489}, {928, 256}};
    s.polyline(waterfall, 4, pen);
}

void drawGrid(GdiSurface& s) {
    const Pen dotted{palette::grid, true};
    for (int k = 1; k <= 10; ++k) s.line(QPoint(60, 41 + 20 * k), QPoint(922, 41 + 20 * k), dotted);
    for (int k = 1; k <= 46; ++k) {
        const int x = frequencyTickColumn(k);
        s.line(QPoint(x, graphBottom), QPoint(x, graphTop), dotted);
    }
}

void drawInnerFrame(GdiSurface& s) {
    const QPoint frame[] = {{60, 261}, {922, 261}, {922, 41}, {60, 41}, {60, 261}};
    s.polyline(frame, 5, Pen{palette::scale});
}

}  // namespace

DisplayState::DisplayState() : waterfallSurface(990, waterfallSurfaceRows, QImage::Format_RGB32) {
    waterfallSurface.fill(palette::black);
}

void addBlockRow(DisplayState& state, const SharedValues& shared, int brightness) {
    SpectrumPass pass;
    runSpectrumPass(shared, brightness, pass);
    const float level = flooredLevel(signalLevelFromPower(pass.powerSum));
    addWaterfallRow(state.waterfallSurface, pass, level, state.previousSignalLevel);
    state.previousSignalLevel = level;
}

void paintMainWindow(QImage& backBuffer, const PaintInputs& in, DisplayState& state) {
    if (!backBuffer.isNull() && backBuffer.format() != QImage::Format_RGB32)
        backBuffer = backBuffer.convertToFormat(QImage::Format_RGB32);
    ProcessingSettings& settings = in.settings;
    {
        GdiSurface s(backBuffer);
        s.fill(palette::black);
        drawReadouts(s, settings, in.mouseBin);
        drawSliderCaptions(s);
        drawNotchBands(s, settings);
        drawDbScale(s);
        drawFrequencyScale(s, get(settings.sampleRate));
        drawFrames(s);
        drawGrid(s);
        drawInnerFrame(s);

        SpectrumPass pass;
        runSpectrumPass(in.shared, in.brightness, pass);
        state.signalLevel = signalLevelFromPower(pass.powerSum);
        drawSignalReadout(s, state.signalLevel);
        drawSMeter(s, state.signalLevel);
        drawTraces(s, pass);
        drawCutoffLines(s, settings);
        drawStatusTexts(s, settings, in.shared, in.overload, in.recorderStatus);
        state.signalLevel = flooredLevel(state.signalLevel);
    }
    showWaterfall(backBuffer, state.waterfallSurface);
}

}  // namespace tolvek
