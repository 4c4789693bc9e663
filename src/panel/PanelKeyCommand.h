#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

// A command of the panel on a Ctrl key, as PanelKeyHandler answers it, titled as the keyboard
// controls reference and the menus name it. Listed so that a global shortcut cannot take the key.
struct PanelKeyCommand {
    QString title;
    QList<QKeySequence> keys;

    static QList<PanelKeyCommand> all();
};
