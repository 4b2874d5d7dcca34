// Drags, hovers and wheel turns on the spectrum graph, checked in position
// units against hand-computed values (one column = 44100/512 units).
#include <QTest>
#include <cmath>
#include <limits>

#include "spectrum_pointer.h"

using tolvek::PointerShape;
using tolvek::ProcessingSettings;
using tolvek::SpectrumPointer;

Q_DECLARE_METATYPE(PointerShape)

// QCOMPARE on floats is fuzzy; positions must come out to the last bit.
#define COMPARE_EXACT(actual, expected)        \
    QVERIFY2(float(actual) == float(expected), \
             qPrintable(QString("%1 != %2").arg(double(actual), 0, 'g', 12).arg(double(expected), 0, 'g', 12)))

namespace {

float value(ProcessingSettings& s, int marker) {
    std::atomic<float>* p[] = {&s.lowerCutoff, &s.upperCutoff, &s.notch1Freq,
                               &s.notch2Freq,  &s.notch3Freq,  &s.notch4Freq};
    return tolvek::get(*p[marker]);
}

const float startValues[] = {16500.0f, 32500.0f, 13000.0f, 15000.0f, 19000.0f, 22000.0f};

}  // namespace

class SpectrumPointerTest : public QObject {
    Q_OBJECT
  private slots:
    void markerColumns_data() {
        QTest::addColumn<float>("position");
        QTest::addColumn<int>("column");
        QTest::newRow("lower at start") << 16500.0f << 252;
        QTest::newRow("upper at start") << 32500.0f << 437;
        QTest::newRow("half a column rounds up") << 43.06640625f << 61;
        QTest::newRow("just under half a column") << 43.0f << 60;
        QTest::newRow("negative truncates toward zero") << -100.0f << 60;
        QTest::newRow("beyond the spectrum") << 200000.0f << 2382;
        QTest::newRow("huge is clamped") << 1e30f << 1000060;
        QTest::newRow("NaN is clamped") << std::numeric_limits<float>::quiet_NaN() << -999940;
    }
    void markerColumns() {
        QFETCH(float, position);
        QFETCH(int, column);
        QCOMPARE(tolvek::markerColumn(position), column);
    }

    // Press at (pressX, pressY), move to (moveX, 150): `moved` (-1: none)
    // takes `expected`, every other marker keeps its start value.
    void drags_data() {
        QTest::addColumn<int>("pressX");
        QTest::addColumn<int>("pressY");
        QTest::addColumn<int>("moveX");
        QTest::addColumn<int>("moved");
        QTest::addColumn<float>("expected");
        QTest::newRow("lower right 10, row 41") << 252 << 41 << 262 << 0 << 17361.328125f;
        QTest::newRow("row 261 grabs") << 252 << 261 << 262 << 0 << 17361.328125f;
        QTest::newRow("row 40 grabs nothing") << 252 << 40 << 262 << -1 << 0.0f;
        QTest::newRow("row 262 grabs nothing") << 252 << 262 << 262 << -1 << 0.0f;
        QTest::newRow("notch 1 while off") << 211 << 150 << 200 << 2 << 12052.5390625f;
        QTest::newRow("notch 2 at its 10-column edge") << 224 << 150 << 220 << 3 << 14655.46875f;
        QTest::newRow("notch 4 at its 25-column edge") << 340 << 150 << 360 << 5 << 23722.65625f;
        QTest::newRow("overlap: notch 3 moves, notch 4 waits") << 290 << 150 << 280 << 4 << 18138.671875f;
        QTest::newRow("beyond the right end") << 437 << 150 << 2000 << 1 << 167125.5859375f;
        QTest::newRow("below zero") << 211 << 150 << 0 << 2 << -5174.0234375f;
    }
    void drags() {
        QFETCH(int, pressX);
        QFETCH(int, pressY);
        QFETCH(int, moveX);
        QFETCH(int, moved);
        QFETCH(float, expected);
        ProcessingSettings s;
        SpectrumPointer p(s);
        p.press(pressX, pressY);
        QCOMPARE(p.dragging(), moved >= 0);
        QCOMPARE(p.move(moveX, 150), PointerShape::Size);
        for (int m = 0; m < 6; ++m) COMPARE_EXACT(value(s, m), m == moved ? expected : startValues[m]);
        QCOMPARE(p.mouseBin(), float(moveX - 60));

        p.release();
        QVERIFY(!p.dragging());
        p.move(moveX + 7, 150);
        for (int m = 0; m < 6; ++m) COMPARE_EXACT(value(s, m), m == moved ? expected : startValues[m]);
    }

    void hover_data() {
        QTest::addColumn<int>("notchesOn");  // bit i: notch i+1 switched on
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<PointerShape>("shape");
        QTest::addColumn<float>("mouseBin");
        QTest::newRow("lower edge") << 0 << 262 << 150 << PointerShape::Size << 202.0f;
        QTest::newRow("past lower edge") << 0 << 263 << 150 << PointerShape::Arrow << 203.0f;
        QTest::newRow("upper, row above the graph") << 0 << 437 << 40 << PointerShape::Arrow << 0.0f;
        QTest::newRow("notch 1 on, 3 out") << 1 << 214 << 150 << PointerShape::Size << 154.0f;
        QTest::newRow("notch 1 on, 4 out") << 1 << 215 << 150 << PointerShape::Arrow << 155.0f;
        QTest::newRow("notch 2 on, 5 out") << 2 << 229 << 150 << PointerShape::Size << 169.0f;
        QTest::newRow("notch 2 on, 6 out") << 2 << 228 << 150 << PointerShape::Arrow << 168.0f;
        QTest::newRow("notch 4 on, 25 out") << 8 << 340 << 150 << PointerShape::Size << 280.0f;
        QTest::newRow("notch 4 off") << 7 << 340 << 150 << PointerShape::Arrow << 280.0f;
    }
    void hover() {
        QFETCH(int, notchesOn);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(PointerShape, shape);
        QFETCH(float, mouseBin);
        ProcessingSettings s;
        for (int i = 0; i < 4; ++i) tolvek::put(s.notchOn(i), (notchesOn >> i) & 1);
        SpectrumPointer p(s);
        p.move(100, 150);  // a non-zero bin first, so a reset to 0 shows
        QCOMPARE(p.move(x, y), shape);
        QCOMPARE(p.mouseBin(), mouseBin);
        for (int m = 0; m < 6; ++m) COMPARE_EXACT(value(s, m), startValues[m]);
    }

    // A notch dragged across the lower cut-off's zone stands still there.
    void dragStallsOverAnotherMarker() {
        ProcessingSettings s;
        SpectrumPointer p(s);
        p.press(211, 150);
        p.move(240, 150);
        COMPARE_EXACT(tolvek::get(s.notch1Freq), 15497.8515625f);
        QCOMPARE(p.move(245, 150), PointerShape::Size);
        COMPARE_EXACT(tolvek::get(s.notch1Freq), 15497.8515625f);
        COMPARE_EXACT(tolvek::get(s.lowerCutoff), 16500.0f);
        p.move(270, 150);
        COMPARE_EXACT(tolvek::get(s.notch1Freq), 13000.0f + 59 * 86.1328125f);
    }

    // Dragging the lower edge past the upper one swaps the values at the
    // next move; the drag then goes on in the variable `lowerCutoff`.
    void edgeSwap() {
        ProcessingSettings s;
        SpectrumPointer p(s);
        p.press(252, 150);
        p.move(450, 150);
        COMPARE_EXACT(tolvek::get(s.lowerCutoff), 33554.296875f);
        COMPARE_EXACT(tolvek::get(s.upperCutoff), 32500.0f);

        QCOMPARE(p.move(300, 150), PointerShape::Arrow);  // swaps and does nothing else
        COMPARE_EXACT(tolvek::get(s.lowerCutoff), 32500.0f);
        COMPARE_EXACT(tolvek::get(s.upperCutoff), 33554.296875f);
        QCOMPARE(p.mouseBin(), 390.0f);

        QCOMPARE(p.move(455, 150), PointerShape::Size);  // over the new upper edge: stands still
        COMPARE_EXACT(tolvek::get(s.lowerCutoff), 32500.0f);
        p.move(300, 150);
        COMPARE_EXACT(tolvek::get(s.lowerCutoff), 20634.375f);
        COMPARE_EXACT(tolvek::get(s.upperCutoff), 33554.296875f);

        tolvek::put(s.lowerCutoff, std::numeric_limits<float>::quiet_NaN());  // not a number: swapped too
        QCOMPARE(p.move(100, 150), PointerShape::Arrow);
        COMPARE_EXACT(tolvek::get(s.lowerCutoff), 33554.296875f);
        QVERIFY(std::isnan(tolvek::get(s.upperCutoff)));
        QCOMPARE(p.mouseBin(), 240.0f);  // the swapping move did nothing else
    }

    void wheel_data() {
        QTest::addColumn<int>("deltaY");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<int>("turns");
        QTest::addColumn<float>("total");  // added to every position
        QTest::newRow("up") << 120 << false << false << 1 << 100.0f;
        QTest::newRow("down") << -120 << false << false << 1 << -100.0f;
        QTest::newRow("ctrl") << 120 << true << false << 1 << 10.0f;
        QTest::newRow("shift") << 120 << false << true << 1 << 1000.0f;
        QTest::newRow("shift wins over ctrl") << 120 << true << true << 1 << 1000.0f;
        QTest::newRow("big delta, a step per notch") << 960 << false << false << 1 << 800.0f;
        QTest::newRow("touchpad: 24 x 5 is one step") << 5 << false << false << 24 << 100.0f;
        QTest::newRow("touchpad: 23 x 5 is none yet") << 5 << false << false << 23 << 0.0f;
        QTest::newRow("touchpad down with ctrl") << -5 << true << false << 48 << -20.0f;
        QTest::newRow("hi-res wheel: 8 x 15") << 15 << false << true << 8 << 1000.0f;
        QTest::newRow("sideways swipe ignored") << 0 << true << false << 1 << 0.0f;
        QTest::newRow("never clamped") << -120 << false << true << 40 << -40000.0f;
    }
    void wheel() {
        QFETCH(int, deltaY);
        QFETCH(bool, ctrl);
        QFETCH(bool, shift);
        QFETCH(int, turns);
        QFETCH(float, total);
        ProcessingSettings s;
        SpectrumPointer p(s);
        for (int i = 0; i < turns; ++i) p.wheel(deltaY, ctrl, shift);
        for (int m = 0; m < 6; ++m) COMPARE_EXACT(value(s, m), startValues[m] + total);
    }
};

QTEST_MAIN(SpectrumPointerTest)
#include "spectrum_pointer_test.moc"
