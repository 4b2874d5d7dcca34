// The chart recorder dialog: every 50 ms it measures the signal level,
// advances the history and draws the chart; it saves pictures of the chart
// on request and, with Auto Capture, once per span of the chart; with "Log"
// on it appends every plotted point to a level log. It stays on top and
// leaves the main window working.
#pragma once

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <ctime>
#include <functional>
#include <map>
#include <string>

#include "chart_state.h"
#include "level_log_file.h"
#include "tool_dialog.h"

class QPushButton;

namespace tolvek::chart {

// Where the chart gets its times; tests put a clock of their own in.
struct ChartClock {
    std::function<int64_t()> steadyMs;   // monotonic milliseconds
    std::function<std::tm()> localTime;  // for the time stamp
};
ChartClock systemClock();

// What the chart reads from the rest of the program.
struct ChartLinks {
    const SharedValues* shared = nullptr;  // the filtered spectrum
    std::function<float()> signalLevel;    // the main window's latest level, dB
    std::function<int()> captureFormat;    // 1 BMP, 2 JPEG, 3 PNG, 4 GIF
    ChartClock clock = systemClock();
    std::string pictureDir;  // empty: the current directory
};

// Button ids of the dialog.
namespace button {
constexpr int oneSecond = 6003, tenSeconds = 6004, oneMinute = 6005, tenMinutes = 6006;
constexpr int fiveDb = 4003, tenDb = 4004, capture = 318, autoCapture = 320;
constexpr int levelLog = 7002;  // "Log", a later addition numbered apart
}  // namespace button

class ChartDialog : public ToolDialog {
    Q_OBJECT
  public:
    // `state` outlives the dialog; closing the dialog resets it.
    ChartDialog(ChartState& state, ChartLinks links, QWidget* owner = nullptr);

    // One redraw-timer tick; the timer calls it every 50 ms.
    void tick();

    const QImage& picture() const { return picture_; }
    QPushButton* button(int id) const { return buttons.at(id); }
    QWidget* chartArea() const { return area; }

  signals:
    void ticked();
    void pictureSaved(const QString& path);

  private:
    void press(int id);
    void toggleAutoCapture();
    void saveCapture();
    void toggleLevelLog();
    void stopLevelLog(const std::string& error);
    void finish();

    ChartState& state;
    ChartLinks links;
    QWidget* area = nullptr;
    QImage picture_;
    std::map<int, QPushButton*> buttons;
    QTimer redraw;
    int64_t autoCaptureEveryMs = 0;  // fixed when Auto Capture is switched on
    int64_t autoCaptureDueMs = 0;
    LevelLogFile levelLog;  // open while "Log" is on
};

// Opens a chart dialog on `state` into `dialog`, deleted when closed, or
// brings the one already open to the front: one history, one chart.
void openChartDialog(QPointer<ChartDialog>& dialog, ChartState& state, ChartLinks links, QWidget* owner);

}  // namespace tolvek::chart
