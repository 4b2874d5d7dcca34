// The program's start in-process: an audio device that cannot start shows
// the "LMS" box without owner and ends with 1 (the test machine has no sound
// device).
#include <QTemporaryDir>
#include <QtTest>

#include "box_answerer.h"
#include "program.h"

using namespace tolvek;

class StartupTest : public QObject {
    Q_OBJECT
  private slots:
    void audioFailureShowsTheLibraryTextAndEndsWith1() {
        qputenv("JACK_NO_START_SERVER", "1");
        QTemporaryDir dir;
        ProgramOptions options;
        options.lockPath = dir.filePath("tolvek-filter.lock");
        options.streamPauseMs = 0;
        BoxAnswerer answerer(QMessageBox::Ok);
        // Should a sound device be present after all, the program runs: close it.
        QTimer::singleShot(5000, [] { QApplication::closeAllWindows(); });
        const int rc = runProgram(options);
        if (rc == 0 && answerer.boxes().isEmpty()) QSKIP("a sound device is present: the stream started");
        QCOMPARE(rc, 1);
        QCOMPARE(answerer.boxes().size(), 1);
        const SeenBox& box = answerer.boxes()[0];
        QCOMPARE(box.title, QString("LMS"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY(!box.text.isEmpty());
        QVERIFY(!box.hadOwner);
        QCOMPARE(box.otherWindowsShown, 0);   // shown before the main window
        InstanceLock lock(options.lockPath);  // the lock went with the program that ended
        QVERIFY(lock.acquire());
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
