// The Samplerate dialog on a running program, on a virtual sound device that
// converts rates: a new rate restarts the stream while the program keeps
// running; a refused one leaves it at the rate that runs, mark included.
#include <QRadioButton>
#include <QtTest>

#include "box_answerer.h"
#include "main_window.h"
#include "samplerate_dialog.h"
#include "virtual_device.h"

using namespace tolvek;

namespace {

SamplerateDialog* openDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = dynamic_cast<SamplerateDialog*>(w); d && d->isVisible()) return d;
    return nullptr;
}

}  // namespace

class SamplerateLiveTest : public QObject {
    Q_OBJECT

   private slots:
    // Through the dialog: 44100 Hz runs (the device converts), 5512 Hz is
    // refused and the mark and the stream stay at 44100 Hz.
    void samplerateDialogRestartsTheRunningProgram() {
        QTemporaryDir deviceDir;
        if (!startDevice(deviceDir, {"--any-rate"})) QSKIP("the virtual sound device did not start");
        {
            auto engine = std::make_unique<Engine>();
            MainWindow window(*engine);
            window.show();
            QVERIFY(window.startAudio(0).ok);
            window.command(213);
            SamplerateDialog* dialog = openDialog();
            QVERIFY(dialog);
            QVERIFY(dialog->rateButton(22050)->isChecked());

            dialog->rateButton(44100)->click();
            QCOMPARE(window.audioStream().runningRate, 44100);
            QCOMPARE(get(engine->settings.sampleRate), 44100);
            uint32_t blocks = engine->shared.blocksDone.load();
            QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() > blocks + 3, 10000);

            BoxAnswerer answerer;
            dialog->rateButton(5512)->click();
            QCOMPARE(answerer.boxes().size(), 1);
            QCOMPARE(answerer.boxes()[0].title, QString("LMS"));
            QVERIFY(dialog->rateButton(44100)->isChecked());
            QVERIFY(!dialog->rateButton(5512)->isChecked());
            QCOMPARE(get(engine->settings.sampleRate), 44100);
            QCOMPARE(window.audioStream().runningRate, 44100);
            QVERIFY(window.isVisible());
            blocks = engine->shared.blocksDone.load();
            QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() > blocks + 3, 10000);
            dialog->close();
        }
        stopDevice(deviceDir);
    }
};

QTEST_MAIN(SamplerateLiveTest)
#include "samplerate_live_test.moc"
