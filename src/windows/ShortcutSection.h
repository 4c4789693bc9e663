#pragma once

#include "windows/ShortcutRow.h"

#include <QList>
#include <QString>

// A titled group of rows in the keyboard controls reference, identified by its title.
struct ShortcutSection {
    QString title;
    QList<ShortcutRow> rows;

    // The reference's table; the first row shows globalHotKeyDisplayName, the system-wide
    // show/hide shortcut.
    static QList<ShortcutSection> all(const QString& globalHotKeyDisplayName);
};
