#include "session/SessionItem.h"

QString editableText(const QString& title, const std::optional<QString>& note)
{
    if (note && !note->isEmpty())
        return title + QLatin1Char('\n') + *note;
    return title;
}

QString editableText(const SessionItem& item)
{
    return editableText(item.title, item.note);
}
