#include "controls_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <utility>

#include "engine.h"

namespace tolvek {

namespace {

void addGroup(QWidget* parent, const char* title, const QRect& rect) {
    auto* group = new QGroupBox(title, parent);
    group->setAlignment(Qt::AlignHCenter);
    group->setGeometry(rect);
}

void addLabel(QWidget* parent, const char* text, const QRect& rect) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(rect);
}

}  // namespace

ControlsDialog::ControlsDialog(ProcessingSettings& settings, CombSetup setup, QWidget* owner)
    : ToolDialog("Controls", 374, 130, owner), s(settings), combSetup(std::move(setup)) {
    // Group boxes first, so the sliders and buttons lie above their frames.
    addGroup(this, "Noise reduction", dialogRect(8, 4, 68, 120));
    addGroup(this, "Noise blanker", dialogRect(112, 4, 64, 120));
    addGroup(this, "Comb filter", dialogRect(220, 4, 64, 64));
    addGroup(this, "Spectral NR", dialogRect(296, 4, 70, 120));

    strength = addSlider(32, 1, 3000, 600, s.lmsStrength);
    addLabel(this, "Min", dialogRect(36, 20, 16, 8));
    addLabel(this, "Max", dialogRect(36, 108, 16, 8));
    threshold = addSlider(136, 1, 100, 10, s.blankerThreshold);
    addLabel(this, "Min", dialogRect(140, 20, 16, 8));
    addLabel(this, "Max", dialogRect(140, 108, 16, 8));

    mains50 = new QRadioButton("50Hz", this);
    mains50->setGeometry(dialogRect(228, 24, 36, 10));
    mains60 = new QRadioButton("60Hz", this);
    mains60->setGeometry(dialogRect(228, 44, 36, 10));
    (get(s.comb50Hz) == 1 ? mains50 : mains60)->setChecked(true);
    // clicked, not toggled: choosing the marked frequency again re-runs the set-up.
    connect(mains50, &QRadioButton::clicked, this, [this] { chooseMains(true); });
    connect(mains60, &QRadioButton::clicked, this, [this] { chooseMains(false); });

    // The spectral noise reduction: a switch and its strength, 0 at the top.
    spectralNr = new QCheckBox("On", this);
    spectralNr->setGeometry(dialogRect(302, 62, 30, 10));
    spectralNr->setChecked(get(s.spectralNrOn) == 1);
    connect(spectralNr, &QCheckBox::toggled, this, [this](bool on) { put(s.spectralNrOn, on ? 1 : 0); });
    spectralNrStrength = addSlider(338, 0, 100, 10, s.spectralNrStrength);
    addLabel(this, "Min", dialogRect(342, 20, 16, 8));
    addLabel(this, "Max", dialogRect(342, 108, 16, 8));

    addCloseButton(dialogRect(228, 92, 50, 14));
}

// A vertical slider with its minimum at the top ("Min") whose every thumb
// movement, page steps included, is the new value of `setting`.
QSlider* ControlsDialog::addSlider(int xDu, int minimum, int maximum, int page, std::atomic<int32_t>& setting) {
    auto* slider = new QSlider(Qt::Vertical, this);
    slider->setGeometry(dialogRect(xDu, 28, 20, 80));
    slider->setTickPosition(QSlider::NoTicks);
    slider->setInvertedAppearance(true);
    slider->setInvertedControls(true);
    slider->setRange(minimum, maximum);
    slider->setPageStep(page);
    slider->setSingleStep(1);
    slider->setValue(get(setting));
    put(setting, static_cast<int32_t>(slider->value()));
    connect(slider, &QSlider::valueChanged, this, [&setting](int v) { put(setting, static_cast<int32_t>(v)); });
    return slider;
}

void ControlsDialog::chooseMains(bool is50Hz) {
    const float periodMs = is50Hz ? mains50PeriodMs : mains60PeriodMs;
    put(s.comb50Hz, is50Hz ? 1 : 0);
    put(s.comb60Hz, is50Hz ? 0 : 1);
    put(s.combPeriodMs, periodMs);
    combSetup(periodMs, get(s.sampleRate));
}

void openControlsDialog(Engine& engine, QWidget* owner) {
    auto* dialog = new ControlsDialog(
        engine.settings, [&engine](float periodMs, int rate) { engine.comb.requestSetup(periodMs, rate); }, owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

}  // namespace tolvek
