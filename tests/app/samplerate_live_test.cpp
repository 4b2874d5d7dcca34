// The Samplerate dialog on a running program, on a virtual sound device that
// converts rates: a new rate restarts the stream while the program keeps
// running and the recording goes on in a new file, which the window names;
// the rate in force keeps the file; a refused one is told with the library's
// text and leaves the rate that runs, mark, recording file and the flow of
// blocks included.
#include <QElapsedTimer>
#include <QMessageBox>
#include <QRadioButton>
#include <QtTest>

#include "box_answerer.h"
#include "live_window.h"
#include "main_window.h"
#include "samplerate_dialog.h"
#include "sound_file.h"

using namespace tolvek;

namespace {

SamplerateDialog* openDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = dynamic_cast<SamplerateDialog*>(w); d && d->isVisible()) return d;
    return nullptr;
}

QMessageBox* noticeNaming(const QString& file) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->text().contains(file))
            return box;
    return nullptr;
}

}  // namespace

class SamplerateLiveTest : public QObject {
    Q_OBJECT

  private slots:
    // Through the dialog: 44100 Hz runs (the device converts), 44100 Hz again
    // keeps the file, 5512 Hz is refused and the mark, the stream and the
    // recording stay at 44100 Hz.
    void samplerateDialogRestartsTheRunningProgram() {
        test::LiveDevice live({.anyRate = true});
        REQUIRE_LIVE_DEVICE(live);
        {
            auto engine = std::make_unique<Engine>();
            MainWindow window(*engine);
            window.show();
            QVERIFY(window.startAudio(0).ok);
            window.command(201);  // recording on
            window.command(213);
            SamplerateDialog* dialog = openDialog();
            QVERIFY(dialog);
            QVERIFY(dialog->rateButton(22050)->isChecked());

            dialog->rateButton(44100)->click();
            QCOMPARE(window.audioStream().runningRate, 44100);
            QCOMPARE(get(engine->settings.sampleRate), 44100);
            const QString newFile = QString::fromStdString(window.wavRecorder().path());
            QTRY_VERIFY(noticeNaming(newFile));
            noticeNaming(newFile)->close();
            dialog->rateButton(44100)->click();
            QCOMPARE(QString::fromStdString(window.wavRecorder().path()), newFile);
            uint32_t blocks = engine->shared.blocksDone.load();
            QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() > blocks + 3, 10000);

            BoxAnswerer answerer;
            QElapsedTimer refusal;
            refusal.start();
            dialog->rateButton(5512)->click();
            QVERIFY(refusal.elapsed() >= restartPauseMs);  // the device is given its pause before the reopening
            QCOMPARE(answerer.boxes().size(), 1);
            QCOMPARE(answerer.boxes()[0].title, QString("LMS"));
            QVERIFY(!answerer.boxes()[0].text.isEmpty());  // the library's text (its forms: the live failure tests)
            QVERIFY(answerer.boxes()[0].hadOwner);
            QVERIFY(dialog->rateButton(44100)->isChecked());
            QVERIFY(!dialog->rateButton(5512)->isChecked());
            QCOMPARE(get(engine->settings.sampleRate), 44100);
            QCOMPARE(window.audioStream().runningRate, 44100);
            QVERIFY(window.isVisible());
            QVERIFY(window.wavRecorder().recording());
            blocks = engine->shared.blocksDone.load();
            QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() > blocks + 3, 10000);  // audio flows again
            QCOMPARE(window.audioStream().flags(), 0u);
            window.command(203);
            dialog->close();
        }
        // Before the change and after it; none at the refused rate.
        QList<int> rates;
        for (const QString& f : QDir(live.recordings.path()).entryList({"Wave Capture *.wav"}))
            rates << test::readSound(live.recordings.filePath(f).toStdString()).rate;
        std::sort(rates.begin(), rates.end());
        QCOMPARE(rates, QList<int>({22050, 44100}));
    }
};

QTEST_MAIN(SamplerateLiveTest)
#include "samplerate_live_test.moc"
