#include "switch_button.h"

#include <QMouseEvent>
#include <QPainter>

namespace tolvek {

SwitchButton::SwitchButton(const QString& imageBase, bool startOn, QWidget* parent)
    : QLabel(parent), base(imageBase), onImage(":/" + imageBase + "_ON"), offImage(":/" + imageBase + "_OFF") {
    // The label sizes itself to its image, like a bitmap static.
    setOn(startOn);
    resize(onImage.isNull() ? offImage.size() : onImage.size());
}

void SwitchButton::setOn(bool value) {
    on = value;
    setPixmap(on ? onImage : offImage);
    setAccessibleDescription(on ? "On" : "Off");  // the image alone tells a screen reader nothing
}

void SwitchButton::paintEvent(QPaintEvent*) { QPainter(this).drawPixmap(0, 0, on ? onImage : offImage); }

QString SwitchButton::imageName() const { return base + (on ? "_ON" : "_OFF"); }

void SwitchButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked();
}

void SwitchButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The first press of the pair has already toggled the switch.
    event->accept();
}

}  // namespace tolvek
