#include "session/TaskSection.h"

QLatin1StringView taskSectionRawValue(TaskSection section)
{
    switch (section) {
    case TaskSection::working:
        return QLatin1StringView("working");
    case TaskSection::inbox:
        return QLatin1StringView("inbox");
    case TaskSection::completed:
        return QLatin1StringView("completed");
    }
    return {};
}

std::optional<TaskSection> taskSectionFromRawValue(QStringView rawValue)
{
    for (TaskSection section : allTaskSections)
        if (rawValue == taskSectionRawValue(section))
            return section;
    return std::nullopt;
}

QString taskSectionTitle(TaskSection section)
{
    switch (section) {
    case TaskSection::working:
        return QStringLiteral("Next");
    case TaskSection::inbox:
        return QStringLiteral("Pending");
    case TaskSection::completed:
        break;
    }
    return QStringLiteral("Complete");
}
