// The sound server of the virtual device stops in the middle of a recording:
// the window notices within about a second, says so without blocking,
// completes the recording and stays usable.
#include <signal.h>

#include <QElapsedTimer>
#include <QtTest>

#include "command_ids.h"
#include "live_window.h"
#include "main_window.h"
#include "sound_file.h"

using namespace tolvek;

class DeviceLossLiveTest : public QObject {
    Q_OBJECT

  private slots:
    void stoppedServerIsReportedAndTheRecordingCompleted() {
        test::LiveDevice live;
        REQUIRE_LIVE_DEVICE(live);
        auto engine = std::make_unique<Engine>();
        MainWindow window(*engine);
        window.show();
        QVERIFY(window.startAudio(0).ok);
        window.command(cmd::openWaveFile);
        QVERIFY(window.wavRecorder().recording());
        QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() >= 10, 10000);
        QTest::qWait(300);  // no loss is reported while blocks arrive
        QVERIFY(!window.deviceLossNotice());

        const qint64 server = live.device.serverPid();
        QVERIFY(server > 0);
        QElapsedTimer sinceStop;
        sinceStop.start();
        QCOMPARE(::kill(pid_t(server), SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(window.deviceLossNotice(), 10000);
        const double latencyMs = sinceStop.elapsed();
        QMessageBox* notice = window.deviceLossNotice();
        qInfo("device loss noticed %.0f ms after the server was stopped", latencyMs);
        QVERIFY(latencyMs < 1000 + 4 * 93 + 500);  // silence limit, server's last blocks, poll and start-up slack
        QCOMPARE(notice->windowTitle(), QString("LMS"));
        QVERIFY(!notice->isModal());
        QVERIFY(notice->text().contains("Samplerate"));
        QVERIFY(window.windowTitle().contains("no sound"));

        QVERIFY(!window.wavRecorder().recording());
        const std::string path = window.wavRecorder().path();
        QVERIFY(notice->text().contains(QString::fromStdString(path)));
        const test::Sound file = test::readSound(path);
        QVERIFY(file.opened);
        QCOMPARE(file.rate, 22050);
        QVERIFY(file.samples.size() >= 10 * 2048 * 2);
        QCOMPARE(file.samples.size() % (2048 * 2), size_t(0));  // whole blocks only

        // Still usable: commands act, the client paints, and closing does not hang.
        const int paints = window.paintCount().paints;
        window.command(cmd::notch1);
        QVERIFY(get(engine->settings.notch1On) == 1);
        window.client()->update();
        QTRY_VERIFY(window.paintCount().paints > paints);
        QVERIFY(window.isVisible());
        QElapsedTimer closing;
        closing.start();
        window.close();
        qInfo("window closed %lld ms after the loss", static_cast<long long>(closing.elapsed()));
        QVERIFY(closing.elapsed() < 5000);
    }
};

QTEST_MAIN(DeviceLossLiveTest)
#include "device_loss_live_test.moc"
