// Drags, hovers and wheel turns on the spectrum graph, checked in position
// units against hand-computed values (one column = 44100/512 units).
#include <QTest>
#include <cmath>
#include <limits>
#include <tuple>

#include "spectrum_pointer.h"

using namespace tolvek;

namespace {

constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();

// Lower and upper cut-off, notches 1..4. QCOMPARE compares the floats of
// lists exactly: positions must come out to the last bit.
QList<float> markers(ProcessingSettings& s) {
    return {get(s.lowerCutoff), get(s.upperCutoff), get(s.notch1Freq),
            get(s.notch2Freq),  get(s.notch3Freq),  get(s.notch4Freq)};
}

// The start values shifted by `offset`, marker `moved` (-1: none) at `value`.
QList<float> expected(int moved = -1, float value = 0, float offset = 0) {
    QList<float> m{16500.0f, 32500.0f, 13000.0f, 15000.0f, 19000.0f, 22000.0f};
    for (float& v : m) v += offset;
    if (moved >= 0) m[moved] = value;
    return m;
}

}  // namespace

class SpectrumPointerTest : public QObject {
    Q_OBJECT
  private slots:
    // The start band edges' columns 252 and 437 are the display's notch-band test's.
    void markerColumns() {
        const std::pair<float, int> cases[] = {
            {43.06640625f, 61}, {43.0f, 60},            // half a column rounds up, just under does not
            {-100.0f, 60},      {200000.0f, 2382},      // truncation toward zero; beyond the spectrum
            {1e30f, 1000060},   {notANumber, -999940},  // clamped
        };
        for (auto [position, column] : cases) QCOMPARE(markerColumn(position), column);
    }

    // With the notches `on` (bit i: notch i+1) the pointer rests at x 100,
    // presses at (pressX, pressY) and moves to (x, y): it shows `shape` and
    // `bin`, marker `moved` (-1: none) takes `value` and the others keep their
    // start values, during the drag and after the release. A press off the
    // graph's rows (y 41..261) grabs nothing: the move is a hover.
    void pressAndMove() {
        using enum PointerShape;
        // clang-format off
        const std::tuple<int, int, int, int, int, PointerShape, float, int, float> cases[] = {
            {0, 252, 41, 262, 150, Size, 202, 0, 17361.328125f},       // lower edge, right 10, top row of the graph
            {0, 252, 261, 262, 150, Size, 202, 0, 17361.328125f},      // bottom row
            {0, 252, 40, 262, 150, Size, 202, -1, 0},                  // above the graph: hovers the moved-to edge
            {0, 252, 262, 263, 150, Arrow, 203, -1, 0},                // below it; just off the edge's zone
            {0, 211, 150, 200, 150, Size, 140, 2, 12052.5390625f},     // notch 1, switched off
            {0, 224, 150, 220, 150, Size, 160, 3, 14655.46875f},       // notch 2 at its 10-column edge
            {0, 340, 150, 360, 150, Size, 300, 5, 23722.65625f},       // notch 4 at its 25-column edge
            {0, 290, 150, 280, 150, Size, 220, 4, 18138.671875f},      // overlap: notch 3 moves, notch 4 waits
            {0, 437, 150, 2000, 150, Size, 1940, 1, 167125.5859375f},  // beyond the right end
            {0, 211, 150, 0, 150, Size, -60, 2, -5174.0234375f},       // below zero
            {0, 0, 0, 437, 40, Arrow, 0, -1, 0},                       // hover above the graph: no bin
            {1, 0, 0, 214, 150, Size, 154, -1, 0}, {1, 0, 0, 215, 150, Arrow, 155, -1, 0},  // notch 1: 3 out, 4 out
            {2, 0, 0, 229, 150, Size, 169, -1, 0}, {2, 0, 0, 228, 150, Arrow, 168, -1, 0},  // notch 2: 5 out, 6 out
            {8, 0, 0, 340, 150, Size, 280, -1, 0}, {7, 0, 0, 340, 150, Arrow, 280, -1, 0},  // notch 4 on, off
        };
        // clang-format on
        for (auto [on, pressX, pressY, x, y, shape, bin, moved, value] : cases) {
            ProcessingSettings s;
            for (int i = 0; i < 4; ++i) put(s.notchOn(i), (on >> i) & 1);
            SpectrumPointer p(s);
            p.move(100, 150);  // a non-zero bin first, so a reset to 0 shows
            p.press(pressX, pressY);
            QCOMPARE(p.dragging(), moved >= 0);
            QCOMPARE(p.move(x, y), shape);
            QCOMPARE(p.mouseBin(), bin);
            QCOMPARE(markers(s), expected(moved, value));
            p.release();
            QVERIFY(!p.dragging());
            p.move(x + 7, 150);
            QCOMPARE(markers(s), expected(moved, value));
        }
    }

    // A notch dragged across the lower cut-off's zone stands still there.
    // Dragging the lower edge past the upper one swaps the values at the next
    // move; the drag then goes on in the variable `lowerCutoff`.
    void dragsAcrossAnotherMarker() {
        ProcessingSettings s, t;
        SpectrumPointer notch(s), edge(t);
        notch.press(211, 150);
        notch.move(240, 150);
        QCOMPARE(notch.move(245, 150), PointerShape::Size);
        QCOMPARE(markers(s), expected(2, 15497.8515625f));
        notch.move(270, 150);
        QCOMPARE(markers(s), expected(2, 13000.0f + 59 * 86.1328125f));

        edge.press(252, 150);
        edge.move(450, 150);
        QCOMPARE(markers(t).first(2), QList({33554.296875f, 32500.0f}));
        QCOMPARE(edge.move(300, 150), PointerShape::Arrow);  // swaps and does nothing else
        QCOMPARE(markers(t).first(2), QList({32500.0f, 33554.296875f}));
        QCOMPARE(edge.mouseBin(), 390.0f);
        QCOMPARE(edge.move(455, 150), PointerShape::Size);  // over the new upper edge: stands still
        QCOMPARE(markers(t).first(2), QList({32500.0f, 33554.296875f}));
        edge.move(300, 150);
        QCOMPARE(markers(t).first(2), QList({20634.375f, 33554.296875f}));
        put(t.lowerCutoff, notANumber);  // not a number: swapped too
        QCOMPARE(edge.move(100, 150), PointerShape::Arrow);
        QCOMPARE(get(t.lowerCutoff), 33554.296875f);
        QVERIFY(std::isnan(get(t.upperCutoff)));
        QCOMPARE(edge.mouseBin(), 240.0f);  // the swapping move did nothing else
    }

    // Every turn shifts all six markers by a step, never clamped.
    void wheel() {
        const std::tuple<int, bool, bool, int, float> cases[] = {
            // delta, Ctrl, Shift, turns, total shift
            {120, false, false, 1, 100},     {-120, false, false, 1, -100}, {120, true, false, 1, 10},
            {120, false, true, 1, 1000},     {120, true, true, 1, 1000},  // Shift wins over Ctrl
            {960, false, false, 1, 800},                                  // a big delta: a step per notch
            {5, false, false, 24, 100},      {5, false, false, 23, 0},    // touchpad: 24 x 5 is one step, 23 none yet
            {-5, true, false, 48, -20},      {15, false, true, 8, 1000},  // touchpad with Ctrl; hi-res wheel 8 x 15
            {0, true, false, 1, 0},                                       // sideways swipe ignored
            {-120, false, true, 40, -40000},                              // never clamped
        };
        for (auto [delta, ctrl, shift, turns, total] : cases) {
            ProcessingSettings s;
            SpectrumPointer p(s);
            for (int i = 0; i < turns; ++i) p.wheel(delta, ctrl, shift);
            QCOMPARE(markers(s), expected(-1, 0, total));
        }
    }
};

QTEST_MAIN(SpectrumPointerTest)
#include "spectrum_pointer_test.moc"
