#pragma once

#include "shortcuts/KeyCommand.h"
#include "shortcuts/Name.h"
#include "shortcuts/Shortcut.h"

#include <QList>
#include <QString>

class QAction;
class QKeyCombination;

// The shortcuts of the application's menu items, as the shortcut recorder checks them.
namespace MenuShortcuts {

// The dynamic property that ties a menu item to a global shortcut slot (its value is the slot's
// name): such an item shows the slot's shortcut and is no conflict for it.
inline constexpr const char* globalShortcutNameProperty = "globalShortcutName";

// Every action reachable from the menu bars of the application's top-level windows, submenus
// included, each once.
QList<QAction*> applicationMenuActions();

// The stored form of one key combination of a key sequence; none for a key the stored numbering
// lacks.
std::optional<Shortcut> shortcutForKeyCombination(QKeyCombination combination);

// The first action among actions, or in their submenus, that has candidate as one of its
// shortcuts, skipping actions bound to slot. nullptr when none has.
QAction* findConflict(
    const QList<QAction*>& actions, const Shortcut& candidate, const GlobalShortcuts::Name& slot);

// The application's key commands outside its menus; none until the application sets them.
QList<KeyCommand> applicationKeyCommands();
void setApplicationKeyCommands(const QList<KeyCommand>& commands);

// The first of commands with candidate as one of its single-chord keys, or nullptr.
const KeyCommand* findConflict(const QList<KeyCommand>& commands, const Shortcut& candidate);

// The item's title as the user reads it: mnemonic marks removed ("&&" stays a single "&") and no
// shortcut text after a tab.
QString displayTitle(const QAction& action);

} // namespace MenuShortcuts
