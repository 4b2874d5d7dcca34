// The spectrum graph and the waterfall: their rows and colours at known
// magnitudes, and where the painted picture puts them.
#include <cmath>

#include "paint_fixture.h"
#include "spectrum_view.h"

namespace tolvek::test {

using display::spectrumRow;
using display::waterfallColour;

constexpr QRgb filteredColour = qRgb(221, 221, 221), inputColour = qRgb(102, 102, 0);
constexpr QRgb notchColour = qRgb(102, 0, 0), cutoffColour = qRgb(0, 255, 0);

TEST(SpectrumView, KnownMagnitudesGiveRowsOnTheGraphAndColours) {
    // In between, 221/110 rows per dB above the bottom (-10, -30, -55, -80 dB), truncated.
    const auto dB = [](double v) { return float(1024 * std::pow(10.0, v / 20)); };
    // clang-format off
    for (auto [m, row] : {std::pair{0.0f, 261}, {-5.0f, 261}, {nan, 261}, {1e-9f, 261}, {0.0032f, 261}, {1024.0f, 41},
                          {inf, 41}, {1e30f, 41}, {dB(-10), 61}, {dB(-30), 101}, {dB(-55), 151}, {dB(-80), 201}})
        EXPECT_EQ(spectrumRow(m), row) << m;
    // clang-format on
    // The waterfall runs from black through blue to white.
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    // clang-format off
    // Slider at the bottom: always black; q = 12.5 * 400 / 50 = 100; q = 256 at 32; 6e9 is beyond 32 bits, still white.
    for (auto [m, brightness, colour] : {std::tuple{0.0f, 80, black}, {1000.0f, 100, black}, {12.5f, 80, qRgb(100, 100, 200)},
             {25.0f, 80, qRgb(200, 200, 255)}, {32.0f, 80, white}, {3e7f, 0, white}, {1e30f, 0, white}, {inf, 0, white},
             {nan, 0, black}, {-40.0f, 0, black}})
        EXPECT_EQ(waterfallColour(m, brightness), colour) << m << " at " << brightness;
    // clang-format on
}

TEST_F(PaintFixture, NotchBandsAndBandEdgesSitAtTheirColumns) {
    for (int n = 0; n < 4; ++n) put(settings.notchOn(n), 1);  // band edges at their start positions: columns 252, 437
    paint();
    // Row 250 holds no grid dot and no trace; the start notches sit at
    // columns 211, 234, 281 and 315 with half-widths 3, 5, 10 and 25.
    bool band[1140] = {};
    for (auto [column, half] : {std::pair{211, 3}, {234, 5}, {281, 10}, {315, 25}})
        for (int x = column - half; x < column + half; ++x) band[x] = true;
    for (int x = 61; x < 922; ++x)
        EXPECT_TRUE(x == 252 || x == 437 ? at(x, 250) == cutoffColour : (at(x, 250) == notchColour) == band[x]) << x;
    for (int y = 41; y <= 261; ++y) EXPECT_EQ(at(252, y) == cutoffColour, y > 41) << y;
}

// Positions that are not numbers or huge draw off the picture. Any client
// size, even none, is painted without harm, with such bins too (where they
// go, the tables of known values above show).
TEST_F(PaintFixture, BadPositionsBinsAndSizes) {
    for (float v : {nan, inf, -inf, 1e30f, -1e30f}) {
        put(settings.lowerCutoff, v), put(settings.upperCutoff, v);
        for (int n = 0; n < 4; ++n) put(settings.notchFreq(n), v), put(settings.notchOn(n), 1);
        paint();
        EXPECT_EQ(count(cutoffColour, picture.rect()) + count(notchColour, picture.rect()), 0u) << v;
    }
    setFiltered(100, nan), setFiltered(200, inf), setInput(300, nan), setFiltered(400, 1e30f);
    in.overload = true, in.brightness = 0;
    for (QSize size : {QSize(0, 0), QSize(1, 1), QSize(300, 100), QSize(2000, 1200)}) {
        picture = size.isEmpty() ? QImage() : QImage(size, QImage::Format_ARGB32);
        paint();
        EXPECT_TRUE(size.isEmpty() || picture.format() == QImage::Format_RGB32);
    }
    EXPECT_EQ(picture.pixel(1500, 1000) & 0xffffff, 0u);  // beyond the layout: black
}

TEST_F(PaintFixture, WaterfallLevelTraceFollowsTheSignalLevel) {
    // One bin of magnitude m: level = 10 log10(m^2 / 1024) - 44 = -20 dB.
    setFiltered(5, float(std::sqrt(1024 * std::pow(10.0, 2.4))));
    paint(display::waterfallHeight);  // a full history of the same level
    EXPECT_NEAR(state->signalLevel, -20.0f, 1e-3);
    const int x = 60 + 810;  // one column per dB right of -830 dB
    for (int y = 306; y <= 483; ++y) ASSERT_EQ(at(x, y), qRgb(255, 255, 0)) << y;
    EXPECT_EQ(at(x, 484), qRgb(0, 0, 0));  // the bottom row is never scrolled into
}

// A speech-like spectrum (formants, pitch harmonics) on both traces, for
// three blocks: every trace point lies on its row (element 0, left 0, at the
// bottom-left corner), and each bin's colour fills its column of the three
// newest waterfall rows (left of the level trace). A redraw the window system
// asks for changes the traces, not the history.
// On a scaled screen (125, 150, 200 %) every device pixel of the graph and
// the waterfall shows the logical pixel its centre lies in: the same layout
// and colours, only sharper.
TEST_F(PaintFixture, TracesAndWaterfallRowsAtEveryScale) {
    const auto speech = [this](float scale) {
        for (int i = 1; i < spectrumSize; ++i) {
            const float formants =
                400 * std::exp(-std::pow((i - 60) / 15.0f, 2)) + 150 * std::exp(-std::pow((i - 190) / 30.0f, 2)) + 10;
            setFiltered(i, scale * formants * (i % 7 ? 1.0f : 1.5f)), setInput(i, 2 * scale * formants);
        }
    };
    const auto expectTraces = [this] {
        for (int i = 0; i < display::tracePoints - 1; ++i) {
            if (i + 60 == 252 || i + 60 == 437) continue;  // the band edges lie on top
            EXPECT_EQ(at(60 + i, spectrumRow(get(shared.filteredSpectrum[i]))), filteredColour) << i;
            const QRgb input = at(60 + i, spectrumRow(get(shared.inputSpectrum[i])));
            EXPECT_TRUE(input == inputColour || input == filteredColour) << i;  // the filtered trace lies on top
        }
    };
    const auto expectNewestRows = [this] {
        for (int i = 0; i < 700; ++i)
            for (int y = 305; y < 308; ++y)
                ASSERT_EQ(at(60 + i, y), waterfallColour(get(shared.filteredSpectrum[i]), in.brightness))
                    << y << " " << i;
    };
    in.brightness = 95;  // graded colours for these magnitudes
    speech(1), paint(3);
    expectTraces(), expectNewestRows();
    const QRect beyond(917, 41, 5, 221);  // nothing of the traces right of column 916
    EXPECT_EQ(count(filteredColour, beyond) + count(inputColour, beyond), 0u);
    const QImage history = picture.copy(60, 305, 700, 3);
    speech(0.3f), paint(0);
    expectTraces();
    EXPECT_TRUE(picture.copy(60, 305, 700, 3) == history);
    const QImage logical = picture;
    const QRect areas[] = {{54, 35, 875, 233}, {54, 301, 875, 189}};  // graph, waterfall with frames
    for (qreal scale : {1.25, 1.5, 2.0}) {
        picture = QImage(QSize(paintedWidth, paintedHeight) * scale, QImage::Format_RGB32);
        picture.setDevicePixelRatio(scale);
        paint(0);
        int wrong = 0;
        for (const QRect& a : areas)  // the device pixels whose centres lie in the area
            for (int y = int(std::ceil(a.top() * scale)); y < int((a.bottom() + 1) * scale); ++y)
                for (int x = int(std::ceil(a.left() * scale)); x < int((a.right() + 1) * scale); ++x)
                    wrong += picture.pixel(x, y) != logical.pixel(int((x + 0.5) / scale), int((y + 0.5) / scale));
        EXPECT_EQ(wrong, 0) << scale;
    }
}

}  // namespace tolvek::test
