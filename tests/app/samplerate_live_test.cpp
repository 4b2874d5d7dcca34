// The Samplerate dialog on a running program, on a virtual sound device that
// converts rates: a new rate restarts the stream while the program keeps
// running; a refused one leaves it at the rate that runs, mark and recording
// included.
#include <QRadioButton>
#include <QtEndian>
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

int waveRate(const QString& path) {
    QFile f(path);
    const QByteArray header = f.open(QIODevice::ReadOnly) ? f.read(44) : QByteArray();
    return header.size() == 44 ? qFromLittleEndian<int32_t>(header.constData() + 24) : -1;
}

}  // namespace

class SamplerateLiveTest : public QObject {
    Q_OBJECT

  private slots:
    // Through the dialog: 44100 Hz runs (the device converts), 5512 Hz is
    // refused and the mark, the stream and the recording stay at 44100 Hz.
    void samplerateDialogRestartsTheRunningProgram() {
        LiveDevice live({"--any-rate"});
        if (!live.started) QSKIP("the virtual sound device did not start");
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
            uint32_t blocks = engine->shared.blocksDone.load();
            QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() > blocks + 3, 10000);

            BoxAnswerer answerer;
            dialog->rateButton(5512)->click();
            QCOMPARE(answerer.boxes().size(), 1);
            QCOMPARE(answerer.boxes()[0].title, QString("LMS"));
            QVERIFY(answerer.boxes()[0].hadOwner);
            QVERIFY(dialog->rateButton(44100)->isChecked());
            QVERIFY(!dialog->rateButton(5512)->isChecked());
            QCOMPARE(get(engine->settings.sampleRate), 44100);
            QCOMPARE(window.audioStream().runningRate, 44100);
            QVERIFY(window.isVisible());
            QVERIFY(window.wavRecorder().recording());
            blocks = engine->shared.blocksDone.load();
            QTRY_VERIFY_WITH_TIMEOUT(engine->shared.blocksDone.load() > blocks + 3, 10000);  // audio flows again
            window.command(203);
            dialog->close();
        }
        // Before the change, after it, after the refusal; none at the refused rate.
        QList<int> rates;
        for (const QString& f : QDir(live.recordings.path()).entryList({"Wave Capture *.wav"}))
            rates << waveRate(live.recordings.filePath(f));
        std::sort(rates.begin(), rates.end());
        QCOMPARE(rates, QList<int>({22050, 44100, 44100}));
    }
};

QTEST_MAIN(SamplerateLiveTest)
#include "samplerate_live_test.moc"
