#pragma once

#include <QString>

namespace GlobalShortcuts {

// The answer of a recorder's own check of a candidate shortcut.
struct ValidationResult {
    bool allowed = true;
    // Shown to the user when the shortcut is refused.
    QString reason;

    static ValidationResult allow() { return {}; }
    static ValidationResult disallow(const QString& reason) { return {false, reason}; }
};

} // namespace GlobalShortcuts
