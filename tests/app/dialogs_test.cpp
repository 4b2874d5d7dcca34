// The Controls and Samplerate dialogs, the level sliders, the About box and
// the openers' messages: every control writes its setting at once.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <utility>
#include <vector>

#include "about_box.h"
#include "controls_dialog.h"
#include "desktop_open.h"
#include "help_page.h"
#include "level_slider.h"
#include "samplerate_dialog.h"

using tolvek::get;
using tolvek::ProcessingSettings;
using tolvek::put;

Q_DECLARE_METATYPE(QAbstractSlider::SliderAction)

namespace {

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    bool seen = false;
};

// Reads and dismisses the next message box once the caller's event loop runs.
std::shared_ptr<SeenBox> interceptMessageBox() {
    auto seen = std::make_shared<SeenBox>();
    QTimer::singleShot(0, [seen] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            *seen = {box->windowTitle(), box->text(), box->icon(), int(box->buttons().size()), true};
            box->done(0);
        }
    });
    return seen;
}

struct CombCall {
    float periodMs;
    int rate;
};

QString saveDir() { return qEnvironmentVariable("TOLVEK_SCREENSHOT_DIR"); }

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
   private slots:
    // Every thumb movement, page steps included, is the new setting.
    void controlsSliders_data() {
        QTest::addColumn<bool>("strength");  // else the blanker threshold
        QTest::addColumn<QAbstractSlider::SliderAction>("action");
        QTest::addColumn<int>("expected");
        QTest::newRow("strength page down") << true << QAbstractSlider::SliderPageStepAdd << 800;
        QTest::newRow("strength page up clamps at 1") << true << QAbstractSlider::SliderPageStepSub << 1;
        QTest::newRow("strength line down") << true << QAbstractSlider::SliderSingleStepAdd << 201;
        QTest::newRow("strength end") << true << QAbstractSlider::SliderToMaximum << 3000;
        QTest::newRow("threshold page down") << false << QAbstractSlider::SliderPageStepAdd << 65;
        QTest::newRow("threshold line up") << false << QAbstractSlider::SliderSingleStepSub << 54;
        QTest::newRow("threshold home") << false << QAbstractSlider::SliderToMinimum << 1;
    }
    void controlsSliders() {
        QFETCH(bool, strength);
        QFETCH(QAbstractSlider::SliderAction, action);
        QFETCH(int, expected);
        ProcessingSettings s;
        tolvek::ControlsDialog d(s, [](float, int) {});
        QSlider* slider = strength ? d.strengthSlider() : d.thresholdSlider();
        slider->triggerAction(action);
        QCOMPARE(get(strength ? s.lmsStrength : s.blankerThreshold), expected);
        QCOMPARE(get(strength ? s.blankerThreshold : s.lmsStrength), strength ? 55 : 200);
    }

    // Page Down moves the thumb down, towards "Max".
    void controlsPageKey() {
        ProcessingSettings s;
        tolvek::ControlsDialog d(s, [](float, int) {});
        QTest::keyClick(d.strengthSlider(), Qt::Key_PageDown);
        QCOMPARE(get(s.lmsStrength), 800);
        QTest::keyClick(d.thresholdSlider(), Qt::Key_Up);
        QCOMPARE(get(s.blankerThreshold), 54);
    }

    void controlsOpeningReadsBack() {
        ProcessingSettings s;
        put(s.lmsStrength, 5000);
        put(s.blankerThreshold, 0);
        put(s.comb50Hz, 0);
        put(s.comb60Hz, 1);
        tolvek::ControlsDialog d(s, [](float, int) {});
        QCOMPARE(d.strengthSlider()->value(), 3000);
        QCOMPARE(get(s.lmsStrength), 3000);
        QCOMPARE(get(s.blankerThreshold), 1);
        QVERIFY(d.mains60Button()->isChecked());
        QVERIFY(!d.mains50Button()->isChecked());
        QCOMPARE(d.windowTitle(), QString("Controls"));
        QCOMPARE(d.size(), QSize(471, 211));  // 314 x 130 dialog units
    }

    void controlsMains() {
        ProcessingSettings s;
        put(s.sampleRate, 44100);
        std::vector<CombCall> calls;
        tolvek::ControlsDialog d(s, [&calls](float ms, int rate) { calls.push_back({ms, rate}); });
        QVERIFY(d.mains50Button()->isChecked());

        QTest::mouseClick(d.mains60Button(), Qt::LeftButton);
        QCOMPARE(get(s.comb50Hz), 0);
        QCOMPARE(get(s.comb60Hz), 1);
        QVERIFY(get(s.combPeriodMs) == 16.66f);
        QCOMPARE(calls.size(), size_t(1));
        QVERIFY(calls[0].periodMs == 16.66f);
        QCOMPARE(calls[0].rate, 44100);

        d.mains50Button()->click();
        QCOMPARE(get(s.comb50Hz), 1);
        QCOMPARE(get(s.comb60Hz), 0);
        QVERIFY(get(s.combPeriodMs) == 20.0f);
        d.mains50Button()->click();  // the marked one again: set up again
        QCOMPARE(calls.size(), size_t(3));
        QVERIFY(calls[2].periodMs == 20.0f);
    }

    void enterClosesEscDoesNot() {
        ProcessingSettings s;
        tolvek::ControlsDialog d(s, [](float, int) {});
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(d.isVisible());
        QTest::keyClick(&d, Qt::Key_Return);
        QVERIFY(!d.isVisible());

        tolvek::SamplerateDialog r(s, [](int) { return true; });
        r.show();
        QVERIFY(QTest::qWaitForWindowExposed(&r));
        QTest::keyClick(&r, Qt::Key_Escape);
        QVERIFY(r.isVisible());
        QTest::keyClick(&r, Qt::Key_Enter);
        QVERIFY(!r.isVisible());
    }

    // accepted: the fake rate change succeeds; otherwise it restores the
    // running rate, as the main window does after a refused restart.
    void samplerate_data() {
        QTest::addColumn<int>("clicked");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("marked");
        QTest::newRow("5512 runs") << 5512 << true << 5512;
        QTest::newRow("44100 runs") << 44100 << true << 44100;
        QTest::newRow("the rate in force again") << 22050 << true << 22050;
        QTest::newRow("11025 refused") << 11025 << false << 22050;
    }
    void samplerate() {
        QFETCH(int, clicked);
        QFETCH(bool, accepted);
        QFETCH(int, marked);
        ProcessingSettings s;
        std::vector<int> requested, storedBefore;
        tolvek::SamplerateDialog d(s, [&](int rate) -> bool {
            requested.push_back(rate);
            storedBefore.push_back(get(s.sampleRate));
            if (!accepted) put(s.sampleRate, 22050);
            return accepted;
        });
        QVERIFY(d.rateButton(22050)->isChecked());
        QTest::mouseClick(d.rateButton(clicked), Qt::LeftButton);
        QCOMPARE(requested, std::vector<int>{clicked});
        QCOMPARE(storedBefore, std::vector<int>{clicked});  // stored before the restart
        QCOMPARE(get(s.sampleRate), marked);
        for (int rate : {5512, 11025, 22050, 44100}) QCOMPARE(d.rateButton(rate)->isChecked(), rate == marked);

        tolvek::SamplerateDialog reopened(s, [](int) { return true; });
        QVERIFY(reopened.rateButton(marked)->isChecked());
    }

    void samplerateTexts() {
        ProcessingSettings s;
        put(s.sampleRate, 48000);  // not offered: nothing marked
        tolvek::SamplerateDialog d(s, [](int) { return true; });
        QCOMPARE(d.windowTitle(), QString("Samplerate"));
        QCOMPARE(d.size(), QSize(105, 198));  // 70 x 122 dialog units
        for (int rate : {5512, 11025, 22050, 44100}) {
            QCOMPARE(d.rateButton(rate)->text(), QString("%1Hz").arg(rate));
            QVERIFY(!d.rateButton(rate)->isChecked());
        }
    }

    // The level sliders: 0 at the top, every move stored, focus handed back.
    void levelSlider() {
        QWidget mainWindow;
        mainWindow.setFocusPolicy(Qt::StrongFocus);
        auto* slider = new QSlider(&mainWindow);
        std::atomic<int32_t> outputLevel{0};
        tolvek::bindLevelSlider(*slider, 200, 100, outputLevel, mainWindow);
        QCOMPARE(get(outputLevel), 100);
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowActive(&mainWindow));

        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Up);
        QCOMPARE(get(outputLevel), 99);
        QVERIFY(mainWindow.hasFocus());
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_PageDown);
        QCOMPARE(get(outputLevel), 109);
        QVERIFY(mainWindow.hasFocus());
        slider->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(get(outputLevel), 200);
    }

    void aboutBox() {
        QCOMPARE(tolvek::aboutText(), QString("Full duplex audio filter\n\nThis version 24 April 2012\n"
                                              "Written by the Tolvek Filter developers\n\n"
                                              "Some parts pirated from elsewhere!\n"));
        QWidget owner;
        const auto seen = interceptMessageBox();
        tolvek::showAboutBox(&owner);
        QVERIFY(seen->seen);
        QCOMPARE(seen->title, QString("About Tolvekfilter"));
        QCOMPARE(seen->text, tolvek::aboutText());
        QCOMPARE(seen->icon, QMessageBox::NoIcon);
        QCOMPARE(seen->buttons, 1);
    }

    void helpPageMissing() {
        QTemporaryDir empty;
        const auto seen = interceptMessageBox();
        QVERIFY(!tolvek::openHelpPage(nullptr, {empty.path()}));
        QVERIFY(seen->seen);
        QCOMPARE(seen->icon, QMessageBox::Warning);
        QVERIFY(seen->text.contains("Tolvekfilter.htm"));
        QVERIFY(seen->text.contains(empty.path()));
    }

    void helpPageSearchOrder() {
        QTemporaryDir first, second;
        QVERIFY(QFile(second.filePath("Tolvekfilter.htm")).open(QIODevice::WriteOnly));
        QCOMPARE(tolvek::findHelpPage({first.path(), second.path()}), QDir(second.path()).filePath("Tolvekfilter.htm"));
        QVERIFY(QFile(first.filePath("Tolvekfilter.htm")).open(QIODevice::WriteOnly));
        QCOMPARE(tolvek::findHelpPage({first.path(), second.path()}), QDir(first.path()).filePath("Tolvekfilter.htm"));
        QCOMPARE(tolvek::helpPageFolders().first(), QCoreApplication::applicationDirPath());
    }

    void soundSettingsMissing() {
        const QByteArray path = qgetenv("PATH");
        QTemporaryDir empty;
        qputenv("PATH", empty.path().toLocal8Bit());
        const auto seen = interceptMessageBox();
        const bool started = tolvek::openSoundSettings(nullptr);
        qputenv("PATH", path);
        QVERIFY(!started);
        QVERIFY(seen->seen);
        QVERIFY(seen->text.contains("pavucontrol"));
    }

    // Both dialogs render; with TOLVEK_SCREENSHOT_DIR set the pictures are kept.
    void pictures() {
        ProcessingSettings s;
        tolvek::ControlsDialog controls(s, [](float, int) {});
        tolvek::SamplerateDialog rates(s, [](int) { return true; });
        for (auto [dialog, name] : {std::pair<QWidget*, const char*>{&controls, "controls-dialog.png"},
                                    {&rates, "samplerate-dialog.png"}}) {
            const QImage picture = dialog->grab().toImage();
            QCOMPARE(picture.size(), dialog->size());
            if (!saveDir().isEmpty()) QVERIFY(picture.save(QDir(saveDir()).filePath(name)));
        }
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
