#include "session/SessionRows.h"

#include "session/ListChange.h"

#include <algorithm>
#include <bit>
#include <bitset>
#include <functional>
#include <span>

namespace {

// Edited tasks beyond this many (a reload) rebuild every row.
constexpr std::size_t maxEditedItems = 256;
// Changed stretches of a list up to this long are replaced whole without looking for a move.
constexpr qsizetype smallChange = 64;
// A command edits a task or two: finding their rows by place spares looking at every row.
constexpr std::size_t fewChanged = 8;

quint64 lowBits(qsizetype count)
{
    return count >= 64 ? ~quint64(0) : (quint64(1) << count) - 1;
}

// Whether each of `count` (at most 64) tasks from `from` is shown, one bit each; every task when
// nothing is filtered.
quint64 shownBits(const FilterMatches* shown, qsizetype from, qsizetype count)
{
    return (shown ? shown->bitsAt(from) : ~quint64(0)) & lowBits(count);
}

qsizetype countShown(const FilterMatches* shown, qsizetype from, qsizetype count)
{
    if (!shown)
        return count;
    qsizetype total = 0;
    for (qsizetype k = 0; k < count; k += 64)
        total += std::popcount(shownBits(shown, from + k, std::min<qsizetype>(64, count - k)));
    return total;
}

// The tasks whose rows may show other content where they stay: edited tasks, and the tasks a
// completion shell came to, left or changed on.
struct ChangedContent {
    std::vector<QUuid> ids;
    std::bitset<SessionItemMap::fanOut * SessionItemMap::fanOut> leaves;
    // Where those tasks are in each section's list, sorted, when they are few enough to look up.
    std::optional<std::array<std::vector<qsizetype>, 3>> places;
    bool draft = false;

    void add(const QUuid& id)
    {
        ids.push_back(id);
        leaves.set(SessionItemMap::leafIndex(id));
    }
    bool contains(const QUuid& id) const
    {
        return leaves.test(SessionItemMap::leafIndex(id))
            && std::find(ids.begin(), ids.end(), id) != ids.end();
    }
};

// Writes the splices of one update, walking the new rows from the top.
class SpliceWriter {
public:
    explicit SpliceWriter(QList<RowSplice>& out) : m_out(out) { }

    // Rows that stay as they are.
    void skip(qsizetype rows) { m_position += rows; }
    void remove(qsizetype rows)
    {
        if (rows > 0)
            current().removed += rows;
    }
    void insert(RenderedRow row)
    {
        current().inserted.append(std::move(row));
        ++m_position;
    }
    // Rows made elsewhere: a splice of their own takes the list itself, shared, not copied, with
    // their outline.
    void insertAll(QList<RenderedRow> rows, std::shared_ptr<const RowOutline> outline)
    {
        RowSplice& splice = current();
        m_position += rows.size();
        if (splice.inserted.isEmpty()) {
            splice.inserted = std::move(rows);
            splice.outline = std::move(outline);
        } else {
            splice.inserted.append(rows);
        }
    }
    void reserve(qsizetype rows) { current().inserted.reserve(rows); }
    // Whether a splice ends at the current place, so that a row replaced here joins it.
    bool isOpen() const { return m_last && m_last->at + m_last->inserted.size() == m_position; }

private:
    // The splice at the current place: the last one when it ends here, else a new one.
    RowSplice& current()
    {
        if (!m_last || m_last->at + m_last->inserted.size() != m_position) {
            m_out.append(RowSplice {m_position, 0, {}});
            m_last = &m_out.last();
        }
        return *m_last;
    }

    QList<RowSplice>& m_out;
    RowSplice* m_last = nullptr; // m_out's last splice, which only it changes
    qsizetype m_position = 0;
};

// Reads ids by index, mostly going forwards: the chunk of the last one read is kept.
class IDReader {
public:
    explicit IDReader(const ItemIDList& ids) : m_ids(ids) { }

    const QUuid& at(qsizetype index)
    {
        if (index < m_start || index >= m_start + qsizetype(m_chunk.size())) {
            if (index < m_start)
                m_index = 0;
            while (m_ids.chunkStart(m_index) + qsizetype(m_ids.chunk(m_index).size()) <= index)
                ++m_index;
            m_start = m_ids.chunkStart(m_index);
            m_chunk = m_ids.chunk(m_index);
        }
        return m_chunk[size_t(index - m_start)];
    }

private:
    const ItemIDList& m_ids;
    qsizetype m_index = 0;
    qsizetype m_start = 0;
    std::span<const QUuid> m_chunk;
};

// One side of a section's task rows: its list and which of its tasks are shown.
struct ShownTasks {
    const ItemIDList& ids;
    const FilterMatches* shown; // null: every task
    qsizetype count; // how many are shown
};

// Splices the task rows of one section from what was shown of one list to what is shown of
// another. The lists are lined up by how one became the other; where they agree, a task's row
// stays exactly when it is shown on both sides and its content did not change, so the rows are
// compared 64 at a time as bits, and rows are made only for tasks that come into view or change.
class TaskSplicer {
public:
    TaskSplicer(SpliceWriter& writer, TaskSection section, const ShownTasks& before, const ShownTasks& after,
        const ChangedContent& changed, const CompletionShellState* shell, bool sameShown)
        : m_writer(writer),
          m_section(section),
          m_before(before),
          m_after(after),
          m_changed(changed),
          m_places(changed.places ? &(*changed.places)[std::size_t(section)] : nullptr),
          m_shell(shell),
          m_sameShown(sameShown),
          m_afterIDs(after.ids)
    { }

    void splice(const ListChange& change)
    {
        if (change.removed == 0 && change.inserted == 0 && replacesAll()) {
            m_writer.remove(m_before.count);
            m_writer.reserve(m_after.count);
            insertShown(0, m_after.ids.size());
            return;
        }
        const qsizetype at = change.prefix;
        const qsizetype stretch = change.removed;
        aligned(0, 0, at);
        if (change.move > 0) {
            // The first task moved down to the end of the stretch.
            removeShown(at, 1);
            aligned(at + 1, at, stretch - 1);
            insertShown(at + stretch - 1, 1);
        } else if (change.move < 0) {
            // The last task moved up to the start of the stretch.
            insertShown(at, 1);
            aligned(at, at + 1, stretch - 1);
            removeShown(at + stretch - 1, 1);
        } else {
            removeShown(at, change.removed);
            insertShown(at, change.inserted);
        }
        aligned(at + change.removed, at + change.inserted, m_before.ids.size() - at - change.removed);
    }

    // The rows of the shown tasks among `count` of the list after, from `from`.
    void insertShown(qsizetype from, qsizetype count)
    {
        for (qsizetype k = 0; k < count; k += 64)
            for (quint64 bits = shownBits(m_after.shown, from + k, std::min<qsizetype>(64, count - k)); bits;
                 bits &= bits - 1)
                insertRow(from + k + std::countr_zero(bits));
    }

private:
    // Whether, the list being the same, so few of its rows stay shown (a search widened or narrowed
    // a lot) that making every row afresh in one splice costs less than a splice per kept row.
    bool replacesAll() const
    {
        if (m_sameShown)
            return false;
        // Counted until the answer is known: most keystrokes keep most rows.
        const qsizetype shown = m_before.count + m_after.count;
        qsizetype kept = 0;
        for (qsizetype k = 0; k < m_after.ids.size(); k += 64) {
            const qsizetype n = std::min<qsizetype>(64, m_after.ids.size() - k);
            kept += std::popcount(shownBits(m_before.shown, k, n) & shownBits(m_after.shown, k, n));
            if (kept * 4 > shown - 2 * kept)
                return false;
        }
        return true;
    }

    void removeShown(qsizetype from, qsizetype count)
    {
        m_writer.remove(countShown(m_before.shown, from, count));
    }

    void insertRow(qsizetype index)
    {
        const QUuid& id = m_afterIDs.at(index);
        if (m_shell && m_shell->itemID == id)
            m_writer.insert(RenderedRow::completionShell(
                id, m_section, m_shell->title, m_shell->note, m_shell->isCompleted));
        else
            // An id lives in one list only, so being listed under completed is being completed.
            m_writer.insert(RenderedRow::task(id, m_section, m_section == TaskSection::completed));
    }

    // `count` tasks that are the same in both lists, from a before and b after.
    void aligned(qsizetype a, qsizetype b, qsizetype count)
    {
        if (count <= 0)
            return;
        const bool checkEach = !m_places && !m_changed.ids.empty();
        std::vector<qsizetype>::const_iterator place;
        // Whether a changed task lies before `end`, moving past those before `from`.
        const auto changedIn = [&](qsizetype from, qsizetype end) {
            if (!m_places)
                return false;
            while (place != m_places->end() && *place < from)
                ++place;
            return place != m_places->end() && *place < end;
        };
        if (m_places)
            place = m_places->begin();
        if (m_sameShown && !checkEach && !changedIn(b, b + count)) {
            m_writer.skip(
                b == 0 && count == m_after.ids.size() ? m_after.count : countShown(m_after.shown, b, count));
            return;
        }
        for (qsizetype k = 0; k < count; k += 64) {
            const qsizetype n = std::min<qsizetype>(64, count - k);
            const quint64 was = shownBits(m_before.shown, a + k, n);
            const quint64 is = shownBits(m_after.shown, b + k, n);
            if (was == is && !(checkEach && is) && !changedIn(b + k, b + k + n)) {
                m_writer.skip(std::popcount(is));
                continue;
            }
            const quint64 differ = was ^ is;
            for (quint64 any = was | is; any; any &= any - 1) {
                const int bit = std::countr_zero(any);
                const qsizetype index = b + k + bit;
                const bool shownBefore = was >> bit & 1;
                const bool shownAfter = is >> bit & 1;
                // A row kept between rows that come and go (a search widened or narrowed) is
                // replaced too: one splice for the stretch costs less than a splice per gap.
                const bool between = bit < 63 && differ >> (bit + 1) != 0 && m_writer.isOpen();
                if (shownBefore && shownAfter && !between) {
                    bool changed = false;
                    if (checkEach) {
                        changed = m_changed.contains(m_after.ids.at(index));
                    } else if (m_places) {
                        while (place != m_places->end() && *place < index)
                            ++place;
                        changed = place != m_places->end() && *place == index;
                    }
                    if (!changed) {
                        m_writer.skip(1);
                        continue;
                    }
                }
                if (shownBefore)
                    m_writer.remove(1);
                if (shownAfter)
                    insertRow(index);
            }
        }
    }

    SpliceWriter& m_writer;
    const TaskSection m_section;
    const ShownTasks& m_before;
    const ShownTasks& m_after;
    const ChangedContent& m_changed;
    const std::vector<qsizetype>* m_places;
    const CompletionShellState* m_shell; // when in this section
    const bool m_sameShown; // the same tasks shown where the lists agree
    IDReader m_afterIDs;
};

} // namespace

qsizetype SessionRows::Seen::rowCount() const
{
    if (!valid)
        return 0;
    qsizetype count = 0;
    for (TaskSection section : allTaskSections) {
        const qsizetype tasks = shownCounts[std::size_t(section)];
        count += tasks + (tasks == 0 ? 1 : 0) + (section != TaskSection::completed ? 1 : 0)
            + (section == TaskSection::inbox && creating ? 1 : 0);
    }
    return count;
}

QList<RenderedRow> SessionRows::unfilteredRows(const ItemIDList& working, const ItemIDList& inbox,
    const ItemIDList& completed, const std::atomic<bool>* stop)
{
    // Chunks of rows made between two looks at the stop flag.
    constexpr qsizetype chunksBetweenStopChecks = 8;
    const std::array<const ItemIDList*, 3> lists {&working, &inbox, &completed};
    QList<RenderedRow> rows;
    rows.reserve(working.size() + inbox.size() + completed.size() + 5);
    for (TaskSection section : allTaskSections) {
        const ItemIDList& ids = *lists[std::size_t(section)];
        const bool completes = section == TaskSection::completed;
        for (qsizetype chunk = 0; chunk < ids.chunkCount(); ++chunk) {
            if (stop && chunk % chunksBetweenStopChecks == 0 && stop->load(std::memory_order_relaxed))
                return {};
            for (const QUuid& id : ids.chunk(chunk))
                rows.append(RenderedRow::task(id, section, completes));
        }
        if (ids.isEmpty())
            rows.append(RenderedRow::spacer(section, emptySectionSpacerHeight));
        if (!completes)
            rows.append(RenderedRow::separator(section));
    }
    return rows;
}

void SessionRows::offerRows(const QList<RenderedRow>& rows, const std::array<ItemIDList, 3>& ids,
    std::shared_ptr<const RowOutline> outline)
{
    m_unfiltered = UnfilteredRows {rows, ids, std::move(outline)};
}

std::optional<SessionRows::UnfilteredRows> SessionRows::keptUnfilteredRows(
    bool filtering, bool creating, bool shell) const
{
    if (filtering || creating || shell || !keptRowsFit())
        return std::nullopt;
    return m_unfiltered;
}

bool SessionRows::keptRowsFit() const
{
    if (!m_unfiltered)
        return false;
    for (TaskSection section : allTaskSections)
        if (!m_unfiltered->ids[std::size_t(section)].isSharedWith(m_state.itemIDs(section)))
            return false;
    return true;
}

std::optional<SessionRows::UnfilteredRows> SessionRows::rowsOfClearedSearch(
    qsizetype shownBefore, QList<RowSplice>& changes) const
{
    const ItemIDList& working = m_state.itemIDs(TaskSection::working);
    const ItemIDList& inbox = m_state.itemIDs(TaskSection::inbox);
    const ItemIDList& completed = m_state.itemIDs(TaskSection::completed);
    // The few rows that come back are spliced in: a reader then lays out those alone.
    if (shownBefore * 2 > working.size() + inbox.size() + completed.size())
        return std::nullopt;
    if (std::optional<UnfilteredRows> kept = keptUnfilteredRows(false, false, false))
        return kept;
    if (m_unfiltered) {
        if (std::optional<QList<RowSplice>> since = changesSinceKept()) {
            changes = std::move(*since);
            return m_unfiltered;
        }
    }
    m_unfiltered
        = UnfilteredRows {unfilteredRows(working, inbox, completed), {working, inbox, completed}, nullptr};
    return m_unfiltered;
}

std::optional<QList<RowSplice>> SessionRows::changesSinceKept() const
{
    // Beyond these many rows changed, a reader lays out every row anyway.
    constexpr qsizetype maxChangedRows = 4096;
    qsizetype keptRows = 0;
    qsizetype changedRows = 0;
    for (TaskSection section : allTaskSections) {
        const ItemIDList& was = m_unfiltered->ids[std::size_t(section)];
        const ItemIDList& ids = m_state.itemIDs(section);
        const std::optional<KnownListChange>& known = m_state.knownChange(section);
        const ListChange change
            = known && known->leads(was, ids) ? known->change : ListChange::between(was, ids, smallChange);
        changedRows += change.move != 0 ? 2 : change.removed + change.inserted;
        keptRows += was.size();
    }
    if (changedRows > maxChangedRows || changedRows * 4 > keptRows)
        return std::nullopt;
    // What a reader holding the kept rows saw. The splices replace every row it held first, so it
    // reads every row's text anew: only the lists' changes need splicing, not the tasks edited.
    Seen since;
    since.ids = m_unfiltered->ids;
    for (TaskSection section : allTaskSections)
        since.shownCounts[std::size_t(section)] = since.ids[std::size_t(section)].size();
    since.m_items = m_state.items();
    since.draft = m_state.inputDraft();
    since.valid = true;
    // The update takes and lets go of no kept rows.
    std::optional<UnfilteredRows> kept = std::exchange(m_unfiltered, std::nullopt);
    QList<RowSplice> changes = update(since);
    m_unfiltered = std::move(kept);
    return changes;
}

QList<RenderedRow> SessionRows::rendered() const
{
    applyRowSplices(m_rendered, update(m_renderedSeen));
    return m_rendered;
}

QList<RowSplice> SessionRows::update(Seen& seen) const
{
    const QString folded = m_filter.foldedQuery();
    const bool filtering = !folded.isEmpty();
    const OptionalCompletionShell& shell = m_state.completionShell();
    const bool creating = m_state.isCreatingNewItem();
    const bool itemsSame = seen.m_items.isSharedWith(m_state.items());

    // How each list became the current one. When no task stays in any of them (a reload), no row
    // is kept, so edited tasks need not be looked for.
    std::array<ListChange, 3> changes;
    bool anyKept = false;
    for (TaskSection section : allTaskSections) {
        const ItemIDList& was = seen.ids[std::size_t(section)];
        const ItemIDList& ids = m_state.itemIDs(section);
        const std::optional<KnownListChange>& known = m_state.knownChange(section);
        ListChange& change = changes[std::size_t(section)];
        change = known && known->leads(was, ids) ? known->change : ListChange::between(was, ids, smallChange);
        anyKept = anyKept || change.removed < was.size() || (change.move != 0 && change.removed > 1);
    }

    ChangedContent changed;
    bool rebuildAll = !seen.valid;
    if (!rebuildAll && !itemsSame && anyKept) {
        seen.m_items.forEachDifference(
            m_state.items(), [&](const QUuid& id, const SessionItem* was, const SessionItem* is) {
                if (was && is)
                    changed.add(id);
                rebuildAll = changed.ids.size() > maxEditedItems;
                return !rebuildAll;
            });
    }
    if (!(seen.shell == shell)) {
        if (seen.shell)
            changed.add(seen.shell->itemID);
        if (shell)
            changed.add(shell->itemID);
    }
    if (!rebuildAll && !changed.ids.empty() && changed.ids.size() <= fewChanged + 2) {
        std::array<std::vector<qsizetype>, 3> places;
        for (const QUuid& id : changed.ids)
            if (const auto place = m_state.placeOf(id))
                places[std::size_t(place->first)].push_back(place->second);
        for (auto& sorted : places)
            std::sort(sorted.begin(), sorted.end());
        changed.places = std::move(places);
    }
    changed.draft = seen.draft != m_state.inputDraft();

    std::array<std::optional<FilterMatches>, 3> shown;
    std::array<qsizetype, 3> shownCounts {};
    for (TaskSection section : allTaskSections) {
        const std::size_t s = std::size_t(section);
        const ItemIDList& ids = m_state.itemIDs(section);
        if (!filtering) {
            shownCounts[s] = ids.size();
            continue;
        }
        if (seen.valid && seen.shown[s] && itemsSame && folded == seen.foldedQuery
            && seen.ids[s].isSharedWith(ids))
            shown[s] = seen.shown[s];
        else
            shown[s] = m_filter.matchingRows(m_state, section);
        shownCounts[s] = shown[s]->count();
    }

    // A list just loaded or reloaded has every row made afresh: when they were made ahead, they are
    // handed over as they are. So are the rows of a search cleared, which were kept or are made in
    // one list, so that the reader takes them whole rather than row by row.
    // The kept rows stay through changes of the lists (a reader keeps its layout of them, and is
    // told what changed since, when a search is cleared); those of lists replaced are let go of.
    std::optional<UnfilteredRows> offered;
    QList<RowSplice> changesSinceOffered;
    if (rebuildAll || !anyKept) {
        offered = keptUnfilteredRows(filtering, creating, shell.has_value());
        if (seen.valid && !anyKept && !keptRowsFit())
            m_unfiltered.reset();
    } else if (seen.valid && !seen.foldedQuery.isEmpty() && !filtering && !creating && !shell) {
        offered = rowsOfClearedSearch(
            seen.shownCounts[0] + seen.shownCounts[1] + seen.shownCounts[2], changesSinceOffered);
    }

    QList<RowSplice> splices;
    SpliceWriter writer(splices);
    const auto structure = [&](TaskSection section, bool inputBefore, qsizetype tasksBefore,
                               qsizetype tasksAfter, const auto& tasks) {
        const bool inbox = section == TaskSection::inbox;
        const bool inputAfter = inbox && creating;
        if (inputBefore && !inputAfter) {
            writer.remove(1);
        } else if (inputAfter && (!inputBefore || changed.draft)) {
            writer.remove(inputBefore ? 1 : 0);
            writer.insert(RenderedRow::input(m_state.inputDraft()));
        } else if (inputAfter) {
            writer.skip(1);
        }
        tasks();
        if (tasksBefore > 0 && tasksAfter == 0)
            writer.insert(RenderedRow::spacer(section, emptySectionSpacerHeight));
        else if (tasksBefore == 0 && tasksAfter > 0)
            writer.remove(1);
        else if (tasksAfter == 0)
            writer.skip(1);
        if (section != TaskSection::completed)
            writer.skip(1);
    };

    if (offered) {
        writer.remove(seen.rowCount());
        writer.insertAll(std::move(offered->rows), std::move(offered->outline));
    } else if (rebuildAll) {
        writer.remove(seen.rowCount());
        writer.reserve(shownCounts[0] + shownCounts[1] + shownCounts[2] + 6);
        for (TaskSection section : allTaskSections) {
            const std::size_t s = std::size_t(section);
            const ItemIDList& ids = m_state.itemIDs(section);
            const ShownTasks after {ids, shown[s] ? &*shown[s] : nullptr, shownCounts[s]};
            const CompletionShellState* shellHere = shell && shell->section == section ? &*shell : nullptr;
            TaskSplicer tasks(writer, section, after, after, changed, shellHere, false);
            if (section == TaskSection::inbox && creating)
                writer.insert(RenderedRow::input(m_state.inputDraft()));
            tasks.insertShown(0, ids.size());
            if (shownCounts[s] == 0)
                writer.insert(RenderedRow::spacer(section, emptySectionSpacerHeight));
            if (section != TaskSection::completed)
                writer.insert(RenderedRow::separator(section));
        }
    } else {
        for (TaskSection section : allTaskSections) {
            const std::size_t s = std::size_t(section);
            const ItemIDList& ids = m_state.itemIDs(section);
            const ItemIDList& was = seen.ids[s];
            const ShownTasks before {was, seen.shown[s] ? &*seen.shown[s] : nullptr, seen.shownCounts[s]};
            const ShownTasks after {ids, shown[s] ? &*shown[s] : nullptr, shownCounts[s]};
            const bool sameShown = (!before.shown && !after.shown)
                || (before.shown && after.shown && itemsSame && folded == seen.foldedQuery
                    && was.isSharedWith(ids));
            const CompletionShellState* shellHere = shell && shell->section == section ? &*shell : nullptr;
            structure(
                section, section == TaskSection::inbox && seen.creating, before.count, after.count, [&] {
                    TaskSplicer(writer, section, before, after, changed, shellHere, sameShown)
                        .splice(changes[s]);
                });
        }
    }

    // The rows kept, then the changes of the lists since they were made, spliced into them.
    splices.append(changesSinceOffered);

    seen.ids = {m_state.itemIDs(TaskSection::working), m_state.itemIDs(TaskSection::inbox),
        m_state.itemIDs(TaskSection::completed)};
    seen.shown = std::move(shown);
    seen.shownCounts = shownCounts;
    seen.m_items = m_state.items();
    seen.shell = shell;
    seen.draft = m_state.inputDraft();
    seen.creating = creating;
    seen.foldedQuery = folded;
    seen.valid = true;
    return splices;
}
