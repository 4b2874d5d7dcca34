#include "tool_dialog.h"

#include <QKeyEvent>
#include <QPushButton>

namespace tolvek {

namespace {
int mulDiv(int v, int num, int den) { return (v * num + den / 2) / den; }  // non-negative v
}  // namespace

int dialogUnitsX(int du) { return mulDiv(du, 6, 4); }
int dialogUnitsY(int du) { return mulDiv(du, 13, 8); }

QRect dialogRect(int x, int y, int w, int h) {
    return QRect(dialogUnitsX(x), dialogUnitsY(y), dialogUnitsX(w), dialogUnitsY(h));
}

ToolDialog::ToolDialog(const QString& caption, int widthDu, int heightDu, QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(caption);
    QFont f;
    f.setFamilies({"Tahoma", "Liberation Sans", "DejaVu Sans"});
    f.setPointSize(8);
    setFont(f);
    setFixedSize(dialogUnitsX(widthDu), dialogUnitsY(heightDu));
    move(dialogUnitsX(6), dialogUnitsY(18));  // from the screen's top-left corner
}

void ToolDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();  // nothing to cancel: changes are already in force
        return;
    }
    QDialog::keyPressEvent(event);
}

void ToolDialog::addCloseButton(const QRect& rect) {
    auto* close = new QPushButton("Close", this);
    close->setGeometry(rect);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tolvek
