#include "samplerate_dialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QRadioButton>
#include <utility>

namespace tolvek {

SamplerateDialog::SamplerateDialog(ProcessingSettings& settings, RateChange change, QWidget* owner)
    : ToolDialog("Samplerate", 70, 122, owner),
      s(settings),
      rateChange(std::move(change)),
      rates(new QButtonGroup(this)) {
    const int offered[] = {5512, 11025, 22050, 44100};
    for (int i = 0; i < 4; ++i) {
        auto* button = new QRadioButton(QString("%1Hz").arg(offered[i]), this);
        button->setGeometry(dialogRect(8, 12 + 20 * i, 56, 10));
        rates->addButton(button, offered[i]);
    }
    markRate(get(s.sampleRate));
    // idClicked also fires for the marked rate: choosing it again restarts the stream.
    connect(rates, &QButtonGroup::idClicked, this, &SamplerateDialog::chooseRate);
    addCloseButton(dialogRect(12, 96, 45, 15));
}

QRadioButton* SamplerateDialog::rateButton(int rate) const { return static_cast<QRadioButton*>(rates->button(rate)); }

void SamplerateDialog::chooseRate(int rate) {
    put(s.sampleRate, static_cast<int32_t>(rate));
    if (!rateChange(rate)) markRate(get(s.sampleRate));  // the mark follows the rate that runs
}

void SamplerateDialog::markRate(int rate) {
    rates->setExclusive(false);  // an exclusive group cannot clear its last mark
    for (QAbstractButton* b : rates->buttons()) b->setChecked(rates->id(b) == rate);
    rates->setExclusive(true);
}

void openSamplerateDialog(ProcessingSettings& settings, RateChange rateChange, QWidget* owner) {
    auto* dialog = new SamplerateDialog(settings, std::move(rateChange), owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

}  // namespace tolvek
