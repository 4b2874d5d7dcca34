// Tools > Audio devices: the desktop's sound mixer, started on its own.
#pragma once

#include <QString>

class QWidget;

namespace tolvek {

inline constexpr const char* soundSettingsProgram = "pavucontrol";

// Starts the mixer found on PATH; when it is missing or fails to start, says
// which program in a message box owned by `owner`. Returns whether it started.
bool openSoundSettings(QWidget* owner);

// The warning box these openers show when something is missing.
void warnMissing(QWidget* owner, const QString& caption, const QString& text);

}  // namespace tolvek
