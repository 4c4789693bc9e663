#include "panel/PanelKeyCommand.h"

QList<PanelKeyCommand> PanelKeyCommand::all()
{
    const auto title = [](const char* text) { return QString::fromUtf8(text); };
    const auto ctrl = [](Qt::Key key) { return QKeySequence(Qt::CTRL | key); };
    return {
        {title("Focus search"), {ctrl(Qt::Key_F)}},
        {title("Move selected item down"), {ctrl(Qt::Key_J), ctrl(Qt::Key_Down)}},
        {title("Move selected item up"), {ctrl(Qt::Key_K), ctrl(Qt::Key_Up)}},
        {title("Undo"), {ctrl(Qt::Key_Z)}},
        {title("Redo"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}},
        // While a task's text is edited.
        {title("Select All"), {ctrl(Qt::Key_A)}},
        {title("Cut"), {ctrl(Qt::Key_X)}},
        {title("Copy"), {ctrl(Qt::Key_C)}},
        {title("Paste"), {ctrl(Qt::Key_V)}},
    };
}
