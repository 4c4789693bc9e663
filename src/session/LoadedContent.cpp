#include "session/LoadedContent.h"

#include "session/ItemIdGenerator.h"
#include "session/SessionRows.h"
#include "session/TextSummary.h"

#include <array>
#include <utility>

namespace {

// Tasks made between two looks at the stop flag.
constexpr qsizetype stopCheckInterval = 4096;

bool isStopped(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// SessionItemMap::orderedIDs for the tasks from `from` on, made a few thousand at a time; nothing
// once stop is set.
std::optional<QList<QUuid>> orderedIDs(
    qsizetype from, qsizetype count, qsizetype total, ItemIdGenerator& random, const std::atomic<bool>* stop)
{
    if (!stop)
        return SessionItemMap::orderedIDs(from, count, total, random);
    QList<QUuid> ids;
    ids.reserve(count);
    for (qsizetype done = 0; done < count; done += stopCheckInterval) {
        if (isStopped(stop))
            return std::nullopt;
        ids.append(SessionItemMap::orderedIDs(
            from + done, std::min(stopCheckInterval, count - done), total, random));
    }
    return ids;
}

} // namespace

LoadedContent LoadedContent::of(const VeskDocument& document)
{
    return *of(document, nullptr);
}

std::optional<LoadedContent> LoadedContent::of(const VeskDocument& document, const std::atomic<bool>* stop)
{
    // Ids the map keeps in the list's own order, so that the tasks lie in memory as they lie in the
    // list: made as plain arrays, which the map reads in its own order, and cut into chunks at the end.
    ItemIdGenerator random;
    const qsizetype workingCount = document.workingItems.size();
    const qsizetype inboxCount = document.inboxItems.size();
    const qsizetype total = workingCount + inboxCount + document.completedItems.size();
    const std::optional<QList<QUuid>> workingIDs = orderedIDs(0, workingCount, total, random, stop);
    const std::optional<QList<QUuid>> inboxIDs
        = workingIDs ? orderedIDs(workingCount, inboxCount, total, random, stop) : std::nullopt;
    const std::optional<QList<QUuid>> completedIDs = inboxIDs
        ? orderedIDs(workingCount + inboxCount, document.completedItems.size(), total, random, stop)
        : std::nullopt;
    if (!completedIDs)
        return std::nullopt;
    const QList<QUuid>& working = *workingIDs;
    const QList<QUuid>& inbox = *inboxIDs;
    const QList<QUuid>& completed = *completedIDs;

    // The items are made in the map's leaves from the document's tasks (their texts shared, not
    // copied): a list of every item beside the map would be the largest thing a long list's
    // opening holds.
    const std::array<std::pair<const QList<QUuid>*, const QList<VeskTask>*>, 3> sections {{
        {&working, &document.workingItems},
        {&inbox, &document.inboxItems},
        {&completed, &document.completedItems},
    }};
    const auto locate = [&sections](qsizetype i) {
        std::size_t section = 0;
        while (i >= sections[section].first->size()) {
            i -= sections[section].first->size();
            ++section;
        }
        return std::pair {section, i};
    };
    SessionItemMap items(
        working.size() + inbox.size() + completed.size(),
        [&](qsizetype i) {
            const auto [section, at] = locate(i);
            return sections[section].first->at(at);
        },
        [&](qsizetype i) {
            const auto [section, at] = locate(i);
            const VeskTask& task = sections[section].second->at(at);
            return SessionItem {sections[section].first->at(at), task.title, task.note};
        },
        stop);
    if (isStopped(stop))
        return std::nullopt;
    return LoadedContent {std::move(items), working, inbox, completed, {}, {}, {}};
}

void LoadedContent::makeSummaries()
{
    summaries = TextSummary::ofLists(items, working, inbox, completed);
}

void LoadedContent::makeRows(const std::atomic<bool>* stop)
{
    rows = SessionRows::unfilteredRows(working, inbox, completed, stop);
    outline = rows.isEmpty() ? nullptr : std::make_shared<const RowOutline>(RowOutline::of(rows));
}
