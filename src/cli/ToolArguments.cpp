#include "cli/ToolArguments.h"

#include <algorithm>

namespace {

struct OptionName {
    QString name;
    ToolCommand::Option option;
    bool takesValue;
};

const QList<OptionName>& optionNames()
{
    static const QList<OptionName> names {
        {QStringLiteral("--section"), ToolCommand::sectionOption, true},
        {QStringLiteral("--json"), ToolCommand::jsonOption, false},
        {QStringLiteral("--next"), ToolCommand::nextOption, false},
        {QStringLiteral("--note"), ToolCommand::noteOption, true},
    };
    return names;
}

} // namespace

std::optional<QString> ToolArguments::parse(
    const ToolCommand& command, const QStringList& arguments, ToolArguments& result)
{
    QStringList operands;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || argument == u'-' || !argument.startsWith(u'-')) {
            operands << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.help = true;
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = equals < 0 ? argument : argument.left(equals);
        const auto known
            = std::find_if(optionNames().begin(), optionNames().end(), [&](const OptionName& option) {
                  return option.name == name && (command.options & option.option);
              });
        if (known == optionNames().end())
            return QStringLiteral("'%1' takes no option %2").arg(command.name, name);
        QString value;
        if (known->takesValue) {
            if (equals >= 0)
                value = argument.mid(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
                return QStringLiteral("%1 needs a value").arg(name);
        } else if (equals >= 0) {
            return QStringLiteral("%1 takes no value").arg(name);
        }
        switch (known->option) {
        case ToolCommand::sectionOption:
            result.section = value;
            break;
        case ToolCommand::jsonOption:
            result.json = true;
            break;
        case ToolCommand::nextOption:
            result.next = true;
            break;
        case ToolCommand::noteOption:
            result.note = value;
            break;
        case ToolCommand::noOptions:
            break;
        }
    }
    if (result.help)
        return std::nullopt;
    if (command.operands == ToolCommand::Operands::optionalCommand) {
        if (operands.size() > 1)
            return QStringLiteral("'help' explains one command at a time");
        result.words = operands;
        return std::nullopt;
    }
    if (operands.isEmpty())
        return QStringLiteral("'%1' needs a FILE").arg(command.name);
    result.file = operands.takeFirst();
    if (result.file.isEmpty())
        return QStringLiteral("the FILE is an empty name");
    result.words = operands;
    switch (command.operands) {
    case ToolCommand::Operands::fileOnly:
        if (!operands.isEmpty())
            return QStringLiteral("'%1' takes only a FILE, not '%2'").arg(command.name, operands.first());
        break;
    case ToolCommand::Operands::fileAndTask:
        if (operands.isEmpty())
            return QStringLiteral("'%1' needs a TASK after the FILE").arg(command.name);
        break;
    case ToolCommand::Operands::fileAndTitle:
        if (operands.isEmpty())
            return QStringLiteral("'%1' needs a TITLE after the FILE").arg(command.name);
        if (operands.size() > 1 && operands.contains(QStringLiteral("-")))
            return QStringLiteral("- reads the titles from standard input and stands alone");
        break;
    case ToolCommand::Operands::optionalCommand:
        break;
    }
    if (result.section
        && !QStringList {QStringLiteral("next"), QStringLiteral("pending"), QStringLiteral("complete")}
                .contains(*result.section))
        return QStringLiteral("--section is next, pending or complete, not '%1'").arg(*result.section);
    return std::nullopt;
}
