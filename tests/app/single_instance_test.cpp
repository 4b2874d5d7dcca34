// The single-instance check across two processes, and the "Oops!" box.
// Run with "--hold-lock <path>" this executable is the first copy: it takes
// the lock, prints "held" and keeps it until its input closes or it is killed.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

#include "box_answerer.h"
#include "main_window.h"
#include "program.h"
#include "single_instance.h"

using namespace tolvek;

class SingleInstanceTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString lockPath() const { return dir.filePath("tolvek-filter.lock"); }

    // Starts the first copy and waits until it holds the lock.
    bool startHolder(QProcess& holder) {
        holder.start(QCoreApplication::applicationFilePath(), {"--hold-lock", lockPath()});
        if (!holder.waitForStarted(5000)) return false;
        while (!holder.canReadLine())
            if (!holder.waitForReadyRead(5000)) return false;
        return holder.readLine().trimmed() == "held";
    }

  private slots:
    // While the first copy runs, the second asks; No ends it with 0 before
    // any window exists.
    void secondCopyAsksAndFollowsTheAnswer() {
        QProcess holder;
        QVERIFY(startHolder(holder));
        for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
            BoxAnswerer answerer(answer);
            InstanceLock lock(lockPath());
            QCOMPARE(mayStart(lock, askStartAnotherCopy), answer == QMessageBox::Yes);
            QCOMPARE(answerer.boxes().size(), 1);
            const SeenBox& box = answerer.boxes()[0];
            QCOMPARE(box.title, QString("Oops!"));
            QCOMPARE(box.text, QString("An instance of Tolvekfilter is already running!\nStart another one anyway?"));
            QCOMPARE(box.icon, QMessageBox::Warning);
            QCOMPARE(box.defaultButton, QMessageBox::No);
            QVERIFY(!box.hadOwner);
            QCOMPARE(box.otherWindowsShown, 0);
        }

        BoxAnswerer answerer(QMessageBox::No);
        ProgramOptions options;
        options.lockPath = lockPath();
        QCOMPARE(runProgram(options), 0);
        QCOMPARE(answerer.boxes().size(), 1);
        for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY(!qobject_cast<MainWindow*>(w));
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
    }

    // A first copy that ended, or was killed and left its lock file behind,
    // does not hold the lock: the next start does not ask.
    void lockIsFreeAfterTheFirstCopyEnds() {
        for (bool killed : {false, true}) {
            QProcess holder;
            QVERIFY(startHolder(holder));
            if (killed)
                holder.kill();  // SIGKILL
            else
                holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(5000));
            QCOMPARE(QFile::exists(lockPath()), killed);
            InstanceLock lock(lockPath());
            int asked = 0;
            QVERIFY(mayStart(lock, [&] { return ++asked, false; }));
            QCOMPARE(asked, 0);
        }
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--hold-lock") {
        InstanceLock lock(QString::fromLocal8Bit(argv[2]));
        if (!lock.acquire()) return 2;
        std::puts("held");
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        return 0;
    }
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "single_instance_test.moc"
