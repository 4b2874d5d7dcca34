// The command table: the menu bar and runCommand, the one place that maps
// command ids to actions.
#include "command_table.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "about_box.h"
#include "command_ids.h"
#include "controls_dialog.h"
#include "desktop_open.h"
#include "help_page.h"
#include "main_window.h"
#include "samplerate_dialog.h"
#include "switch_button.h"

namespace tolvek {

namespace {

enum class Mark { none, off, on };  // none: the item carries no check mark

struct Item {
    int id;  // 0: separator
    const char* text;
    Mark mark = Mark::none;
};

QAction* addItem(QMenu& menu, const Item& item, const std::function<void(int)>& command) {
    QAction* a = menu.addAction(item.text);
    if (item.mark != Mark::none) {
        a->setCheckable(true);
        a->setChecked(item.mark == Mark::on);
    }
    const int id = item.id;
    QObject::connect(a, &QAction::triggered, a, [command, id] { command(id); });
    return a;
}

void addItems(QMenu& menu, std::initializer_list<Item> items, const std::function<void(int)>& command,
              std::map<int, QAction*>& actions) {
    for (const Item& item : items) {
        if (item.id == 0)
            menu.addSeparator();
        else
            actions[item.id] = addItem(menu, item, command);
    }
}

constexpr std::initializer_list<int> agcSpeedIds = {cmd::agcFast, cmd::agcSlow};
constexpr std::initializer_list<int> viewSpeedIds = {cmd::viewFast, cmd::viewSlow};
constexpr std::initializer_list<int> captureFormatIds = {cmd::captureBmp, cmd::captureJpg, cmd::capturePng,
                                                         cmd::captureGif};

}  // namespace

std::map<int, QAction*> buildMainMenu(QMenuBar& bar, const std::function<void(int)>& command) {
    std::map<int, QAction*> actions;
    addItems(*bar.addMenu("&File"),
             {{cmd::openWaveFile, "Open wave file for output"},
              {cmd::closeWaveFile, "Close wave file"},
              {0, ""},
              {cmd::exitProgram, "E&xit"}},
             command, actions);

    QMenu* tools = bar.addMenu("&Tools");
    addItems(*tools,
             {{cmd::cpuLoad, "&CPU load", Mark::off},
              {0, ""},
              {cmd::randomNoise, "&Random noise", Mark::off},
              {0, ""},
              {cmd::audioDevices, "&Audio devices"},
              {0, ""},
              {cmd::chartRecorder, "Chart recorder"},
              {0, ""},
              {cmd::samplerate, "&Samplerate"},
              {0, ""}},
             command, actions);
    addItems(*tools->addMenu("AGC"), {{cmd::agcFast, "Fast", Mark::off}, {cmd::agcSlow, "Slow", Mark::on}}, command,
             actions);

    addItems(*bar.addMenu("View"), {{cmd::viewFast, "Fast", Mark::off}, {cmd::viewSlow, "Slow", Mark::on}}, command,
             actions);

    QAction* controls = bar.addAction("Controls");
    QObject::connect(controls, &QAction::triggered, controls, [command] { command(cmd::controls); });
    actions[cmd::controls] = controls;

    addItems(*bar.addMenu("Notch"),
             {{cmd::notch1, "Notch 1 (narrow)", Mark::off},
              {cmd::notch2, "Notch 2 (medium)", Mark::off},
              {cmd::notch3, "Notch 3 (wide)", Mark::off},
              {cmd::notch4, "Notch 4 (extra wide)", Mark::off},
              {0, ""},
              {cmd::autoNotch, "Auto notch", Mark::off}},
             command, actions);
    addItems(*bar.addMenu("Capture"),
             {{cmd::captureBmp, "Capture to BMP", Mark::off},
              {cmd::captureJpg, "Capture to JPG", Mark::on},
              {cmd::capturePng, "Capture to PNG", Mark::off},
              {cmd::captureGif, "Capture to GIF", Mark::off}},
             command, actions);
    addItems(*bar.addMenu("&Help"), {{cmd::helpContents, "&Contents"}, {0, ""}, {cmd::about, "&About..."}}, command,
             actions);
    // F1 anywhere in the window, shown as "F1" beside the item.
    actions[cmd::helpContents]->setShortcut(Qt::Key_F1);
    actions[cmd::helpContents]->setShortcutContext(Qt::WindowShortcut);
    return actions;
}

void runCommand(MainWindow& w, int id) {
    ProcessingSettings& s = w.engine.settings;
    // A switch that toggles and shows its state as a check mark or an image.
    auto toggleMarked = [&](std::atomic<int32_t>& setting) {
        toggleSwitch(setting);
        w.setMark(id, get(setting) == 1);
    };
    auto toggleImaged = [&](std::atomic<int32_t>& setting) {
        toggleSwitch(setting);
        w.switches.at(id)->setOn(get(setting) == 1);
    };

    switch (id) {
        case cmd::openWaveFile:
            w.startRecording();
            break;
        case cmd::closeWaveFile:
            w.stopRecording();
            break;
        case cmd::exitProgram:
            w.close();
            break;
        case cmd::cpuLoad:
            toggleMarked(s.cpuLoadShown);
            break;
        case cmd::randomNoise:
            toggleMarked(s.noiseTestOn);
            break;
        case cmd::audioDevices:
            openSoundSettings(&w);
            break;
        case cmd::samplerate:
            openSamplerateDialog(
                s, [&w](int rate) { return w.changeSampleRate(rate); }, &w);
            break;
        case cmd::chartRecorder:
            w.openChart();
            break;
        case cmd::agcFast:
            put(s.agcFast, 1);
            w.setMarks(agcSpeedIds, id);
            break;
        case cmd::agcSlow:
            put(s.agcFast, 0);
            w.setMarks(agcSpeedIds, id);
            break;
        case cmd::notch1:
            toggleMarked(s.notch1On);
            break;
        case cmd::notch2:
            toggleMarked(s.notch2On);
            break;
        case cmd::notch3:
            toggleMarked(s.notch3On);
            break;
        case cmd::notch4:
            toggleMarked(s.notch4On);
            break;
        case cmd::autoNotch:
            toggleMarked(s.autoNotchOn);
            break;
        case cmd::helpContents:
            openHelpPage(&w);
            break;
        case cmd::about:
            showAboutBox(&w);
            break;
        case cmd::controls:
            openControlsDialog(w.engine, &w);
            break;
        case cmd::viewFast:
            put(s.viewFast, 1);
            w.setMarks(viewSpeedIds, id);
            break;
        case cmd::viewSlow:
            put(s.viewFast, 0);
            w.setMarks(viewSpeedIds, id);
            break;
        case cmd::captureBmp:
        case cmd::captureJpg:
        case cmd::capturePng:
        case cmd::captureGif:
            w.captureFmt = id - cmd::captureBmp + 1;
            w.setMarks(captureFormatIds, id);
            break;
        case cmd::blanker:
            toggleImaged(s.blankerOn);
            break;
        case cmd::lms:
            if (get(s.lmsOn) == 1) {
                w.switches.at(id)->setOn(false);
                put(s.lmsOn, 0);
            } else {
                w.switches.at(id)->setOn(true);
                w.engine.switchLmsOn();  // the callback clears the state before its next LMS step
            }
            break;
        case cmd::pass:
        case cmd::passAll:
        case cmd::reject:
            w.chooseBand(id);
            break;
        case cmd::agc:
            toggleImaged(s.agcOn);
            break;
        case cmd::comb:
            toggleImaged(s.combOn);
            break;
        case cmd::pause: {
            toggleSwitch(s.pausedOn);
            const bool paused = get(s.pausedOn) == 1;
            w.pauseBtn->setText(paused ? "Start" : "Pause");
            w.pauseBtn->setChecked(paused);
            break;
        }
        case cmd::capture:
            w.saveClientPicture();
            break;
        default:
            break;
    }
}

}  // namespace tolvek
