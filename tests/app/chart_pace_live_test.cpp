// The chart recorder keeps its 50 ms pace while the main window repaints
// after every block of a live 44100 Hz stream on the virtual sound device.
#include <QElapsedTimer>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "command_ids.h"
#include "live_window.h"
#include "main_window.h"

using namespace tolvek;

class ChartPaceLiveTest : public QObject {
    Q_OBJECT

  private slots:
    void chartTicksEvery50msBesideTheMainWindow() {
        test::LiveDevice live({.anyRate = true});
        REQUIRE_LIVE_DEVICE(live);
        auto engine = std::make_unique<Engine>();
        MainWindow window(*engine);
        put(engine->settings.sampleRate, 44100);
        window.show();
        QVERIFY(window.startAudio(0).ok);
        window.command(cmd::chartRecorder);
        QVERIFY(window.chartDialog());

        QElapsedTimer clock;
        clock.start();
        std::vector<double> ticksMs;
        connect(window.chartDialog(), &chart::ChartDialog::ticked,
                [&] { ticksMs.push_back(clock.nsecsElapsed() / 1e6); });
        const int paintsBefore = window.paintCount().paints;
        QTest::qWait(10000);
        const double seconds = clock.nsecsElapsed() / 1e9;
        const int paints = window.paintCount().paints - paintsBefore;
        window.close();

        std::vector<double> intervals;
        for (size_t i = 1; i < ticksMs.size(); ++i) intervals.push_back(ticksMs[i] - ticksMs[i - 1]);
        QVERIFY(intervals.size() > 100);
        const double mean = std::accumulate(intervals.begin(), intervals.end(), 0.0) / intervals.size();
        double variance = 0;
        for (double d : intervals) variance += (d - mean) * (d - mean);
        const double sd = std::sqrt(variance / intervals.size());
        std::sort(intervals.begin(), intervals.end());
        const double p99 = intervals[intervals.size() * 99 / 100], worst = intervals.back();
        qInfo(
            "chart ticks over %.1f s: %zu, interval mean %.2f ms, sd %.2f ms, p99 %.1f ms, max %.1f ms;"
            " main window paints %d (%.1f per s)",
            seconds, ticksMs.size(), mean, sd, p99, worst, paints, paints / seconds);

        QVERIFY(paints > 0.8 * seconds * 44100 / 2048);  // the main window did paint every block
        QVERIFY(std::abs(mean - 50.0) < 2.5);
        QVERIFY(worst < 250.0);
    }
};

QTEST_MAIN(ChartPaceLiveTest)
#include "chart_pace_live_test.moc"
