#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

// A command of the application reached by keys that no menu item carries (the keys of its task
// lists). A global shortcut must not take its keys, as it must not take a menu item's.
struct KeyCommand {
    QString title;
    QList<QKeySequence> keys;
};
