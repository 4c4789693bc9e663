#pragma once

#include "shortcuts/Shortcut.h"

#include <vector>

// Combinations that Linux desktops commonly keep for themselves (window switching, workspaces,
// locking the screen, logging out, switching virtual terminals). There is no common way to ask a
// desktop which ones it really uses, so this fixed list stands in for that question. Super pressed
// alone is a desktop key too, but a modifier alone is never a candidate shortcut.
namespace SystemShortcuts {

const std::vector<Shortcut>& all();
bool contains(const Shortcut& shortcut);

} // namespace SystemShortcuts
