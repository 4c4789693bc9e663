#include "cli/ToolOutcome.h"

ToolOutcome ToolOutcome::misused(const QString& message, const QString& command)
{
    const QString help
        = command.isEmpty() ? QStringLiteral("vesk help") : QStringLiteral("vesk help ") + command;
    return {usageError, QString(), QStringLiteral("vesk: %1\nTry '%2'.\n").arg(message, help)};
}
