// The Controls and Samplerate dialogs and the openers' messages: every
// control writes its setting at once (the About box is checked through the
// window's menu).
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "box_answerer.h"
#include "controls_dialog.h"
#include "desktop_open.h"
#include "help_page.h"
#include "samplerate_dialog.h"

using tolvek::get;
using tolvek::ProcessingSettings;
using tolvek::put;

Q_DECLARE_METATYPE(QAbstractSlider::SliderAction)

class DialogsTest : public QObject {
    Q_OBJECT
  private slots:
    // Every thumb movement, page steps included, is the new setting.
    void controlsSliders_data() {
        QTest::addColumn<bool>("strength");  // else the blanker threshold
        QTest::addColumn<QAbstractSlider::SliderAction>("action");
        QTest::addColumn<int>("expected");
        QTest::newRow("strength page up clamps at 1") << true << QAbstractSlider::SliderPageStepSub << 1;
        QTest::newRow("strength end") << true << QAbstractSlider::SliderToMaximum << 3000;
        QTest::newRow("threshold page down") << false << QAbstractSlider::SliderPageStepAdd << 65;
    }
    void controlsSliders() {
        QFETCH(bool, strength);
        QFETCH(QAbstractSlider::SliderAction, action);
        QFETCH(int, expected);
        ProcessingSettings s;
        tolvek::ControlsDialog d(s, [](float, int) {});
        (strength ? d.strengthSlider() : d.thresholdSlider())->triggerAction(action);
        QCOMPARE(get(strength ? s.lmsStrength : s.blankerThreshold), expected);
        QCOMPARE(get(strength ? s.blankerThreshold : s.lmsStrength), strength ? 55 : 200);
    }

    // Page Down moves the thumb a page down, towards "Max", Up a line up;
    // out-of-range settings are clamped on opening.
    void controlsKeysAndOpening() {
        ProcessingSettings s;
        tolvek::ControlsDialog d(s, [](float, int) {});
        QTest::keyClick(d.strengthSlider(), Qt::Key_PageDown);
        QCOMPARE(get(s.lmsStrength), 800);
        QTest::keyClick(d.thresholdSlider(), Qt::Key_Up);
        QCOMPARE(get(s.blankerThreshold), 54);
        QCOMPARE(d.size(), QSize(561, 211));  // 374 x 130 dialog units: 314 and the spectral NR group beside
        // The new group lies right of the comb filter group (284 dialog units).
        QVERIFY(d.spectralNrSwitch()->geometry().left() >= 426 && d.spectralNrSlider()->geometry().left() >= 426);
        QVERIFY(!d.spectralNrSwitch()->isChecked());
        d.spectralNrSwitch()->click();
        QTest::keyClick(d.spectralNrSlider(), Qt::Key_PageDown);
        QCOMPARE(get(s.spectralNrOn), 1);
        QCOMPARE(get(s.spectralNrStrength), 60);

        put(s.lmsStrength, 5000);
        put(s.blankerThreshold, 0);
        tolvek::ControlsDialog reopened(s, [](float, int) {});
        QCOMPARE(get(s.lmsStrength), 3000);
        QCOMPARE(get(s.blankerThreshold), 1);
    }

    void controlsMains() {
        ProcessingSettings s;
        put(s.sampleRate, 44100);
        std::vector<std::pair<float, int>> calls;
        tolvek::ControlsDialog d(s, [&calls](float ms, int rate) { calls.emplace_back(ms, rate); });
        QVERIFY(d.mains50Button()->isChecked());

        QTest::mouseClick(d.mains60Button(), Qt::LeftButton);
        QCOMPARE(QList({get(s.comb50Hz), get(s.comb60Hz)}), QList({0, 1}));
        QVERIFY(get(s.combPeriodMs) == 16.66f);
        d.mains50Button()->click();
        QCOMPARE(QList({get(s.comb50Hz), get(s.comb60Hz)}), QList({1, 0}));
        QVERIFY(get(s.combPeriodMs) == 20.0f);
        d.mains50Button()->click();  // the marked one again: set up again
        QVERIFY((calls == std::vector<std::pair<float, int>>{{16.66f, 44100}, {20.0f, 44100}, {20.0f, 44100}}));

        put(s.comb50Hz, 0);
        put(s.comb60Hz, 1);
        tolvek::ControlsDialog reopened60(s, [](float, int) {});
        QVERIFY(reopened60.mains60Button()->isChecked() && !reopened60.mains50Button()->isChecked());
    }

    void enterClosesEscDoesNot() {
        ProcessingSettings s;
        tolvek::ControlsDialog controls(s, [](float, int) {});
        tolvek::SamplerateDialog rates(s, [](int) { return true; });
        for (QDialog* d : {static_cast<QDialog*>(&controls), static_cast<QDialog*>(&rates)}) {
            d->show();
            QVERIFY(QTest::qWaitForWindowExposed(d));
            QTest::keyClick(d, Qt::Key_Escape);
            QVERIFY(d->isVisible());
            QTest::keyClick(d, Qt::Key_Return);
            QVERIFY(!d->isVisible());
        }
    }

    // The rate is stored before the restart is asked for, once per click (a
    // refused rate is checked on a live device, in the app's live tests).
    void samplerate() {
        for (int clicked : {5512, 22050}) {
            ProcessingSettings s;
            std::vector<int> storedAtRequest;
            tolvek::SamplerateDialog d(s, [&](int) { return storedAtRequest.push_back(get(s.sampleRate)), true; });
            QVERIFY(d.rateButton(22050)->isChecked());
            QTest::mouseClick(d.rateButton(clicked), Qt::LeftButton);
            QCOMPARE(storedAtRequest, std::vector<int>{clicked});
            for (int rate : {5512, 11025, 22050, 44100}) QCOMPARE(d.rateButton(rate)->isChecked(), rate == clicked);
        }
    }

    void samplerateTexts() {
        ProcessingSettings s;
        put(s.sampleRate, 48000);  // not offered: nothing marked
        tolvek::SamplerateDialog d(s, [](int) { return true; });
        QCOMPARE(d.size(), QSize(105, 198));  // 70 x 122 dialog units
        for (int rate : {5512, 11025, 22050, 44100}) {
            QCOMPARE(d.rateButton(rate)->text(), QString("%1Hz").arg(rate));
            QVERIFY(!d.rateButton(rate)->isChecked());
        }
    }

    // The help page is looked for in the program's folder first; a missing
    // page or mixer program is explained in a warning.
    void openersAndMissingPrograms() {
        QTemporaryDir first, second;
        QCOMPARE(tolvek::helpPageFolders().first(), QCoreApplication::applicationDirPath());
        QVERIFY(QFile(second.filePath("Tolvekfilter.htm")).open(QIODevice::WriteOnly));
        QCOMPARE(tolvek::findHelpPage({first.path(), second.path()}), QDir(second.path()).filePath("Tolvekfilter.htm"));
        QVERIFY(QFile(first.filePath("Tolvekfilter.htm")).open(QIODevice::WriteOnly));
        QCOMPARE(tolvek::findHelpPage({first.path(), second.path()}), QDir(first.path()).filePath("Tolvekfilter.htm"));
        // An installed program finds the page in the usual data folder beside its bin/.
        QVERIFY(QDir(first.path()).mkpath("bin") && QDir(first.path()).mkpath("share/tolvek-filter"));
        QVERIFY(
            QFile::rename(first.filePath("Tolvekfilter.htm"), first.filePath("share/tolvek-filter/Tolvekfilter.htm")));
        QCOMPARE(tolvek::findHelpPage(tolvek::helpPageFolders(first.filePath("bin"))),
                 first.filePath("share/tolvek-filter/Tolvekfilter.htm"));

        BoxAnswerer answerer;
        QTemporaryDir empty;
        QVERIFY(!tolvek::openHelpPage(nullptr, {empty.path()}));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", empty.path().toLocal8Bit());
        const bool mixerStarted = tolvek::openSoundSettings(nullptr);
        qputenv("PATH", path);
        QVERIFY(!mixerStarted);
        QCOMPARE(answerer.boxes().size(), 2);
        for (const SeenBox& box : answerer.boxes()) QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY(answerer.boxes()[0].text.contains("Tolvekfilter.htm"));
        QVERIFY(answerer.boxes()[0].text.contains(empty.path()));
        QVERIFY(answerer.boxes()[1].text.contains("pavucontrol"));
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
