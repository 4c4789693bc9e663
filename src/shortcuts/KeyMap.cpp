#include "shortcuts/KeyMap.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <QHash>

namespace {

using E = KeyMap::Entry;

const std::vector<E> table {
    {0, XKB_KEY_a, 0, Qt::Key_A, false},
    {1, XKB_KEY_s, 0, Qt::Key_S, false},
    {2, XKB_KEY_d, 0, Qt::Key_D, false},
    {3, XKB_KEY_f, 0, Qt::Key_F, false},
    {4, XKB_KEY_h, 0, Qt::Key_H, false},
    {5, XKB_KEY_g, 0, Qt::Key_G, false},
    {6, XKB_KEY_z, 0, Qt::Key_Z, false},
    {7, XKB_KEY_x, 0, Qt::Key_X, false},
    {8, XKB_KEY_c, 0, Qt::Key_C, false},
    {9, XKB_KEY_v, 0, Qt::Key_V, false},
    {11, XKB_KEY_b, 0, Qt::Key_B, false},
    {12, XKB_KEY_q, 0, Qt::Key_Q, false},
    {13, XKB_KEY_w, 0, Qt::Key_W, false},
    {14, XKB_KEY_e, 0, Qt::Key_E, false},
    {15, XKB_KEY_r, 0, Qt::Key_R, false},
    {16, XKB_KEY_y, 0, Qt::Key_Y, false},
    {17, XKB_KEY_t, 0, Qt::Key_T, false},
    {18, XKB_KEY_1, 0, Qt::Key_1, false},
    {19, XKB_KEY_2, 0, Qt::Key_2, false},
    {20, XKB_KEY_3, 0, Qt::Key_3, false},
    {21, XKB_KEY_4, 0, Qt::Key_4, false},
    {22, XKB_KEY_6, 0, Qt::Key_6, false},
    {23, XKB_KEY_5, 0, Qt::Key_5, false},
    {24, XKB_KEY_equal, 0, Qt::Key_Equal, false},
    {25, XKB_KEY_9, 0, Qt::Key_9, false},
    {26, XKB_KEY_7, 0, Qt::Key_7, false},
    {27, XKB_KEY_minus, 0, Qt::Key_Minus, false},
    {28, XKB_KEY_8, 0, Qt::Key_8, false},
    {29, XKB_KEY_0, 0, Qt::Key_0, false},
    {30, XKB_KEY_bracketright, 0, Qt::Key_BracketRight, false},
    {31, XKB_KEY_o, 0, Qt::Key_O, false},
    {32, XKB_KEY_u, 0, Qt::Key_U, false},
    {33, XKB_KEY_bracketleft, 0, Qt::Key_BracketLeft, false},
    {34, XKB_KEY_i, 0, Qt::Key_I, false},
    {35, XKB_KEY_p, 0, Qt::Key_P, false},
    {36, XKB_KEY_Return, 0, Qt::Key_Return, false},
    {37, XKB_KEY_l, 0, Qt::Key_L, false},
    {38, XKB_KEY_j, 0, Qt::Key_J, false},
    {39, XKB_KEY_apostrophe, 0, Qt::Key_Apostrophe, false},
    {40, XKB_KEY_k, 0, Qt::Key_K, false},
    {41, XKB_KEY_semicolon, 0, Qt::Key_Semicolon, false},
    {42, XKB_KEY_backslash, 0, Qt::Key_Backslash, false},
    {43, XKB_KEY_comma, 0, Qt::Key_Comma, false},
    {44, XKB_KEY_slash, 0, Qt::Key_Slash, false},
    {45, XKB_KEY_n, 0, Qt::Key_N, false},
    {46, XKB_KEY_m, 0, Qt::Key_M, false},
    {47, XKB_KEY_period, 0, Qt::Key_Period, false},
    {48, XKB_KEY_Tab, XKB_KEY_ISO_Left_Tab, Qt::Key_Tab, false},
    {49, XKB_KEY_space, 0, Qt::Key_Space, false},
    {50, XKB_KEY_grave, 0, Qt::Key_QuoteLeft, false},
    {51, XKB_KEY_BackSpace, 0, Qt::Key_Backspace, false},
    {53, XKB_KEY_Escape, 0, Qt::Key_Escape, false},
    {64, XKB_KEY_F17, 0, Qt::Key_F17, false},
    {65, XKB_KEY_KP_Decimal, XKB_KEY_KP_Delete, Qt::Key_Period, true},
    {67, XKB_KEY_KP_Multiply, 0, Qt::Key_Asterisk, true},
    {69, XKB_KEY_KP_Add, 0, Qt::Key_Plus, true},
    {71, XKB_KEY_Clear, 0, Qt::Key_Clear, true},
    {75, XKB_KEY_KP_Divide, 0, Qt::Key_Slash, true},
    {76, XKB_KEY_KP_Enter, 0, Qt::Key_Enter, true},
    {78, XKB_KEY_KP_Subtract, 0, Qt::Key_Minus, true},
    {79, XKB_KEY_F18, 0, Qt::Key_F18, false},
    {80, XKB_KEY_F19, 0, Qt::Key_F19, false},
    {81, XKB_KEY_KP_Equal, 0, Qt::Key_Equal, true},
    {82, XKB_KEY_KP_0, XKB_KEY_KP_Insert, Qt::Key_0, true},
    {83, XKB_KEY_KP_1, XKB_KEY_KP_End, Qt::Key_1, true},
    {84, XKB_KEY_KP_2, XKB_KEY_KP_Down, Qt::Key_2, true},
    {85, XKB_KEY_KP_3, XKB_KEY_KP_Next, Qt::Key_3, true},
    {86, XKB_KEY_KP_4, XKB_KEY_KP_Left, Qt::Key_4, true},
    {87, XKB_KEY_KP_5, XKB_KEY_KP_Begin, Qt::Key_5, true},
    {88, XKB_KEY_KP_6, XKB_KEY_KP_Right, Qt::Key_6, true},
    {89, XKB_KEY_KP_7, XKB_KEY_KP_Home, Qt::Key_7, true},
    {90, XKB_KEY_F20, 0, Qt::Key_F20, false},
    {91, XKB_KEY_KP_8, XKB_KEY_KP_Up, Qt::Key_8, true},
    {92, XKB_KEY_KP_9, XKB_KEY_KP_Prior, Qt::Key_9, true},
    {96, XKB_KEY_F5, 0, Qt::Key_F5, false},
    {97, XKB_KEY_F6, 0, Qt::Key_F6, false},
    {98, XKB_KEY_F7, 0, Qt::Key_F7, false},
    {99, XKB_KEY_F3, 0, Qt::Key_F3, false},
    {100, XKB_KEY_F8, 0, Qt::Key_F8, false},
    {101, XKB_KEY_F9, 0, Qt::Key_F9, false},
    {103, XKB_KEY_F11, 0, Qt::Key_F11, false},
    {105, XKB_KEY_F13, 0, Qt::Key_F13, false},
    {106, XKB_KEY_F16, 0, Qt::Key_F16, false},
    {107, XKB_KEY_F14, 0, Qt::Key_F14, false},
    {109, XKB_KEY_F10, 0, Qt::Key_F10, false},
    {111, XKB_KEY_F12, 0, Qt::Key_F12, false},
    {113, XKB_KEY_F15, 0, Qt::Key_F15, false},
    // Insert is stored as the key in its place on the keyboard the numbering comes from, Help.
    {114, XKB_KEY_Insert, XKB_KEY_Help, Qt::Key_Insert, false},
    {115, XKB_KEY_Home, 0, Qt::Key_Home, false},
    {116, XKB_KEY_Prior, 0, Qt::Key_PageUp, false},
    {117, XKB_KEY_Delete, 0, Qt::Key_Delete, false},
    {118, XKB_KEY_F4, 0, Qt::Key_F4, false},
    {119, XKB_KEY_End, 0, Qt::Key_End, false},
    {120, XKB_KEY_F2, 0, Qt::Key_F2, false},
    {121, XKB_KEY_Next, 0, Qt::Key_PageDown, false},
    {122, XKB_KEY_F1, 0, Qt::Key_F1, false},
    {123, XKB_KEY_Left, 0, Qt::Key_Left, false},
    {124, XKB_KEY_Right, 0, Qt::Key_Right, false},
    {125, XKB_KEY_Down, 0, Qt::Key_Down, false},
    {126, XKB_KEY_Up, 0, Qt::Key_Up, false},
};

template <typename Key>
struct Index {
    QHash<Key, const E*> entries;
    const E* find(Key key) const { return entries.value(key, nullptr); }
};

const Index<int>& byCode()
{
    static const Index<int> index = [] {
        Index<int> built;
        for (const E& entry : table)
            built.entries.insert(entry.keyCode, &entry);
        return built;
    }();
    return index;
}

const Index<quint32>& byKeysym()
{
    static const Index<quint32> index = [] {
        Index<quint32> built;
        for (const E& entry : table) {
            built.entries.insert(entry.keysym, &entry);
            if (entry.alternateKeysym)
                built.entries.insert(entry.alternateKeysym, &entry);
        }
        return built;
    }();
    return index;
}

const Index<int>& byQtKey()
{
    // The keypad is told apart by a bit above every Qt key.
    static const Index<int> index = [] {
        Index<int> built;
        for (const E& entry : table)
            built.entries.insert(int(entry.qtKey) | (entry.keypad ? int(Qt::KeypadModifier) : 0), &entry);
        return built;
    }();
    return index;
}

} // namespace

const std::vector<KeyMap::Entry>& KeyMap::entries()
{
    return table;
}

const KeyMap::Entry* KeyMap::forKeyCode(int keyCode)
{
    return byCode().find(keyCode);
}

const KeyMap::Entry* KeyMap::forKeysym(quint32 keysym)
{
    return byKeysym().find(keysym);
}

const KeyMap::Entry* KeyMap::forQtKey(int qtKey, bool keypad)
{
    return byQtKey().find(qtKey | (keypad ? int(Qt::KeypadModifier) : 0));
}

QString KeyMap::usCharacter(int keyCode)
{
    // Printable keysyms of the US layout equal their ASCII characters.
    const Entry* entry = forKeyCode(keyCode);
    if (entry && entry->keysym >= 0x20 && entry->keysym <= 0x7e)
        return QString(QChar(char16_t(entry->keysym)));
    return QString(QChar(QChar::ReplacementCharacter));
}
