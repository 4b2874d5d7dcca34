// The main window: menu bar, the fixed layout of switches, buttons and
// sliders, the painted client area and the life of the audio stream. Every
// menu item and button goes through command() to runCommand, the one place
// that maps command ids to actions (command_table.cpp).
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <map>

#include "audio_session.h"
#include "chart_dialog.h"
#include "main_window_paint.h"
#include "spectrum_pointer.h"
#include "wav_recorder.h"

class QAction;
class QPushButton;
class QSlider;

namespace tolvek {

class SwitchButton;

// Client rectangle repainted after every finished block: everything that
// changes while running, the waterfall's last column (x 922) included.
QRect blockRefreshRect();

// How often the window looks for finished blocks.
constexpr int blockPollMs = 15;

// What the paints did, for the tests of the refresh path.
struct PaintCount {
    int paints = 0;
    int rows = 0;  // waterfall rows added so far, one per block seen
};

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(Engine& engine, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Starts the stream at `sampleRate` (the last step of the window's
    // set-up). The caller shows the error and ends the program on failure.
    StreamOutcome startAudio(unsigned pauseMs = restartPauseMs);

    // Restarts the stream at `rate` for the Samplerate dialog. When the
    // device refuses it, shows the error and goes back to the last rate that
    // ran; returns false then. Ends the program (status 1) only when that
    // rate fails too. A recording that goes on in a new file is named.
    bool changeSampleRate(int rate);

    // Carries out one command (menu item, switch or button); ids in command_ids.h.
    void command(int id);

    // For the tests and the other windows.
    QWidget* client() const { return clientArea; }
    QAction* action(int id) const;             // menu item, or null
    SwitchButton* switchButton(int id) const;  // bitmap switch by its command id, or null
    QPushButton* captureButton() const { return captureBtn; }
    QPushButton* pauseButton() const { return pauseBtn; }
    QSlider* inputLevelSlider() const { return inputSlider; }
    QSlider* brightnessSlider() const { return brightSlider; }
    QSlider* outputLevelSlider() const { return outputSlider; }
    int captureFormat() const { return captureFmt; }  // 1 BMP, 2 JPEG, 3 PNG, 4 GIF
    const PaintCount& paintCount() const { return painted; }
    const AudioStreamState& audioStream() const { return session.stream(); }
    WavRecorder& wavRecorder() { return recorder; }
    float signalLevel() const { return display.signalLevel; }
    DisplayState& displayState() {
        return display;
    }  // the waterfall history, for the tests     // dB, as the latest paint read it
    chart::ChartDialog* chartDialog() const { return chart; }     // the open chart recorder, or null
    QMessageBox* deviceLossNotice() const { return lossNotice; }  // shown after the device fell silent, or null

    SpectrumPointer& spectrumPointer() { return pointer; }
    // Renders the whole client picture and puts it on `target` in one copy.
    void paintClient(QWidget& target);
    // Repaints what a user's change (marker, switch, notch) shows, without
    // a waterfall row; the picture stands still otherwise while paused.
    void showUserChange();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    friend void runCommand(MainWindow& window, int id);  // the command table acts on the window

    void buildMenu();
    void buildControls();
    void pollBlocks();
    void streamStarted();
    void reportDeviceLoss(const AudioSession::Loss& loss);
    void shutdown();
    void setMarks(std::initializer_list<int> group, int marked);
    void setMark(int id, bool marked);
    void chooseBand(int id);
    void saveClientPicture();
    void openChart();
    void startRecording();
    void stopRecording();

    Engine& engine;
    WavRecorder recorder;
    AudioSession session;  // after the recorder, which it completes on closing
    DisplayState display;
    SpectrumPointer pointer;
    std::atomic<int32_t> brightness{80};  // Brightness slider, 0..100, read by the paint
    int captureFmt = 2;
    chart::ChartState chartState;  // the chart recorder's history, kept while its dialog is open
    QPointer<chart::ChartDialog> chart;

    QWidget* clientArea = nullptr;
    std::map<int, QAction*> actions;
    std::map<int, SwitchButton*> switches;
    QPushButton* captureBtn = nullptr;
    QPushButton* pauseBtn = nullptr;
    QSlider* inputSlider = nullptr;
    QSlider* brightSlider = nullptr;
    QSlider* outputSlider = nullptr;

    QTimer blockPoll;
    uint32_t blocksSeen = 0;  // shared.blocksDone at the last poll
    QElapsedTimer steadyClock;
    QPointer<QMessageBox> lossNotice;
    bool overloadShown = false;  // the overload text, latched at the latest block
    PaintCount painted;
    bool shutDown = false;
};

// The "LMS" box with the library's text; `owner` may be null.
void showAudioError(QWidget* owner, const std::string& text);

}  // namespace tolvek
