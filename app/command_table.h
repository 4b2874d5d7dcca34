// Menu 501 of the main window: the menu bar, its items and their command ids,
// and what each command does.
#pragma once

#include <functional>
#include <map>

class QAction;
class QMenuBar;

namespace tolvek {

class MainWindow;

// Fills `bar` with the File, Tools, View, Controls, Notch, Capture and Help
// entries; every item sends its id to `command`. Items that carry a check
// mark are checkable and start with the marks of the start settings.
std::map<int, QAction*> buildMainMenu(QMenuBar& bar, const std::function<void(int)>& command);

// Carries out command `id` (menu item, switch or button) on `window`: the
// one place that maps command ids to actions; ids in command_ids.h.
void runCommand(MainWindow& window, int id);

}  // namespace tolvek
