#include "main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QMenuBar>
#include <QMessageBox>
#include <QPaintEngine>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <cstdio>

#include "command_ids.h"
#include "command_table.h"
#include "level_slider.h"
#include "picture_saver.h"
#include "switch_button.h"

static void loadResources() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(tolvek);
        return true;
    }();
    (void)loaded;
}

namespace tolvek {

namespace {

// The client area: paints through the main window and hands the pointer to
// the spectrum logic.
class ClientArea : public QWidget {
  public:
    explicit ClientArea(MainWindow& w) : QWidget(&w), window(w) {
        setAttribute(Qt::WA_OpaquePaintEvent);  // the paint covers every pixel
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
    }

  protected:
    void paintEvent(QPaintEvent*) override { window.paintClient(*this); }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) window.spectrumPointer().press(e->position().x(), e->position().y());
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) window.spectrumPointer().release();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        SpectrumPointer& pointer = window.spectrumPointer();
        const float bin = pointer.mouseBin();
        const PointerShape shape = pointer.move(e->position().x(), e->position().y());
        setCursor(shape == PointerShape::Size ? Qt::SizeHorCursor : Qt::ArrowCursor);
        // The pointer read-out or a dragged marker changed: shown at once, also while paused.
        if (pointer.dragging() || pointer.mouseBin() != bin) window.showUserChange();
    }
    void wheelEvent(QWheelEvent* e) override {
        // A turn a slider does not use (at its end) comes on to here; it
        // was meant for the slider and must not shift the markers.
        if (qobject_cast<QSlider*>(childAt(e->position().toPoint()))) return;
        const Qt::KeyboardModifiers keys = e->modifiers();
        window.spectrumPointer().wheel(e->angleDelta().y(), keys & Qt::ControlModifier, keys & Qt::ShiftModifier);
        window.showUserChange();
    }

  private:
    MainWindow& window;
};

struct SwitchPlace {
    int id;
    const char* name;   // for screen readers
    const char* image;  // resource pair IMG_BITMAP_<name>_ON / _OFF
    int x, y;
    bool startOn;
};

// Bitmap switches at their client positions; each is as large as its image.
constexpr SwitchPlace switchPlaces[] = {
    {cmd::blanker, "Noise Blanker", "IMG_BITMAP_NB", 170, 500, false},
    {cmd::lms, "LMS Filter", "IMG_BITMAP_LMS", 50, 500, false},
    {cmd::comb, "Comb Filter", "IMG_BITMAP_COMB", 290, 500, false},
    {cmd::agc, "AGC", "IMG_BITMAP_AGC", 410, 500, true},
    {cmd::pass, "Pass", "IMG_BITMAP_PASS", 594, 500, false},
    {cmd::passAll, "Pass All", "IMG_BITMAP_ALL", 716, 500, true},
    {cmd::reject, "Reject", "IMG_BITMAP_REJECT", 655, 500, false},
};

constexpr int bandIds[] = {cmd::pass, cmd::passAll, cmd::reject};

}  // namespace

QRect blockRefreshRect() {
    return QRect(refreshLeft, refreshTop, refreshRight - refreshLeft, refreshBottom - refreshTop);
}

MainWindow::MainWindow(Engine& e, QWidget* parent)
    : QMainWindow(parent), engine(e), recorder(e.recordRing, e.settings), session(e, recorder), pointer(e.settings) {
    loadResources();
    setWindowTitle("Tolvek Filter");
    setWindowIcon(QIcon(":/PROGRAM_ICON"));

    engine.comb.requestSetup(get(engine.settings.combPeriodMs), get(engine.settings.sampleRate));
    captureFmt = captureJpeg;  // as the Capture menu marks at start
    clientArea = new ClientArea(*this);
    setCentralWidget(clientArea);
    buildControls();
    buildMenu();
    // Menu bar plus client: the client keeps at least the fixed layout's
    // 990 x 525 below a menu bar of any height the style gives.
    resize(990, std::max(585, menuBar()->sizeHint().height() + 527));
    engine.clearBuffers();

    blocksSeen = engine.shared.blocksDone.load(std::memory_order_acquire);
    steadyClock.start();
    connect(&blockPoll, &QTimer::timeout, this, &MainWindow::pollBlocks);
    blockPoll.start(blockPollMs);
}

MainWindow::~MainWindow() { shutdown(); }

void MainWindow::buildControls() {
    captureBtn = new QPushButton("Capture", clientArea);
    captureBtn->setGeometry(810, 503, 60, 18);
    captureBtn->setCheckable(true);  // alternates its pressed look at every click
    connect(captureBtn, &QPushButton::clicked, this, [this] { command(cmd::capture); });

    pauseBtn = new QPushButton("Pause", clientArea);
    pauseBtn->setGeometry(880, 503, 50, 18);
    pauseBtn->setCheckable(true);  // pressed exactly while paused (command 313 keeps it so)
    connect(pauseBtn, &QPushButton::clicked, this, [this] { command(cmd::pause); });

    for (const SwitchPlace& p : switchPlaces) {
        auto* sw = new SwitchButton(p.image, p.startOn, clientArea);
        sw->move(p.x, p.y);
        sw->setAccessibleName(p.name);
        // The label's own background behind the image's rounded corners.
        sw->setAutoFillBackground(true);
        QPalette pal = sw->palette();
        pal.setColor(QPalette::Window, Qt::black);
        sw->setPalette(pal);
        const int id = p.id;
        connect(sw, &SwitchButton::clicked, this, [this, id] { command(id); });
        switches[p.id] = sw;
    }

    inputSlider = new QSlider(clientArea);
    inputSlider->setGeometry(940, 35, 20, 230);
    bindLevelSlider(*inputSlider, 100, 90, engine.settings.inputLevel, *clientArea);
    brightSlider = new QSlider(clientArea);
    brightSlider->setGeometry(30, 300, 20, 190);
    bindLevelSlider(*brightSlider, 100, 80, brightness, *clientArea);
    outputSlider = new QSlider(clientArea);
    outputSlider->setGeometry(940, 300, 20, 190);
    bindLevelSlider(*outputSlider, 200, 100, engine.settings.outputLevel, *clientArea);
}

StreamOutcome MainWindow::startAudio(unsigned pauseMs) {
    const StreamOutcome out = session.start(steadyClock.elapsed(), pauseMs);
    if (out.ok) streamStarted();
    return out;
}

bool MainWindow::changeSampleRate(int rate) {
    const AudioSession::RateChange change = session.changeRate(rate, steadyClock.elapsed());
    if (!change.recorderError.empty())
        QMessageBox::warning(this, "Wave file", QString::fromStdString(change.recorderError));
    if (!change.refusal.empty()) showAudioError(this, change.refusal);
    if (!change.failure.empty()) {
        showAudioError(this, change.failure);
        blockPoll.stop();
        QCoreApplication::exit(1);
        return false;
    }
    streamStarted();
    if (!change.newFile.empty()) {
        // Told without blocking, as the sound already runs.
        auto* notice = new QMessageBox(QMessageBox::Information, "Wave file",
                                       QString("The recording goes on at %1 Hz in a new file:\n%2")
                                           .arg(rate)
                                           .arg(QString::fromStdString(change.newFile)),
                                       QMessageBox::Ok, this);
        notice->setAttribute(Qt::WA_DeleteOnClose);
        notice->setModal(false);
        notice->show();
    }
    return change.accepted;
}

QAction* MainWindow::action(int id) const {
    const auto it = actions.find(id);
    return it == actions.end() ? nullptr : it->second;
}

SwitchButton* MainWindow::switchButton(int id) const {
    const auto it = switches.find(id);
    return it == switches.end() ? nullptr : it->second;
}

// A stream has started: clear the notice of a lost device.
void MainWindow::streamStarted() {
    setWindowTitle("Tolvek Filter");
    if (lossNotice) lossNotice->close();
}

// Told without blocking: the window stays usable, and the recording, which
// would otherwise wait for blocks that never come, is completed at once.
void MainWindow::reportDeviceLoss(const AudioSession::Loss& loss) {
    QString text = QString(
                       "No sound has come from the sound device for %1 s: it may have been unplugged, "
                       "or its sound server has stopped.")
                       .arg(loss.silenceMs / 1000.0, 0, 'f', 1);
    if (!loss.completedFile.empty())
        text += "\n\nThe recording was completed: " + QString::fromStdString(loss.completedFile);
    text += "\n\nChoose Tools > Samplerate to start the sound again.";
    setWindowTitle("Tolvek Filter - no sound from the device");
    if (lossNotice) lossNotice->close();
    lossNotice = new QMessageBox(QMessageBox::Warning, "LMS", text, QMessageBox::Ok, this);
    lossNotice->setAttribute(Qt::WA_DeleteOnClose);
    lossNotice->setModal(false);
    lossNotice->show();
}

void MainWindow::pollBlocks() {
    if (const AudioSession::Loss loss = session.poll(steadyClock.elapsed()); loss.lost) reportDeviceLoss(loss);
    const std::string recorderError = recorder.takeError();
    if (!recorderError.empty()) QMessageBox::warning(this, "Wave file", QString::fromStdString(recorderError));
    std::atomic<int32_t>& overloadFlag = engine.shared.overloadFlag;
    const uint32_t done = engine.shared.blocksDone.load(std::memory_order_acquire);
    if (done == blocksSeen) {
        // Paused, no block finishes, but overload detection goes on: kept
        // for the next paint until blocks flow again.
        if (overloadFlag.exchange(0, std::memory_order_relaxed) != 0) overloadShown = true;
        return;
    }
    blocksSeen = done;
    // The spectra are the latest block's: its row is made now, painted or
    // not (a hidden window). Blocks this thread was too late for have left
    // no spectrum of their own, so they get no row rather than a copy.
    addBlockRow(display, engine.shared, get(brightness));
    ++painted.rows;
    // Latched per block: every paint until the next block shows the same
    // state, so a partial repaint or a grab cannot swallow the text.
    overloadShown = overloadFlag.exchange(0, std::memory_order_relaxed) != 0;
    clientArea->update(blockRefreshRect());
}

void MainWindow::showUserChange() { clientArea->update(blockRefreshRect()); }

void MainWindow::paintClient(QWidget& target) {
    QPainter painter(&target);
    if (!painter.isActive()) return;  // nothing to paint on (no size yet)
    // Painted at the scale of the device the paint lands on: the screen's
    // (crisp at 125 or 200 %), or 1 for a picture rendered at logical size.
    const qreal scale = painter.paintEngine()->paintDevice()->devicePixelRatio();
    QImage backBuffer(target.size() * scale, QImage::Format_RGB32);
    backBuffer.setDevicePixelRatio(scale);
    const PaintInputs in{engine.settings, engine.shared, pointer.mouseBin(),
                         get(brightness), overloadShown, QString::fromStdString(recorder.statusText())};
    paintMainWindow(backBuffer, in, display);
    painter.drawImage(0, 0, backBuffer);
    ++painted.paints;
}

void MainWindow::command(int id) {
    runCommand(*this, id);
    showUserChange();  // switches, notches, bands: seen at once, also while paused
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

void MainWindow::openChart() {
    chart::ChartLinks links;
    links.shared = &engine.shared;
    links.signalLevel = [this] { return display.signalLevel; };
    links.captureFormat = [this] { return captureFmt; };
    chart::openChartDialog(chart, chartState, std::move(links), this);
}

// The client area as shown, switches and sliders included.
void MainWindow::saveClientPicture() {
    // At its logical size (990 wide), the same picture at every screen scale.
    QImage picture(clientArea->size(), QImage::Format_RGB32);
    clientArea->render(&picture);
    const OutputResult r = savePicture(picture, captureFmt);
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

void MainWindow::closeEvent(QCloseEvent* event) {
    shutdown();
    event->accept();
}

void MainWindow::shutdown() {
    if (shutDown) return;
    shutDown = true;
    blockPoll.stop();
    session.close();
}

void showAudioError(QWidget* owner, const std::string& text) {
    QMessageBox box(QMessageBox::Warning, "LMS", QString::fromStdString(text), QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace tolvek
