// The program's start in-process: a declined second copy ends with 0 before
// any window exists; an audio device that cannot start shows the "LMS" box
// without owner and ends with 1 (the test machine has no sound device).
// Then, on a virtual device that runs only at 22050 Hz, a refused sample
// rate goes back to the rate that ran, recording included.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

#include "box_answerer.h"
#include "main_window.h"
#include "program.h"
#include "virtual_device.h"

using namespace tolvek;

namespace {

int waveRate(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray header = f.read(44);
    int32_t rate = -1;
    if (header.size() == 44) std::memcpy(&rate, header.constData() + 24, 4);
    return rate;
}

bool anyMainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<MainWindow*>(w)) return true;
    return false;
}
}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    ProgramOptions options() const {
        ProgramOptions o;
        o.lockPath = dir.filePath("tolvek-filter.lock");
        o.streamPauseMs = 0;
        return o;
    }

   private slots:
    void initTestCase() { qputenv("JACK_NO_START_SERVER", "1"); }

    void declinedSecondCopyEndsBeforeAnyWindow() {
        InstanceLock first(options().lockPath);
        QVERIFY(first.acquire());
        BoxAnswerer answerer(QMessageBox::No);
        QCOMPARE(runProgram(options()), 0);
        QCOMPARE(answerer.boxes().size(), 1);
        QCOMPARE(answerer.boxes()[0].title, QString("Oops!"));
        QCOMPARE(answerer.boxes()[0].otherWindowsShown, 0);
        QVERIFY(!anyMainWindow());
    }

    void audioFailureShowsTheLibraryTextAndEndsWith1() {
        BoxAnswerer answerer(QMessageBox::Ok);
        // Should a sound device be present after all, the program runs: close it.
        QTimer::singleShot(5000, [] { QApplication::closeAllWindows(); });
        const int rc = runProgram(options());
        if (rc == 0 && answerer.boxes().isEmpty()) QSKIP("a sound device is present: the stream started");
        QCOMPARE(rc, 1);
        QCOMPARE(answerer.boxes().size(), 1);
        const SeenBox& box = answerer.boxes()[0];
        QCOMPARE(box.title, QString("LMS"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY(!box.text.isEmpty());
        QVERIFY(!box.hadOwner);
        QCOMPARE(box.otherWindowsShown, 0);  // shown before the main window
        qInfo() << "audio error:" << box.text;
    }

    void refusedRateGoesBackToTheRunningOne() {
        QTemporaryDir deviceDir;
        if (!startDevice(deviceDir)) QSKIP("the virtual sound device did not start");

        QTemporaryDir recordings;
        const QString old = QDir::currentPath();
        QDir::setCurrent(recordings.path());
        {
            auto engine = std::make_unique<Engine>();
            MainWindow window(*engine);
            QVERIFY(window.startAudio(0).ok);
            window.command(201);  // recording on
            QVERIFY(window.wavRecorder().recording());

            BoxAnswerer answerer;
            QVERIFY(!window.changeSampleRate(44100));  // the server runs at 22050 only
            QCOMPARE(answerer.boxes().size(), 1);
            QCOMPARE(answerer.boxes()[0].title, QString("LMS"));
            QVERIFY(answerer.boxes()[0].hadOwner);
            QCOMPARE(get(engine->settings.sampleRate), 22050);
            QCOMPARE(window.audioStream().runningRate, 22050);
            QVERIFY(window.wavRecorder().recording());
            const uint32_t blocks = engine->shared.blocksDone.load();
            QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() > blocks + 2, 10000);  // audio flows again

            QVERIFY(window.changeSampleRate(22050));
            QCOMPARE(answerer.boxes().size(), 1);
            window.command(203);
        }
        QDir::setCurrent(old);
        // Before the change, after the refusal, after the second change: all at 22050 Hz.
        const QStringList files = QDir(recordings.path()).entryList({"Wave Capture *.wav"});
        QCOMPARE(files.size(), 3);
        for (const QString& f : files) QCOMPARE(waveRate(recordings.filePath(f)), 22050);
        stopDevice(deviceDir);
    }

    // The lock went with the program that ended: a new start does not ask.
    void lockEndsWithTheProgram() {
        InstanceLock lock(options().lockPath);
        QVERIFY(lock.acquire());
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
