// The program's start in-process: a declined second copy ends with 0 before
// any window exists; an audio device that cannot start shows the "LMS" box
// without owner and ends with 1. The test machine has no sound device.
#include <QTemporaryDir>
#include <QtTest>

#include "box_answerer.h"
#include "main_window.h"
#include "program.h"

using namespace tolvek;

namespace {
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

    // The lock went with the program that ended: a new start does not ask.
    void lockEndsWithTheProgram() {
        InstanceLock lock(options().lockPath);
        QVERIFY(lock.acquire());
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
