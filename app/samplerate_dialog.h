// The Samplerate dialog: one radio button per stream rate. A click stores
// the rate and restarts the stream; the mark always shows the rate that runs.
#pragma once

#include <functional>

#include "settings.h"
#include "tool_dialog.h"

class QButtonGroup;
class QRadioButton;

namespace tolvek {

// Restarts the stream at the rate just stored in `sampleRate`. Returns false
// when that rate cannot run; it has then put the running rate back into
// `sampleRate` (and the comb tuning with it).
using RateChange = std::function<bool(int rate)>;

class SamplerateDialog : public ToolDialog {
  public:
    SamplerateDialog(ProcessingSettings& settings, RateChange rateChange, QWidget* owner = nullptr);

    QRadioButton* rateButton(int rate) const;  // null for a rate not offered

  private:
    void chooseRate(int rate);
    void markRate(int rate);  // marks nothing for a rate not offered

    ProcessingSettings& s;
    RateChange rateChange;
    QButtonGroup* rates;
};

// Opens a new Samplerate dialog, deleted when closed.
void openSamplerateDialog(ProcessingSettings& settings, RateChange rateChange, QWidget* owner);

}  // namespace tolvek
