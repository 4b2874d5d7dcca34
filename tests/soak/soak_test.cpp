// The whole program for a long run on the virtual sound device at 44100 Hz
// (on the server TOLVEK_SOUND_SERVER names, JACK when unset): every stage on
// (LMS at 3000 taps), recording, the chart recorder open. Fails on any
// stream status flag, a block missing against the wall clock, resident
// memory growing after the warm-up, or a recording that does not read back
// completely.
//
// TOLVEK_SOAK_SECONDS sets the length (default 120); run the executable
// itself for long runs, e.g.
//   TOLVEK_SOUND_SERVER=pipewire TOLVEK_SOAK_SECONDS=3600 build/tests/soak/soak_test
#include <sndfile.h>
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

struct FileCheck {
    bool opened = false;
    int fileRate = 0, channels = 0;
    long long headerFrames = 0, readFrames = 0;
    double rms = 0;
};

// Reads the whole file in pieces, so an hour's recording needs little memory.
FileCheck readBack(const std::string& path) {
    FileCheck c;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return c;
    c.opened = true;
    c.fileRate = info.samplerate;
    c.channels = info.channels;
    c.headerFrames = info.frames;
    std::vector<float> piece(65536 * size_t(std::max(1, info.channels)));
    double sum = 0;
    for (sf_count_t got; (got = sf_readf_float(f, piece.data(), 65536)) > 0;) {
        c.readFrames += got;
        for (sf_count_t i = 0; i < got * info.channels; ++i) sum += double(piece[size_t(i)]) * piece[size_t(i)];
    }
    if (sf_error(f) != SF_ERR_NO_ERROR) c.readFrames = -1;
    sf_close(f);
    c.rms = c.readFrames > 0 ? std::sqrt(sum / double(c.readFrames * c.channels)) : 0;
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
        int chartTicks = 0;
        connect(window.chartDialog(), &chart::ChartDialog::ticked, [&] { ++chartTicks; });

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
            " recording %lld frames read of %lld, %u blocks lost, rms %.3f; chart ticks %d",
            elapsed, test::soundServer().c_str(), blocks, elapsed * blocksPerSecond, worstLag,
            stream.inputUnderflows.load(), stream.inputOverflows.load(), stream.outputUnderflows.load(),
            stream.outputOverflows.load(), residentMb(), mbPerSecond * 3600, file.readFrames, file.headerFrames, lost,
            file.rms, chartTicks);

        QVERIFY(!window.deviceLossNotice());
        QCOMPARE(stream.flags(), 0u);
        QVERIFY2(worstLag <= allowedLagBlocks, "blocks fell behind the wall clock");
        QVERIFY2(fittedGrowth <= std::max(noiseMb, allowedMbPerHour * samples / 3600), "resident memory grows");
        QVERIFY(chartTicks > elapsed * 20 * 0.8);  // the chart kept its 50 ms pace

        QVERIFY(file.opened);
        QCOMPARE(file.fileRate, rate);
        QCOMPARE(file.channels, 2);
        QCOMPARE(lost, 0u);
        QVERIFY(file.headerFrames >= bytesBeforeClose / 4);  // closing appends what was still queued
        QCOMPARE(file.readFrames, file.headerFrames);
        QCOMPARE(file.readFrames % blockLength, 0LL);
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
