#include "shortcuts/X11Keyboard.h"

#include "shortcuts/KeyMap.h"
#include "shortcuts/Shortcut.h"

#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>

X11Keyboard::X11Keyboard(xcb_connection_t* connection) : m_connection(connection)
{
    refresh();
}

X11Keyboard::~X11Keyboard()
{
    if (m_symbols)
        xcb_key_symbols_free(m_symbols);
}

void X11Keyboard::refresh()
{
    if (m_symbols)
        xcb_key_symbols_free(m_symbols);
    m_symbols = xcb_key_symbols_alloc(m_connection);
    readModifierMapping();
}

void X11Keyboard::readModifierMapping()
{
    m_numLockMask = 0;
    m_altMask = XCB_MOD_MASK_1;
    m_superMask = XCB_MOD_MASK_4;
    xcb_get_modifier_mapping_reply_t* reply
        = xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
    if (!reply || !m_symbols) {
        free(reply);
        return;
    }
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    bool altFound = false;
    bool superFound = false;
    // Only Mod1 to Mod5 can be moved around; Shift, Lock and Control are fixed.
    for (int modifier = 3; modifier < 8; ++modifier) {
        const uint16_t mask = uint16_t(1u << modifier);
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t keycode = keycodes[modifier * perModifier + i];
            if (keycode == 0)
                continue;
            for (int column = 0; column < 4; ++column) {
                const xcb_keysym_t sym = xcb_key_symbols_get_keysym(m_symbols, keycode, column);
                if (sym == XKB_KEY_Num_Lock)
                    m_numLockMask = mask;
                if (!altFound && (sym == XKB_KEY_Alt_L || sym == XKB_KEY_Alt_R)) {
                    m_altMask = mask;
                    altFound = true;
                }
                if (!superFound && (sym == XKB_KEY_Super_L || sym == XKB_KEY_Super_R)) {
                    m_superMask = mask;
                    superFound = true;
                }
            }
        }
    }
    free(reply);
}

std::vector<xcb_keycode_t> X11Keyboard::keycodesForKey(int keyCode) const
{
    std::vector<xcb_keycode_t> result;
    const KeyMap::Entry* entry = KeyMap::forKeyCode(keyCode);
    if (!entry || !m_symbols)
        return result;
    for (const quint32 sym : {entry->keysym, entry->alternateKeysym}) {
        if (sym == 0 || !result.empty())
            continue;
        xcb_keycode_t* found = xcb_key_symbols_get_keycode(m_symbols, sym);
        for (xcb_keycode_t* code = found; code && *code != XCB_NO_SYMBOL; ++code) {
            if (std::find(result.begin(), result.end(), *code) == result.end())
                result.push_back(*code);
        }
        free(found);
    }
    return result;
}

std::optional<int> X11Keyboard::keyCodeForKeycode(xcb_keycode_t keycode) const
{
    if (!m_symbols)
        return std::nullopt;
    for (int column = 0; column < 2; ++column) {
        if (const KeyMap::Entry* entry
            = KeyMap::forKeysym(xcb_key_symbols_get_keysym(m_symbols, keycode, column)))
            return entry->keyCode;
    }
    return std::nullopt;
}

std::optional<uint16_t> X11Keyboard::modifierMask(int carbonModifiers) const
{
    if (carbonModifiers & Shortcut::function)
        return std::nullopt;
    uint16_t mask = 0;
    if (carbonModifiers & Shortcut::shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (carbonModifiers & Shortcut::control)
        mask |= XCB_MOD_MASK_CONTROL;
    if (carbonModifiers & Shortcut::option)
        mask |= m_altMask;
    if (carbonModifiers & Shortcut::command)
        mask |= m_superMask;
    return mask;
}

QString X11Keyboard::characterForKey(int keyCode) const
{
    const std::vector<xcb_keycode_t> keycodes = keycodesForKey(keyCode);
    if (keycodes.empty())
        return KeyMap::usCharacter(keyCode);
    const char32_t character
        = xkb_keysym_to_utf32(xcb_key_symbols_get_keysym(m_symbols, keycodes.front(), 0));
    if (character < 0x20 || character == 0x7f)
        return QString(QChar(QChar::ReplacementCharacter));
    return QString::fromUcs4(&character, 1);
}
