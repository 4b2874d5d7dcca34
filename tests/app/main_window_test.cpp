// The main window: its fixed layout and refresh path, and every command id
// through the input that sends it (menu item, switch click, button click):
// its effect on the settings, check marks, switch images and the Pause
// button, with everything else left at its start state.
#include <QAccessible>
#include <QAction>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <tuple>

#include "box_answerer.h"
#include "command_ids.h"
#include "main_window.h"
#include "switch_button.h"

using namespace tolvek;

using State = QMap<QString, int>;

namespace {

constexpr int markedIds[] = {cmd::cpuLoad,    cmd::randomNoise, cmd::agcFast,    cmd::agcSlow,    cmd::notch1,
                             cmd::notch2,     cmd::notch3,      cmd::notch4,     cmd::viewFast,   cmd::viewSlow,
                             cmd::captureBmp, cmd::captureJpg,  cmd::capturePng, cmd::captureGif, cmd::autoNotch};
constexpr int switchIds[] = {cmd::blanker, cmd::lms, cmd::passAll, cmd::pass, cmd::reject, cmd::agc, cmd::comb};

// Settings, marks ("m<id>"), images ("i<id>": 1 when the ON image shows) and
// the Pause button, as one comparable map.
State snapshot(Engine& e, MainWindow& w) {
    ProcessingSettings& s = e.settings;
    // clang-format off
    const std::pair<const char*, std::atomic<int32_t>*> fields[] = {
        {"noiseTestOn", &s.noiseTestOn}, {"combOn", &s.combOn}, {"blankerOn", &s.blankerOn}, {"lmsOn", &s.lmsOn},
        {"agcOn", &s.agcOn}, {"agcFast", &s.agcFast}, {"passOn", &s.passOn}, {"rejectOn", &s.rejectOn},
        {"passAllOn", &s.passAllOn}, {"notch1On", &s.notch1On}, {"notch2On", &s.notch2On}, {"notch3On", &s.notch3On},
        {"notch4On", &s.notch4On}, {"autoNotchOn", &s.autoNotchOn}, {"pausedOn", &s.pausedOn}, {"viewFast", &s.viewFast},
        {"cpuLoadShown", &s.cpuLoadShown}, {"recordingOn", &s.recordingOn}, {"sampleRate", &s.sampleRate}};
    // clang-format on
    State st{{"captureFormat", w.captureFormat()}};
    for (auto [name, setting] : fields) st[name] = get(*setting);
    for (int id : markedIds) st[QString("m%1").arg(id)] = w.action(id)->isChecked();
    for (int id : switchIds) {
        SwitchButton* b = w.switchButton(id);
        st[QString("i%1").arg(id)] = b->imageName().endsWith("_ON");
        const QImage shown = b->pixmap().toImage(), named = QImage(":/" + b->imageName());  // shown is named
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

// A grab at the client's logical size, whatever the screen's scale.
QImage logical(const QImage& grabbed) {
    return grabbed.scaled(grabbed.deviceIndependentSize().toSize()).convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Engine> engine;
    std::unique_ptr<MainWindow> window;

    // Sends `id` the way the user does.
    void send(int id) {
        if (SwitchButton* b = window->switchButton(id))
            QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
        else if (id == cmd::pause)
            QTest::mouseClick(window->pauseButton(), Qt::LeftButton);
        else
            window->action(id)->trigger();
    }
    State now() { return snapshot(*engine, *window); }
    // Lets the block poll see the counter and the paint run.
    void settle() {
        QTest::qWait(3 * blockPollMs);
        QApplication::processEvents();
    }
    void newBlock() {
        engine->shared.blocksDone.fetch_add(1, std::memory_order_release);
        settle();
    }
    void wheel(QPointF at, int delta, Qt::KeyboardModifiers mods = {}) {
        QWheelEvent turn(at, window->client()->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, mods, Qt::NoScrollPhase,
                         false);
        QApplication::sendEvent(window->client(), &turn);
    }
    void drag(int fromX, int toX, bool release = true) {
        QWindow* win = window->windowHandle();
        const QPoint origin = window->client()->mapTo(window.get(), QPoint(0, 0));
        QTest::mousePress(win, Qt::LeftButton, {}, origin + QPoint(fromX, 150));
        QTest::mouseMove(win, origin + QPoint(toX, 150));
        if (release) QTest::mouseRelease(win, Qt::LeftButton, {}, origin + QPoint(toX, 150));
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

    // The frame, menus and controls sit in place with their start image or
    // caption and screen-reader name; the layout is fixed.
    void layout() {
        QCOMPARE(window->windowTitle(), QString("Tolvek Filter"));
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(window->width(), 990);
        QVERIFY(window->height() >= 585);
        QCOMPARE(window->client()->mapTo(window.get(), QPoint(0, 0)).y(), window->menuBar()->height());
        QVERIFY(window->client()->width() >= 990 && window->client()->height() >= 525);
        for (QWidget* child : window->client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(window->client()->rect().contains(child->geometry()), qPrintable(child->objectName()));
        QStringList titles;
        for (QAction* a : window->menuBar()->actions()) titles << a->text();
        QCOMPARE(titles, QStringList({"&File", "&Tools", "View", "Controls", "Notch", "Capture", "&Help"}));
        QCOMPARE(window->action(cmd::helpContents)->shortcut(), QKeySequence(Qt::Key_F1));
        const QRect r = blockRefreshRect();
        QCOMPARE(QList({r.left(), r.top(), r.bottom()}), QList({50, 0, 499}));
        QVERIFY(r.right() >= 922);  // the waterfall's and the trace's last column
        window->resize(600, 400);   // nothing moves
        QApplication::processEvents();
        const std::tuple<int, QRect, QString, QString> controls[] = {
            {cmd::capture, {810, 503, 60, 18}, "Capture", "Capture"},
            {cmd::pause, {880, 503, 50, 18}, "Pause", "Pause"},
            {cmd::blanker, {170, 500, 117, 23}, "IMG_BITMAP_NB_OFF", "Noise Blanker"},
            {cmd::lms, {50, 500, 117, 23}, "IMG_BITMAP_LMS_OFF", "LMS Filter"},
            {cmd::comb, {290, 500, 117, 23}, "IMG_BITMAP_COMB_OFF", "Comb Filter"},
            {cmd::agc, {410, 500, 117, 23}, "IMG_BITMAP_AGC_ON", "AGC"},
            {cmd::pass, {594, 500, 58, 24}, "IMG_BITMAP_PASS_OFF", "Pass"},
            {cmd::passAll, {716, 500, 58, 24}, "IMG_BITMAP_ALL_ON", "Pass All"},
            {cmd::reject, {655, 500, 58, 24}, "IMG_BITMAP_REJECT_OFF", "Reject"},
        };
        for (const auto& [id, rect, image, name] : controls) {
            QWidget* w = id == cmd::capture ? window->captureButton()
                         : id == cmd::pause ? static_cast<QWidget*>(window->pauseButton())
                                            : window->switchButton(id);
            QCOMPARE(w->geometry(), rect);
            QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name), name);
            if (auto* b = qobject_cast<QPushButton*>(w))
                QCOMPARE(b->text(), image);
            else {
                QCOMPARE(static_cast<SwitchButton*>(w)->imageName(), image);
                QCOMPARE(QImage(":/" + image).size(), rect.size());
            }
        }
    }

    // The level sliders feed their settings at every move (brightness stays
    // in the window); 0 at the top; the focus goes back to the window.
    void sliders() {
        MainWindow& w = *window;
        ProcessingSettings& s = engine->settings;
        const std::tuple<QSlider*, QRect, int, int, std::atomic<int32_t>*> sliders[] = {
            {w.inputLevelSlider(), {940, 35, 20, 230}, 100, 90, &s.inputLevel},
            {w.brightnessSlider(), {30, 300, 20, 190}, 100, 80, nullptr},
            {w.outputLevelSlider(), {940, 300, 20, 190}, 200, 100, &s.outputLevel},
        };
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        for (const auto& [slider, rect, maximum, start, setting] : sliders) {
            QCOMPARE(QList({slider->geometry()}), QList({rect}));
            QCOMPARE(QList({slider->maximum(), slider->value()}), QList({maximum, start}));
            if (setting) QCOMPARE(get(*setting), start);
            for (auto [key, expected] : {std::pair{Qt::Key_Up, start - 1}, {Qt::Key_PageDown, start + 9}}) {
                slider->setFocus();
                QTest::keyClick(slider, key);
                QCOMPARE(slider->value(), expected);
                QVERIFY(window->client()->hasFocus());
                if (setting) QCOMPARE(get(*setting), expected);
            }
        }
    }

    // Each block seen adds one waterfall row; paints add none; no new block,
    // no paint. The overload text holds for its block through a partial
    // repaint or a grab.
    void blocksDriveThePaint() {
        settle();
        QCOMPARE(window->paintCount().rows, 0);
        const auto redIn = [](const QImage& grabbed) {
            const QImage shown = logical(grabbed);
            int n = 0;
            for (int y = 145; y < 170; ++y)
                for (int x = 200; x < 440; ++x) n += (shown.pixel(x, y) & 0xffffff) == 0xff0000;
            return n;
        };
        for (int overload : {1, 0}) {
            const int paints = window->paintCount().paints;
            put(engine->shared.overloadFlag, overload);
            newBlock();
            QCOMPARE(window->paintCount().rows, 2 - overload);
            QVERIFY(window->paintCount().paints > paints);
            window->client()->repaint(window->inputLevelSlider()->geometry());
            for (int k = 0; k < 2; ++k) QCOMPARE(redIn(window->client()->grab().toImage()) > 20, overload == 1);
        }
        const int paints = window->paintCount().paints;
        settle();
        QCOMPARE(window->paintCount().paints, paints);
        window->client()->repaint();
        QCOMPARE(window->paintCount().rows, 2);
    }

    // Blocks that finish while the window is hidden each leave their own row.
    void waterfallRowsWhileHiddenAreTheirBlocks() {
        window->hide();
        for (float m : {5.0f, 12.0f, 25.0f}) {  // dim to bright at brightness 80
            for (auto& v : engine->shared.filteredSpectrum) v.store(m);
            newBlock();
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QImage shown = logical(window->client()->grab().toImage());
        const int newest = qRed(shown.pixel(100, 305)), middle = qRed(shown.pixel(100, 306));
        const int oldest = qRed(shown.pixel(100, 307));
        QVERIFY2(newest > middle && middle > oldest && oldest > 0,
                 qPrintable(QString("%1 %2 %3").arg(newest).arg(middle).arg(oldest)));
    }

    // While paused, a drag, a notch and a wheel turn show at once, without rows.
    void pausedChangesRepaintWithoutRows() {
        window->command(cmd::pause);
        settle();
        const std::function<void()> changes[] = {[&] { drag(252, 262); }, [&] { window->command(cmd::notch1); },
                                                 [&] {
                                                     wheel({400, 100}, 120);
                                                 }};
        for (const auto& change : changes) {
            const PaintCount before = window->paintCount();
            change();
            settle();
            QVERIFY(window->paintCount().paints > before.paints);
            QCOMPARE(window->paintCount().rows, before.rows);
        }
    }

    // The client hands presses, moves and the wheel to the spectrum logic; a
    // turn over a slider never moves the markers, also at the slider's end.
    void pointerReachesTheSpectrum() {
        drag(252, 262, false);
        QCOMPARE(get(engine->settings.lowerCutoff), 17361.328125f);
        QCOMPARE(window->client()->cursor().shape(), Qt::SizeHorCursor);
        drag(262, 262);
        const float lower = get(engine->settings.lowerCutoff), upper = get(engine->settings.upperCutoff);
        wheel({400, 400}, -120, Qt::ShiftModifier);
        QCOMPARE(get(engine->settings.upperCutoff), upper - 1000.0f);
        for (QSlider* slider : {window->inputLevelSlider(), window->brightnessSlider(), window->outputLevelSlider()})
            for (int delta : {120, 5})
                for (int i = 0; i < 24; ++i) wheel(slider->geometry().center(), delta);
        QCOMPARE(get(engine->settings.lowerCutoff), lower - 1000.0f);
    }

    void commandEffects_data() {
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<State>("changes");  // from the start state
        QTest::newRow("blanker on") << QList<int>{300} << State{{"blankerOn", 1}, {"i300", 1}};
        QTest::newRow("lms on, off") << QList<int>{301, 301} << State{};
        QTest::newRow("lms on") << QList<int>{301} << State{{"lmsOn", 1}, {"i301", 1}};
        QTest::newRow("agc off") << QList<int>{311} << State{{"agcOn", 0}, {"i311", 0}};
        QTest::newRow("comb on") << QList<int>{312} << State{{"combOn", 1}, {"i312", 1}};
        QTest::newRow("pass") << QList<int>{309} << State{{"passOn", 1}, {"passAllOn", 0}, {"i309", 1}, {"i308", 0}};
        QTest::newRow("reject") << QList<int>{310}
                                << State{{"rejectOn", 1}, {"passAllOn", 0}, {"i310", 1}, {"i308", 0}};
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
        QTest::newRow("auto notch on, off") << QList<int>{7001, 7001} << State{};
        QTest::newRow("auto notch") << QList<int>{7001} << State{{"autoNotchOn", 1}, {"m7001", 1}};
        QTest::newRow("capture bmp") << QList<int>{4200} << State{{"captureFormat", 1}, {"m4200", 1}, {"m4201", 0}};
        QTest::newRow("capture gif") << QList<int>{4203} << State{{"captureFormat", 4}, {"m4203", 1}, {"m4201", 0}};
        QTest::newRow("capture png, jpg") << QList<int>{4202, 4201} << State{};
    }
    void commandEffects() {
        QFETCH(QList<int>, ids);
        QFETCH(State, changes);
        for (int id : ids) send(id);
        QCOMPARE(now(), startState(now(), changes));
    }

    // A switch holding neither 0 nor 1 becomes 1; a double click toggles once.
    void oddValuesAndDoubleClicks() {
        put(engine->settings.blankerOn, 7);
        put(engine->settings.notch2On, -1);
        send(cmd::blanker);
        send(cmd::notch2);
        SwitchButton* b = window->switchButton(cmd::pass);
        QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, b->mapTo(window.get(), b->rect().center()));
        QCOMPARE(now(), startState(now(), {{"blankerOn", 1},
                                           {"i300", 1},
                                           {"notch2On", 1},
                                           {"m421", 1},
                                           {"passOn", 1},
                                           {"passAllOn", 0},
                                           {"i309", 1},
                                           {"i308", 0}}));
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

    // The Capture button saves the client area as shown (the logical-size
    // paint beside the controls, whatever the scale); the recording commands
    // leave a complete, empty wave file.
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
        QCOMPARE(saved.pixelColor(716 + 29, 500 + 12), QImage(":/IMG_BITMAP_ALL_ON").pixelColor(29, 12));
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
        for (int id : {cmd::controls, cmd::samplerate, cmd::chartRecorder, cmd::chartRecorder})
            window->action(id)->trigger();
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
        const SeenBox& about = answerer.boxes()[0];
        QCOMPARE(about.title, QString("About Tolvekfilter"));
        QCOMPARE(about.text,
                 QString("Full duplex audio filter\n\nThis version 24 April 2012\n"
                         "Written by the Tolvek Filter developers\n\nSome parts pirated from elsewhere!\n"));
        QVERIFY(about.icon == QMessageBox::NoIcon && about.hadOwner);
        QCOMPARE(now(), startState(now()));
        window->action(cmd::exitProgram)->trigger();
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
