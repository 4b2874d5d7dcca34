#include "desktop_open.h"

#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

namespace tolvek {

void warnMissing(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox::warning(owner, caption, text);
}

bool openSoundSettings(QWidget* owner) {
    const QString program = QStandardPaths::findExecutable(soundSettingsProgram);
    if (program.isEmpty()) {
        warnMissing(owner, "Audio devices",
                    QString("The sound settings program \"%1\" was not found on the PATH.\n"
                            "Install it (package %1) to change the audio devices from here.")
                        .arg(soundSettingsProgram));
        return false;
    }
    if (!QProcess::startDetached(program, {})) {
        warnMissing(owner, "Audio devices",
                    QString("The sound settings program \"%1\" could not be started.").arg(program));
        return false;
    }
    return true;
}

}  // namespace tolvek
