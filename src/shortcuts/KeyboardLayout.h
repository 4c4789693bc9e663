#pragma once

#include <QString>

// Translates stored key codes into the characters the active keyboard layout types for them.
class KeyboardLayout {
public:
    virtual ~KeyboardLayout();

    // The character the key gives without modifiers, or U+FFFD when it gives no single character.
    virtual QString characterForKey(int keyCode) const = 0;

    // The X keyboard mapping while connected to an X server, otherwise the US layout.
    static const KeyboardLayout& current();
    // Used by the X11 backend while it is alive (nullptr to fall back to the US layout again).
    static void setCurrent(const KeyboardLayout* layout);
};
