#pragma once

#include <QList>
#include <QString>

// One subcommand of vesk for the terminal: its name, what it takes and its help.
struct ToolCommand {
    enum class Kind { list, add, done, undone, next, pending, remove, newFile, import, help };
    // The options a command accepts, as bits.
    enum Option { noOptions = 0, sectionOption = 1, jsonOption = 2, nextOption = 4, noteOption = 8 };
    // What follows the file: nothing, a task, or words that make titles.
    enum class Operands { fileOnly, fileAndTask, fileAndTitle, optionalCommand };

    Kind kind;
    QString name;
    int options;
    Operands operands;
    QString synopsis;
    QString summary;
    QString details;

    static const QList<ToolCommand>& all();
    static const ToolCommand* find(const QString& name);

    // What `vesk help NAME` and `vesk NAME --help` print.
    QString helpText() const;
    // What `vesk help` prints: every command in one line each.
    static QString overview();
};
