#include "cli/TaskReference.h"

#include "cli/TaskListing.h"

#include <algorithm>

namespace {

// A message lists this many candidates at most.
constexpr qsizetype maxCandidates = 5;

QString quoted(const QString& title)
{
    return QStringLiteral("“") + title + QStringLiteral("”");
}

QString candidateList(const VeskDocument& document, const QList<TaskLocation>& locations)
{
    QStringList names;
    for (const TaskLocation& location : locations.first(std::min(locations.size(), maxCandidates))) {
        names << TaskListing::label(location.section, location.index) + u' '
                + quoted(TaskListing::tasks(document, location.section)[location.index].title);
    }
    if (locations.size() > maxCandidates)
        names << QStringLiteral("and %1 more").arg(locations.size() - maxCandidates);
    return names.join(QStringLiteral(", "));
}

std::variant<TaskLocation, QString> resolveNumber(
    const VeskDocument& document, const QString& letter, qsizetype number)
{
    const qsizetype index = number - 1;
    if (letter.isEmpty()) {
        const qsizetype working = document.workingItems.size();
        if (index >= 0 && index < working)
            return TaskLocation {TaskSection::working, index};
        if (index >= working && index < working + document.inboxItems.size())
            return TaskLocation {TaskSection::inbox, index - working};
        return QStringLiteral("there is no task %1: Next and Pending hold %2 tasks")
            .arg(number)
            .arg(working + document.inboxItems.size());
    }
    const TaskSection section = letter == u'n' ? TaskSection::working
        : letter == u'p'                       ? TaskSection::inbox
                                               : TaskSection::completed;
    const qsizetype count = TaskListing::tasks(document, section).size();
    if (index >= 0 && index < count)
        return TaskLocation {section, index};
    return QStringLiteral("there is no task %1: %2 holds %3 tasks")
        .arg(TaskListing::label(section, index), TaskListing::heading(section))
        .arg(count);
}

} // namespace

std::variant<TaskLocation, QString> TaskReference::resolve(
    const VeskDocument& document, const QString& reference)
{
    // "n2", "p1", "c3" or "4": an optional section letter, then up to nine digits.
    const QStringView digits = QStringView(reference).mid(
        reference.startsWith(u'n') || reference.startsWith(u'p') || reference.startsWith(u'c') ? 1 : 0);
    if (!digits.isEmpty() && digits.size() <= 9
        && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return resolveNumber(document, reference.left(reference.size() - digits.size()), digits.toLongLong());

    QList<TaskLocation> exact;
    QList<TaskLocation> similar;
    const QString wanted = reference.trimmed();
    for (TaskSection section : allTaskSections) {
        const QList<VeskTask>& tasks = TaskListing::tasks(document, section);
        for (qsizetype i = 0; i < tasks.size(); ++i) {
            if (canonicallyEqual(tasks[i].title, wanted))
                exact.append({section, i});
            else if (!wanted.isEmpty() && tasks[i].title.contains(wanted, Qt::CaseInsensitive))
                similar.append({section, i});
        }
    }
    if (exact.size() == 1)
        return exact.first();
    if (exact.size() > 1) {
        return QStringLiteral("%1 tasks are titled %2 (%3); name one by its number")
            .arg(exact.size())
            .arg(quoted(wanted), candidateList(document, exact));
    }
    if (similar.isEmpty())
        return QStringLiteral("no task is titled %1").arg(quoted(wanted));
    return QStringLiteral("no task is titled %1; did you mean %2?")
        .arg(quoted(wanted), candidateList(document, similar));
}
