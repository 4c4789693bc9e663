#include "session/RenderedRow.h"

RenderedRow RenderedRow::task(const QUuid& id, TaskSection section, bool isCompleted, const QString& title,
    const std::optional<QString>& note)
{
    RenderedRow row;
    row.kind = Kind::task;
    row.itemID = id;
    row.section = section;
    row.isCompleted = isCompleted;
    row.title = title;
    row.note = note;
    return row;
}

RenderedRow RenderedRow::completionShell(const QUuid& itemID, TaskSection section, const QString& title,
    const std::optional<QString>& note, bool isCompleted)
{
    RenderedRow row = task(itemID, section, isCompleted, title, note);
    row.kind = Kind::completionShell;
    return row;
}

RenderedRow RenderedRow::separator(TaskSection section)
{
    RenderedRow row;
    row.kind = Kind::separator;
    row.section = section;
    return row;
}

RenderedRow RenderedRow::input(const QString& draft)
{
    RenderedRow row;
    row.kind = Kind::input;
    row.draft = draft;
    return row;
}

RenderedRow RenderedRow::spacer(TaskSection section, double height)
{
    RenderedRow row;
    row.kind = Kind::spacer;
    row.section = section;
    row.height = height;
    return row;
}

QString canonicalUuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QString RenderedRow::id() const
{
    switch (kind) {
    case Kind::task:
        return QLatin1String("task-") + taskSectionRawValue(section) + QLatin1Char('-')
            + canonicalUuidText(itemID);
    case Kind::completionShell:
        return QLatin1String("completion-shell-") + taskSectionRawValue(section) + QLatin1Char('-')
            + canonicalUuidText(itemID);
    case Kind::separator:
        return QLatin1String("separator-") + taskSectionRawValue(section);
    case Kind::input:
        return QStringLiteral("input");
    case Kind::spacer:
        return QLatin1String("spacer-") + taskSectionRawValue(section);
    }
    return {};
}
