// The whole program for a long run on the virtual sound device at 44100 Hz
// (on the server TOLVEK_SOUND_SERVER names, JACK when unset): every stage on
// (LMS at 3000 taps), recording, the chart recorder open. Fails on any
// stream status flag, a block missing against the wall clock, the chart
// recorder off its 50 ms pace, resident memory growing after the warm-up,
// or a recording that does not read back completely.
//
// TOLVEK_SOAK_SECONDS sets the length (default 120); run the executable
// itself for long runs, e.g.
//   TOLVEK_SOUND_SERVER=pipewire TOLVEK_SOAK_SECONDS=3600 build/tests/soak/soak_test
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <fstream>

#include "command_ids.h"
#include "live_window.h"
#include "main_window.h"
#include "sound_file.h"

using namespace tolvek;

namespace {

// Lag: 3 blocks of scheduling jitter, not a lost block. Memory: the slope
// fitted to the resident size after the warm-up (the chart recorder's 35 s
// history filled, the queues grown) may not exceed 1 MB an hour, nor its
// growth over the run the allocator's noise.
constexpr int rate = 44100, warmUpSeconds = 45;
constexpr double blocksPerSecond = double(rate) / blockLength, allowedLagBlocks = 3, allowedMbPerHour = 1,
                 noiseMb = 0.25;

int soakSeconds() { return qEnvironmentVariable("TOLVEK_SOAK_SECONDS", "120").toInt(); }

double residentMb() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

}  // namespace

class SoakTest : public QObject {
    Q_OBJECT

  private slots:
    void everyStageRecordingAndChartForTheWholeRun() {
        test::LiveDevice live({.rate = rate});
        REQUIRE_LIVE_DEVICE(live);
        auto engine = std::make_unique<Engine>();  // too large for the stack
        MainWindow window(*engine);
        put(engine->settings.sampleRate, rate);
        put(engine->settings.lmsStrength, 3000);
        window.show();
        QVERIFY(window.startAudio(0).ok);
        for (int id : {cmd::randomNoise, cmd::lms, cmd::blanker, cmd::comb, cmd::notch1, cmd::notch2, cmd::notch3,
                       cmd::notch4, cmd::pass, cmd::chartRecorder, cmd::openWaveFile})
            window.command(id);
        QVERIFY(window.chartDialog() && window.wavRecorder().recording());
        // The chart keeps its 50 ms pace while the main window paints every block.
        QElapsedTimer clock;
        clock.start();
        int chartTicks = 0, paintsBefore = window.paintCount().paints;
        double firstTickMs = 0, lastTickMs = 0, worstTickMs = 0;
        connect(window.chartDialog(), &chart::ChartDialog::ticked, [&] {
            const double t = clock.nsecsElapsed() / 1e6;
            if (chartTicks++ == 0) firstTickMs = lastTickMs = t;
            worstTickMs = std::max(worstTickMs, t - std::exchange(lastTickMs, t));
        });

        QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() >= 1, 10000);
        const qint64 startMs = clock.elapsed();
        const uint32_t firstBlock = engine->shared.blocksDone.load();
        auto elapsed = [&] { return double(clock.elapsed() - startMs) / 1e3; };
        double worstLag = 0, rss = 0, samples = 0, sumT = 0, sumR = 0, sumTT = 0, sumTR = 0;  // least squares
        for (int t = 1; t <= soakSeconds() && !window.audioStream().flags() && !window.deviceLossNotice(); ++t) {
            QTest::qWait(int(std::max<qint64>(1, 1000LL * t - (clock.elapsed() - startMs))));
            worstLag =
                std::max(worstLag, elapsed() * blocksPerSecond - (engine->shared.blocksDone.load() - firstBlock));
            rss = residentMb();
            if (t >= warmUpSeconds) ++samples, sumT += t, sumR += rss, sumTT += double(t) * t, sumTR += t * rss;
            if (t == 900) qInfo("soak 900 s: resident %.1f MB, lag %.1f blocks", rss, worstLag);
        }
        const double runSeconds = elapsed(), span = samples > 1 ? (sumTT - sumT * sumT / samples) : 0;
        const double fittedGrowth = span > 0 ? (sumTR - sumT * sumR / samples) / span * (samples - 1) : 0;
        const double meanTickMs = (lastTickMs - firstTickMs) / std::max(1, chartTicks - 1);
        const uint32_t blocks = engine->shared.blocksDone.load() - firstBlock;
        const AudioStreamState& s = window.audioStream();
        qInfo(
            "soak %.0f s: %u blocks, lag %.1f, resident %.1f MB, growth %.2f MB, tick %.2f ms, device lost %d, "
            "input under/overflows %u/%u, output under/overflows %u/%u",
            runSeconds, blocks, worstLag, rss, fittedGrowth, meanTickMs, window.deviceLossNotice() != nullptr,
            s.inputUnderflows.load(), s.inputOverflows.load(), s.outputUnderflows.load(), s.outputOverflows.load());
        QVERIFY(!window.deviceLossNotice() && s.flags() == 0);
        QVERIFY2(worstLag <= allowedLagBlocks, "blocks fell behind the wall clock");
        QVERIFY2(fittedGrowth <= std::max(noiseMb, allowedMbPerHour * samples / 3600), "resident memory grows");
        QVERIFY(window.paintCount().paints - paintsBefore > 0.8 * runSeconds * blocksPerSecond);
        QVERIFY(chartTicks > 100 && std::abs(meanTickMs - 50.0) < 2.5 && worstTickMs < 250.0);

        // The recording reads to its end (in pieces: an hour's file needs little memory) and holds every
        // block, give or take the blocks queued at either end. Its format, whole blocks and sound are the
        // recorder's tests' and the killed-while-recording run's.
        window.command(cmd::closeWaveFile);
        QCOMPARE(window.wavRecorder().blocksLost(), 0u);
        test::Sound info;
        const long frames = test::scanSound(window.wavRecorder().path(), info, [](const float*, long) {});
        QVERIFY(frames == info.headerFrames && std::abs(double(frames) / blockLength - blocks) <= 4);
        window.close();
    }
};

// QtTest ends a test function after 5 minutes unless told otherwise.
int main(int argc, char** argv) {
    qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number((soakSeconds() + 300) * 1000));
    QApplication app(argc, argv);
    SoakTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "soak_test.moc"
