#include "shortcuts/SpecialKey.h"

#include "shortcuts/KeyMap.h"

#include <QKeySequence>

#include <array>

namespace {

// Key codes in declaration order.
constexpr std::array<int, 53> codes {
    36, 51, 117, 119, 53, 114, 115, 49, 48, 116, 121, 126, 124, 125, 123, // return … leftArrow
    122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 107, 113, // f1 … f15
    106, 64, 79, 80, 90, // f16 … f20
    82, 83, 84, 85, 86, 87, 88, 89, 91, 92, // keypad0 … keypad9
    71, 65, 75, 76, 81, 78, 67, 69, // keypadClear, Decimal, Divide, Enter, Equals, Minus, Multiply, Plus
};

} // namespace

const std::vector<SpecialKey>& allSpecialKeys()
{
    static const std::vector<SpecialKey> keys = [] {
        std::vector<SpecialKey> all;
        for (int i = 0; i <= static_cast<int>(SpecialKey::keypadPlus); ++i)
            all.push_back(static_cast<SpecialKey>(i));
        return all;
    }();
    return keys;
}

int specialKeyCode(SpecialKey key)
{
    return codes[static_cast<size_t>(key)];
}

std::optional<SpecialKey> specialKeyForCode(int keyCode)
{
    for (size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] == keyCode)
            return static_cast<SpecialKey>(i);
    }
    return std::nullopt;
}

QString specialKeyDisplayText(SpecialKey key)
{
    const KeyMap::Entry* entry = KeyMap::forKeyCode(specialKeyCode(key));
    Q_ASSERT(entry);
    const QKeyCombination combination(entry->keypad ? Qt::KeypadModifier : Qt::NoModifier, entry->qtKey);
    return QKeySequence(combination).toString(QKeySequence::NativeText);
}
