// The whole program for a long run on the virtual sound device at 44100 Hz:
// every stage on (LMS at 3000 taps), recording, the chart recorder open.
// Fails on any underflow or overflow, a block missing against the wall
// clock, resident memory growing after the warm-up, or a recording that
// does not read back completely.
//
// TOLVEK_SOAK_SECONDS sets the length (default 120); run the executable
// itself for long runs, e.g. TOLVEK_SOAK_SECONDS=3600 build/tests/soak/soak_test.
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
#include "main_window.h"
#include "virtual_device.h"

using namespace tolvek;

namespace {

constexpr int rate = 44100;
constexpr double blocksPerSecond = double(rate) / streamFramesPerBuffer;
constexpr double allowedLagBlocks = 3;  // scheduling jitter, not a lost block
constexpr double allowedGrowthMb = 8;   // after the warm-up
constexpr int warmUpSeconds = 15;

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
        LiveDevice live({}, rate);
        if (!live.started) QSKIP("the virtual sound device did not start");
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
        double rssWarm = 0, rssMax = 0, worstLag = 0;
        qInfo("soak: %d s at %d Hz, resident %.1f MB at start", seconds, rate, residentMb());
        for (int t = 1; t <= seconds; ++t) {
            QTest::qWait(int(std::max<qint64>(1, 1000LL * t - clock.elapsed())));
            const double elapsed = clock.nsecsElapsed() / 1e9;
            const double blocks = engine->shared.blocksDone.load() - firstBlock;
            worstLag = std::max(worstLag, elapsed * blocksPerSecond - blocks);
            const double rss = residentMb();
            if (t == warmUpSeconds || (t < warmUpSeconds && t == seconds)) rssWarm = rss;
            if (t >= warmUpSeconds) rssMax = std::max(rssMax, rss);
            if (t % std::max(1, seconds / 10) == 0)
                qInfo(
                    "soak %5d s: blocks %.0f (%.1f behind the clock), resident %.1f MB, underflows %u, overflows %u,"
                    " recorded %u bytes, chart ticks %d",
                    t, blocks, elapsed * blocksPerSecond - blocks, rss, stream.underflows.load(),
                    stream.overflows.load(), window.wavRecorder().waveBytesWritten(), chartTicks);
            if (stream.underflows.load() || stream.overflows.load() || window.deviceLossNotice()) break;
        }
        const double elapsed = clock.nsecsElapsed() / 1e9;
        const uint32_t blocks = engine->shared.blocksDone.load() - firstBlock;
        const uint32_t lost = window.wavRecorder().blocksLost();
        const uint32_t bytesBeforeClose = window.wavRecorder().waveBytesWritten();
        window.command(cmd::closeWaveFile);
        QVERIFY(!window.wavRecorder().recording());
        const std::string path = window.wavRecorder().path();
        const FileCheck file = readBack(path);
        const double growth = rssMax - rssWarm;
        qInfo(
            "soak done: %.1f s, %u blocks (%.1f expected, worst lag %.1f), underflows %u, overflows %u;"
            " resident %.1f MB after warm-up, max %.1f MB (growth %.1f MB); recording %lld frames read of %lld,"
            " %u blocks lost, rms %.3f; chart ticks %d",
            elapsed, blocks, elapsed * blocksPerSecond, worstLag, stream.underflows.load(), stream.overflows.load(),
            rssWarm, rssMax, growth, file.readFrames, file.headerFrames, lost, file.rms, chartTicks);

        QVERIFY(!window.deviceLossNotice());
        QCOMPARE(stream.underflows.load(), 0u);
        QCOMPARE(stream.overflows.load(), 0u);
        QVERIFY2(worstLag <= allowedLagBlocks, "blocks fell behind the wall clock");
        QVERIFY2(growth <= allowedGrowthMb, "resident memory grew after the warm-up");
        QVERIFY(chartTicks > elapsed * 20 * 0.8);  // the chart kept its 50 ms pace

        QVERIFY(file.opened);
        QCOMPARE(file.fileRate, rate);
        QCOMPARE(file.channels, 2);
        QCOMPARE(lost, 0u);
        QVERIFY(file.headerFrames >= bytesBeforeClose / 4);  // closing appends what was still queued
        QCOMPARE(file.readFrames, file.headerFrames);
        QCOMPARE(file.readFrames % streamFramesPerBuffer, 0LL);
        // Recording started with the first block counted, give or take the blocks queued at either end.
        QVERIFY(std::abs(double(file.readFrames) / streamFramesPerBuffer - blocks) <= 4);
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
