// Every command id through the input that sends it (menu item, switch click,
// button click): its effect on the settings, check marks, switch images and
// the Pause button, with everything else left at its start state.
#include <QAction>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "box_answerer.h"
#include "command_ids.h"
#include "main_window.h"
#include "switch_button.h"

using namespace tolvek;

using State = QMap<QString, int>;
Q_DECLARE_METATYPE(State)

namespace {

constexpr int markedIds[] = {cmd::cpuLoad,    cmd::randomNoise, cmd::agcFast,    cmd::agcSlow,    cmd::notch1,
                             cmd::notch2,     cmd::notch3,      cmd::notch4,     cmd::viewFast,   cmd::viewSlow,
                             cmd::captureBmp, cmd::captureJpg,  cmd::capturePng, cmd::captureGif, cmd::autoNotch};
constexpr int switchIds[] = {cmd::blanker, cmd::lms, cmd::passAll, cmd::pass, cmd::reject, cmd::agc, cmd::comb};

// Settings, marks ("m<id>"), images ("i<id>": 1 when the ON image shows) and
// the Pause button, as one comparable map.
State snapshot(Engine& e, MainWindow& w) {
    ProcessingSettings& s = e.settings;
    State st{{"noiseTestOn", get(s.noiseTestOn)},
             {"combOn", get(s.combOn)},
             {"blankerOn", get(s.blankerOn)},
             {"lmsOn", get(s.lmsOn)},
             {"agcOn", get(s.agcOn)},
             {"agcFast", get(s.agcFast)},
             {"passOn", get(s.passOn)},
             {"rejectOn", get(s.rejectOn)},
             {"passAllOn", get(s.passAllOn)},
             {"notch1On", get(s.notch1On)},
             {"notch2On", get(s.notch2On)},
             {"notch3On", get(s.notch3On)},
             {"notch4On", get(s.notch4On)},
             {"autoNotchOn", get(s.autoNotchOn)},
             {"pausedOn", get(s.pausedOn)},
             {"viewFast", get(s.viewFast)},
             {"cpuLoadShown", get(s.cpuLoadShown)},
             {"captureFormat", w.captureFormat()},
             {"recordingOn", get(s.recordingOn)},
             {"sampleRate", get(s.sampleRate)}};
    for (int id : markedIds) st[QString("m%1").arg(id)] = w.action(id)->isChecked();
    for (int id : switchIds) {
        SwitchButton* b = w.switchButton(id);
        st[QString("i%1").arg(id)] = b->imageName().endsWith("_ON");
        // The image shown is the one named.
        const QImage shown = b->pixmap().toImage(), named = QImage(":/" + b->imageName());
        if (shown.convertToFormat(QImage::Format_RGB32) != named.convertToFormat(QImage::Format_RGB32))
            st[QString("wrongImage%1").arg(id)] = 1;
    }
    st["pauseCaptionStart"] = w.pauseButton()->text() == "Start";
    st["pausePressed"] = w.pauseButton()->isChecked();
    return st;
}

// The start state over the keys of `actual`: everything 0 but these.
State startState(const State& actual, const State& changes = {}) {
    const State nonZero{{"agcOn", 1},          {"passAllOn", 1}, {"captureFormat", 2},
                        {"sampleRate", 22050}, {"m411", 1},      {"m4101", 1},
                        {"m4201", 1},          {"i308", 1},      {"i311", 1}};
    State start;
    for (auto it = actual.cbegin(); it != actual.cend(); ++it) start[it.key()] = nonZero.value(it.key(), 0);
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) start[it.key()] = it.value();
    return start;
}

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Engine> engine;
    std::unique_ptr<MainWindow> window;

    State now() { return snapshot(*engine, *window); }

    // Sends `id` the way the user does.
    void send(int id) {
        if (SwitchButton* b = window->switchButton(id))
            QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
        else if (id == cmd::pause)
            QTest::mouseClick(window->pauseButton(), Qt::LeftButton);
        else
            window->action(id)->trigger();
    }

  private slots:
    void init() {
        engine = std::make_unique<Engine>();
        window = std::make_unique<MainWindow>(*engine);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() {
        window.reset();
        engine.reset();
    }

    void commandEffects_data() {
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<State>("changes");  // from the start state
        QTest::newRow("blanker on") << QList<int>{300} << State{{"blankerOn", 1}, {"i300", 1}};
        QTest::newRow("lms on") << QList<int>{301} << State{{"lmsOn", 1}, {"i301", 1}};
        QTest::newRow("lms on, off") << QList<int>{301, 301} << State{};
        QTest::newRow("agc off") << QList<int>{311} << State{{"agcOn", 0}, {"i311", 0}};
        QTest::newRow("comb on") << QList<int>{312} << State{{"combOn", 1}, {"i312", 1}};
        QTest::newRow("pass") << QList<int>{309} << State{{"passOn", 1}, {"passAllOn", 0}, {"i309", 1}, {"i308", 0}};
        QTest::newRow("reject") << QList<int>{310}
                                << State{{"rejectOn", 1}, {"passAllOn", 0}, {"i310", 1}, {"i308", 0}};
        QTest::newRow("start state") << QList<int>{} << State{};
        QTest::newRow("pass all while on") << QList<int>{308} << State{};
        QTest::newRow("pause") << QList<int>{313}
                               << State{{"pausedOn", 1}, {"pauseCaptionStart", 1}, {"pausePressed", 1}};
        QTest::newRow("pause, start") << QList<int>{313, 313} << State{};
        QTest::newRow("cpu load") << QList<int>{210} << State{{"cpuLoadShown", 1}, {"m210", 1}};
        QTest::newRow("random noise") << QList<int>{211} << State{{"noiseTestOn", 1}, {"m211", 1}};
        QTest::newRow("agc fast twice") << QList<int>{410, 410} << State{{"agcFast", 1}, {"m410", 1}, {"m411", 0}};
        QTest::newRow("agc fast, slow") << QList<int>{410, 411} << State{};
        QTest::newRow("view fast") << QList<int>{4100} << State{{"viewFast", 1}, {"m4100", 1}, {"m4101", 0}};
        QTest::newRow("view fast, slow") << QList<int>{4100, 4101} << State{};
        QTest::newRow("notch 1") << QList<int>{420} << State{{"notch1On", 1}, {"m420", 1}};
        QTest::newRow("notches 2 3 4, 3 off")
            << QList<int>{421, 422, 423, 422} << State{{"notch2On", 1}, {"m421", 1}, {"notch4On", 1}, {"m423", 1}};
        QTest::newRow("auto notch") << QList<int>{7001} << State{{"autoNotchOn", 1}, {"m7001", 1}};
        QTest::newRow("auto notch on, off") << QList<int>{7001, 7001} << State{};
        QTest::newRow("capture bmp") << QList<int>{4200} << State{{"captureFormat", 1}, {"m4200", 1}, {"m4201", 0}};
        QTest::newRow("capture png") << QList<int>{4202} << State{{"captureFormat", 3}, {"m4202", 1}, {"m4201", 0}};
        QTest::newRow("capture gif") << QList<int>{4203} << State{{"captureFormat", 4}, {"m4203", 1}, {"m4201", 0}};
        QTest::newRow("capture png, jpg") << QList<int>{4202, 4201} << State{};
    }
    void commandEffects() {
        QFETCH(QList<int>, ids);
        QFETCH(State, changes);
        for (int id : ids) send(id);
        const State after = now();
        QCOMPARE(after, startState(after, changes));
    }

    // A switch holding neither 0 nor 1 becomes 1.
    void toggleRuleTurnsOddValuesOn() {
        put(engine->settings.blankerOn, 7);
        put(engine->settings.notch2On, -1);
        send(cmd::blanker);
        send(cmd::notch2);
        QCOMPARE(now(), startState(now(), {{"blankerOn", 1}, {"i300", 1}, {"notch2On", 1}, {"m421", 1}}));
    }

    void doubleClickTogglesOnce() {
        for (int id : {cmd::blanker, cmd::pass}) {
            SwitchButton* b = window->switchButton(id);
            QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, b->mapTo(window.get(), b->rect().center()));
        }
        QCOMPARE(
            now(),
            startState(now(),
                       {{"blankerOn", 1}, {"i300", 1}, {"passOn", 1}, {"passAllOn", 0}, {"i309", 1}, {"i308", 0}}));
    }

    // The band switches never show two modes at once, whatever the order.
    void bandModesStayExclusive() {
        for (int id : {309, 310, 310, 308, 309, 308, 310, 309, 308}) {
            window->command(id);
            ProcessingSettings& s = engine->settings;
            QCOMPARE(get(s.passOn) + get(s.passAllOn) + get(s.rejectOn), 1);
            QCOMPARE(get(s.passOn) ? 309 : get(s.passAllOn) ? 308 : 310, id);
            for (int b : {308, 309, 310}) QCOMPARE(window->switchButton(b)->isOn(), b == id);
        }
    }

    // The Capture button saves the client area as shown; the recording
    // commands leave a complete, empty wave file.
    void buttonsWriteTheirFiles() {
        QTemporaryDir dir;
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        send(cmd::capturePng);
        QTest::mouseClick(window->captureButton(), Qt::LeftButton);
        window->action(cmd::openWaveFile)->trigger();
        QCOMPARE(get(engine->settings.recordingOn), 1);
        window->action(cmd::closeWaveFile)->trigger();
        QCOMPARE(get(engine->settings.recordingOn), 0);
        QDir::setCurrent(old);

        const QStringList pictures = QDir(dir.path()).entryList({"Capture *.png"});
        QCOMPARE(pictures.size(), 1);
        const QImage saved(dir.filePath(pictures[0]));
        QCOMPARE(saved.size(), window->client()->size());
        // The PassAll switch in the picture shows its ON image.
        QCOMPARE(saved.pixelColor(716 + 29, 500 + 12), QImage(":/IMG_BITMAP_ALL_ON").pixelColor(29, 12));
        // Beside the controls it is the logical-size paint, pixel for pixel,
        // whatever the screen's scale.
        QImage painted(saved.size(), QImage::Format_RGB32);
        paintMainWindow(painted,
                        {engine->settings, engine->shared, window->spectrumPointer().mouseBin(), 80, false, {}},
                        window->displayState());
        const auto controls = window->client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        int wrong = 0;
        for (int y = 0; y < saved.height(); ++y)
            for (int x = 0; x < saved.width(); ++x)
                if (std::none_of(controls.begin(), controls.end(),
                                 [&](QWidget* c) { return c->geometry().contains(x, y); }))
                    wrong += saved.pixel(x, y) != painted.pixel(x, y);
        QCOMPARE(wrong, 0);
        const QStringList waves = QDir(dir.path()).entryList({"Wave Capture *.wav"});
        QCOMPARE(waves.size(), 1);
        QCOMPARE(QFileInfo(dir.filePath(waves[0])).size(), 44);  // a complete header, no blocks
    }

    // The dialogs open without blocking (the chart only once); the About box
    // is owned and changes nothing; Exit closes the window.
    void windowCommands() {
        window->action(cmd::controls)->trigger();
        window->action(cmd::samplerate)->trigger();
        window->action(cmd::chartRecorder)->trigger();
        window->action(cmd::chartRecorder)->trigger();
        QStringList captions;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w != window.get()) captions << w->windowTitle();
        captions.sort();
        QCOMPARE(captions, QStringList({"Chart Recorder", "Controls", "Samplerate"}));
        window->chartDialog()->close();
        QTRY_VERIFY(!window->chartDialog());  // closed charts are deleted; the next opening is new

        BoxAnswerer answerer;
        window->action(cmd::about)->trigger();
        QCOMPARE(answerer.boxes().size(), 1);
        QCOMPARE(answerer.boxes()[0].title, QString("About Tolvekfilter"));
        QVERIFY(answerer.boxes()[0].hadOwner);
        QCOMPARE(now(), startState(now()));

        window->action(cmd::exitProgram)->trigger();
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
