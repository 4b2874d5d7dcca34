#include "meter_and_texts.h"

#include <cmath>

#include "conversions.h"
#include "fonts.h"
#include "palette.h"

namespace tolvek::display {

void drawReadouts(GdiSurface& s, const ProcessingSettings& settings, float mouseBin) {
    const float rate = static_cast<float>(get(settings.sampleRate));
    const float lowerHz = get(settings.lowerCutoff) / 16.0f * rate / 22050.0f;
    const float upperHz = get(settings.upperCutoff) / 16.0f * rate / 22050.0f;
    // 5.3834 Hz per column at 22050 samples per second.
    const double pointerHz = static_cast<double>(mouseBin * rate / 22050.0f) * 5.3834;
    const QFont& font = defaultFont();
    s.text(QPoint(60, 10), QString::asprintf("Lower cutoff: %.0f Hz", static_cast<double>(lowerHz)), font,
           palette::readout, TextAlign::leftTop, true);
    s.text(QPoint(232, 10), QString::asprintf("Upper cutoff: %.0f Hz", static_cast<double>(upperHz)), font,
           palette::readout, TextAlign::leftTop, true);
    s.text(QPoint(410, 10), QString::asprintf("Mouse cursor: %.0f Hz", pointerHz), font, palette::readout,
           TextAlign::leftTop, true);
}

void drawSliderCaptions(GdiSurface& s) {
    const QFont& font = captionFont();
    s.upwardText(QPoint(10, 430), QStringLiteral("Brightness"), font, palette::caption);
    s.upwardText(QPoint(960, 430), QStringLiteral("Output level"), font, palette::caption);
    s.upwardText(QPoint(960, 210), QStringLiteral("Input level"), font, palette::caption);
}

void drawSignalReadout(GdiSurface& s, float level) {
    // The figure reads 10 dB below the level the meter shows.
    const int shown = std::isfinite(level) ? truncInt32(level - 10.0f) : 0;
    s.text(QPoint(640, 10), QString::asprintf("Sig = %d dB", shown), defaultFont(), palette::signal,
           TextAlign::leftTop);
}

void drawSMeter(GdiSurface& s, float level) {
    constexpr int top = 10, bottom = 23;
    s.rectangle(750, top, 830, bottom, palette::filteredTrace, palette::meterBackground);
    s.rectangle(830, top, 855, bottom, palette::filteredTrace, palette::meterBackground);
    s.rectangle(855, top, 885, bottom, palette::filteredTrace, palette::meterBackground);
    if (std::isfinite(level)) {
        const int end = truncPixel(level + 860.0f);
        if (level > levelFloor) s.rectangle(750, top, end, bottom, palette::filteredTrace, palette::signal);
        if (level > -30.0f) s.rectangle(830, top, end, bottom, palette::filteredTrace, palette::meterUpperBar);
    }
    const struct {
        int x;
        const char* label;
    } marks[] = {{750, "1"}, {770, "3"}, {790, "5"}, {810, "7"}, {830, "9"}, {845, "+20"}, {875, "+40"}};
    for (const auto& m : marks)
        s.text(QPoint(m.x, bottom), QString::fromLatin1(m.label), meterFont(), palette::meterLabels,
               TextAlign::leftTop);
}

void drawStatusTexts(GdiSurface& s, const ProcessingSettings& settings, const SharedValues& shared, bool overload,
                     const QString& recorderStatus) {
    const QFont& font = defaultFont();
    if (overload)
        s.text(QPoint(316, 151), QStringLiteral("*** O V E R L O A D ***"), font, palette::overload,
               TextAlign::centreTop);
    if (get(settings.recordingOn) == 1)
        s.text(QPoint(460, 60), QStringLiteral("*** RECORDING ***"), font, palette::recording, TextAlign::centreTop);
    if (!recorderStatus.isEmpty())
        s.text(QPoint(460, 75), recorderStatus, font, palette::recording, TextAlign::centreTop);
    if (get(settings.cpuLoadShown) != 0) {
        const double percent = static_cast<double>(get(shared.cpuLoad) * 100.0f);
        s.text(QPoint(70, 43), QString::asprintf("CPU load = %3.1f %%", percent), font, palette::scale,
               TextAlign::leftTop);
    }
    // Heard as a gap or a jump in the sound; shown however the CPU load is set.
    if (const uint32_t dropouts = shared.dropouts.load(std::memory_order_relaxed); dropouts != 0)
        s.text(QPoint(220, 43), QString::asprintf("%u dropout%s", dropouts, dropouts == 1 ? "" : "s"), font,
               palette::scale, TextAlign::leftTop);
}

}  // namespace tolvek::display
