// The spectrum graph and the waterfall: their rows and colours at known
// magnitudes, and where the painted picture puts them.
#include <cmath>
#include <limits>

#include "paint_fixture.h"
#include "spectrum_view.h"

namespace tolvek::test {
namespace {

using display::spectrumRow;
using display::waterfallColour;

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr QRgb filteredColour = qRgb(221, 221, 221), inputColour = qRgb(102, 102, 0);
constexpr QRgb notchColour = qRgb(102, 0, 0), cutoffColour = qRgb(0, 255, 0);

TEST(SpectrumRow, KnownMagnitudesAndStaysOnTheGraph) {
    struct Case {
        float m;
        int row;
    };
    const Case known[] = {
        {0, 261}, {-5, 261}, {nan, 261}, {1e-9f, 261}, {0.0032f, 261}, {1024, 41}, {5000, 41}, {inf, 41}, {1e30f, 41},
    };
    for (const Case& c : known) EXPECT_EQ(spectrumRow(c.m), c.row) << c.m;
    // In between, 221/110 rows per dB above the bottom, truncated.
    for (auto [dB, row] : {std::pair{-10.0, 61}, {-30.0, 101}, {-55.0, 151}, {-80.0, 201}})
        EXPECT_EQ(spectrumRow(float(1024 * std::pow(10.0, dB / 20))), row) << dB;
}

TEST(WaterfallColour, RunsFromBlackThroughBlueToWhite) {
    struct Case {
        float m;
        int brightness;
        QRgb colour;
    };
    const Case cases[] = {
        {0, 80, qRgb(0, 0, 0)},           {1000, 100, qRgb(0, 0, 0)},     // slider at the bottom: always black
        {12.5f, 80, qRgb(100, 100, 200)},                                 // q = 12.5 * 400 / 50 = 100
        {25, 80, qRgb(200, 200, 255)},    {32, 80, qRgb(255, 255, 255)},  // q = 256
        {3e7f, 0, qRgb(255, 255, 255)},                                   // q = 6e9: beyond 32 bits, still white
        {1e30f, 0, qRgb(255, 255, 255)},  {inf, 0, qRgb(255, 255, 255)},
        {nan, 0, qRgb(0, 0, 0)},          {-40, 0, qRgb(0, 0, 0)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(waterfallColour(c.m, c.brightness), c.colour) << c.m << " at " << c.brightness;
}

class SpectrumPicture : public PaintFixture {
  protected:
    void SetUp() override {
        // Band edges beyond the traces, so nothing covers them.
        put(settings.lowerCutoff, 95000.0f);
        put(settings.upperCutoff, 96000.0f);
    }
};

TEST_F(SpectrumPicture, TracePointsLieOnTheirRows) {
    for (int i = 1; i < spectrumSize; ++i) {
        setInput(i, float(2000 * std::exp(-i / 90.0)));
        setFiltered(i, float(300 * (1 + std::sin(i / 7.0))));
    }
    paint();
    for (int i = 0; i < display::tracePoints - 1; ++i) {
        const int x = 60 + i;
        EXPECT_EQ(at(x, spectrumRow(get(shared.filteredSpectrum[i]))), filteredColour) << i;
        const int inputRow = spectrumRow(get(shared.inputSpectrum[i]));
        // The filtered trace lies on top; look at the input where it is not.
        if (at(x, inputRow) != filteredColour) {
            EXPECT_EQ(at(x, inputRow), inputColour) << i;
        }
    }
    // Element 0 is 0: both traces start at the bottom-left corner.
    EXPECT_EQ(at(60, 261), filteredColour);
    // Nothing of the traces right of column 916.
    const QRect beyond(917, 41, 5, 221);
    EXPECT_EQ(countColour(picture, filteredColour, beyond) + countColour(picture, inputColour, beyond), 0);
}

TEST_F(SpectrumPicture, NotchBandsAndBandEdgesSitAtTheirColumns) {
    put(settings.lowerCutoff, 16500.0f);  // start positions: columns 252 and 437
    put(settings.upperCutoff, 32500.0f);
    for (int n = 0; n < 4; ++n) put(settings.notchOn(n), 1);
    paint();
    // Row 250 holds no grid dot and no trace; the start notches sit at
    // columns 211, 234, 281 and 315 with half-widths 3, 5, 10 and 25.
    bool band[1140] = {};
    for (auto [column, half] : {std::pair{211, 3}, {234, 5}, {281, 10}, {315, 25}})
        for (int x = column - half; x < column + half; ++x) band[x] = true;
    for (int x = 61; x < 922; ++x) {
        const QRgb c = at(x, 250);
        if (x == 252 || x == 437) {
            EXPECT_EQ(c, cutoffColour) << x;
        } else {
            EXPECT_EQ(c == notchColour, band[x]) << x;
        }
    }
    for (int y = 42; y <= 261; ++y) EXPECT_EQ(at(252, y), cutoffColour) << y;
    EXPECT_NE(at(252, 41), cutoffColour);
    // Other positions go through the same conversion.
    for (float v : {0.0f, 43.0f, 44.0f, 12345.6f, 70000.0f}) {
        put(settings.lowerCutoff, v);
        paint();
        const int x = 60 + int(double(v) * 512 / 44100 + 0.5);
        EXPECT_EQ(at(x, 150), cutoffColour) << v;
        EXPECT_NE(at(x - 1, 150), cutoffColour) << v;
    }
}

TEST_F(SpectrumPicture, PositionsThatAreNotNumbersOrHugeDrawOffThePicture) {
    for (float v : {nan, inf, -inf, 1e30f, -1e30f}) {
        put(settings.lowerCutoff, v);
        put(settings.upperCutoff, v);
        for (int n = 0; n < 4; ++n) put(settings.notchFreq(n), v), put(settings.notchOn(n), 1);
        paint();
        EXPECT_EQ(countColour(picture, cutoffColour, picture.rect()), 0) << v;
        EXPECT_EQ(countColour(picture, notchColour, picture.rect()), 0) << v;
    }
}

TEST_F(SpectrumPicture, BadBinsStayOnTheGraph) {
    setFiltered(100, nan);
    setFiltered(200, inf);
    setInput(300, nan);
    setFiltered(400, 1e30f);
    brightness = 0;
    paint();
    EXPECT_EQ(at(160, 261), filteredColour);
    EXPECT_EQ(at(260, 41), filteredColour);
    EXPECT_EQ(at(460, 41), filteredColour);
    EXPECT_EQ(at(160, 305), qRgb(0, 0, 0));        // NaN: black
    EXPECT_EQ(at(260, 305), qRgb(255, 255, 255));  // inf: white
    EXPECT_EQ(at(460, 305), qRgb(255, 255, 255));  // huge at brightness 0: white, not black
}

// Newest waterfall rows as the picture shows them: screen row 305 is the newest.
class Waterfall : public PaintFixture {
  protected:
    void setRamp(float scale) {
        for (int i = 1; i < spectrumSize; ++i) setFiltered(i, scale * float(i % 40));
    }
    void expectRow(int screenRow, float scale) {
        for (int i = 0; i < 700; ++i)  // left of the level trace and the marker
            ASSERT_EQ(at(60 + i, screenRow), waterfallColour(scale * float(i % 40), brightness))
                << "row " << screenRow << " element " << i;
    }
};

TEST_F(Waterfall, AdvancesOneRowPerBlockAndNotOnARedraw) {
    setRamp(1.0f);
    paint(1);
    setRamp(0.5f);
    paint(1);
    expectRow(305, 0.5f);
    expectRow(306, 1.0f);
    setRamp(2.0f);
    paint(0);  // the window system asks: the traces change, the history does not
    expectRow(305, 0.5f);
    expectRow(306, 1.0f);
    EXPECT_EQ(at(60 + 39, spectrumRow(78.0f)), filteredColour);
    paint(1);  // the next block
    expectRow(305, 2.0f);
    expectRow(306, 0.5f);
    expectRow(307, 1.0f);
    EXPECT_EQ(at(60, 310), qRgb(0, 0, 0));  // element 0 and older rows: black
}

TEST_F(Waterfall, LevelTraceFollowsTheSignalLevel) {
    // One bin of magnitude m: level = 10 log10(m^2 / 1024) - 44 = -20 dB.
    const float m = float(std::sqrt(1024 * std::pow(10.0, 2.4)));
    setFiltered(5, m);
    for (int k = 0; k < 4; ++k) paint(1);
    EXPECT_NEAR(state->signalLevel, -20.0f, 1e-3);
    const int x = 60 + int(state->signalLevel + 830);
    for (int y = 306; y <= 308; ++y) EXPECT_EQ(at(x, y), qRgb(255, 255, 0)) << y;
    paint(display::waterfallHeight);  // a full history of the same level
    for (int y = 306; y <= 483; ++y) ASSERT_EQ(at(x, y), qRgb(255, 255, 0)) << y;
    EXPECT_EQ(at(x, 484), qRgb(0, 0, 0));  // the bottom row is never scrolled into
}

// On a scaled screen (125, 150, 200 %) every device pixel of the graph and
// the waterfall shows the logical pixel its centre lies in: the same layout
// and colours, only sharper, with a speech-like spectrum on both traces.
TEST_F(PaintFixture, ScaledPictureKeepsTheLogicalLayout) {
    for (int i = 1; i < spectrumSize; ++i) {
        const float formants =
            400 * std::exp(-std::pow((i - 60) / 15.0f, 2)) + 150 * std::exp(-std::pow((i - 190) / 30.0f, 2)) + 10;
        setFiltered(i, formants);
        setInput(i, 2 * formants);
    }
    paint(3);
    const QImage logical = picture;
    const QRect areas[] = {{54, 35, 875, 233}, {54, 301, 875, 189}};  // graph, waterfall with frames
    for (qreal scale : {1.25, 1.5, 2.0}) {
        picture = QImage(QSize(paintedWidth, paintedHeight) * scale, QImage::Format_RGB32);
        picture.setDevicePixelRatio(scale);
        paint(0);
        int compared = 0, wrong = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QPoint covering(int((x + 0.5) / scale), int((y + 0.5) / scale));
                if (!areas[0].contains(covering) && !areas[1].contains(covering)) continue;
                ++compared;
                wrong += picture.pixel(x, y) != logical.pixel(covering);
            }
        EXPECT_EQ(wrong, 0) << scale;
        EXPECT_GT(compared, int(scale * scale * 875 * 420));
    }
}

}  // namespace
}  // namespace tolvek::test
