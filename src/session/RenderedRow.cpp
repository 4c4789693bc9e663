#include "session/RenderedRow.h"

RenderedRow RenderedRow::task(const QUuid& id, TaskSection section, bool isCompleted)
{
    RenderedRow row;
    row.kind = Kind::task;
    row.itemID = id;
    row.section = section;
    row.isCompleted = isCompleted;
    return row;
}

RenderedRow RenderedRow::completionShell(const QUuid& itemID, TaskSection section, const QString& title,
    const std::optional<QString>& note, bool isCompleted)
{
    RenderedRow row = task(itemID, section, isCompleted);
    row.kind = Kind::completionShell;
    auto* carried = new Carried;
    carried->text = Text {title, note};
    row.m_carried = carried;
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
    auto* carried = new Carried;
    carried->draft = draft;
    row.m_carried = carried;
    return row;
}

RenderedRow RenderedRow::spacer(TaskSection section, double height)
{
    RenderedRow row;
    row.kind = Kind::spacer;
    row.section = section;
    auto* carried = new Carried;
    carried->height = height;
    row.m_carried = carried;
    return row;
}

RenderedRow::Text RenderedRow::text(const SessionItemMap& items) const
{
    if (m_carried)
        return m_carried->text;
    if (kind == Kind::task) {
        if (const SessionItem* item = items.pointerTo(itemID))
            return Text {item->title, item->note};
    }
    return {};
}

QString RenderedRow::draft() const
{
    return m_carried ? m_carried->draft : QString();
}

double RenderedRow::height() const
{
    return m_carried ? m_carried->height : 0;
}

bool operator==(const RenderedRow& a, const RenderedRow& b)
{
    return a.itemID == b.itemID && a.section == b.section && a.kind == b.kind
        && a.isCompleted == b.isCompleted
        && (a.m_carried == b.m_carried || (a.m_carried && b.m_carried && *a.m_carried == *b.m_carried));
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
