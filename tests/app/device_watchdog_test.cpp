// When the watchdog calls a device lost: only after the silence limit of
// the running rate, once, and never while blocks (paused or not) arrive.
#include <QtTest>

#include "device_watchdog.h"

using namespace tolvek;

class DeviceWatchdogTest : public QObject {
    Q_OBJECT

  private slots:
    void limitIsFourBlockPeriodsButAtLeastASecond() {
        QCOMPARE(blockSilenceLimitMs(44100, false), int64_t{1000});
        QCOMPARE(blockSilenceLimitMs(5512, false), int64_t{4 * 2048 * 1000 / 5512});  // 1486 ms
        QCOMPARE(blockSilenceLimitMs(44100, true), int64_t{3000});
        QCOMPARE(blockSilenceLimitMs(0, false), int64_t{8192000});  // no rate: no division by zero
    }

    void firesOnceAfterTheLimitAndOnlyWhenArmed() {
        DeviceWatchdog w;
        QVERIFY(!w.lost(0, 100000));  // never armed
        w.restart(7, 0, 22050);
        QVERIFY(!w.lost(7, 2999));  // still waiting for the first block
        uint32_t count = 7;
        int64_t now = 0;
        for (int i = 0; i < 200; ++i) QVERIFY(!w.lost(++count, now += 93));  // steady blocks
        QVERIFY(!w.lost(count, now + 999));
        QVERIFY(w.lost(count, now + 1000));
        QCOMPARE(w.silenceMs(), int64_t{1000});
        QVERIFY(!w.lost(count, now + 5000));  // told once
        w.restart(count, now + 6000, 22050);
        QVERIFY(!w.lost(count, now + 8999));
        QVERIFY(w.lost(count, now + 9000));  // silent from the restart on
        w.restart(count, 0, 22050);
        w.disarm();
        QVERIFY(!w.lost(count, 100000));
    }
};

QTEST_MAIN(DeviceWatchdogTest)
#include "device_watchdog_test.moc"
