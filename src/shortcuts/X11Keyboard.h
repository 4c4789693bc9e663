#pragma once

#include "shortcuts/KeyboardLayout.h"

#include <xcb/xcb.h>

#include <optional>
#include <vector>

typedef struct _XCBKeySymbols xcb_key_symbols_t;

// The X server's keyboard and modifier mappings, as needed to grab stored shortcuts: which keycodes
// type a stored key, which real modifiers Alt, Super and NumLock are, and what the layout types.
class X11Keyboard : public KeyboardLayout {
public:
    explicit X11Keyboard(xcb_connection_t* connection);
    ~X11Keyboard() override;

    X11Keyboard(const X11Keyboard&) = delete;
    X11Keyboard& operator=(const X11Keyboard&) = delete;

    // Reads both mappings again (after the keyboard or layout changed).
    void refresh();

    // The keycodes that type the key's keysym in the current mapping (usually one).
    std::vector<xcb_keycode_t> keycodesForKey(int keyCode) const;
    // The stored key code of an X keycode, or none.
    std::optional<int> keyCodeForKeycode(xcb_keycode_t keycode) const;
    // The X modifier mask of a stored modifier mask; none when one of them (Function) has no
    // counterpart on X.
    std::optional<uint16_t> modifierMask(int carbonModifiers) const;
    // The real modifier that NumLock sets (0 when NumLock is not mapped).
    uint16_t numLockMask() const { return m_numLockMask; }

    QString characterForKey(int keyCode) const override;

private:
    void readModifierMapping();

    xcb_connection_t* m_connection;
    xcb_key_symbols_t* m_symbols = nullptr;
    uint16_t m_numLockMask = 0;
    uint16_t m_altMask = XCB_MOD_MASK_1;
    uint16_t m_superMask = XCB_MOD_MASK_4;
};
