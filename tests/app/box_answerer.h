// Answers the message boxes a test provokes: watches for a visible
// QMessageBox, records what it showed and clicks the chosen button.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool hadOwner = false;
    int otherWindowsShown = 0;  // visible top-level windows besides the box
};

class BoxAnswerer {
  public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) {
        QObject::connect(&timer, &QTimer::timeout, [this, answer] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible()) continue;
                QAbstractButton* def = box->defaultButton();
                int others = 0;
                for (QWidget* other : QApplication::topLevelWidgets()) others += other != box && other->isVisible();
                seen.append({box->windowTitle(), box->text(), box->icon(),
                             def ? box->standardButton(def) : QMessageBox::NoButton, box->parentWidget() != nullptr,
                             others});
                (box->button(answer) ? box->button(answer) : box->button(QMessageBox::Ok))->click();
                return;
            }
        });
        timer.start(20);
    }
    const QList<SeenBox>& boxes() const { return seen; }

  private:
    QTimer timer;
    QList<SeenBox> seen;
};
