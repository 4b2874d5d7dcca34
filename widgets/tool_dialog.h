// The frame shared by the Controls and Samplerate dialogs: a small tool
// window that stays on top and leaves the main window usable, laid out in
// dialog units of its 8-point Tahoma font. Every change in these dialogs
// takes effect at once, so they have only "Close": Enter closes, Esc does not.
#pragma once

#include <QDialog>
#include <QRect>

namespace tolvek {

// Dialog units to pixels for 8-point Tahoma (average character 6 x 13
// pixels): x = du * 6 / 4, y = du * 13 / 8, rounded as Windows does.
int dialogUnitsX(int du);
int dialogUnitsY(int du);
QRect dialogRect(int x, int y, int w, int h);

class ToolDialog : public QDialog {
  public:
    // `owner` only ties the dialog's lifetime and stacking to the main
    // window; the dialog is not modal.
    ToolDialog(const QString& caption, int widthDu, int heightDu, QWidget* owner);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The "Close" push button, default for Enter, at the given place.
    void addCloseButton(const QRect& rect);
};

}  // namespace tolvek
