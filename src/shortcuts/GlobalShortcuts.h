#pragma once

#include "shortcuts/HotKey.h"
#include "shortcuts/Name.h"
#include "shortcuts/Shortcut.h"

#include <QHash>

#include <functional>
#include <memory>
#include <optional>

// The global keyboard shortcuts of the application: named slots whose shortcuts are kept in the
// settings, and handlers that run when a slot's shortcut is pressed or released anywhere on the
// desktop. Everything runs on the main thread.
namespace GlobalShortcuts {

using Action = std::function<void()>;

// The slot's shortcut: none when it was cleared, was never set, or what is stored does not read.
std::optional<Shortcut> getShortcut(const Name& name);
// Stores (or clears) the slot's shortcut, moves the system-wide registration along with it and
// announces the change through Notifier, even when the shortcut did not change.
void setShortcut(const std::optional<Shortcut>& shortcut, const Name& name);

// Runs action each time the slot's shortcut is pressed (or released); actions of one slot run in
// the order they were added. Handlers stay for the whole run.
void onKeyDown(const Name& name, Action action);
void onKeyUp(const Name& name, Action action);

// Switches every hot key on or off (initially on).
bool isEnabled();
void setEnabled(bool enabled);
// While paused (the shortcut recorder is recording), presses reach no handler.
bool isPaused();
void setPaused(bool paused);

// True when the slot's shortcut is wanted (it has handlers) but the window system refused it,
// which where system-wide keys exist means that another program holds the keys.
bool isTakenByAnotherApplication(const Name& name);

// Where the desktop, not Vesk, chooses the keys (the desktop portal on Wayland), the stored
// shortcut is only proposed to it and a recorder cannot change the keys.
bool areKeysChosenByDesktop();
// There, the desktop's text for the keys that trigger the slot; empty while it has assigned none.
QString desktopTrigger(const Name& name);
// There, asks the desktop to let the user choose the keys in its own dialog.
void chooseKeysOnDesktop();

// The shortcuts currently held by a system-wide registration.
const QHash<Shortcut, std::shared_ptr<HotKey>>& registeredShortcuts();

} // namespace GlobalShortcuts
