// The command table: the menu bar and MainWindow::command, the one place
// that maps command ids to actions.
#include "command_table.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>

#include "about_box.h"
#include "chart_dialog.h"
#include "command_ids.h"
#include "controls_dialog.h"
#include "desktop_open.h"
#include "help_page.h"
#include "main_window.h"
#include "picture_saver.h"
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

constexpr int bandIds[] = {cmd::pass, cmd::passAll, cmd::reject};
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
              {cmd::notch4, "Notch 4 (extra wide)", Mark::off}},
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

void MainWindow::buildMenu() {
    actions = buildMainMenu(*menuBar(), [this](int id) { command(id); });
}

void MainWindow::setMark(int id, bool marked) { actions.at(id)->setChecked(marked); }

void MainWindow::setMarks(std::initializer_list<int> group, int marked) {
    for (int id : group) setMark(id, id == marked);
}

// Exactly one band mode is on. The old mode is cleared before the new one is
// set, so no block ever sees Pass and Reject together.
void MainWindow::chooseBand(int id) {
    ProcessingSettings& s = engine.settings;
    std::atomic<int32_t>* flag[] = {&s.passOn, &s.passAllOn, &s.rejectOn};
    int chosen = 0;
    while (bandIds[chosen] != id) ++chosen;
    if (get(*flag[chosen]) == 1) return;
    for (int i = 0; i < 3; ++i) switches.at(bandIds[i])->setOn(i == chosen);
    for (int i = 0; i < 3; ++i)
        if (i != chosen) put(*flag[i], 0);
    put(*flag[chosen], 1);
}

void MainWindow::command(int id) {
    ProcessingSettings& s = engine.settings;
    // A switch that toggles and shows its state as a check mark or an image.
    auto toggleMarked = [&](std::atomic<int32_t>& setting) {
        toggleSwitch(setting);
        setMark(id, get(setting) == 1);
    };
    auto toggleImaged = [&](std::atomic<int32_t>& setting) {
        toggleSwitch(setting);
        switches.at(id)->setOn(get(setting) == 1);
    };

    switch (id) {
        case cmd::openWaveFile:
            startRecording();
            break;
        case cmd::closeWaveFile:
            stopRecording();
            break;
        case cmd::exitProgram:
            close();
            break;
        case cmd::cpuLoad:
            toggleMarked(s.cpuLoadShown);
            break;
        case cmd::randomNoise:
            toggleMarked(s.noiseTestOn);
            break;
        case cmd::audioDevices:
            openSoundSettings(this);
            break;
        case cmd::samplerate:
            openSamplerateDialog(
                s, [this](int rate) { return changeSampleRate(rate); }, this);
            break;
        case cmd::chartRecorder:
            openChart();
            break;
        case cmd::agcFast:
            put(s.agcFast, 1);
            setMarks(agcSpeedIds, id);
            break;
        case cmd::agcSlow:
            put(s.agcFast, 0);
            setMarks(agcSpeedIds, id);
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
        case cmd::helpContents:
            openHelpPage(this);
            break;
        case cmd::about:
            showAboutBox(this);
            break;
        case cmd::controls:
            openControlsDialog(engine, this);
            break;
        case cmd::viewFast:
            put(s.viewFast, 1);
            setMarks(viewSpeedIds, id);
            break;
        case cmd::viewSlow:
            put(s.viewFast, 0);
            setMarks(viewSpeedIds, id);
            break;
        case cmd::captureBmp:
        case cmd::captureJpg:
        case cmd::capturePng:
        case cmd::captureGif:
            captureFmt = id - cmd::captureBmp + 1;
            setMarks(captureFormatIds, id);
            break;
        case cmd::blanker:
            toggleImaged(s.blankerOn);
            break;
        case cmd::lms:
            if (get(s.lmsOn) == 1) {
                switches.at(id)->setOn(false);
                put(s.lmsOn, 0);
            } else {
                switches.at(id)->setOn(true);
                engine.switchLmsOn();  // the callback clears the state before its next LMS step
            }
            break;
        case cmd::pass:
        case cmd::passAll:
        case cmd::reject:
            chooseBand(id);
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
            pauseBtn->setText(paused ? "Start" : "Pause");
            pauseBtn->setChecked(paused);
            break;
        }
        case cmd::capture:
            saveClientPicture();
            break;
        default:
            break;
    }
}

void MainWindow::openChart() {
    chart::ChartLinks links;
    links.shared = &engine.shared;
    links.signalLevel = [this] { return display.signalLevel; };
    links.captureFormat = [this] { return captureFmt; };
    chart::openChartDialog(chart, chartState, std::move(links), this);
}

// The client area as shown, switches and sliders included.
void MainWindow::saveClientPicture() {
    const OutputResult r = savePicture(clientArea->grab().toImage(), captureFmt);
    if (!r.ok()) QMessageBox::warning(this, "Capture", QString::fromStdString(r.error));
}

void MainWindow::startRecording() {
    const OutputResult r = recorder.startRecording();
    if (!r.ok()) QMessageBox::warning(this, "Wave file", QString::fromStdString(r.error));
}

void MainWindow::stopRecording() {
    recorder.stopRecording();
    const std::string error = recorder.takeError();
    if (!error.empty()) QMessageBox::warning(this, "Wave file", QString::fromStdString(error));
}

}  // namespace tolvek
