#pragma once

#include <QString>
#include <Qt>

#include <vector>

// The one table between stored key codes (a fixed numbering of the keys of a US keyboard: 0 is A,
// 49 the space bar, 122 F1, 114 Insert), X keysyms and Qt keys. Keysyms are those of the US layout; on other
// layouts the key is found through the keysym it is named after.
class KeyMap {
public:
    struct Entry {
        int keyCode;
        quint32 keysym;
        // A second keysym of the same key (the keypad's without NumLock), or 0.
        quint32 alternateKeysym;
        Qt::Key qtKey;
        bool keypad;
    };

    static const std::vector<Entry>& entries();
    // nullptr when the code, keysym or Qt key is not in the table.
    static const Entry* forKeyCode(int keyCode);
    static const Entry* forKeysym(quint32 keysym);
    static const Entry* forQtKey(int qtKey, bool keypad);

    // The character the US layout gives the key without modifiers, or U+FFFD when it gives none.
    static QString usCharacter(int keyCode);
};
