// The Controls and Samplerate dialogs and the openers' messages: every
// control writes its setting at once (the About box is checked through the
// window's menu).
#include <QtTest>
#include <QtWidgets>
#include <vector>

#include "box_answerer.h"
#include "controls_dialog.h"
#include "desktop_open.h"
#include "help_page.h"
#include "samplerate_dialog.h"

using namespace tolvek;

// Escape leaves a dialog open (its changes are in force already); Return closes it.
static void expectReturnCloses(QDialog& d) {
    d.show();
    QTest::keyClick(&d, Qt::Key_Escape);
    QVERIFY(d.isVisible());
    QTest::keyClick(&d, Qt::Key_Return);
    QVERIFY(!d.isVisible());
}

class DialogsTest : public QObject {
    Q_OBJECT
  private slots:
    // Every thumb movement, page steps and keys included, is the new setting
    // at once; Page Down moves towards "Max". The mains buttons set the comb's
    // period and re-tune it at the stream's rate, also when clicked again.
    // Out-of-range settings are clamped on opening, and 60 Hz is marked.
    void controls() {
        ProcessingSettings s;
        put(s.sampleRate, 44100);
        std::vector<std::pair<float, int>> combSetups;
        ControlsDialog d(s, [&](float ms, int rate) { combSetups.emplace_back(ms, rate); });
        QCOMPARE(d.size(), QSize(561, 211));  // 374 x 130 dialog units
        // The spectral NR group lies right of the comb filter group (284 dialog units).
        QVERIFY(d.spectralNrSwitch()->geometry().left() >= 426 && d.spectralNrSlider()->geometry().left() >= 426);
        QVERIFY(!d.spectralNrSwitch()->isChecked() && d.mains50Button()->isChecked());
        d.spectralNrSwitch()->click();
        QCOMPARE(get(s.spectralNrOn), 1);
        const std::tuple<QAbstractSlider*, QAbstractSlider::SliderAction, int, std::atomic<int32_t>*, int> steps[] = {
            {d.strengthSlider(), QAbstractSlider::SliderPageStepSub, 0, &s.lmsStrength, 1},  // clamps at 1
            {d.strengthSlider(), {}, Qt::Key_PageDown, &s.lmsStrength, 601},
            {d.strengthSlider(), QAbstractSlider::SliderToMaximum, 0, &s.lmsStrength, 3000},
            {d.thresholdSlider(), {}, Qt::Key_Up, &s.blankerThreshold, 54},
            {d.thresholdSlider(), QAbstractSlider::SliderPageStepAdd, 0, &s.blankerThreshold, 64},
            {d.spectralNrSlider(), {}, Qt::Key_PageDown, &s.spectralNrStrength, 60},
        };
        for (auto [slider, action, key, setting, expected] : steps) {
            key ? QTest::keyClick(slider, Qt::Key(key)) : slider->triggerAction(action);
            QCOMPARE(get(*setting), expected);
        }
        for (auto [button, mains60, ms] :
             {std::tuple{d.mains60Button(), 1, 16.66f}, {d.mains50Button(), 0, 20.0f}, {d.mains50Button(), 0, 20.0f}}) {
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(QList({get(s.comb50Hz), get(s.comb60Hz)}), QList({1 - mains60, mains60}));
            QVERIFY(get(s.combPeriodMs) == ms && combSetups.back() == std::pair(ms, 44100));
        }
        QCOMPARE(combSetups.size(), size_t(3));
        put(s.lmsStrength, 5000);
        put(s.blankerThreshold, 0);
        put(s.comb50Hz, 0);
        put(s.comb60Hz, 1);
        ControlsDialog reopened(s, [](float, int) {});
        QCOMPARE(QList({get(s.lmsStrength), get(s.blankerThreshold)}), QList({3000, 1}));
        QVERIFY(reopened.mains60Button()->isChecked() && !reopened.mains50Button()->isChecked());
        expectReturnCloses(reopened);
    }

    // The rate is stored before the restart is asked for, once per click (a
    // refused rate is checked on a live device); a rate not offered marks none.
    void samplerate() {
        const int rates[] = {5512, 11025, 22050, 44100};
        ProcessingSettings s;
        std::vector<int> storedAtRequest;
        SamplerateDialog d(s, [&](int) { return storedAtRequest.push_back(get(s.sampleRate)), true; });
        QCOMPARE(d.size(), QSize(105, 198));  // 70 x 122 dialog units
        for (int rate : rates) QCOMPARE(d.rateButton(rate)->text(), QString("%1Hz").arg(rate));
        for (int clicked : {5512, 22050, 22050}) {
            QTest::mouseClick(d.rateButton(clicked), Qt::LeftButton);
            QCOMPARE(storedAtRequest.back(), clicked);
            for (int rate : rates) QCOMPARE(d.rateButton(rate)->isChecked(), rate == clicked);
        }
        QCOMPARE(storedAtRequest.size(), size_t(3));
        expectReturnCloses(d);
        put(s.sampleRate, 48000);
        SamplerateDialog offRates(s, [](int) { return true; });
        for (int rate : rates) QVERIFY(!offRates.rateButton(rate)->isChecked());
    }

    // The help page is looked for in the program's folder first, then the
    // data folder beside bin/; a missing page or mixer is explained in a warning.
    void openersAndMissingPrograms() {
        QTemporaryDir root;
        const QString page = "Tolvekfilter.htm", installed = root.filePath("share/tolvek-filter/" + page);
        QVERIFY(QDir(root.path()).mkpath("bin") && QDir(root.path()).mkpath("share/tolvek-filter"));
        QVERIFY(QFile(installed).open(QIODevice::WriteOnly));
        QCOMPARE(findHelpPage(helpPageFolders(root.filePath("bin"))), installed);
        QVERIFY(QFile(root.filePath("bin/" + page)).open(QIODevice::WriteOnly));
        QCOMPARE(findHelpPage(helpPageFolders(root.filePath("bin"))), root.filePath("bin/" + page));
        QCOMPARE(helpPageFolders().first(), QCoreApplication::applicationDirPath());

        BoxAnswerer answerer;
        QVERIFY(!openHelpPage(nullptr, {root.filePath("share")}));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", root.filePath("share").toLocal8Bit());
        const bool mixerStarted = openSoundSettings(nullptr);
        qputenv("PATH", path);
        QVERIFY(!mixerStarted);
        QCOMPARE(answerer.boxes().size(), 2);
        for (const SeenBox& box : answerer.boxes()) QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY(answerer.boxes()[0].text.contains(page) && answerer.boxes()[0].text.contains(root.filePath("share")));
        QVERIFY(answerer.boxes()[1].text.contains("pavucontrol"));
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
