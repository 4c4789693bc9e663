#pragma once

#include "cli/ToolCommand.h"

#include <QString>
#include <QStringList>

#include <optional>

// The arguments of one subcommand, after its name. Options may stand anywhere before "--"; "-" alone
// is an operand (standard input).
struct ToolArguments {
    bool help = false;
    bool json = false;
    bool next = false;
    std::optional<QString> note;
    std::optional<QString> section;
    QString file;
    // The operands after the file: the words of a task or of a title.
    QStringList words;

    // Fills arguments, or returns what is wrong with them.
    static std::optional<QString> parse(
        const ToolCommand& command, const QStringList& arguments, ToolArguments& result);
};
