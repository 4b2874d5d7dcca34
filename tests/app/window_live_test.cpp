// The running window on a virtual sound device: a new rate from the
// Samplerate dialog, a stopped sound server and a full disk, each met while
// recording, with the sound, the recordings and the window kept in order.
#include <signal.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QMessageBox>
#include <QRadioButton>
#include <QtTest>
#include <ctime>
#include <functional>

#include "box_answerer.h"
#include "command_ids.h"
#include "file_size_limit.h"
#include "live_window.h"
#include "main_window.h"
#include "samplerate_dialog.h"
#include "sound_file.h"

using namespace tolvek;

namespace {

template <class T>
T* shown(const std::function<bool(T*)>& fits = [](T*) { return true; }) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = dynamic_cast<T*>(w); t && t->isVisible() && fits(t)) return t;
    return nullptr;
}

// Audio flows: a few more blocks arrive.
bool flowing(Engine& e) {
    const uint32_t blocks = e.shared.blocksDone.load();
    return QTest::qWaitFor([&] { return e.shared.blocksDone.load() > blocks + 3; }, 10000);
}

}  // namespace

class WindowLiveTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Engine> engine;
    std::unique_ptr<MainWindow> window;

    bool start() {
        engine = std::make_unique<Engine>();
        window = std::make_unique<MainWindow>(*engine);
        window->show();
        return window->startAudio(0).ok;
    }

  private slots:
    void cleanup() {
        window.reset();
        engine.reset();
    }

    // 44100 Hz runs (the device converts) and recording goes on in a new file
    // the window names; the rate in force keeps the file; 5512 Hz is refused
    // with the library's text after the device's pause, and the mark, the
    // stream and the recording stay at 44100 Hz.
    void samplerateDialogRestartsTheRunningProgram() {
        test::LiveDevice live({.anyRate = true});
        REQUIRE_LIVE_DEVICE(live);
        QVERIFY(start());
        window->command(cmd::openWaveFile);
        window->command(cmd::samplerate);
        SamplerateDialog* dialog = shown<SamplerateDialog>();
        QVERIFY(dialog && dialog->rateButton(22050)->isChecked());
        dialog->rateButton(44100)->click();
        QCOMPARE(QList({window->audioStream().runningRate, get(engine->settings.sampleRate)}), QList({44100, 44100}));
        const QString newFile = QString::fromStdString(window->wavRecorder().path());
        const auto naming = [&](QMessageBox* b) { return b->text().contains(newFile); };
        QTRY_VERIFY(shown<QMessageBox>(naming));
        shown<QMessageBox>(naming)->close();
        dialog->rateButton(44100)->click();
        QCOMPARE(QString::fromStdString(window->wavRecorder().path()), newFile);
        QVERIFY(flowing(*engine));

        BoxAnswerer answerer;
        QElapsedTimer refusal;
        refusal.start();
        dialog->rateButton(5512)->click();
        QVERIFY(refusal.elapsed() >= restartPauseMs);
        QCOMPARE(answerer.boxes().size(), 1);
        QCOMPARE(answerer.boxes()[0].title, QString("LMS"));
        QVERIFY(!answerer.boxes()[0].text.isEmpty() && answerer.boxes()[0].hadOwner);
        QVERIFY(dialog->rateButton(44100)->isChecked() && !dialog->rateButton(5512)->isChecked());
        QCOMPARE(QList({window->audioStream().runningRate, get(engine->settings.sampleRate)}), QList({44100, 44100}));
        QVERIFY(window->isVisible() && window->wavRecorder().recording());
        QVERIFY(flowing(*engine));
        QCOMPARE(window->audioStream().flags(), 0u);
        window->command(cmd::closeWaveFile);
        dialog->close();
        cleanup();
        QList<int> rates;  // before the change and after it; none at the refused rate
        for (const QString& f : QDir(live.recordings.path()).entryList({"Wave Capture *.wav"}))
            rates << test::readSound(live.recordings.filePath(f).toStdString()).rate;
        std::sort(rates.begin(), rates.end());
        QCOMPARE(rates, QList<int>({22050, 44100}));
    }

    // The window notices within about a second, says so without blocking,
    // completes the recording with whole blocks and stays usable; the lost
    // stream closes, leaving no busy thread and no flood on stderr; once the
    // server is back, choosing a rate brings the sound back.
    void stoppedServerIsReportedAndTheRecordingCompleted() {
        test::LiveDevice live;
        REQUIRE_LIVE_DEVICE(live);
        QVERIFY(start());
        window->command(cmd::openWaveFile);
        QVERIFY(window->wavRecorder().recording());
        QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() >= 10, 10000);
        QTest::qWait(300);  // no loss is reported while blocks arrive
        QVERIFY(!window->deviceLossNotice());
        const qint64 server = live.device.serverPid();
        QVERIFY(server > 0);
        QTemporaryFile errors;  // stderr from the loss on
        const int terminal = ::dup(STDERR_FILENO);
        QVERIFY(errors.open() && ::dup2(errors.handle(), STDERR_FILENO) >= 0);
        QElapsedTimer sinceStop;
        sinceStop.start();
        QCOMPARE(::kill(pid_t(server), SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(window->deviceLossNotice(), 10000);
        QVERIFY(sinceStop.elapsed() < 1000 + 4 * 93 + 500);  // silence limit, server's last blocks, slack
        // The lost stream's threads have ended: no core kept busy (CPU time,
        // as the machine may be loaded), and no more than a few lines.
        const std::clock_t cpuAtNotice = std::clock();
        QTest::qWait(2000);
        const double cpuSeconds = double(std::clock() - cpuAtNotice) / CLOCKS_PER_SEC;
        ::dup2(terminal, STDERR_FILENO);
        ::close(terminal);
        errors.seek(0);  // shares its offset with stderr
        const qsizetype lines = errors.readAll().count('\n');
        QVERIFY2(cpuSeconds < 0.3 && lines < 20,
                 qPrintable(QString("%1 s of CPU, %2 lines").arg(cpuSeconds).arg(lines)));
        QVERIFY(window->audioStream().abandonedClosed->load());
        QMessageBox* notice = window->deviceLossNotice();
        QCOMPARE(notice->windowTitle(), QString("LMS"));
        QVERIFY(!notice->isModal() && notice->text().contains("Samplerate"));
        QVERIFY(window->windowTitle().contains("no sound"));
        QVERIFY(!window->wavRecorder().recording());
        const std::string path = window->wavRecorder().path();
        QVERIFY(notice->text().contains(QString::fromStdString(path)));
        const test::Sound file = test::readSound(path);
        QVERIFY(file.opened);
        QCOMPARE(file.rate, 22050);
        QVERIFY(file.samples.size() >= 10 * 2048 * 2);
        QCOMPARE(file.samples.size() % (2048 * 2), size_t(0));  // whole blocks only
        const int paints = window->paintCount().paints;
        window->command(cmd::notch1);
        QVERIFY(get(engine->settings.notch1On) == 1);
        window->client()->update();
        QTRY_VERIFY(window->paintCount().paints > paints);
        live.device.stop();  // the server comes back: choosing a rate starts sound on it
        QVERIFY(live.device.start({}));
        QVERIFY(window->changeSampleRate(22050) && flowing(*engine));
        QElapsedTimer closing;
        closing.start();
        window->close();
        QVERIFY(closing.elapsed() < 5000);
    }
    // The disk fills: the user is told, the file keeps every whole block that
    // fitted, the sound goes on, and a new recording works once there is room.
    void fullDiskEndsTheRecordingAndTheSoundGoesOn() {
        test::LiveDevice live;
        REQUIRE_LIVE_DEVICE(live);
        QVERIFY(start());
        BoxAnswerer answerer;
        constexpr int blockBytes = 2048 * 4, fitting = 6;
        std::string fullPath;
        {
            test::FileSizeLimit room(44 + fitting * blockBytes + 1000);  // the next block fits only in part
            window->command(cmd::openWaveFile);
            QVERIFY(window->wavRecorder().recording());
            fullPath = window->wavRecorder().path();
            QTRY_VERIFY_WITH_TIMEOUT(!answerer.boxes().isEmpty(), 10000);
        }
        const SeenBox box = answerer.boxes().first();
        QCOMPARE(box.title, QString("Wave file"));
        QVERIFY2(box.text.contains("File too large") && box.text.contains(QString::fromStdString(fullPath)),
                 qPrintable(box.text));
        QVERIFY(!window->wavRecorder().recording());
        QCOMPARE(get(engine->settings.recordingOn), 0);
        // The box may come up while the writer is still completing the header.
        QTRY_COMPARE_WITH_TIMEOUT(test::readSound(fullPath).samples.size(), size_t(fitting * 2048 * 2), 5000);
        QVERIFY(flowing(*engine));
        QVERIFY(!window->deviceLossNotice());
        window->command(cmd::openWaveFile);
        const std::string nextPath = window->wavRecorder().path();
        QVERIFY(window->wavRecorder().recording() && nextPath != fullPath);
        QTRY_VERIFY_WITH_TIMEOUT(window->wavRecorder().waveBytesWritten() >= 3 * blockBytes, 5000);
        window->command(cmd::closeWaveFile);
        QCOMPARE(answerer.boxes().size(), 1);
        QVERIFY(test::readSound(nextPath).samples.size() >= size_t(3 * 2048 * 2));
        cleanup();  // the window ends before the device
    }
};

QTEST_MAIN(WindowLiveTest)
#include "window_live_test.moc"
