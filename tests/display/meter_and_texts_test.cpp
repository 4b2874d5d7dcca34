// The signal level, the S-meter, the read-outs and the status texts as the
// user sees them. Texts are compared, pixel for pixel in their colour, with
// the same text drawn alone in the same font. The pixel rules of the drawing
// surface: lines stop before their end point, dotted pens, and clipping.
// Rectangles and copies are checked on the painted picture (the S-meter's
// outlines, the waterfall's scrolling).
#include <cmath>
#include <functional>
#include <memory>
#include <tuple>

#include <QFontMetrics>
#include <QPainter>

#include "fonts.h"
#include "gdi_surface.h"
#include "meter_and_texts.h"
#include "paint_fixture.h"

namespace tolvek::test {

constexpr QRgb green = qRgb(0, 176, 0), red = qRgb(176, 0, 0), meterGrey = qRgb(80, 80, 80),
               outline = qRgb(221, 221, 221);

// Magnitude of a single bin that gives the level `dB`.
static float binForLevel(double dB) { return float(std::sqrt(1024 * std::pow(10.0, (dB + 44) / 10))); }

// The meter's row 16 (inside the bars), column by column. Segment outlines
// at 750, 829 | 830, 854 | 855, 884; a bar's outline at its ends. Rows:
// level, exclusive right edge of the bar (0 = none); -110 is exactly S1 (no
// bar), -30 exactly S9 (green only).
TEST(SMeter, BarEndsAtOnePixelPerDecibel) {
    // clang-format off
    for (auto [level, end] : {std::pair{-110.0f, 0}, {-50.7f, 809}, {-30.0f, 830}, {-20.0f, 840}, {-inf, 0}, {nan, 0}, {inf, 0}}) {
        // clang-format on
        QImage image(1140, 40, QImage::Format_RGB32);
        image.fill(Qt::black);
        display::drawSMeter(*std::make_unique<GdiSurface>(image), level);
        for (int x = 751; x < 884; ++x) {
            QRgb want = (x == 829 || x == 830 || x == 854 || x == 855) ? outline : meterGrey;
            if (x < end - 1) want = x < 830 ? green : x == 830 ? outline : red;
            if (x == end - 1) want = outline;
            ASSERT_EQ(image.pixel(x, 16) & 0xffffff, want & 0xffffff) << "level " << level << " column " << x;
        }
    }
}

// A text drawn alone with plain QPainter calls: `ref` is on its top edge, at
// its left end, or at its middle if centred.
struct ReferenceText {
    QString text;
    QPoint ref;
    bool centred = false;
};

// Pixels of `colour` in `area` of the picture equal those of the texts drawn
// alone (none if no texts).
static void expectTexts(const QImage& picture, QRgb colour, QRect area, const std::vector<ReferenceText>& texts) {
    QImage want(picture.size(), QImage::Format_RGB32);
    want.fill(Qt::black);
    QPainter p(&want);
    p.setFont(defaultFont());
    p.setPen(QColor(colour));
    const QFontMetrics fm(defaultFont());
    for (const ReferenceText& t : texts)
        p.drawText(t.ref + QPoint(t.centred ? -fm.horizontalAdvance(t.text) / 2 : 0, fm.ascent()), t.text);
    p.end();
    const std::string what = texts.empty() ? "no text" : texts[0].text.toStdString();
    if (!texts.empty()) ASSERT_GT(pixelsOf(want, colour, area).size(), 20u) << "reference outside its area: " << what;
    EXPECT_EQ(pixelsOf(picture, colour, area), pixelsOf(want, colour, area)) << what;
}

// The signal read-out shows 10 dB below the meter; cutoffs and pointer in
// hertz and the frequency labels follow the rate; each status text shows
// while its setting is on and is gone once it is off (the overload text's
// going is the main window's test); dropouts show whether or not the CPU load
// does.
TEST_F(PaintFixture, ReadoutsLabelsAndStatusTexts) {
    paint();  // an all-zero spectrum, painted first: no finite level
    EXPECT_EQ(state->signalLevel, -110.0f);
    const QRect top(0, 0, 745, 30), labels(56, 277, 870, 20), load(70, 43, 300, 18), all = picture.rect();
    const QRgb teal = qRgb(0, 144, 144), cyan = qRgb(0, 255, 255), grey = qRgb(128, 128, 128), alarm = qRgb(255, 0, 0);
    const auto level = [this](float m) { return [this, m] { setFiltered(7, m); }; };
    const auto rate = [this](int r, float b) { return [this, r, b] { put(settings.sampleRate, r), in.mouseBin = b; }; };
    using Case = std::tuple<std::function<void()>, QRgb, QRect, std::vector<ReferenceText>>;
    // clang-format off
    const Case cases[] = {
        {level(0), green, top, {{"Sig = 0 dB", {640, 10}}}},
        {level(binForLevel(-50.7)), green, top, {{"Sig = -60 dB", {640, 10}}}},
        {level(binForLevel(25)), green, top, {{"Sig = 15 dB", {640, 10}}}},
        {rate(22050, 100), teal, top, {{"Lower cutoff: 1031 Hz", {60, 10}}, {"Upper cutoff: 2031 Hz", {232, 10}}, {"Mouse cursor: 538 Hz", {410, 10}}}},
        {rate(44100, -10), teal, top, {{"Lower cutoff: 2063 Hz", {60, 10}}, {"Upper cutoff: 4063 Hz", {232, 10}}, {"Mouse cursor: -108 Hz", {410, 10}}}},
        {rate(22050, 0), grey, labels, {{"0", {60, 277}, true}, {"1.0", {245, 277}, true}, {"2.0", {431, 277}, true},
                                        {"3.0", {616, 277}, true}, {"4.0", {802, 277}, true}, {"kHz", {911, 277}, true}}},
        {rate(5512, 0), grey, labels, {{"0", {60, 277}, true}, {"0.2", {245, 277}, true}, {"0.5", {431, 277}, true},
                                       {"0.7", {616, 277}, true}, {"1.0", {802, 277}, true}, {"kHz", {911, 277}, true}}},
        {[this] { in.overload = true; }, alarm, all, {{"*** O V E R L O A D ***", {316, 151}, true}}},
        {[this] { put(settings.recordingOn, 1), in.recorderStatus = "Dropped 3 blocks"; }, cyan, all,
         {{"*** RECORDING ***", {460, 60}, true}, {"Dropped 3 blocks", {460, 75}, true}}},
        {[this] { put(settings.recordingOn, 0), in.recorderStatus = ""; }, cyan, all, {}},
        {[this] { put(settings.cpuLoadShown, 1), put(shared.cpuLoad, 0.123f); }, grey, load, {{"CPU load = 12.3 %", {70, 43}}}},
        {[this] { put(settings.cpuLoadShown, 0); }, grey, load, {}},
        {[this] { shared.dropouts.store(1); }, grey, load, {{"1 dropout", {220, 43}}}},
        {[this] { shared.dropouts.store(12); }, grey, load, {{"12 dropouts", {220, 43}}}},
    };
    // clang-format on
    for (const auto& [set, colour, area, texts] : cases) set(), paint(), expectTexts(picture, colour, area, texts);
}

constexpr QRgb ink = qRgb(255, 255, 255);

// The inked pixels of a black 20 x 12 picture after `draw`.
static Pixels drawn(const std::function<void(GdiSurface&)>& draw) {
    QImage image(20, 12, QImage::Format_RGB32);
    image.fill(Qt::black);
    draw(*std::make_unique<GdiSurface>(image));
    return pixelsOf(image, ink, image.rect());
}

// A dotted pen is three on, three off from the start. A steep segment one
// column wide changes column halfway; a flat two-row one changes row halfway.
TEST(GdiSurface, LinesStopBeforeTheirEndPoint) {
    // clang-format off
    const std::tuple<QPoint, QPoint, bool, Pixels> cases[] = {  // from, to, dotted, the pixels drawn
        {{2, 3}, {6, 3}, false, {{2, 3}, {3, 3}, {4, 3}, {5, 3}}},
        {{4, 5}, {4, 2}, false, {{4, 5}, {4, 4}, {4, 3}}},
        {{1, 1}, {4, 4}, false, {{1, 1}, {2, 2}, {3, 3}}},
        {{5, 5}, {5, 5}, false, {}},
        {{3, 0}, {4, 5}, false, {{3, 0}, {3, 1}, {3, 2}, {4, 3}, {4, 4}}},
        {{2, 1}, {8, 0}, false, {{2, 1}, {3, 1}, {4, 1}, {5, 0}, {6, 0}, {7, 0}}},
        {{0, 4}, {14, 4}, true, {{0, 4}, {1, 4}, {2, 4}, {6, 4}, {7, 4}, {8, 4}, {12, 4}, {13, 4}}},
    };
    // clang-format on
    for (const auto& [from, to, dotted, expected] : cases)
        EXPECT_EQ(drawn([&](GdiSurface& s) { s.line(from, to, Pen{ink, dotted}); }), expected) << from.x();
    // A closed polyline has no gaps and no overhang.
    const QPoint square[] = {{2, 2}, {7, 2}, {7, 6}, {2, 6}, {2, 2}};
    Pixels expected;
    for (int x = 2; x <= 7; ++x) expected.insert({{x, 2}, {x, 6}});
    for (int y = 2; y <= 6; ++y) expected.insert({{2, y}, {7, y}});
    EXPECT_EQ(drawn([&](GdiSurface& s) { s.polyline(square, 5, Pen{ink}); }), expected);
}

TEST(GdiSurface, FarCoordinatesAreClippedNotWalked) {
    const Pixels p = drawn([](GdiSurface& s) {
        s.line(QPoint(-1000000, 5), QPoint(1000000, 5), Pen{ink});
        s.line(QPoint(3, 1000000), QPoint(3, -1000000), Pen{ink});
        s.rectangle(-1000000, -1000000, 1000000, 2, ink, ink);
        s.line(QPoint(INT32_MIN, INT32_MIN), QPoint(INT32_MAX, INT32_MAX), Pen{ink});
    });
    for (int x = 0; x < 20; ++x) EXPECT_TRUE(p.count({x, 5}) && p.count({x, 0}) && p.count({x, 1}));
    for (int y = 0; y < 12; ++y) EXPECT_TRUE(p.count({3, y}));
}

}  // namespace tolvek::test
