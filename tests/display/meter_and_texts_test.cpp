// The signal level, the S-meter, the read-outs and the status texts as the
// user sees them. Texts are compared, pixel for pixel in their colour, with
// the same text drawn alone in the same font.
#include <cmath>
#include <functional>
#include <limits>

#include "fonts.h"
#include "meter_and_texts.h"
#include "paint_fixture.h"

namespace tolvek::test {
namespace {

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr QRgb green = qRgb(0, 176, 0), red = qRgb(176, 0, 0), meterGrey = qRgb(80, 80, 80);
constexpr QRgb outline = qRgb(221, 221, 221);

// Magnitude of a single bin that gives the level `dB`.
float binForLevel(double dB) { return float(std::sqrt(1024 * std::pow(10.0, (dB + 44) / 10))); }

// The meter's row 16 (inside the bars), column by column. Segment outlines
// at 750, 829 | 830, 854 | 855, 884; a bar's outline at its ends.
TEST(SMeter, BarEndsAtOnePixelPerDecibel) {
    struct Case {
        float level;
        int end;  // exclusive right edge of the bar, 0 = none
    };            // -110 is exactly S1 (no bar), -30 exactly S9 (green only)
    for (Case c : {Case{-110, 0}, {-50.7f, 809}, {-30, 830}, {-20, 840}, {-inf, 0}, {nan, 0}, {inf, 0}}) {
        QImage image(1140, 40, QImage::Format_RGB32);
        image.fill(Qt::black);
        display::drawSMeter(*std::make_unique<GdiSurface>(image), c.level);
        for (int x = 751; x < 884; ++x) {
            QRgb want = (x == 829 || x == 830 || x == 854 || x == 855) ? outline : meterGrey;
            if (x < c.end - 1) want = x < 830 ? green : x == 830 ? outline : red;
            if (x == c.end - 1) want = outline;
            ASSERT_EQ(image.pixel(x, 16) & 0xffffff, want & 0xffffff) << "level " << c.level << " column " << x;
        }
    }
}

class Texts : public PaintFixture {
  protected:
    // Pixels of `colour` in `area` of the picture equal those of the texts drawn alone.
    void expectTexts(QRgb colour, QRect area, const QFont& font, const std::vector<ReferenceText>& texts) {
        const QImage want = referenceTexts(picture.size(), font, colour, texts);
        ASSERT_GT(countColour(want, colour, area), 20) << "reference text outside its area";
        EXPECT_EQ(colourMask(picture, colour, area), colourMask(want, colour, area))
            << "at " << texts.begin()->text.toStdString();
    }
    const QRect topRow{0, 0, 745, 30};
};

// An all-zero spectrum, painted first: no finite level, no meter bar.
TEST_F(Texts, SignalReadoutShowsTenDecibelsBelowTheMeter) {
    paint();
    EXPECT_EQ(countColour(picture, green, QRect(750, 10, 135, 13)) + countColour(picture, red, QRect(750, 10, 135, 13)),
              0);
    EXPECT_EQ(state->signalLevel, -110.0f);
    for (auto [magnitude, text] : {std::pair{0.0f, "Sig = 0 dB"},
                                   {binForLevel(-50.7), "Sig = -60 dB"},
                                   {binForLevel(25.0), "Sig = 15 dB"},
                                   {nan, "Sig = 0 dB"}}) {
        setFiltered(7, magnitude);
        paint();
        expectTexts(green, topRow, defaultFont(), {{text, {640, 10}}});
    }
}

TEST_F(Texts, ReadoutsGiveCutoffsAndPointerInHertz) {
    struct Case {
        int rate;
        float mouseBin;
        const char *lower, *upper, *pointer;
    };
    const Case cases[] = {
        {22050, 0, "Lower cutoff: 1031 Hz", "Upper cutoff: 2031 Hz", "Mouse cursor: 0 Hz"},
        {22050, 100, "Lower cutoff: 1031 Hz", "Upper cutoff: 2031 Hz", "Mouse cursor: 538 Hz"},
        {44100, -10, "Lower cutoff: 2063 Hz", "Upper cutoff: 4063 Hz", "Mouse cursor: -108 Hz"},
    };
    for (const Case& c : cases) {
        put(settings.sampleRate, c.rate);
        mouseBin = c.mouseBin;
        paint();
        expectTexts(qRgb(0, 144, 144), topRow, defaultFont(),
                    {{c.lower, {60, 10}}, {c.upper, {232, 10}}, {c.pointer, {410, 10}}});
    }
}

TEST_F(Texts, FrequencyLabelsFollowTheSampleRate) {
    for (auto [rate, labels] : {std::pair{22050, QStringList{"0", "1.0", "2.0", "3.0", "4.0", "kHz"}},
                                {5512, QStringList{"0", "0.2", "0.5", "0.7", "1.0", "kHz"}}}) {
        put(settings.sampleRate, rate);
        paint();
        std::vector<ReferenceText> texts;
        const int columns[] = {60, 245, 431, 616, 802, 911};
        for (int i = 0; i < 6; ++i) texts.push_back({labels[i], {columns[i], 277}, Anchor::centre});
        expectTexts(qRgb(128, 128, 128), QRect(56, 277, 870, 20), defaultFont(), texts);
    }
}

// Each status text shows while its setting is on and is gone once it is off.
TEST_F(Texts, StatusTextsShowWhileSet) {
    struct Case {
        std::function<void(bool)> set;
        QRgb colour;
        QRect area;
        std::vector<ReferenceText> texts;
    };
    const QRgb cyan = qRgb(0, 255, 255), grey = qRgb(128, 128, 128);
    // clang-format off
    const Case cases[] = {
        {[this](bool on) { overload = on; }, qRgb(255, 0, 0), picture.rect(),
         {{"*** O V E R L O A D ***", {316, 151}, Anchor::centre}}},
        {[this](bool on) { put(settings.recordingOn, int(on)), recorderStatus = on ? "Dropped 3 blocks" : ""; },
         cyan, picture.rect(), {{"*** RECORDING ***", {460, 60}, Anchor::centre}, {"Dropped 3 blocks", {460, 75}, Anchor::centre}}},
        {[this](bool on) { put(settings.cpuLoadShown, int(on)), put(shared.cpuLoad, 0.123f); }, grey,
         QRect(70, 43, 300, 18), {{"CPU load = 12.3 %", {70, 43}}}}};
    // clang-format on
    for (const Case& c : cases) {
        c.set(true);
        paint();
        expectTexts(c.colour, c.area, defaultFont(), c.texts);
        c.set(false);
        paint();
        EXPECT_EQ(countColour(picture, c.colour, c.area), 0) << c.texts[0].text.toStdString();
    }
    // Dropouts are shown whether or not the CPU load is.
    for (auto [count, text] : {std::pair{1u, "1 dropout"}, {12u, "12 dropouts"}}) {
        shared.dropouts.store(count);
        paint();
        expectTexts(grey, QRect(70, 43, 300, 18), defaultFont(), {{text, {220, 43}}});
    }
}

TEST_F(Texts, PictureOfAnyClientSizeIsSafe) {
    overload = true;
    for (QSize size : {QSize(0, 0), QSize(1, 1), QSize(300, 100), QSize(2000, 1200)}) {
        picture = size.isEmpty() ? QImage() : QImage(size, QImage::Format_ARGB32);
        paint();
        EXPECT_TRUE(size.isEmpty() || picture.format() == QImage::Format_RGB32);
    }
    EXPECT_EQ(picture.pixel(1500, 1000) & 0xffffff, 0u);  // beyond the layout: black
}

}  // namespace
}  // namespace tolvek::test
