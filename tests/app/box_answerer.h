// Answers the message boxes a test provokes: watches for a visible
// QMessageBox, records what it showed and clicks the chosen button (OK when
// the box has no such button).
#pragma once

#include <QtWidgets>

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton defaultButton;
    bool hadOwner;
    int otherWindowsShown;  // visible top-level windows besides the box
};

class BoxAnswerer {
  public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) {
        QObject::connect(&timer, &QTimer::timeout, [this, answer] {
            const QWidgetList shown = QApplication::topLevelWidgets();
            int others = -1;
            for (QWidget* w : shown) others += w->isVisible();
            for (QWidget* w : shown)
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    seen.append({box->windowTitle(), box->text(), box->icon(),
                                 box->standardButton(box->defaultButton()), box->parentWidget() != nullptr, others});
                    return (box->button(answer) ? box->button(answer) : box->button(QMessageBox::Ok))->click();
                }
        });
        timer.start(20);
    }
    const QList<SeenBox>& boxes() const { return seen; }

  private:
    QTimer timer;
    QList<SeenBox> seen;
};
