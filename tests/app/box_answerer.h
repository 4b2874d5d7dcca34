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
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer(answer) {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] { look(); });
        timer.start();
    }
    const QList<SeenBox>& boxes() const { return seen; }

  private:
    void look() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            SeenBox s;
            s.title = box->windowTitle();
            s.text = box->text();
            s.icon = box->icon();
            s.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
            s.hadOwner = box->parentWidget() != nullptr;
            for (QWidget* other : QApplication::topLevelWidgets())
                if (other != box && other->isVisible()) ++s.otherWindowsShown;
            seen.append(s);
            QAbstractButton* b = box->button(answer);
            if (!b) b = box->button(QMessageBox::Ok);
            b->click();
            return;
        }
    }
    QMessageBox::StandardButton answer;
    QTimer timer;
    QList<SeenBox> seen;
};
