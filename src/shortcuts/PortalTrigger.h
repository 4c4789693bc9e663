#pragma once

#include "shortcuts/Shortcut.h"

#include <QString>

// A shortcut in the text form that the desktop portal takes as a preferred trigger (the
// freedesktop shortcuts format): the modifiers CTRL, ALT, SHIFT and LOGO, then the key's xkb keysym
// name, joined by "+", as in "CTRL+ALT+space".
class PortalTrigger {
public:
    // Empty for a key the text form cannot name. The Fn modifier has no counterpart and is left out.
    static QString fromShortcut(const Shortcut& shortcut);
};
