#include "level_slider.h"

#include <QSlider>

#include "settings.h"

namespace tolvek {

void bindLevelSlider(QSlider& slider, int maximum, int start, std::atomic<int32_t>& setting, QWidget& focusOwner) {
    slider.setOrientation(Qt::Vertical);
    slider.setTickPosition(QSlider::NoTicks);
    // Minimum at the top, and the Up key moves the thumb up.
    slider.setInvertedAppearance(true);
    slider.setInvertedControls(true);
    slider.setRange(0, maximum);
    slider.setPageStep(10);
    slider.setSingleStep(1);
    slider.setValue(start);
    put(setting, static_cast<int32_t>(slider.value()));

    QSlider* s = &slider;
    QWidget* owner = &focusOwner;
    auto readBack = [s, owner, &setting] {
        put(setting, static_cast<int32_t>(s->value()));
        owner->setFocus();
    };
    QObject::connect(s, &QSlider::valueChanged, owner, readBack);
    // A click on the thumb that moves nothing still gives the focus back.
    QObject::connect(s, &QSlider::sliderReleased, owner, readBack);
}

}  // namespace tolvek
