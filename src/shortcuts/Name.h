#pragma once

#include "shortcuts/Shortcut.h"

#include <QHashFunctions>
#include <QMetaType>
#include <QString>

#include <optional>

namespace GlobalShortcuts {

// A named shortcut slot. The user's shortcut for it lives in the settings under settingsKey().
// Equal and hashed by the name only.
class Name {
public:
    Name() = default;
    // When initialShortcut is given and the settings hold nothing under the slot's key, the
    // default is written there once; after that the user's choice (even clearing it) is kept.
    // Names touch the settings, so they are made at run time, never as static objects.
    explicit Name(const QString& rawValue, std::optional<Shortcut> initialShortcut = std::nullopt,
        const QString& description = QString());

    QString rawValue;
    std::optional<Shortcut> initialShortcut;
    // What the slot's shortcut does, for a desktop that lists the application's shortcuts; the raw
    // value when empty.
    QString description;

    // "GlobalShortcuts_" followed by the name.
    QString settingsKey() const;

    // The application's slot that shows and hides the panels: Ctrl+Alt+Space by default.
    static Name togglePanel();

    friend bool operator==(const Name& a, const Name& b) { return a.rawValue == b.rawValue; }
};

inline size_t qHash(const Name& name, size_t seed = 0)
{
    return qHash(name.rawValue, seed);
}

} // namespace GlobalShortcuts

Q_DECLARE_METATYPE(GlobalShortcuts::Name)
