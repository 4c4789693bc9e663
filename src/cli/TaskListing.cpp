#include "cli/TaskListing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString TaskListing::heading(TaskSection section)
{
    return taskSectionTitle(section);
}

QString TaskListing::key(TaskSection section)
{
    return heading(section).toLower();
}

std::optional<TaskSection> TaskListing::sectionForKey(const QString& key)
{
    for (TaskSection section : allTaskSections) {
        if (TaskListing::key(section) == key)
            return section;
    }
    return std::nullopt;
}

QString TaskListing::label(TaskSection section, qsizetype index)
{
    return key(section).left(1) + QString::number(index + 1);
}

const QList<VeskTask>& TaskListing::tasks(const VeskDocument& document, TaskSection section)
{
    switch (section) {
    case TaskSection::working:
        return document.workingItems;
    case TaskSection::inbox:
        return document.inboxItems;
    case TaskSection::completed:
        break;
    }
    return document.completedItems;
}

QString TaskListing::text(const VeskDocument& document, std::optional<TaskSection> only)
{
    QString out;
    for (TaskSection section : allTaskSections) {
        if (only && *only != section)
            continue;
        const QList<VeskTask>& list = tasks(document, section);
        if (!only)
            out += heading(section) + u'\n';
        // Numbers right-aligned, titles and notes in one column.
        const qsizetype width = QString::number(list.size()).size();
        const QString noteIndent(width + 4, u' ');
        for (qsizetype i = 0; i < list.size(); ++i) {
            out += QStringLiteral("  %1. ").arg(i + 1, int(width)) + list[i].title + u'\n';
            if (list[i].note) {
                for (const QString& line : list[i].note->split(u'\n'))
                    out += (line.isEmpty() ? QString() : noteIndent + line) + u'\n';
            }
        }
    }
    return out;
}

QString TaskListing::json(const VeskDocument& document, std::optional<TaskSection> only)
{
    QJsonArray array;
    for (TaskSection section : allTaskSections) {
        if (only && *only != section)
            continue;
        const QList<VeskTask>& list = tasks(document, section);
        for (qsizetype i = 0; i < list.size(); ++i) {
            array.append(QJsonObject {
                {QStringLiteral("section"), key(section)},
                {QStringLiteral("number"), i + 1},
                {QStringLiteral("title"), list[i].title},
                {QStringLiteral("note"), list[i].note ? QJsonValue(*list[i].note) : QJsonValue()},
                {QStringLiteral("completed"), section == TaskSection::completed},
            });
        }
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}
