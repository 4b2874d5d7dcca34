// The main window: its fixed layout and refresh path, and every command id
// through the input that sends it (menu item, switch click, button click),
// with every switch image, menu mark and the Pause button showing the
// settings, and everything else left at its start state.
#include <QtTest>
#include <QtWidgets>
#include <algorithm>
#include <cstring>

#include "box_answerer.h"
#include "command_ids.h"
#include "main_window.h"
#include "switch_button.h"

using namespace tolvek;

using PS = ProcessingSettings;
using Changes = QList<std::pair<std::atomic<int32_t> PS::*, int>>;

namespace {

// The switches, marks and the Pause button with the setting each shows: on
// while it is 1 (off while it is 1, for the second mark of a pair).
// clang-format off
const std::tuple<int, std::atomic<int32_t> PS::*, bool> shows[] = {
    {cmd::blanker, &PS::blankerOn, 1},    {cmd::lms, &PS::lmsOn, 1},         {cmd::comb, &PS::combOn, 1},
    {cmd::agc, &PS::agcOn, 1},            {cmd::pass, &PS::passOn, 1},       {cmd::reject, &PS::rejectOn, 1},
    {cmd::passAll, &PS::passAllOn, 1},    {cmd::pause, &PS::pausedOn, 1},    {cmd::cpuLoad, &PS::cpuLoadShown, 1},
    {cmd::agcFast, &PS::agcFast, 1},      {cmd::agcSlow, &PS::agcFast, 0},   {cmd::randomNoise, &PS::noiseTestOn, 1},
    {cmd::notch1, &PS::notch1On, 1},      {cmd::notch2, &PS::notch2On, 1},   {cmd::notch3, &PS::notch3On, 1},
    {cmd::notch4, &PS::notch4On, 1},      {cmd::viewFast, &PS::viewFast, 1}, {cmd::viewSlow, &PS::viewFast, 0},
    {cmd::autoNotch, &PS::autoNotchOn, 1}};
// clang-format on

// Whether the control or menu item `id` shows "on"; -1 for a Pause caption
// that does not match its press.
int shownOn(MainWindow& w, int id) {
    if (const SwitchButton* b = w.switchButton(id)) return b->imageName().endsWith("_ON");
    if (id != cmd::pause) return w.action(id)->isChecked();
    const QPushButton* b = w.pauseButton();
    return b->text() == (b->isChecked() ? "Start" : "Pause") ? b->isChecked() : -1;
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

    QWidget* control(int id) {
        if (id == cmd::capture) return window->captureButton();
        if (id == cmd::pause) return window->pauseButton();
        return window->switchButton(id);
    }
    // Sends `id` the way the user does.
    void send(int id) {
        if (QWidget* c = control(id))
            QTest::mouseClick(c, Qt::LeftButton, {}, c->rect().center());
        else
            window->action(id)->trigger();
    }
    // The settings are the start settings with `changes`; every control and
    // mark shows them; the capture format is `format`, marked alone.
    void expectState(const Changes& changes = {}, int format = 2) {
        PS expected;
        for (auto [setting, value] : changes) put(expected.*setting, value);
        QVERIFY(std::memcmp(static_cast<const void*>(&engine->settings), &expected, sizeof(PS)) == 0);  // every bit
        QString wrong;  // the ids of the controls and marks that do not show the settings
        for (auto [id, setting, on] : shows)
            if (shownOn(*window, id) != ((get(expected.*setting) == 1) == on)) wrong += QString(" %1").arg(id);
        for (auto [id, f] :
             {std::pair{cmd::captureBmp, 1}, {cmd::captureJpg, 2}, {cmd::capturePng, 3}, {cmd::captureGif, 4}})
            if (window->action(id)->isChecked() != (f == format)) wrong += QString(" %1").arg(id);
        QCOMPARE(wrong, QString());
        QCOMPARE(window->captureFormat(), format);
    }
    // Lets the block poll see the counter and the paint run.
    void settle() {
        QTest::qWait(3 * blockPollMs);
        QApplication::processEvents();
    }
    void wheel(QPointF at, int delta, Qt::KeyboardModifiers mods = {}) {
        QWheelEvent turn(at, window->client()->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, mods, Qt::NoScrollPhase,
                         false);
        QApplication::sendEvent(window->client(), &turn);
    }

  private slots:
    void init() {
        window.reset();
        engine = std::make_unique<Engine>();
        window = std::make_unique<MainWindow>(*engine);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    // The frame, menus, controls and sliders sit in place with their start
    // image, caption or value and screen-reader name; the layout is fixed.
    void layoutAndSliders() {
        QVERIFY(window->windowTitle() == "Tolvek Filter" && !window->windowIcon().isNull());
        QVERIFY(window->width() == 990 && window->height() >= 585);
        QCOMPARE(window->client()->mapTo(window.get(), QPoint(0, 0)).y(), window->menuBar()->height());
        QVERIFY(window->client()->width() >= 990 && window->client()->height() >= 525);
        for (QWidget* child : window->client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(window->client()->rect().contains(child->geometry()), qPrintable(child->objectName()));
        QStringList titles;
        for (QAction* a : window->menuBar()->actions()) titles << a->text();
        QCOMPARE(titles, QStringList({"&File", "&Tools", "View", "Controls", "Notch", "Capture", "&Help"}));
        QCOMPARE(window->action(cmd::helpContents)->shortcut(), QKeySequence(Qt::Key_F1));
        // The spectrum, the waterfall and the trace up to their last column, x 922.
        QVERIFY(blockRefreshRect().contains(QRect(QPoint(50, 0), QPoint(922, 499))));
        window->resize(600, 400);  // nothing moves
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
            QCOMPARE(control(id)->geometry(), rect);
            QCOMPARE(QAccessible::queryAccessibleInterface(control(id))->text(QAccessible::Name), name);
            const SwitchButton* sw = window->switchButton(id);  // else a push button, with its caption
            QCOMPARE(sw ? sw->imageName() : static_cast<QPushButton*>(control(id))->text(), image);
            if (sw) QCOMPARE(QImage(":/" + image).size(), rect.size());
        }
        // The level sliders feed their settings at every move (brightness
        // stays in the window); 0 at the top; the focus goes back to the window.
        const std::tuple<QSlider*, QRect, int, int, std::atomic<int32_t>*> sliders[] = {
            {window->inputLevelSlider(), {940, 35, 20, 230}, 100, 90, &engine->settings.inputLevel},
            {window->brightnessSlider(), {30, 300, 20, 190}, 100, 80, nullptr},
            {window->outputLevelSlider(), {940, 300, 20, 190}, 200, 100, &engine->settings.outputLevel},
        };
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        for (const auto& [slider, rect, maximum, start, setting] : sliders) {
            QCOMPARE(slider->geometry(), rect);
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
    // repaint or a grab. Blocks that finish while the window is hidden each
    // leave their own row.
    void blocksDriveThePaint() {
        settle();
        QCOMPARE(window->paintCount().rows, 0);
        for (int overload : {1, 0}) {
            const int paints = window->paintCount().paints;
            put(engine->shared.overloadFlag, overload);
            engine->shared.blocksDone.fetch_add(1, std::memory_order_release);
            settle();
            QCOMPARE(window->paintCount().rows, 2 - overload);
            QVERIFY(window->paintCount().paints > paints);
            window->client()->repaint(window->inputLevelSlider()->geometry());
            for (int k = 0; k < 2; ++k) {
                const QImage text = logical(window->client()->grab().toImage()).copy(200, 145, 240, 25);
                const auto* p = reinterpret_cast<const QRgb*>(text.constBits());
                QCOMPARE(std::count(p, p + text.width() * text.height(), qRgb(255, 0, 0)) > 20, overload == 1);
            }
        }
        const int paints = window->paintCount().paints;
        settle();
        QCOMPARE(window->paintCount().paints, paints);
        window->hide();
        for (float m : {5.0f, 12.0f, 25.0f}) {  // dim to bright at brightness 80
            for (auto& v : engine->shared.filteredSpectrum) v.store(m);
            engine->shared.blocksDone.fetch_add(1, std::memory_order_release);
            settle();
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QImage shown = logical(window->client()->grab().toImage());
        const QList rows({qRed(shown.pixel(100, 305)), qRed(shown.pixel(100, 306)), qRed(shown.pixel(100, 307))});
        QVERIFY2(rows[0] > rows[1] && rows[1] > rows[2] && rows[2] > 0, qPrintable(QTest::toString(rows)));
    }

    // The client hands presses, moves and the wheel to the spectrum logic; a
    // turn over a slider never moves the markers, also at the slider's end.
    // While paused each change shows at once, without a waterfall row.
    void pointerWhilePaused() {
        send(cmd::pause);
        settle();
        ProcessingSettings& s = engine->settings;
        PaintCount before = window->paintCount();
        const auto repaintedWithoutRow = [&] {
            settle();
            const PaintCount old = std::exchange(before, window->paintCount());
            return before.paints > old.paints && before.rows == old.rows;
        };
        QTest::mousePress(window->client(), Qt::LeftButton, {}, {252, 150});
        QTest::mouseMove(window->client(), {262, 150});
        QCOMPARE(get(s.lowerCutoff), 17361.328125f);
        QCOMPARE(window->client()->cursor().shape(), Qt::SizeHorCursor);
        QTest::mouseRelease(window->client(), Qt::LeftButton, {}, {262, 150});
        QVERIFY(repaintedWithoutRow());
        send(cmd::notch1);
        QVERIFY(repaintedWithoutRow());
        wheel({400, 100}, -120, Qt::ShiftModifier);
        QCOMPARE(get(s.upperCutoff), 31500.0f);
        QVERIFY(repaintedWithoutRow());
        for (QSlider* slider : {window->inputLevelSlider(), window->brightnessSlider(), window->outputLevelSlider()})
            for (int delta : {120, 5})
                for (int i = 0; i < 24; ++i) wheel(slider->geometry().center(), delta);
        QCOMPARE(get(s.lowerCutoff), 16361.328125f);
    }

    // Each switch, button and check item toggles the setting it shows, and
    // back. Choices show one mode at a time, after every pair of modes in
    // either order and a mode chosen twice; each Capture item marks its format
    // alone. A switch holding neither 0 nor 1 becomes 1; a double click
    // toggles once.
    void commandsThroughTheirInputs() {
        const QList choices{cmd::pass, cmd::reject, cmd::passAll, cmd::agcFast, cmd::viewFast};
        for (auto [id, setting, on] : shows) {
            if (!on || choices.contains(id)) continue;
            const int start = get(engine->settings.*setting);
            send(id);
            expectState({{setting, start == 1 ? 0 : 1}});
            send(id);
            expectState();
        }
        for (int id : {cmd::passAll, cmd::pass, cmd::pass, cmd::reject, cmd::reject, cmd::passAll, cmd::reject,
                       cmd::pass, cmd::passAll}) {
            send(id);
            expectState({{&PS::passAllOn, id == cmd::passAll},
                         {&PS::passOn, id == cmd::pass},
                         {&PS::rejectOn, id == cmd::reject}});
        }
        for (auto [fast, slow, setting] :
             {std::tuple{cmd::agcFast, cmd::agcSlow, &PS::agcFast}, {cmd::viewFast, cmd::viewSlow, &PS::viewFast}})
            for (int id : {fast, fast, slow, slow}) {
                send(id);
                expectState({{setting, id == fast}});
            }
        for (auto [id, format] :
             {std::pair{cmd::captureGif, 4}, {cmd::captureBmp, 1}, {cmd::capturePng, 3}, {cmd::captureJpg, 2}}) {
            send(id);
            expectState({}, format);
        }
        put(engine->settings.blankerOn, 7);
        put(engine->settings.notch2On, -1);
        send(cmd::blanker);
        send(cmd::notch2);
        SwitchButton* b = window->switchButton(cmd::pass);
        QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, b->mapTo(window.get(), b->rect().center()));
        expectState({{&PS::blankerOn, 1}, {&PS::notch2On, 1}, {&PS::passOn, 1}, {&PS::passAllOn, 0}});
    }

    // The Capture button saves the client area as shown: the controls as
    // they show, beside them the logical-size paint, whatever the scale.
    void captureSavesTheClientAsShown() {
        QTemporaryDir dir;
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        send(cmd::capturePng);
        send(cmd::lms);
        send(cmd::capture);
        QDir::setCurrent(old);
        const QStringList pictures = QDir(dir.path()).entryList({"Capture *.png"});
        QCOMPARE(pictures.size(), 1);
        const QImage saved = QImage(dir.filePath(pictures[0])).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(saved.size(), window->client()->size());
        QImage lmsOn = QImage(":/IMG_BITMAP_LMS_ON").convertToFormat(QImage::Format_RGB32);
        lmsOn.setColorSpace({});  // its colour tag aside: the pixels are compared
        QVERIFY(saved.copy(50, 500, 117, 23) == lmsOn);
        QImage painted(saved.size(), QImage::Format_RGB32);
        paintMainWindow(painted,
                        {engine->settings, engine->shared, window->spectrumPointer().mouseBin(), 80, false, {}},
                        window->displayState());
        const QRect graph(50, 0, 890, 500);  // between the sliders, above the switches
        QVERIFY(saved.copy(graph) == painted.copy(graph));
    }

    // The dialogs open without blocking (the chart only once); the About box
    // is owned and changes nothing; Exit closes the window.
    void windowCommands() {
        for (int id : {cmd::controls, cmd::samplerate, cmd::chartRecorder, cmd::chartRecorder}) send(id);
        QStringList captions;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w != window.get()) captions << w->windowTitle();
        captions.sort();
        QCOMPARE(captions, QStringList({"Chart Recorder", "Controls", "Samplerate"}));
        window->chartDialog()->close();
        QTRY_VERIFY(!window->chartDialog());  // closed charts are deleted; the next opening is new
        BoxAnswerer answerer;
        send(cmd::about);
        QCOMPARE(answerer.boxes().size(), 1);
        const SeenBox& about = answerer.boxes()[0];
        QCOMPARE(about.title, QString("About Tolvekfilter"));
        QCOMPARE(about.text,
                 QString("Full duplex audio filter\n\nThis version 24 April 2012\n"
                         "Written by the Tolvek Filter developers\n\nSome parts pirated from elsewhere!\n"));
        QVERIFY(about.icon == QMessageBox::NoIcon && about.hadOwner);
        expectState();
        send(cmd::exitProgram);
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
