#pragma once

#include <QString>

// One line of the keyboard controls reference: the keys as displayed and what they do.
struct ShortcutRow {
    QString shortcut;
    QString description;

    QString id() const { return shortcut + description; }
    friend bool operator==(const ShortcutRow&, const ShortcutRow&) = default;
};
