// Help > About: a plain message box owned by the main window.
#pragma once

#include <QString>

class QWidget;

namespace tolvek {

QString aboutText();
// Shows the box and returns when the user dismisses it.
void showAboutBox(QWidget* owner);

}  // namespace tolvek
