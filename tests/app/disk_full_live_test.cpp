// The disk fills while the window records a live stream: the user is told,
// the file keeps every whole block that fitted, the sound goes on, and a
// new recording works once there is room again.
#include <QtTest>

#include "box_answerer.h"
#include "command_ids.h"
#include "file_size_limit.h"
#include "live_window.h"
#include "main_window.h"
#include "sound_file.h"

using namespace tolvek;

class DiskFullLiveTest : public QObject {
    Q_OBJECT

  private slots:
    void fullDiskEndsTheRecordingAndTheSoundGoesOn() {
        test::LiveDevice live;
        REQUIRE_LIVE_DEVICE(live);
        auto engine = std::make_unique<Engine>();
        MainWindow window(*engine);
        window.show();
        QVERIFY(window.startAudio(0).ok);
        BoxAnswerer answerer;
        constexpr int blockBytes = 2048 * 4, fitting = 6;
        std::string fullPath;
        {
            test::FileSizeLimit room(44 + fitting * blockBytes + 1000);  // the next block fits only in part
            window.command(cmd::openWaveFile);
            QVERIFY(window.wavRecorder().recording());
            fullPath = window.wavRecorder().path();
            QTRY_VERIFY_WITH_TIMEOUT(!answerer.boxes().isEmpty(), 10000);
        }
        const SeenBox box = answerer.boxes().first();
        QCOMPARE(box.title, QString("Wave file"));
        QVERIFY2(box.text.contains("File too large") && box.text.contains(QString::fromStdString(fullPath)),
                 qPrintable(box.text));
        QVERIFY(!window.wavRecorder().recording());
        QCOMPARE(get(engine->settings.recordingOn), 0);

        // The box may come up while the writer is still completing the header.
        QTRY_COMPARE_WITH_TIMEOUT(test::readSound(fullPath).samples.size(), size_t(fitting * 2048 * 2), 5000);

        const uint32_t blocks = engine->shared.blocksDone.load();
        QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() >= blocks + 3, 5000);
        QVERIFY(!window.deviceLossNotice());

        window.command(cmd::openWaveFile);
        QVERIFY(window.wavRecorder().recording());
        const std::string nextPath = window.wavRecorder().path();
        QVERIFY(nextPath != fullPath);
        QTRY_VERIFY_WITH_TIMEOUT(window.wavRecorder().waveBytesWritten() >= 3 * blockBytes, 5000);
        window.command(cmd::closeWaveFile);
        QCOMPARE(answerer.boxes().size(), 1);
        const test::Sound next = test::readSound(nextPath);
        QVERIFY(next.opened);
        QVERIFY(next.samples.size() >= size_t(3 * 2048 * 2));

        window.close();
    }
};

QTEST_MAIN(DiskFullLiveTest)
#include "disk_full_live_test.moc"
