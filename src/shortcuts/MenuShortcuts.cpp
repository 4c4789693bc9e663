#include "shortcuts/MenuShortcuts.h"

#include "shortcuts/KeyMap.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QWidget>

namespace {

void collect(const QList<QAction*>& actions, QList<QAction*>& into, QSet<QAction*>& seen)
{
    for (QAction* action : actions) {
        if (!action || seen.contains(action))
            continue;
        seen.insert(action);
        into.append(action);
        if (QMenu* menu = action->menu())
            collect(menu->actions(), into, seen);
    }
}

QList<KeyCommand>& keyCommands()
{
    static QList<KeyCommand> commands;
    return commands;
}

} // namespace

namespace MenuShortcuts {

namespace {
bool isOneOf(const QList<QKeySequence>& keys, const Shortcut& candidate)
{
    for (const QKeySequence& sequence : keys) {
        // A sequence of several chords starts with a key press that is not yet a command.
        if (sequence.count() == 1 && shortcutForKeyCombination(sequence[0]) == candidate)
            return true;
    }
    return false;
}
} // namespace

QList<QAction*> applicationMenuActions()
{
    QList<QAction*> actions;
    QSet<QAction*> seen;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        for (QMenuBar* bar : window->findChildren<QMenuBar*>())
            collect(bar->actions(), actions, seen);
    }
    return actions;
}

std::optional<Shortcut> shortcutForKeyCombination(QKeyCombination combination)
{
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    const KeyMap::Entry* entry = KeyMap::forQtKey(combination.key(), modifiers & Qt::KeypadModifier);
    if (!entry)
        return std::nullopt;
    return Shortcut::fromQt(entry->keyCode, modifiers);
}

QAction* findConflict(
    const QList<QAction*>& actions, const Shortcut& candidate, const GlobalShortcuts::Name& slot)
{
    QList<QAction*> all;
    QSet<QAction*> seen;
    collect(actions, all, seen);
    for (QAction* action : all) {
        if (action->property(globalShortcutNameProperty).toString() == slot.rawValue
            && !slot.rawValue.isEmpty())
            continue;
        if (isOneOf(action->shortcuts(), candidate))
            return action;
    }
    return nullptr;
}

QList<KeyCommand> applicationKeyCommands()
{
    return keyCommands();
}

void setApplicationKeyCommands(const QList<KeyCommand>& commands)
{
    keyCommands() = commands;
}

const KeyCommand* findConflict(const QList<KeyCommand>& commands, const Shortcut& candidate)
{
    for (const KeyCommand& command : commands) {
        if (isOneOf(command.keys, candidate))
            return &command;
    }
    return nullptr;
}

QString displayTitle(const QAction& action)
{
    const QString text = action.text().section(QLatin1Char('\t'), 0, 0);
    QString title;
    title.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&'))
                ++i;
            else
                continue;
        }
        title.append(text.at(i));
    }
    return title;
}

} // namespace MenuShortcuts
