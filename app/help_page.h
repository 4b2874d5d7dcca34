// Help > Contents (and F1): the HTML help page shipped beside the program,
// shown by the desktop's default viewer.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class QWidget;

namespace tolvek {

inline constexpr const char* helpPageName = "Tolvekfilter.htm";

// Folders searched for the page, in order: the program's own (a build), the
// installed page's folder relative to it, then the current one.
QStringList helpPageFolders(const QString& programDir = QCoreApplication::applicationDirPath());

// The page's path in the first of `folders` that holds it; empty if none does.
QString findHelpPage(const QStringList& folders);

// Opens the page; when it is missing or the desktop cannot show it, says so
// in a message box owned by `owner`. Returns whether the page was handed over.
bool openHelpPage(QWidget* owner, const QStringList& folders = helpPageFolders());

}  // namespace tolvek
