// The main window: its fixed layout and refresh path, and every command id
// through the input that sends it (menu item, switch click, button click),
// with every switch image, menu mark and the Pause button showing the
// settings, and everything else left at its start state. Its dialogs and
// openers' messages (every control writes its setting at once), and the
// spectrum pointer's drags, hovers and wheel turns, in position units against
// hand-computed values (one column = 44100/512 units).
#include <QtTest>
#include <QtWidgets>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>
#include <vector>

#include "box_answerer.h"
#include "command_ids.h"
#include "controls_dialog.h"
#include "desktop_open.h"
#include "help_page.h"
#include "main_window.h"
#include "samplerate_dialog.h"
#include "spectrum_pointer.h"
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

constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();

// Lower and upper cut-off, notches 1..4. QCOMPARE compares the floats of
// lists exactly: positions must come out to the last bit.
QList<float> markers(ProcessingSettings& s) {
    return {get(s.lowerCutoff), get(s.upperCutoff), get(s.notch1Freq),
            get(s.notch2Freq),  get(s.notch3Freq),  get(s.notch4Freq)};
}

// The start values shifted by `offset`, marker `moved` (-1: none) at `value`.
QList<float> expected(int moved = -1, float value = 0, float offset = 0) {
    QList<float> m{16500.0f, 32500.0f, 13000.0f, 15000.0f, 19000.0f, 22000.0f};
    for (float& v : m) v += offset;
    if (moved >= 0) m[moved] = value;
    return m;
}

// Escape leaves a dialog open (its changes are in force already); Return closes it.
void expectReturnCloses(QDialog& d) {
    d.show();
    QTest::keyClick(&d, Qt::Key_Escape);
    QVERIFY(d.isVisible());
    QTest::keyClick(&d, Qt::Key_Return);
    QVERIFY(!d.isVisible());
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
        QVERIFY2(rows[0] > rows[1] && rows[1] > rows[2] && rows[2] > 0,
                 qPrintable(QString("rows %1 %2 %3").arg(rows[0]).arg(rows[1]).arg(rows[2])));
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

    // The start band edges' columns 252 and 437 are the display's notch-band test's.
    void markerColumns() {
        const std::pair<float, int> cases[] = {
            {43.06640625f, 61}, {43.0f, 60},            // half a column rounds up, just under does not
            {-100.0f, 60},      {200000.0f, 2382},      // truncation toward zero; beyond the spectrum
            {1e30f, 1000060},   {notANumber, -999940},  // clamped
        };
        for (auto [position, column] : cases) QCOMPARE(markerColumn(position), column);
    }

    // With the notches `on` (bit i: notch i+1) the pointer rests at x 100,
    // presses at (pressX, pressY) and moves to (x, y): it shows `shape` and
    // `bin`, marker `moved` (-1: none) takes `value` and the others keep their
    // start values, during the drag and after the release. A press off the
    // graph's rows (y 41..261) grabs nothing: the move is a hover.
    void pressAndMove() {
        using enum PointerShape;
        // clang-format off
        const std::tuple<int, int, int, int, int, PointerShape, float, int, float> cases[] = {
            {0, 252, 41, 262, 150, Size, 202, 0, 17361.328125f},       // lower edge, right 10, top row of the graph
            {0, 252, 261, 262, 150, Size, 202, 0, 17361.328125f},      // bottom row
            {0, 252, 40, 262, 150, Size, 202, -1, 0},                  // above the graph: hovers the moved-to edge
            {0, 252, 262, 263, 150, Arrow, 203, -1, 0},                // below it; just off the edge's zone
            {0, 211, 150, 200, 150, Size, 140, 2, 12052.5390625f},     // notch 1, switched off
            {0, 224, 150, 220, 150, Size, 160, 3, 14655.46875f},       // notch 2 at its 10-column edge
            {0, 340, 150, 360, 150, Size, 300, 5, 23722.65625f},       // notch 4 at its 25-column edge
            {0, 290, 150, 280, 150, Size, 220, 4, 18138.671875f},      // overlap: notch 3 moves, notch 4 waits
            {0, 437, 150, 2000, 150, Size, 1940, 1, 167125.5859375f},  // beyond the right end
            {0, 211, 150, 0, 150, Size, -60, 2, -5174.0234375f},       // below zero
            {0, 0, 0, 437, 40, Arrow, 0, -1, 0},                       // hover above the graph: no bin
            {1, 0, 0, 214, 150, Size, 154, -1, 0}, {1, 0, 0, 215, 150, Arrow, 155, -1, 0},  // notch 1: 3 out, 4 out
            {2, 0, 0, 229, 150, Size, 169, -1, 0}, {2, 0, 0, 228, 150, Arrow, 168, -1, 0},  // notch 2: 5 out, 6 out
            {8, 0, 0, 340, 150, Size, 280, -1, 0}, {7, 0, 0, 340, 150, Arrow, 280, -1, 0},  // notch 4 on, off
        };
        // clang-format on
        for (auto [on, pressX, pressY, x, y, shape, bin, moved, value] : cases) {
            ProcessingSettings s;
            for (int i = 0; i < 4; ++i) put(s.notchOn(i), (on >> i) & 1);
            SpectrumPointer p(s);
            p.move(100, 150);  // a non-zero bin first, so a reset to 0 shows
            p.press(pressX, pressY);
            QCOMPARE(p.dragging(), moved >= 0);
            QCOMPARE(p.move(x, y), shape);
            QCOMPARE(p.mouseBin(), bin);
            QCOMPARE(markers(s), expected(moved, value));
            p.release();
            QVERIFY(!p.dragging());
            p.move(x + 7, 150);
            QCOMPARE(markers(s), expected(moved, value));
        }
    }

    // A notch dragged across the lower cut-off's zone stands still there.
    // Dragging the lower edge past the upper one swaps the values at the next
    // move; the drag then goes on in the variable `lowerCutoff`.
    void dragsAcrossAnotherMarker() {
        ProcessingSettings s, t;
        SpectrumPointer notch(s), edge(t);
        notch.press(211, 150);
        notch.move(240, 150);
        QCOMPARE(notch.move(245, 150), PointerShape::Size);
        QCOMPARE(markers(s), expected(2, 15497.8515625f));
        notch.move(270, 150);
        QCOMPARE(markers(s), expected(2, 13000.0f + 59 * 86.1328125f));

        edge.press(252, 150);
        edge.move(450, 150);
        QCOMPARE(markers(t).first(2), QList({33554.296875f, 32500.0f}));
        QCOMPARE(edge.move(300, 150), PointerShape::Arrow);  // swaps and does nothing else
        QCOMPARE(markers(t).first(2), QList({32500.0f, 33554.296875f}));
        QCOMPARE(edge.mouseBin(), 390.0f);
        QCOMPARE(edge.move(455, 150), PointerShape::Size);  // over the new upper edge: stands still
        QCOMPARE(markers(t).first(2), QList({32500.0f, 33554.296875f}));
        edge.move(300, 150);
        QCOMPARE(markers(t).first(2), QList({20634.375f, 33554.296875f}));
        put(t.lowerCutoff, notANumber);  // not a number: swapped too
        QCOMPARE(edge.move(100, 150), PointerShape::Arrow);
        QCOMPARE(get(t.lowerCutoff), 33554.296875f);
        QVERIFY(std::isnan(get(t.upperCutoff)));
        QCOMPARE(edge.mouseBin(), 240.0f);  // the swapping move did nothing else
    }

    // Every turn shifts all six markers by a step, never clamped.
    void pointerWheel() {
        const std::tuple<int, bool, bool, int, float> cases[] = {
            // delta, Ctrl, Shift, turns, total shift
            {120, false, false, 1, 100},     {-120, false, false, 1, -100}, {120, true, false, 1, 10},
            {120, false, true, 1, 1000},     {120, true, true, 1, 1000},  // Shift wins over Ctrl
            {960, false, false, 1, 800},                                  // a big delta: a step per notch
            {5, false, false, 24, 100},      {5, false, false, 23, 0},    // touchpad: 24 x 5 is one step, 23 none yet
            {-5, true, false, 48, -20},      {15, false, true, 8, 1000},  // touchpad with Ctrl; hi-res wheel 8 x 15
            {0, true, false, 1, 0},                                       // sideways swipe ignored
            {-120, false, true, 40, -40000},                              // never clamped
        };
        for (auto [delta, ctrl, shift, turns, total] : cases) {
            ProcessingSettings s;
            SpectrumPointer p(s);
            for (int i = 0; i < turns; ++i) p.wheel(delta, ctrl, shift);
            QCOMPARE(markers(s), expected(-1, 0, total));
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
