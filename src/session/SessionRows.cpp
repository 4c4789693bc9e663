#include "session/SessionRows.h"

#include "session/ListChange.h"

#include <algorithm>
#include <bitset>
#include <functional>
#include <limits>

namespace {

// Where the structural rows of a part sort among its tasks' places.
constexpr qint32 inputIndex = -1;
constexpr qint32 spacerIndex = std::numeric_limits<qint32>::max() - 1;
constexpr qint32 separatorIndex = std::numeric_limits<qint32>::max();
// Edited tasks beyond this many (a reload) rebuild every row.
constexpr std::size_t maxEditedItems = 256;
// Changed stretches up to this long on both sides are replaced whole without a closer look.
constexpr qsizetype smallChange = 64;

} // namespace

qsizetype SessionRows::Seen::rowCount() const
{
    qsizetype count = 0;
    for (TaskSection section : allTaskSections) {
        const std::size_t s = std::size_t(section);
        if (!whole[s]) {
            count += qsizetype(parts[s].size());
            continue;
        }
        count += ids[s].size() + (ids[s].isEmpty() ? 1 : 0) + (section != TaskSection::completed ? 1 : 0)
            + (section == TaskSection::inbox && creating ? 1 : 0);
    }
    return count;
}

std::vector<SessionRows::Key> SessionRows::wholeKeys(TaskSection section, const QList<QUuid>& ids, bool input)
{
    std::vector<Key> keys;
    keys.reserve(size_t(ids.size()) + 3);
    if (input)
        keys.push_back(Key {QUuid(), inputIndex, RenderedRow::Kind::input});
    for (qsizetype i = 0; i < ids.size(); ++i)
        keys.push_back(Key {ids.at(i), qint32(i), RenderedRow::Kind::task});
    if (ids.isEmpty())
        keys.push_back(Key {QUuid(), spacerIndex, RenderedRow::Kind::spacer});
    if (section != TaskSection::completed)
        keys.push_back(Key {QUuid(), separatorIndex, RenderedRow::Kind::separator});
    return keys;
}

std::vector<qint32> SessionRows::visibleIndices(TaskSection section) const
{
    std::vector<qint32> visible;
    m_filter.matchingRows(m_state, section).forEach([&](qsizetype i) { visible.push_back(qint32(i)); });
    return visible;
}

std::vector<SessionRows::Key> SessionRows::partKeys(TaskSection section, const QString& folded) const
{
    const QList<QUuid>& ids = m_state.itemIDs(section);
    const OptionalCompletionShell& shell = m_state.completionShell();
    const bool shellHere = shell && shell->section == section;
    std::vector<Key> keys;
    const auto add = [&](qint32 index) {
        const QUuid& id = ids.at(index);
        keys.push_back(Key {id, index,
            shellHere && shell->itemID == id ? RenderedRow::Kind::completionShell : RenderedRow::Kind::task});
    };

    if (section == TaskSection::inbox && m_state.isCreatingNewItem())
        keys.push_back(Key {QUuid(), inputIndex, RenderedRow::Kind::input});
    qsizetype visible = ids.size();
    if (folded.isEmpty()) {
        keys.reserve(size_t(ids.size()) + 2);
        for (qsizetype i = 0; i < ids.size(); ++i)
            add(qint32(i));
    } else {
        const std::vector<qint32> indices = visibleIndices(section);
        keys.reserve(indices.size() + 2);
        for (qint32 i : indices)
            add(i);
        visible = qsizetype(indices.size());
    }
    if (visible == 0)
        keys.push_back(Key {QUuid(), spacerIndex, RenderedRow::Kind::spacer});
    if (section != TaskSection::completed)
        keys.push_back(Key {QUuid(), separatorIndex, RenderedRow::Kind::separator});
    return keys;
}

RenderedRow SessionRows::row(TaskSection section, const Key& key) const
{
    switch (key.kind) {
    case RenderedRow::Kind::task: {
        // An id lives in one list only, so being listed under completed is being completed. Every
        // listed id has its item; an empty row would show if one did not.
        const SessionItem* item = m_state.item(key.id);
        return RenderedRow::task(key.id, section, section == TaskSection::completed,
            item ? item->title : QString(), item ? item->note : std::nullopt);
    }
    case RenderedRow::Kind::completionShell: {
        const CompletionShellState& shell = *m_state.completionShell();
        return RenderedRow::completionShell(key.id, section, shell.title, shell.note, shell.isCompleted);
    }
    case RenderedRow::Kind::separator:
        return RenderedRow::separator(section);
    case RenderedRow::Kind::input:
        return RenderedRow::input(m_state.inputDraft());
    case RenderedRow::Kind::spacer:
        return RenderedRow::spacer(section, emptySectionSpacerHeight);
    }
    return {};
}

QList<RenderedRow> SessionRows::rendered() const
{
    applyRowSplices(m_rendered, update(m_renderedSeen));
    return m_rendered;
}

namespace {

// The rows that stay in place but show other content: edited tasks, a shell whose text changed,
// the input row with another draft.
struct ChangedContent {
    std::vector<QUuid> edited;
    std::bitset<SessionItemMap::fanOut * SessionItemMap::fanOut> editedLeaves;
    // Where the edited tasks are in each section's list, when they are few enough to look up.
    std::optional<std::array<std::vector<qsizetype>, 3>> places;
    std::optional<QUuid> shell;
    bool draft = false;

    bool isEmpty() const { return edited.empty() && !shell && !draft; }
    template <typename Key>
    bool contains(const Key& key) const
    {
        switch (key.kind) {
        case RenderedRow::Kind::task:
            if (!editedLeaves.test(SessionItemMap::leafIndex(key.id)))
                return false;
            return std::find(edited.begin(), edited.end(), key.id) != edited.end();
        case RenderedRow::Kind::completionShell:
            return shell == key.id;
        case RenderedRow::Kind::input:
            return draft;
        default:
            return false;
        }
    }
};

// Writes the splices of one update, walking the new rows from the top; rows built only for what
// changes.
template <typename Key, typename Build>
class SpliceWriter {
public:
    SpliceWriter(QList<RowSplice>& out, const ChangedContent& changed, Build build)
        : m_out(out), m_changed(changed), m_build(std::move(build))
    { }

    qsizetype position() const { return m_position; }

    // Rows that stay; those showing changed content are built again.
    void keep(const Key* first, const Key* last)
    {
        if (m_changed.isEmpty()) {
            m_position += last - first;
            return;
        }
        for (const Key* key = first; key != last; ++key) {
            if (m_changed.contains(*key))
                change(1, key, key + 1);
            else
                ++m_position;
        }
    }

    // The task rows of a list's stretch [first, last) that stay, the first at place index.
    void keepTasks(TaskSection section, const QUuid* first, const QUuid* last, qsizetype index)
    {
        if (m_changed.edited.empty()) {
            m_position += last - first;
            return;
        }
        if (m_changed.places) {
            const std::vector<qsizetype>& places = (*m_changed.places)[std::size_t(section)];
            const qsizetype base = index;
            const qsizetype end = index + (last - first);
            for (auto place = std::lower_bound(places.begin(), places.end(), index);
                 place != places.end() && *place < end; ++place) {
                m_position += *place - index;
                const Key key {first[*place - base], qint32(*place), RenderedRow::Kind::task};
                change(1, &key, &key + 1);
                index = *place + 1;
            }
            m_position += end - index;
            return;
        }
        for (const QUuid* id = first; id != last; ++id, ++index) {
            const Key key {*id, qint32(index), RenderedRow::Kind::task};
            keep(&key, &key + 1);
        }
    }

    // removed rows at the current place give way to the rows of [first, last).
    void change(qsizetype removed, const Key* first, const Key* last)
    {
        if (removed == 0 && first == last)
            return;
        if (m_out.isEmpty() || m_out.last().at + m_out.last().inserted.size() != m_position)
            m_out.append(RowSplice {m_position, 0, {}});
        RowSplice& splice = m_out.last();
        splice.removed += removed;
        for (const Key* key = first; key != last; ++key)
            splice.inserted.append(m_build(*key));
        m_position += last - first;
    }

private:
    QList<RowSplice>& m_out;
    const ChangedContent& m_changed;
    Build m_build;
    qsizetype m_position = 0;
};

// Turns the part a into b: the common ends stay; in between, rows of an unchanged list are matched
// by their place in it (a filter that changed), a single row that moved is moved, and anything
// else is replaced.
template <typename Key, typename Writer, typename SameList>
void diffPart(const std::vector<Key>& a, const std::vector<Key>& b, Writer& writer, SameList sameList)
{
    const qsizetype m = qsizetype(b.size());
    const Key* const A = a.data();
    const Key* const B = b.data();
    const ListChange change = ListChange::between(
        A, qsizetype(a.size()), B, m, [](const Key& x, const Key& y) { return x.sameRow(y); }, smallChange);
    const qsizetype prefix = change.prefix;
    writer.keep(B, B + prefix);
    const qsizetype aCount = change.removed;
    const qsizetype bCount = change.inserted;
    const qsizetype aEnd = prefix + aCount;
    const qsizetype bEnd = prefix + bCount;

    if (aCount == 0 || bCount == 0 || (aCount <= smallChange && bCount <= smallChange)) {
        writer.change(aCount, B + prefix, B + bEnd);
    } else if (sameList()) {
        qsizetype i = prefix;
        qsizetype j = prefix;
        while (i < aEnd || j < bEnd) {
            if (j == bEnd || (i < aEnd && A[i].index < B[j].index)) {
                writer.change(1, nullptr, nullptr);
                ++i;
            } else if (i == aEnd || B[j].index < A[i].index) {
                writer.change(0, B + j, B + j + 1);
                ++j;
            } else {
                if (A[i].kind == B[j].kind)
                    writer.keep(B + j, B + j + 1);
                else
                    writer.change(1, B + j, B + j + 1);
                ++i;
                ++j;
            }
        }
    } else if (change.move > 0) {
        // The first row moved down to the end of the stretch.
        writer.change(1, nullptr, nullptr);
        writer.keep(B + prefix, B + bEnd - 1);
        writer.change(0, B + bEnd - 1, B + bEnd);
    } else if (change.move < 0) {
        // The last row moved up to the start of the stretch.
        writer.change(0, B + prefix, B + prefix + 1);
        writer.keep(B + prefix + 1, B + bEnd);
        writer.change(1, nullptr, nullptr);
    } else {
        writer.change(aCount, B + prefix, B + bEnd);
    }
    writer.keep(B + bEnd, B + m);
}

// Turns the rows of a whole part (every task, no shell, no filter) of the list before into those
// of the list after: the lists are compared directly (unless the change is known), and only the
// rows of the changed stretch are made.
template <typename Key, typename Writer>
void spliceWholePart(TaskSection section, const QList<QUuid>& before, const QList<QUuid>& after,
    const std::optional<ListChange>& known, bool inputBefore, bool inputAfter, Writer& writer)
{
    const Key input {QUuid(), inputIndex, RenderedRow::Kind::input};
    if (inputBefore && !inputAfter)
        writer.change(1, nullptr, nullptr);
    else if (!inputBefore && inputAfter)
        writer.change(0, &input, &input + 1);
    else if (inputAfter)
        writer.keep(&input, &input + 1);
    const ListChange change = known ? *known
                                    : ListChange::between(before.constData(), before.size(),
                                        after.constData(), after.size(), std::equal_to<QUuid>(), smallChange);
    const QUuid* const ids = after.constData();
    const auto taskKey = [&](qsizetype i) { return Key {ids[i], qint32(i), RenderedRow::Kind::task}; };
    const qsizetype at = change.prefix;
    const qsizetype stretch = change.removed;
    writer.keepTasks(section, ids, ids + at, 0);
    if (change.move > 0) {
        // The first row moved down to the end of the stretch.
        const Key moved = taskKey(at + stretch - 1);
        writer.change(1, nullptr, nullptr);
        writer.keepTasks(section, ids + at, ids + at + stretch - 1, at);
        writer.change(0, &moved, &moved + 1);
    } else if (change.move < 0) {
        // The last row moved up to the start of the stretch.
        const Key moved = taskKey(at);
        writer.change(0, &moved, &moved + 1);
        writer.keepTasks(section, ids + at + 1, ids + at + stretch, at + 1);
        writer.change(1, nullptr, nullptr);
    } else {
        std::vector<Key> inserted;
        inserted.reserve(size_t(change.inserted));
        for (qsizetype i = 0; i < change.inserted; ++i)
            inserted.push_back(taskKey(at + i));
        writer.change(change.removed, inserted.data(), inserted.data() + inserted.size());
    }
    writer.keepTasks(section, ids + at + change.inserted, ids + after.size(), at + change.inserted);
    const Key spacer {QUuid(), spacerIndex, RenderedRow::Kind::spacer};
    if (!before.isEmpty() && after.isEmpty())
        writer.change(0, &spacer, &spacer + 1);
    else if (before.isEmpty() && !after.isEmpty())
        writer.change(1, nullptr, nullptr);
    else if (after.isEmpty())
        writer.keep(&spacer, &spacer + 1);
    const Key separator {QUuid(), separatorIndex, RenderedRow::Kind::separator};
    if (section != TaskSection::completed)
        writer.keep(&separator, &separator + 1);
}

} // namespace

QList<RowSplice> SessionRows::update(Seen& seen) const
{
    const QString folded = m_filter.foldedQuery();
    const OptionalCompletionShell& shell = m_state.completionShell();
    QList<RowSplice> splices;

    ChangedContent changed;
    bool rebuildAll = !seen.valid;
    if (!rebuildAll && !seen.items.isSharedWith(m_state.items())) {
        seen.items.forEachDifference(
            m_state.items(), [&](const QUuid& id, const SessionItem* was, const SessionItem* is) {
                if (was && is) {
                    changed.edited.push_back(id);
                    changed.editedLeaves.set(SessionItemMap::leafIndex(id));
                }
                rebuildAll = changed.edited.size() > maxEditedItems;
                return !rebuildAll;
            });
    }
    // A command edits a task or two: finding their rows by place spares looking at every row.
    constexpr std::size_t fewEdited = 8;
    if (!rebuildAll && !changed.edited.empty() && changed.edited.size() <= fewEdited) {
        std::array<std::vector<qsizetype>, 3> places;
        for (const QUuid& id : changed.edited)
            if (const auto place = m_state.placeOf(id))
                places[std::size_t(place->first)].push_back(place->second);
        for (auto& sorted : places)
            std::sort(sorted.begin(), sorted.end());
        changed.places = std::move(places);
    }
    const bool shellStays
        = seen.shell && shell && seen.shell->itemID == shell->itemID && seen.shell->section == shell->section;
    if (shellStays && !(*seen.shell == *shell))
        changed.shell = shell->itemID;
    changed.draft = seen.draft != m_state.inputDraft();

    if (rebuildAll) {
        RowSplice all {0, seen.rowCount(), {}};
        for (TaskSection section : allTaskSections) {
            auto& part = seen.parts[size_t(section)];
            part = partKeys(section, folded);
            for (const Key& key : part)
                all.inserted.append(row(section, key));
            seen.whole[size_t(section)] = folded.isEmpty() && !(shell && shell->section == section);
            if (seen.whole[size_t(section)])
                part = {};
        }
        splices.append(std::move(all));
    } else {
        TaskSection current = TaskSection::working;
        const auto build = [&](const Key& key) { return row(current, key); };
        SpliceWriter<Key, decltype(build)> writer(splices, changed, build);
        for (TaskSection section : allTaskSections) {
            current = section;
            auto& part = seen.parts[size_t(section)];
            const QList<QUuid>& ids = m_state.itemIDs(section);
            bool same = seen.ids[size_t(section)].isSharedWith(ids);
            if (same && (!folded.isEmpty() || !seen.foldedQuery.isEmpty()))
                same = folded == seen.foldedQuery && seen.items.isSharedWith(m_state.items());
            const bool shellWasHere = seen.shell && seen.shell->section == section;
            const bool shellIsHere = shell && shell->section == section;
            if ((shellWasHere || shellIsHere) && !shellStays)
                same = false;
            if (section == TaskSection::inbox && seen.creating != m_state.isCreatingNewItem())
                same = false;
            const bool inbox = section == TaskSection::inbox;
            bool& whole = seen.whole[size_t(section)];
            const QList<QUuid>& before = seen.ids[size_t(section)];
            if (same && whole) {
                // As spliced from the list to itself: every row stays.
                spliceWholePart<Key>(section, before, ids, ListChange {ids.size(), 0, 0, 0},
                    inbox && seen.creating, inbox && seen.creating, writer);
                continue;
            }
            if (same) {
                writer.keep(part.data(), part.data() + part.size());
                continue;
            }
            if (whole && folded.isEmpty() && !shellIsHere) {
                const std::optional<KnownListChange>& known = m_state.knownChange(section);
                spliceWholePart<Key>(section, before, ids,
                    known && known->leads(before, ids) ? std::optional(known->change) : std::nullopt,
                    inbox && seen.creating, inbox && m_state.isCreatingNewItem(), writer);
                continue;
            }
            if (whole)
                part = wholeKeys(section, before, inbox && seen.creating);
            std::vector<Key> next = partKeys(section, folded);
            diffPart(part, next, writer, [&] { return before == ids; });
            whole = folded.isEmpty() && !shellIsHere;
            part = whole ? std::vector<Key>() : std::move(next);
        }
    }

    seen.ids = {m_state.itemIDs(TaskSection::working), m_state.itemIDs(TaskSection::inbox),
        m_state.itemIDs(TaskSection::completed)};
    seen.items = m_state.items();
    seen.shell = shell;
    seen.draft = m_state.inputDraft();
    seen.creating = m_state.isCreatingNewItem();
    seen.foldedQuery = folded;
    seen.valid = true;
    return splices;
}
