// A bitmap switch: shows one of two images and reports a click. A double
// click reports once, like a single click (its second press is ignored).
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>

namespace tolvek {

class SwitchButton : public QLabel {
    Q_OBJECT
  public:
    // `imageBase` names the pair ":/<imageBase>_ON" and ":/<imageBase>_OFF".
    SwitchButton(const QString& imageBase, bool on, QWidget* parent);

    void setOn(bool on);
    bool isOn() const { return on; }
    // Resource name of the image shown, e.g. "IMG_BITMAP_NB_ON".
    QString imageName() const;

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    // The image pixel for pixel at its logical size: sharp-edged on a scaled
    // screen, and the bitmap itself in a picture of the window.
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QString base;
    QPixmap onImage, offImage;
    bool on = false;
};

}  // namespace tolvek
