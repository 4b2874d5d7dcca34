#include "help_page.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "desktop_open.h"

namespace tolvek {

QStringList helpPageFolders(const QString& programDir) {
    return {programDir, QDir::cleanPath(QDir(programDir).filePath(TOLVEK_HELP_DIR_FROM_PROGRAM)), QDir::currentPath()};
}

QString findHelpPage(const QStringList& folders) {
    for (const QString& folder : folders) {
        const QFileInfo page(QDir(folder), helpPageName);
        if (page.isFile()) return page.absoluteFilePath();
    }
    return {};
}

bool openHelpPage(QWidget* owner, const QStringList& folders) {
    const QString page = findHelpPage(folders);
    if (page.isEmpty()) {
        warnMissing(
            owner, "Help",
            QString("The help page \"%1\" is missing: it was looked for in\n%2").arg(helpPageName, folders.join('\n')));
        return false;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
        warnMissing(
            owner, "Help",
            QString("No program to show web pages was found, so the help page\n%1\ncould not be opened.").arg(page));
        return false;
    }
    return true;
}

}  // namespace tolvek
