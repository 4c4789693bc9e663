#pragma once

#include <QString>

// What one subcommand leaves behind: its exit status and the texts for standard output and
// standard error.
struct ToolOutcome {
    enum Status { success = 0, failure = 1, usageError = 2 };

    int status = success;
    QString output;
    QString error;

    static ToolOutcome done(const QString& output = QString()) { return {success, output, QString()}; }
    // One clear line on standard error.
    static ToolOutcome failed(const QString& message)
    {
        return {failure, QString(), QStringLiteral("vesk: ") + message + u'\n'};
    }
    // The mistake, and where to read how the command is used.
    static ToolOutcome misused(const QString& message, const QString& command);
};
