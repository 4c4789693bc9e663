#pragma once

#include <QString>

#include <optional>
#include <vector>

// The keys shown by a fixed text rather than by the character the keyboard layout gives them.
enum class SpecialKey {
    return_,
    delete_,
    deleteForward,
    end,
    escape,
    help,
    home,
    space,
    tab,
    pageUp,
    pageDown,
    upArrow,
    rightArrow,
    downArrow,
    leftArrow,
    f1,
    f2,
    f3,
    f4,
    f5,
    f6,
    f7,
    f8,
    f9,
    f10,
    f11,
    f12,
    f13,
    f14,
    f15,
    f16,
    f17,
    f18,
    f19,
    f20,
    keypad0,
    keypad1,
    keypad2,
    keypad3,
    keypad4,
    keypad5,
    keypad6,
    keypad7,
    keypad8,
    keypad9,
    keypadClear,
    keypadDecimal,
    keypadDivide,
    keypadEnter,
    keypadEquals,
    keypadMinus,
    keypadMultiply,
    keypadPlus,
};

// All of them, in declaration order.
const std::vector<SpecialKey>& allSpecialKeys();
int specialKeyCode(SpecialKey key);
std::optional<SpecialKey> specialKeyForCode(int keyCode);
// Qt's native text for the key on Linux ("Space", "Return", "F5", "Num+7").
QString specialKeyDisplayText(SpecialKey key);
