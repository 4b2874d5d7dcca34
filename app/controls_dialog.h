// The Controls dialog: LMS filter length, noise blanker threshold, the
// mains frequency of the comb filter and, in a group of its own on the right,
// the spectral noise reduction's switch and strength. Every movement or click is written to
// the settings at once.
#pragma once

#include <functional>

#include "settings.h"
#include "tool_dialog.h"

class QCheckBox;
class QRadioButton;
class QSlider;

namespace tolvek {

struct Engine;

// Re-tunes the comb filter: period in ms of the mains frequency, stream rate.
using CombSetup = std::function<void(float periodMs, int sampleRate)>;

class ControlsDialog : public ToolDialog {
  public:
    ControlsDialog(ProcessingSettings& settings, CombSetup combSetup, QWidget* owner = nullptr);

    QSlider* strengthSlider() const { return strength; }    // "Noise reduction"
    QSlider* thresholdSlider() const { return threshold; }  // "Noise blanker"
    QRadioButton* mains50Button() const { return mains50; }
    QRadioButton* mains60Button() const { return mains60; }
    QCheckBox* spectralNrSwitch() const { return spectralNr; }
    QSlider* spectralNrSlider() const { return spectralNrStrength; }

  private:
    QSlider* addSlider(int xDu, int minimum, int maximum, int page, std::atomic<int32_t>& setting);
    void chooseMains(bool is50Hz);

    ProcessingSettings& s;
    CombSetup combSetup;
    QSlider* strength;
    QSlider* threshold;
    QRadioButton* mains50;
    QRadioButton* mains60;
    QCheckBox* spectralNr;
    QSlider* spectralNrStrength;
};

// Opens a new Controls dialog on the engine, deleted when closed.
void openControlsDialog(Engine& engine, QWidget* owner);

}  // namespace tolvek
