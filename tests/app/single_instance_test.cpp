// The single-instance lock across two processes, and the "Oops!" box.
// Run with "--hold-lock <path>" this executable is the first copy: it takes
// the lock, prints "held" and keeps it until its input closes or it is killed.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

#include "box_answerer.h"
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
    void aloneStartsWithoutAsking() {
        InstanceLock lock(lockPath());
        int asked = 0;
        QVERIFY(mayStart(lock, [&] { return ++asked, false; }));
        QCOMPARE(asked, 0);
    }

    void secondCopyAsksAndFollowsTheAnswer() {
        QProcess holder;
        QVERIFY(startHolder(holder));
        for (bool answer : {false, true}) {
            InstanceLock lock(lockPath());
            int asked = 0;
            QCOMPARE(mayStart(lock, [&] { return ++asked, answer; }), answer);
            QCOMPARE(asked, 1);
        }
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
        QCOMPARE(holder.exitCode(), 0);
    }

    void lockIsFreeAfterTheFirstCopyEnds() {
        QProcess holder;
        QVERIFY(startHolder(holder));
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
        InstanceLock lock(lockPath());
        QVERIFY(lock.acquire());
    }

    void lockOfACrashedCopyIsTakenOver() {
        QProcess holder;
        QVERIFY(startHolder(holder));
        holder.kill();  // SIGKILL: the lock file stays behind
        QVERIFY(holder.waitForFinished(5000));
        QVERIFY(QFile::exists(lockPath()));
        InstanceLock lock(lockPath());
        int asked = 0;
        QVERIFY(mayStart(lock, [&] { return ++asked, false; }));
        QCOMPARE(asked, 0);
    }

    void oopsBox_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("startAnyway");
        QTest::newRow("No ends this copy") << int(QMessageBox::No) << false;
        QTest::newRow("Yes starts another") << int(QMessageBox::Yes) << true;
    }
    void oopsBox() {
        QFETCH(int, answer);
        QFETCH(bool, startAnyway);
        BoxAnswerer answerer(static_cast<QMessageBox::StandardButton>(answer));
        QCOMPARE(askStartAnotherCopy(), startAnyway);
        QCOMPARE(answerer.boxes().size(), 1);
        const SeenBox& box = answerer.boxes()[0];
        QCOMPARE(box.title, QString("Oops!"));
        QCOMPARE(box.text, QString("An instance of Tolvekfilter is already running!\nStart another one anyway?"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.defaultButton, QMessageBox::No);
        QVERIFY(!box.hadOwner);
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
