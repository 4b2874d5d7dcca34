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
#include <vector>

#include "command_ids.h"
#include "live_window.h"
#include "main_window.h"
#include "sound_file.h"

using namespace tolvek;

namespace {

constexpr int rate = 44100;
constexpr double blocksPerSecond = double(rate) / blockLength;
constexpr double allowedLagBlocks = 3;  // scheduling jitter, not a lost block
// Memory: the slope fitted to the resident size after the warm-up may not
// exceed 1 MB an hour, nor its growth over the run the allocator's noise.
constexpr double allowedMbPerHour = 1.0;
constexpr double noiseMb = 0.25;
constexpr int warmUpSeconds = 45;  // the chart recorder's 35 s history filled, the queues grown

int soakSeconds() {
    const int s = qEnvironmentVariableIntValue("TOLVEK_SOAK_SECONDS");
    return s > 0 ? s : 120;
}

double residentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Reads the whole file in pieces, so an hour's recording needs little memory.
struct FileCheck {
    test::Sound info;
    long readFrames = 0;
    double rms = 0;
};
FileCheck readBack(const std::string& path) {
    FileCheck c;
    double sum = 0;
    c.readFrames = test::scanSound(path, c.info, [&](const float* p, long frames) {
        for (long i = 0; i < frames * 2; ++i) sum += double(p[i]) * p[i];
    });
    c.rms = c.readFrames > 0 ? std::sqrt(sum / double(2 * c.readFrames)) : 0;
    return c;
}

}  // namespace

class SoakTest : public QObject {
    Q_OBJECT

  private slots:
    void everyStageRecordingAndChartForTheWholeRun() {
        test::LiveDevice live({.rate = rate});
        REQUIRE_LIVE_DEVICE(live);
        auto engine = std::make_unique<Engine>();
        MainWindow window(*engine);
        ProcessingSettings& s = engine->settings;
        put(s.sampleRate, rate);
        put(s.lmsStrength, 3000);
        window.show();
        QVERIFY(window.startAudio(0).ok);
        for (int id : {cmd::randomNoise, cmd::lms, cmd::blanker, cmd::comb, cmd::notch1, cmd::notch2, cmd::notch3,
                       cmd::notch4, cmd::pass, cmd::chartRecorder, cmd::openWaveFile})
            window.command(id);
        QVERIFY(get(s.lmsOn) == 1 && get(s.blankerOn) == 1 && get(s.combOn) == 1 && get(s.agcOn) == 1);
        QVERIFY(get(s.passOn) == 1 && get(s.noiseTestOn) == 1);
        for (int i = 0; i < 4; ++i) QVERIFY(get(s.notchOn(i)) == 1);
        QVERIFY(window.chartDialog());
        QVERIFY(window.wavRecorder().recording());
        // The chart keeps its 50 ms pace while the main window paints every block.
        QElapsedTimer tickClock;
        tickClock.start();
        int chartTicks = 0;
        double firstTickMs = 0, lastTickMs = 0, worstTickMs = 0;
        connect(window.chartDialog(), &chart::ChartDialog::ticked, [&] {
            const double t = tickClock.nsecsElapsed() / 1e6;
            if (chartTicks++ == 0) firstTickMs = t;
            worstTickMs = std::max(worstTickMs, chartTicks > 1 ? t - lastTickMs : 0.0);
            lastTickMs = t;
        });
        const int paintsBefore = window.paintCount().paints;

        const AudioStreamState& stream = window.audioStream();
        QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() >= 1, 10000);
        QElapsedTimer clock;
        clock.start();
        const uint32_t firstBlock = engine->shared.blocksDone.load();
        const int seconds = soakSeconds();
        double worstLag = 0, sumT = 0, sumR = 0, sumTT = 0, sumTR = 0;  // least squares of resident size on time
        int samples = 0;
        qInfo("soak: %d s at %d Hz, resident %.1f MB at start", seconds, rate, residentMb());
        for (int t = 1; t <= seconds; ++t) {
            QTest::qWait(int(std::max<qint64>(1, 1000LL * t - clock.elapsed())));
            const double elapsed = clock.nsecsElapsed() / 1e9;
            const double blocks = engine->shared.blocksDone.load() - firstBlock;
            worstLag = std::max(worstLag, elapsed * blocksPerSecond - blocks);
            const double rss = residentMb();
            if (t >= warmUpSeconds) ++samples, sumT += t, sumR += rss, sumTT += double(t) * t, sumTR += t * rss;
            if (t % std::max(1, seconds / 10) == 0 || t == 900 || t == 3600)
                qInfo(
                    "soak %5d s: blocks %.0f (%.1f behind the clock), resident %.1f MB, flags %u, recorded %u bytes,"
                    " chart ticks %d",
                    t, blocks, elapsed * blocksPerSecond - blocks, rss, stream.flags(),
                    window.wavRecorder().waveBytesWritten(), chartTicks);
            if (stream.flags() || window.deviceLossNotice()) break;
        }
        const double elapsed = clock.nsecsElapsed() / 1e9;
        const uint32_t blocks = engine->shared.blocksDone.load() - firstBlock;
        const uint32_t lost = window.wavRecorder().blocksLost();
        const uint32_t bytesBeforeClose = window.wavRecorder().waveBytesWritten();
        window.command(cmd::closeWaveFile);
        QVERIFY(!window.wavRecorder().recording());
        const std::string path = window.wavRecorder().path();
        const FileCheck file = readBack(path);
        const double span = samples > 1 ? (sumTT - sumT * sumT / samples) : 0;
        const double mbPerSecond = span > 0 ? (sumTR - sumT * sumR / samples) / span : 0;
        const double fittedGrowth = mbPerSecond * std::max(0, samples - 1);
        qInfo(
            "soak done: %.1f s on %s, %u blocks (%.1f expected, worst lag %.1f), flags: input underflow %u overflow"
            " %u, output underflow %u overflow %u; resident %.1f MB, growing %.2f MB an hour after the warm-up;"
            " recording %ld frames read of %ld, %u blocks lost, rms %.3f; chart ticks %d",
            elapsed, test::soundServer().c_str(), blocks, elapsed * blocksPerSecond, worstLag,
            stream.inputUnderflows.load(), stream.inputOverflows.load(), stream.outputUnderflows.load(),
            stream.outputOverflows.load(), residentMb(), mbPerSecond * 3600, file.readFrames, file.info.headerFrames,
            lost, file.rms, chartTicks);

        QVERIFY(!window.deviceLossNotice());
        QCOMPARE(stream.flags(), 0u);
        QVERIFY2(worstLag <= allowedLagBlocks, "blocks fell behind the wall clock");
        QVERIFY2(fittedGrowth <= std::max(noiseMb, allowedMbPerHour * samples / 3600), "resident memory grows");
        const double meanTickMs = (lastTickMs - firstTickMs) / std::max(1, chartTicks - 1);
        qInfo("chart tick interval mean %.2f ms, max %.1f ms; main window paints %.1f per s", meanTickMs, worstTickMs,
              (window.paintCount().paints - paintsBefore) / elapsed);
        QVERIFY(window.paintCount().paints - paintsBefore > 0.8 * elapsed * blocksPerSecond);
        QVERIFY(chartTicks > 100 && std::abs(meanTickMs - 50.0) < 2.5);
        QVERIFY(worstTickMs < 250.0);

        QVERIFY(file.info.opened);
        QCOMPARE(file.info.rate, rate);
        QCOMPARE(file.info.channels, 2);
        QCOMPARE(lost, 0u);
        QVERIFY(file.info.headerFrames >= bytesBeforeClose / 4);  // closing appends what was still queued
        QCOMPARE(file.readFrames, file.info.headerFrames);
        QCOMPARE(file.readFrames % blockLength, 0L);
        // Recording started with the first block counted, give or take the blocks queued at either end.
        QVERIFY(std::abs(double(file.readFrames) / blockLength - blocks) <= 4);
        QVERIFY(file.rms > 0.001);  // the test noise came through every stage

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
