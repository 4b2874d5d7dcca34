#include "chart_dialog.h"

#include <QFrame>
#include <QPainter>
#include <QPushButton>
#include <chrono>

#include "capture_names.h"
#include "chart_picture.h"
#include "picture_saver.h"

namespace tolvek::chart {

namespace {

const QString caption = "Chart Recorder";

// The bordered area the chart is copied onto.
class ChartArea : public QFrame {
  public:
    ChartArea(const QImage& picture, QWidget* parent) : QFrame(parent), picture(picture) {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    }

  protected:
    void paintEvent(QPaintEvent* e) override {
        QFrame::paintEvent(e);
        QPainter(this).drawImage(contentsRect().topLeft(), picture, QRect(0, 0, pictureWidth, pictureHeight));
    }

  private:
    const QImage& picture;
};

struct ButtonPlace {
    int id;
    const char* caption;
    int xDu;
};

constexpr ButtonPlace buttonPlaces[] = {
    {button::oneSecond, "1 sec", 0},       {button::tenSeconds, "10 sec", 48},
    {button::oneMinute, "1 min", 96},      {button::tenMinutes, "10 min", 144},
    {button::fiveDb, "5dB/division", 220}, {button::tenDb, "10dB/division", 268},
    {button::capture, "Capture", 344},     {button::autoCapture, "Auto Capture", 400},
};

QString timeOfDay(const std::tm& t) { return QString::asprintf("%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec); }

}  // namespace

ChartClock systemClock() {
    return {[] {
                using namespace std::chrono;
                return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
            },
            localTimeNow};
}

ChartDialog::ChartDialog(ChartState& s, ChartLinks l, QWidget* owner)
    : ToolDialog(caption, 468, 210, owner), state(s), links(std::move(l)) {
    area = new ChartArea(picture_, this);
    area->setGeometry(dialogRect(0, 0, 468, 188));
    picture_ = QImage(area->contentsRect().size(), QImage::Format_RGB32);
    picture_.fill(Qt::white);
    for (const ButtonPlace& p : buttonPlaces) {
        auto* b = new QPushButton(p.caption, this);
        b->setGeometry(dialogRect(p.xDu, 192, 50, 14));
        b->setAutoDefault(false);  // Enter presses nothing
        const int id = p.id;
        connect(b, &QPushButton::clicked, this, [this, id] { press(id); });
        buttons[p.id] = b;
    }
    // "Log" sits in the gap right of the dB buttons, so every other button
    // keeps its place; it stays pressed while the log is written.
    auto* log = new QPushButton("Log", this);
    log->setGeometry(dialogRect(319, 192, 24, 14));
    log->setAutoDefault(false);
    log->setCheckable(true);
    connect(log, &QPushButton::clicked, this, [this] { press(button::levelLog); });
    buttons[button::levelLog] = log;
    connect(this, &QDialog::finished, this, &ChartDialog::finish);
    redraw.setTimerType(Qt::PreciseTimer);
    connect(&redraw, &QTimer::timeout, this, &ChartDialog::tick);
    redraw.start(tickMs);
}

void ChartDialog::press(int id) {
    switch (id) {
        case button::oneSecond:
        case button::tenSeconds:
        case button::oneMinute:
        case button::tenMinutes:
            chooseTimeScale(state, timeScales[id - button::oneSecond], links.signalLevel());
            break;
        case button::fiveDb:
            state.chartDbScale = 2;
            break;
        case button::tenDb:
            state.chartDbScale = 1;
            break;
        case button::capture:
            state.captureRequested = 1;
            break;  // saved by the next tick
        case button::autoCapture:
            toggleAutoCapture();
            break;
        case button::levelLog:
            toggleLevelLog();
            break;
        default:
            break;
    }
}

// The first picture comes one period after switching on; a later change of
// time scale keeps the running period.
void ChartDialog::toggleAutoCapture() {
    if (state.autoCaptureOn == 1) {
        state.autoCaptureOn = 0;
        return;
    }
    state.autoCaptureOn = 1;
    autoCaptureEveryMs = autoCapturePeriodMs(state.chartTimeScale);
    autoCaptureDueMs = links.clock.steadyMs() + autoCaptureEveryMs;
}

void ChartDialog::tick() {
    if (state.autoCaptureOn == 1) {
        const int64_t now = links.clock.steadyMs();
        if (now >= autoCaptureDueMs) {
            state.captureRequested = 1;
            // Missed periods (a suspended machine, a long block of this
            // thread) give one picture, then the normal period from now.
            autoCaptureDueMs += autoCaptureEveryMs;
            if (autoCaptureDueMs <= now) autoCaptureDueMs = now + autoCaptureEveryMs;
        }
    }
    const bool plotted = advanceChart(state, spectrumLevel(*links.shared));
    // The plotted point, in dB: its value is -2 x the level.
    if (plotted && levelLog.isOpen() &&
        !levelLog.append(links.clock.localTime(), -0.5f * static_cast<float>(state.chartHistory[chartLength - 1])))
        stopLevelLog("cannot write " + levelLog.path());
    paintChart(picture_, state, timeOfDay(links.clock.localTime()));
    area->update();
    if (state.captureRequested == 1) {
        saveCapture();
        state.captureRequested = 0;
    }
    emit ticked();
}

// A failed picture does not stop the chart; the caption says why until the
// next picture succeeds.
void ChartDialog::saveCapture() {
    const OutputResult r = savePicture(picture_, links.captureFormat(), links.pictureDir);
    if (r.ok()) {
        setWindowTitle(caption);
        emit pictureSaved(QString::fromStdString(r.path));
    } else {
        setWindowTitle(caption + " - " + QString::fromStdString(r.error));
    }
}

void ChartDialog::toggleLevelLog() {
    if (levelLog.isOpen()) return stopLevelLog("");
    std::string error;
    if (!levelLog.open(links.pictureDir, links.clock.localTime(), error)) return stopLevelLog(error);
    buttons.at(button::levelLog)->setChecked(true);
    setWindowTitle(caption);
}

// Ends the log; a reason is shown in the caption, as for pictures.
void ChartDialog::stopLevelLog(const std::string& error) {
    levelLog.close();
    buttons.at(button::levelLog)->setChecked(false);
    setWindowTitle(error.empty() ? caption : caption + " - " + QString::fromStdString(error));
}

void ChartDialog::finish() {
    redraw.stop();
    levelLog.close();
    resetChart(state);
}

void openChartDialog(QPointer<ChartDialog>& dialog, ChartState& state, ChartLinks links, QWidget* owner) {
    if (!dialog) {
        dialog = new ChartDialog(state, std::move(links), owner);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace tolvek::chart
