// The program's start and its guards: the single-instance check across two
// processes and its "Oops!" box, the "LMS" box of an audio device that cannot
// start, and the watchdog that calls a device lost. Run with "--hold-lock
// <path>" this executable is the first copy: it takes the lock, prints "held"
// and keeps it until its input closes or it is killed.
#include <QtTest>
#include <cstdio>

#include "box_answerer.h"
#include "device_watchdog.h"
#include "program.h"
#include "single_instance.h"

using namespace tolvek;

class ProgramTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString lockPath() const { return dir.filePath("tolvek-filter.lock"); }

  private slots:
    // While the first copy runs, the second asks before any window exists:
    // Yes goes on, No ends it with 0. A first copy that ended, or was killed
    // and left its lock file behind, does not hold the lock: the next start
    // does not ask.
    void singleInstance() {
        for (bool killed : {false, true}) {
            QProcess holder;  // the first copy, holding the lock once it says so
            holder.start(QCoreApplication::applicationFilePath(), {"--hold-lock", lockPath()});
            QVERIFY(holder.waitForReadyRead(5000) && holder.readLine() == "held\n");
            BoxAnswerer answerer(killed ? QMessageBox::Yes : QMessageBox::No);
            InstanceLock second(lockPath());
            if (killed)
                QVERIFY(mayStart(second, askStartAnotherCopy));
            else
                QCOMPARE(runProgram({.lockPath = lockPath()}), 0);
            QCOMPARE(answerer.boxes().size(), 1);
            const SeenBox& box = answerer.boxes()[0];
            QCOMPARE(box.title, QString("Oops!"));
            QCOMPARE(box.text, QString("An instance of Tolvekfilter is already running!\nStart another one anyway?"));
            QVERIFY(box.icon == QMessageBox::Warning && box.defaultButton == QMessageBox::No);
            QVERIFY(!box.hadOwner && box.otherWindowsShown == 0);
            killed ? holder.kill() : holder.closeWriteChannel();  // SIGKILL
            QVERIFY(holder.waitForFinished(5000));
            QCOMPARE(QFile::exists(lockPath()), killed);
            InstanceLock next(lockPath());
            QVERIFY(mayStart(next, [] { return false; }));
        }
    }

    // No sound device (as on the test machine): the "LMS" box without owner,
    // before the main window, and the end with 1, the lock released.
    void audioFailureShowsTheLibraryTextAndEndsWith1() {
        qputenv("JACK_NO_START_SERVER", "1");
        QTimer::singleShot(5000, [] { QApplication::closeAllWindows(); });  // should a device be present after all
        BoxAnswerer answerer(QMessageBox::Ok);
        const int status = runProgram({.lockPath = lockPath(), .streamPauseMs = 0});
        if (status == 0 && answerer.boxes().isEmpty()) QSKIP("a sound device is present: the stream started");
        QCOMPARE(status, 1);
        QCOMPARE(answerer.boxes().size(), 1);
        const SeenBox& box = answerer.boxes()[0];
        QCOMPARE(box.title, QString("LMS"));
        QVERIFY(box.icon == QMessageBox::Warning && !box.text.isEmpty());
        QVERIFY(!box.hadOwner && box.otherWindowsShown == 0);
        InstanceLock lock(lockPath());
        QVERIFY(lock.acquire());
    }

    // Lost only after four block periods (at least a second, 3 s for the
    // first block), once, and never while blocks arrive.
    void watchdog() {
        for (auto [rate, firstBlock, limit] :
             {std::tuple{44100, false, 1000}, {5512, false, 1486}, {44100, true, 3000}, {0, false, 8192000}})
            QCOMPARE(blockSilenceLimitMs(rate, firstBlock), int64_t(limit));  // no rate: no division by zero
        DeviceWatchdog w;
        QVERIFY(!w.lost(0, 100000));  // never armed
        w.restart(7, 0, 22050);
        QVERIFY(!w.lost(7, 2999));  // still waiting for the first block
        uint32_t count = 7;
        int64_t now = 0;
        for (int i = 0; i < 200; ++i) QVERIFY(!w.lost(++count, now += 93));  // steady blocks
        QVERIFY(!w.lost(count, now + 999) && w.lost(count, now + 1000));
        QCOMPARE(w.silenceMs(), int64_t{1000});
        QVERIFY(!w.lost(count, now + 5000));  // told once
        w.restart(count, now + 6000, 22050);
        QVERIFY(!w.lost(count, now + 8999) && w.lost(count, now + 9000));  // silent from the restart on
        w.restart(count, 0, 22050);
        w.disarm();
        QVERIFY(!w.lost(count, 100000));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--hold-lock") {
        InstanceLock lock(QString::fromLocal8Bit(argv[2]));
        if (!lock.acquire()) return 2;
        std::puts("held");
        std::fflush(stdout);
        while (std::getchar() != EOF) continue;
        return 0;
    }
    ProgramTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "program_test.moc"
