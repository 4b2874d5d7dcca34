// The chart recorder: the level it measures, the averaging and scrolling of
// its history at every time scale, its picture, and the dialog's buttons,
// captures, level log and closing, with a clock of the test's own.
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "chart_dialog.h"
#include "chart_picture.h"
#include "picture_saver.h"

using namespace tolvek;
using namespace tolvek::chart;

// A filtered spectrum whose power gives `level` dB (NaN: a NaN bin; -inf: all bins zero).
static void setLevel(SharedValues& shared, double level) {
    for (auto& bin : shared.filteredSpectrum) bin.store(0.0f);
    shared.filteredSpectrum[100].store(static_cast<float>(std::sqrt(1024.0 * std::pow(10.0, (level + 44.0) / 10.0))));
}

// The black (ink) pixels in `area`.
static QList<QPoint> ink(const QImage& image, QRect area) {
    QList<QPoint> points;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == qRgb(0, 0, 0)) points << QPoint(x, y);
    return points;
}
// The trace's pixels in column x, above the texts.
static QList<QPoint> trace(const QImage& image, int x) { return ink(image, {x, 0, 1, 284}); }

class ChartTest : public QObject {
    Q_OBJECT
    SharedValues shared;
    ChartState state;
    int64_t fakeMs = 0;
    std::tm fakeTime{};
    std::unique_ptr<QTemporaryDir> files;

    std::unique_ptr<ChartDialog> dialog() {
        ChartLinks links{.shared = &shared,
                         .signalLevel = [] { return -30.7f; },
                         .captureFormat = [] { return capturePng; },
                         .clock = {[this] { return fakeMs; }, [this] { return fakeTime; }},
                         .pictureDir = files->path().toStdString()};
        auto d = std::make_unique<ChartDialog>(state, std::move(links));
        d->show();
        return d;
    }
    QStringList saved() const { return QDir(files->path()).entryList({"Capture *.png"}, QDir::Files, QDir::Name); }

  private slots:
    void init() {
        state = {}, fakeMs = 0, fakeTime = {.tm_sec = 3, .tm_min = 5, .tm_hour = 9};
        files = std::make_unique<QTemporaryDir>();
        setLevel(shared, -20.0);
    }

    // Each point is the mean of the previous point and the scale's ticks,
    // plotted on every (s + 1)-th tick; the history moves one column left.
    void averagingAndScrollingAtEveryTimeScale() {
        for (int scale : timeScales) {
            state = {};
            chooseTimeScale(state, scale, 0.0f);
            for (int point = 0, previous = 0; point < 4; ++point) {
                int sum = previous;
                for (int t = 0; t <= scale; ++t) {
                    const float level = -10.0f - 0.5f * float((point * 7 + t * 3) % 41);  // half-dB steps: exact
                    sum -= int(2.0f * level);
                    QCOMPARE(advanceChart(state, level), t == scale);
                }
                const int expected = sum / (scale + 2);
                // The running value goes on from the point; the history moves one column left.
                QVERIFY(state.chartHistory[698] == expected && state.chartHistory[699] == expected);
                QVERIFY(state.chartPoints[699].y == expected + 50 && state.chartPoints[698].y == previous + 50);
                previous = expected;
            }
        }
    }

    // The first tick plots half the level on a flat trace; a steady level
    // settles at 50 - 2L less the truncations of the means. The dB factor
    // changes the trace with the next point only, and levels off the top or
    // bottom are not clamped. A new time scale restarts the average from the
    // main window's level, keeping the history. Closing resets all but the
    // last trace.
    void pictureButtonsCapturesAndClosing() {
        auto d = dialog();
        QVERIFY(d->picture().size() == QSize(700, 304) && d->size() == QSize(702, 341));
        d->tick();
        QVERIFY(state.chartPoints[699].y == 70 && trace(d->picture(), 10) == QList{QPoint(10, 50)});
        for (int i = 0; i < 40; ++i) d->tick();
        const QImage picture = d->picture();
        const QRgb grid = qRgb(170, 170, 170), background = qRgb(187, 221, 255);
        const std::tuple<int, int, QRgb> pixels[] = {
            {3, 3, background}, {16, 5, grid}, {5, 20, grid}, {16 * 43, 300, grid}, {16 * 43, 301, background}};
        for (auto [x, y, colour] : pixels) QCOMPARE(picture.pixel(x, y), colour);  // vertical lines end on row 300
        // -20 dB at 10 dB per division, the flat start; the last point is not drawn.
        QVERIFY(trace(picture, 690) == QList{QPoint(690, 89)} && trace(picture, 400) == QList{QPoint(400, 50)} &&
                trace(picture, 699).isEmpty());
        // Seconds and dB per division, time stamp; no Auto Capture until it is on.
        const QRect texts[] = {{5, 285, 240, 14}, {250, 285, 100, 14}, {637, 285, 63, 14}, {450, 285, 120, 14}};
        for (const QRect& r : texts) QVERIFY((ink(picture, r).size() > 30) == (r.x() != 450));
        d->button(button::fiveDb)->click();
        d->button(button::autoCapture)->click();
        fakeTime.tm_hour = 14;
        QCOMPARE(state.chartPoints[699].y, 89);
        d->tick();
        QCOMPARE(state.chartPoints[699].y, 128);  // 50 - 4L, truncated likewise
        for (const QRect& r : texts) QVERIFY((d->picture().copy(r) != picture.copy(r)) == (r.x() != 5));
        for (float level : {40.0f, -200.0f}) {
            setLevel(shared, level);
            for (int i = 0; i < 720; ++i) d->tick();
            QVERIFY(ink(d->picture(), {0, 0, 700, 284}).isEmpty());
        }
        const auto history = state.chartHistory;
        d->button(button::tenMinutes)->click();
        QVERIFY(std::equal(history.begin(), history.end() - 1, state.chartHistory.begin()));
        QVERIFY(state.chartHistory[699] == 61 && state.chartTickCount == 0);  // -2 x -30.7 dB, truncated
        // Auto Capture, switched on at 0 ms and 1 s per division, keeps its period of one span of the
        // chart; after a long stall one picture, then the normal period. The picture is the frame just drawn.
        const int64_t period = 700 * 50;
        const std::pair<int64_t, int> times[] = {{period - 1, 0},       {period, 1},      {2 * period - 50, 1},
                                                 {2 * period, 2},       {10 * period, 3}, {10 * period + 50, 3},
                                                 {11 * period - 50, 3}, {11 * period, 4}};
        for (const auto& [ms, pictures] : times) {
            fakeMs = ms;
            d->tick();
            QCOMPARE(saved().size(), pictures);
        }
        QCOMPARE(QImage(files->filePath(saved()[3])).convertToFormat(QImage::Format_RGB32), d->picture());
        d->button(button::autoCapture)->click();  // off: nothing more on time; a capture waits for the next tick
        fakeMs = 20 * period;
        d->tick();
        d->button(button::capture)->click();
        QCOMPARE(saved().size(), 4);
        d->tick();
        QCOMPARE(saved().size(), 5);
        d->button(button::autoCapture)->click();
        QTest::keyClick(d.get(), Qt::Key_Escape);  // ignored
        QTest::keyClick(d.get(), Qt::Key_Return);
        QVERIFY(d->isVisible());
        const int lastPoint = state.chartPoints[699].y;
        d->close();
        QVERIFY(state.chartHistory == decltype(state.chartHistory){} && state.chartPoints[699].y == lastPoint);
        QVERIFY(state.chartTimeScale == 0 && state.chartDbScale == 1 && state.autoCaptureOn == 0);
    }

    // "Log": a row per plotted point (time of day, the point's level), on
    // disk while the log is still open; stopping ends the rows; a second log
    // in the same second gets " (2)".
    void levelLogHoldsEveryPlottedPointAndFailuresAreShown() {
        auto d = dialog();
        d->button(button::levelLog)->click();
        QVERIFY(d->button(button::levelLog)->isChecked());
        const auto rows = [this](const QString& name) {
            QFile f(files->filePath(name));
            return f.open(QIODevice::ReadOnly) ? QString(f.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
        };
        // The main window's level without its lower limit; no finite level gives the floor.
        const std::pair<double, double> levels[] = {{-20, -20},   {-47, -47},  {12, 12},
                                                    {-150, -150}, {NAN, -110}, {-INFINITY, -110}};
        for (const auto& [level, logged] : levels) {
            setLevel(shared, level);
            for (int i = 0; i < 30; ++i) d->tick();
            const QStringList log = rows("Level Log 09.05.03 h.csv");
            QVERIFY(log.first() == "time,level_dB" && log.last().startsWith("09:05:03,"));
            QVERIFY(std::fabs(log.last().section(',', 1).toDouble() - logged) <= 0.5);  // settled, truncation aside
        }
        for (auto [name, size] : {std::pair{"Level Log 09.05.03 h.csv", 181}, {"Level Log 09.05.03 h (2).csv", 2}}) {
            d->button(button::levelLog)->click();
            d->tick();
            QCOMPARE(rows(name).size(), size);
        }
        // The folder gone: a log or a capture that cannot be written is shown, and the chart goes on.
        QVERIFY(files->remove());
        d->button(button::levelLog)->click();  // ends the second log
        d->button(button::levelLog)->click();
        QVERIFY(!d->button(button::levelLog)->isChecked() && d->windowTitle().startsWith("Chart Recorder - "));
        d->setWindowTitle("Chart Recorder");
        d->button(button::capture)->click();
        d->tick();
        QVERIFY(d->windowTitle().startsWith("Chart Recorder - ") && state.captureRequested == 0);
    }
};

QTEST_MAIN(ChartTest)
#include "chart_test.moc"
