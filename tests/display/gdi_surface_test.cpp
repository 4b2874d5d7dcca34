// The pixel rules of the drawing surface: lines stop before their end
// point, dotted pens, and clipping. Rectangles and copies are checked on the
// painted picture (the S-meter's outlines, the waterfall's scrolling).
#include <gtest/gtest.h>

#include <QImage>

#include <functional>
#include <memory>
#include <tuple>

#include "gdi_surface.h"
#include "paint_fixture.h"

namespace tolvek::test {

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
