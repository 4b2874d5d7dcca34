// Drags, hovers and wheel turns on the spectrum graph, checked in position
// units against hand-computed values (one column = 44100/512 units).
#include <QTest>
#include <cmath>
#include <limits>

#include "spectrum_pointer.h"

using namespace tolvek;

// QCOMPARE on floats is fuzzy; positions must come out to the last bit.
#define COMPARE_EXACT(actual, expected)        \
    QVERIFY2(float(actual) == float(expected), \
             qPrintable(QString("%1 != %2").arg(double(actual), 0, 'g', 12).arg(double(expected), 0, 'g', 12)))

namespace {

const float startValues[] = {16500.0f, 32500.0f, 13000.0f, 15000.0f, 19000.0f, 22000.0f};
constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();

// The six markers, -1 for none, each at its start value but `moved` at `value`.
void expectMarkers(ProcessingSettings& s, int moved = -1, float value = 0, float offset = 0) {
    std::atomic<float>* p[] = {&s.lowerCutoff, &s.upperCutoff, &s.notch1Freq,
                               &s.notch2Freq,  &s.notch3Freq,  &s.notch4Freq};
    for (int m = 0; m < 6; ++m) COMPARE_EXACT(get(*p[m]), m == moved ? value : startValues[m] + offset);
}

}  // namespace

class SpectrumPointerTest : public QObject {
    Q_OBJECT
  private slots:
    void markerColumns() {
        const std::pair<float, int> cases[] = {
            {16500.0f, 252},    {32500.0f, 437},        // the band edges at start
            {43.06640625f, 61}, {43.0f, 60},            // half a column rounds up, just under does not
            {-100.0f, 60},      {200000.0f, 2382},      // truncation toward zero; beyond the spectrum
            {1e30f, 1000060},   {notANumber, -999940},  // clamped
        };
        for (auto [position, column] : cases) QCOMPARE(markerColumn(position), column);
    }

    // Press at (x, y), move to (moveX, 150): marker `moved` (-1: none) takes
    // `value`, the others keep their start values, during and after the drag.
    void drags() {
        const struct {
            int x, y, moveX, moved;
            float value;
        } cases[] = {
            {252, 41, 262, 0, 17361.328125f},      // lower edge, right 10, top row of the graph
            {252, 261, 262, 0, 17361.328125f},     // bottom row
            {252, 40, 262, -1, 0},                 // above the graph: nothing
            {252, 262, 262, -1, 0},                // below it
            {211, 150, 200, 2, 12052.5390625f},    // notch 1, switched off
            {224, 150, 220, 3, 14655.46875f},      // notch 2 at its 10-column edge
            {340, 150, 360, 5, 23722.65625f},      // notch 4 at its 25-column edge
            {290, 150, 280, 4, 18138.671875f},     // overlap: notch 3 moves, notch 4 waits
            {437, 150, 2000, 1, 167125.5859375f},  // beyond the right end
            {211, 150, 0, 2, -5174.0234375f},      // below zero
        };
        for (const auto& c : cases) {
            ProcessingSettings s;
            SpectrumPointer p(s);
            p.press(c.x, c.y);
            QCOMPARE(p.dragging(), c.moved >= 0);
            QCOMPARE(p.move(c.moveX, 150), PointerShape::Size);
            expectMarkers(s, c.moved, c.value);
            QCOMPARE(p.mouseBin(), float(c.moveX - 60));
            p.release();
            QVERIFY(!p.dragging());
            p.move(c.moveX + 7, 150);
            expectMarkers(s, c.moved, c.value);
        }
    }

    // The hit zones of the edges and of the notches that are on.
    void hover() {
        const struct {
            int notchesOn, x, y;  // bit i: notch i+1 on
            PointerShape shape;
            float mouseBin;
        } cases[] = {
            {0, 262, 150, PointerShape::Size, 202}, {0, 263, 150, PointerShape::Arrow, 203},  // lower edge +10, +11
            {0, 437, 40, PointerShape::Arrow, 0},                                             // above the graph
            {1, 214, 150, PointerShape::Size, 154}, {1, 215, 150, PointerShape::Arrow, 155},  // notch 1: 3 out, 4
            {2, 229, 150, PointerShape::Size, 169}, {2, 228, 150, PointerShape::Arrow, 168},  // notch 2: 5 out, 6
            {8, 340, 150, PointerShape::Size, 280}, {7, 340, 150, PointerShape::Arrow, 280},  // notch 4: on, off
        };
        for (const auto& c : cases) {
            ProcessingSettings s;
            for (int i = 0; i < 4; ++i) put(s.notchOn(i), (c.notchesOn >> i) & 1);
            SpectrumPointer p(s);
            p.move(100, 150);  // a non-zero bin first, so a reset to 0 shows
            QCOMPARE(p.move(c.x, c.y), c.shape);
            QCOMPARE(p.mouseBin(), c.mouseBin);
            expectMarkers(s);
        }
    }

    // A notch dragged across the lower cut-off's zone stands still there.
    void dragStallsOverAnotherMarker() {
        ProcessingSettings s;
        SpectrumPointer p(s);
        p.press(211, 150);
        p.move(240, 150);
        COMPARE_EXACT(get(s.notch1Freq), 15497.8515625f);
        QCOMPARE(p.move(245, 150), PointerShape::Size);
        expectMarkers(s, 2, 15497.8515625f);
        p.move(270, 150);
        COMPARE_EXACT(get(s.notch1Freq), 13000.0f + 59 * 86.1328125f);
    }

    // Dragging the lower edge past the upper one swaps the values at the
    // next move; the drag then goes on in the variable `lowerCutoff`.
    void edgeSwap() {
        ProcessingSettings s;
        SpectrumPointer p(s);
        p.press(252, 150);
        p.move(450, 150);
        COMPARE_EXACT(get(s.lowerCutoff), 33554.296875f);
        COMPARE_EXACT(get(s.upperCutoff), 32500.0f);

        QCOMPARE(p.move(300, 150), PointerShape::Arrow);  // swaps and does nothing else
        COMPARE_EXACT(get(s.lowerCutoff), 32500.0f);
        COMPARE_EXACT(get(s.upperCutoff), 33554.296875f);
        QCOMPARE(p.mouseBin(), 390.0f);

        QCOMPARE(p.move(455, 150), PointerShape::Size);  // over the new upper edge: stands still
        COMPARE_EXACT(get(s.lowerCutoff), 32500.0f);
        p.move(300, 150);
        COMPARE_EXACT(get(s.lowerCutoff), 20634.375f);

        put(s.lowerCutoff, notANumber);  // not a number: swapped too
        QCOMPARE(p.move(100, 150), PointerShape::Arrow);
        COMPARE_EXACT(get(s.lowerCutoff), 33554.296875f);
        QVERIFY(std::isnan(get(s.upperCutoff)));
        QCOMPARE(p.mouseBin(), 240.0f);  // the swapping move did nothing else
    }

    // Every turn shifts all six markers by a step, never clamped.
    void wheel() {
        const struct {
            int deltaY;
            bool ctrl, shift;
            int turns;
            float total;
        } cases[] = {
            {120, false, false, 1, 100},     {-120, false, false, 1, -100}, {120, true, false, 1, 10},
            {120, false, true, 1, 1000},     {120, true, true, 1, 1000},  // Shift wins over Ctrl
            {960, false, false, 1, 800},                                  // a big delta: a step per notch
            {5, false, false, 24, 100},      {5, false, false, 23, 0},    // touchpad: 24 x 5 is one step, 23 none yet
            {-5, true, false, 48, -20},      {15, false, true, 8, 1000},  // touchpad with Ctrl; hi-res wheel 8 x 15
            {0, true, false, 1, 0},                                       // sideways swipe ignored
            {-120, false, true, 40, -40000},                              // never clamped
        };
        for (const auto& c : cases) {
            ProcessingSettings s;
            SpectrumPointer p(s);
            for (int i = 0; i < c.turns; ++i) p.wheel(c.deltaY, c.ctrl, c.shift);
            expectMarkers(s, -1, 0, c.total);
        }
    }
};

QTEST_MAIN(SpectrumPointerTest)
#include "spectrum_pointer_test.moc"
