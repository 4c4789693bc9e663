#include "session/SessionFilter.h"

#include "session/CommittedSnapshot.h"
#include "session/ListChange.h"
#include "session/SessionState.h"
#include "session/TaskTextMatcher.h"
#include "session/TextSummary.h"

#include <QLocale>
#include <QSet>

#include <algorithm>
#include <bit>
#include <bitset>
#include <cstring>
#include <utility>

namespace {

// How many rows a change may touch before the texts it touches are folded again as a whole.
constexpr qsizetype largestRowChange = 64;
// Tasks edited in place up to this many are looked up where they are, rather than looked for.
constexpr std::size_t fewEditedInPlace = 8;
// How many earlier results each section keeps for going back to a shorter query.
constexpr std::size_t keptResults = 16;

bool sameID(const QUuid& a, const QUuid& b)
{
    return std::memcmp(&a, &b, sizeof(QUuid)) == 0;
}

// Rules out at a glance almost every id that is not one of a few: a bit per bucket of some of the
// ids' random bits, set for the buckets of the few.
class IDSieve {
public:
    explicit IDSieve(const std::vector<QUuid>& ids)
    {
        for (const QUuid& id : ids)
            m_buckets[bucket(id)] = true;
    }
    bool mayHold(const QUuid& id) const { return m_buckets[bucket(id)]; }

private:
    // The low bits of the first field, random in the ids a session makes.
    static std::size_t bucket(const QUuid& id) { return id.data1 % 4096; }
    std::bitset<4096> m_buckets;
};

} // namespace

bool SessionFilter::setQuery(const QString& text)
{
    if (text == m_query)
        return false;
    m_query = text;
    m_foldedValid = false;
    return true;
}

const QString& SessionFilter::foldedQuery() const
{
    const QLocale locale;
    if (locale != m_foldRules.locale()) {
        // The texts are folded afresh; the summaries hold under any rules.
        m_foldRules = FoldRules(locale);
        m_foldedValid = false;
        for (Section& section : m_sections)
            keepFolded(section, 0);
    }
    if (!m_foldedValid) {
        const QString trimmed = m_query.trimmed();
        m_foldedQuery = trimmed.isEmpty() ? QString() : m_foldRules.fold(trimmed);
        m_foldedValid = true;
    }
    return m_foldedQuery;
}

bool SessionFilter::matches(const SessionItem& item) const
{
    const QString& folded = foldedQuery();
    if (folded.isEmpty())
        return true;
    QString text;
    m_foldRules.appendFoldedTask(text, item);
    return FoldedTexts::contains(text, folded);
}

QString SessionFilter::foldedText(const SessionState& state, const QUuid& id) const
{
    QString text;
    if (const SessionItem* item = state.item(id))
        m_foldRules.appendFoldedTask(text, *item);
    return text;
}

bool SessionFilter::rowMatches(QStringView text, const Section& section) const
{
    return section.current && FoldedTexts::contains(text, section.current->query);
}

void SessionFilter::restart(const SessionState& state) const
{
    m_items = state.items();
    for (TaskSection section : allTaskSections)
        restartSection(state, section);
    m_textsValid = true;
}

void SessionFilter::restartSection(const SessionState& state, TaskSection section) const
{
    Section& s = m_sections[size_t(section)];
    s.ids = state.itemIDs(section);
    s.summaries.clear();
    keepFolded(s, 0);
}

void SessionFilter::keepFolded(Section& section, qsizetype rows) const
{
    section.texts.truncate(rows);
    section.current.reset();
    section.earlier.clear();
}

bool SessionFilter::fold(qsizetype rows) const
{
    for (Section& s : m_sections) {
        while (!s.isFolded()) {
            if (rows == 0)
                return false;
            // The items of the rows are looked up together, leaf by leaf.
            const qsizetype from = s.texts.size();
            const qsizetype left = s.ids.size() - from;
            qsizetype count = rows < 0 ? left : std::min(left, rows);
            if (left - count < 256)
                count = left; // no short run left over, too short for the look-up's sort to pay
            const std::vector<const SessionItem*> items = m_items.pointersTo(s.ids.mid(from, count));
            for (std::size_t i = 0; i < items.size(); ++i) {
                // The items lie far apart: fetching them, then their titles, some rows ahead
                // overlaps their reads from memory.
                if (i + 16 < items.size() && items[i + 16]) {
                    __builtin_prefetch(items[i + 16]);
                    __builtin_prefetch(
                        reinterpret_cast<const char*>(items[i + 16]) + sizeof(SessionItem) - 1);
                }
                if (i + 8 < items.size() && items[i + 8])
                    __builtin_prefetch(items[i + 8]->title.constData());
                const SessionItem* item = items[i];
                s.texts.append(
                    [&](std::string& out) { return !item || m_foldRules.appendFoldedLatin1Task(out, *item); },
                    [&](QString& out) {
                        if (item)
                            m_foldRules.appendFoldedTask(out, *item);
                    });
            }
            if (rows > 0)
                rows = std::max<qsizetype>(0, rows - count);
        }
        s.summaries = QList<quint64>(); // the folded texts answer every search now
    }
    return true;
}

void SessionFilter::followChange(
    Section& section, const ListChange& change, const ItemIDList& ids, const SessionState& state) const
{
    QList<quint64>& summaries = section.summaries;
    if (summaries.isEmpty())
        return;
    if (change.move) {
        const qsizetype first = change.prefix;
        const qsizetype last = change.prefix + change.removed - 1;
        summaries.move(change.move > 0 ? first : last, change.move > 0 ? last : first);
        return;
    }
    if (change.removed > largestRowChange || change.inserted > largestRowChange) {
        summaries.clear();
        return;
    }
    summaries.remove(change.prefix, change.removed);
    summaries.insert(change.prefix, change.inserted, TextSummary::unknown);
    for (qsizetype i = change.prefix; i < change.prefix + change.inserted; ++i)
        if (const SessionItem* item = state.item(ids.at(i)))
            summaries[i] = TextSummary::of(item->title, item->note);
}

// A command changes a few tasks: their rows are refolded and re-tested against the current
// result, and everything else is kept. The changed tasks are the ones whose items differ between
// the kept map and the session's (found from the parts the two maps do not share) and the rows
// between each list's unchanged start and end. Rows not yet folded need nothing: they are folded
// from the kept items when their turn comes.
void SessionFilter::update(const SessionState& state) const
{
    if (!m_textsValid) {
        restart(state);
        return;
    }
    bool listsUnchanged = true;
    for (TaskSection section : allTaskSections)
        listsUnchanged
            = listsUnchanged && m_sections[size_t(section)].ids.isSharedWith(state.itemIDs(section));
    if (listsUnchanged && m_items.isSharedWith(state.items()))
        return;

    std::vector<QUuid> changedItems;
    bool fewItemsChanged = true;
    m_items.forEachDifference(state.items(), [&](const QUuid& id, const SessionItem*, const SessionItem*) {
        changedItems.push_back(id);
        fewItemsChanged = qsizetype(changedItems.size()) <= largestRowChange;
        return fewItemsChanged;
    });
    if (!fewItemsChanged) {
        restart(state);
        return;
    }

    std::array<bool, 3> restarted {};
    QSet<QUuid> refolded; // the tasks on rows that are folded again anyway
    for (TaskSection section : allTaskSections) {
        Section& s = m_sections[size_t(section)];
        const ItemIDList& ids = state.itemIDs(section);
        if (s.ids.isSharedWith(ids))
            continue;
        // Where the session knows how this list changed since the one kept here, nothing is compared.
        const std::optional<KnownListChange>& known = state.knownChange(section);
        const ListChange change = known && known->leads(s.ids, ids)
            ? known->change
            : ListChange::between(s.ids, ids, largestRowChange);
        followChange(s, change, ids, state);
        const qsizetype folded = s.texts.size();
        if (change.prefix + change.removed > folded) {
            // The change reaches rows not yet folded: those from its start are folded later.
            keepFolded(s, std::min(folded, change.prefix));
        } else if (change.move) {
            const qsizetype from = change.move > 0 ? change.prefix : change.prefix + change.removed - 1;
            const qsizetype to = change.move > 0 ? change.prefix + change.removed - 1 : change.prefix;
            const QString text = s.texts.text(from);
            s.texts.remove(from);
            s.texts.insert(to, text);
            if (s.current) {
                const bool matched = s.current->rows.contains(from);
                s.current->rows.removeRow(from);
                s.current->rows.insertRow(to, matched);
            }
        } else if (change.removed > largestRowChange || change.inserted > largestRowChange) {
            restartSection(state, section);
            restarted[size_t(section)] = true;
            continue;
        } else {
            for (qsizetype i = change.prefix + change.removed - 1; i >= change.prefix; --i) {
                refolded.insert(s.ids.at(i));
                s.texts.remove(i);
                if (s.current)
                    s.current->rows.removeRow(i);
            }
            for (qsizetype i = change.prefix; i < change.prefix + change.inserted; ++i) {
                refolded.insert(ids.at(i));
                const QString text = foldedText(state, ids.at(i));
                s.texts.insert(i, text);
                if (s.current)
                    s.current->rows.insertRow(i, rowMatches(text, s));
            }
        }
        s.ids = ids;
        s.earlier.clear();
    }

    // Tasks whose text changed in place. The kept lists are now the session's, so a task's place
    // there is its place here.
    std::vector<QUuid> pending;
    for (const QUuid& id : changedItems)
        if (!refolded.contains(id))
            pending.push_back(id);
    const auto refold = [&](TaskSection section, qsizetype at) {
        Section& s = m_sections[size_t(section)];
        if (!s.summaries.isEmpty()) {
            const SessionItem* item = state.item(s.ids.at(at));
            s.summaries[at] = item ? TextSummary::of(item->title, item->note) : TextSummary::unknown;
        }
        if (restarted[size_t(section)])
            return; // folded later, from the kept items
        if (at >= s.texts.size()) {
            // Folded later; a result kept for the rows learns the task's answer now.
            if (s.current) {
                const SessionItem* item = state.item(s.ids.at(at));
                s.current->rows.set(
                    at, item && TaskTextMatcher(m_foldRules, s.current->query).matches(*item));
            }
            s.earlier.clear();
            return;
        }
        const QString text = foldedText(state, s.ids.at(at));
        s.texts.replace(at, text);
        if (s.current)
            s.current->rows.set(at, rowMatches(text, s));
        s.earlier.clear();
    };
    if (pending.size() <= fewEditedInPlace) {
        // A command edits a task or two, where the session has just looked (the selection, the
        // rows it changed): it finds them there first, without reading every list.
        for (const QUuid& id : pending)
            if (const auto place = state.placeOf(id))
                refold(place->first, place->second);
    } else {
        // Many: found in one pass over each list's folded rows, and over the rest when a result
        // or summaries are kept for them.
        const IDSieve sieve(pending);
        for (TaskSection section : allTaskSections) {
            const Section& s = m_sections[size_t(section)];
            const qsizetype searched = s.current || !s.summaries.isEmpty() ? s.ids.size() : s.texts.size();
            for (qsizetype chunk = 0; chunk < s.ids.chunkCount() && !pending.empty(); ++chunk) {
                const std::span<const QUuid> ids = s.ids.chunk(chunk);
                const qsizetype start = s.ids.chunkStart(chunk);
                const qsizetype count = std::min(qsizetype(ids.size()), searched - start);
                for (qsizetype k = 0; k < count && !pending.empty(); ++k) {
                    if (!sieve.mayHold(ids[k]))
                        continue;
                    const auto found = std::find_if(
                        pending.begin(), pending.end(), [&](const QUuid& id) { return sameID(id, ids[k]); });
                    if (found == pending.end())
                        continue;
                    pending.erase(found);
                    refold(section, start + k);
                }
            }
        }
    }
    m_items = state.items();
}

std::shared_ptr<const void> SessionFilter::forgetTexts()
{
    struct Forgotten {
        SessionItemMap items;
        std::array<Section, 3> sections;
    };
    m_textsValid = false;
    return std::make_shared<const Forgotten>(
        Forgotten {std::exchange(m_items, SessionItemMap()), std::exchange(m_sections, {})});
}

void SessionFilter::takeSummaries(const SessionState& state, const std::array<QList<quint64>, 3>& summaries)
{
    foldedQuery(); // the rules of the current locale, so that texts folded later follow them
    m_items = state.items();
    for (TaskSection section : allTaskSections) {
        restartSection(state, section);
        Section& s = m_sections[size_t(section)];
        if (summaries[size_t(section)].size() == s.ids.size())
            s.summaries = summaries[size_t(section)];
    }
    m_textsValid = true;
}

bool SessionFilter::takeLateSummaries(
    const CommittedSnapshot& from, const std::array<QList<quint64>, 3>& summaries)
{
    // Kept lists and items that are still the very containers of `from` hold what the summaries
    // were made of; once the filter has followed a change past them, that is no longer known.
    if (!m_textsValid || !m_items.isSharedWith(from.itemsByID))
        return false;
    const std::array<const ItemIDList*, 3> lists {
        &from.workingItemIDs, &from.inboxItemIDs, &from.completedItemIDs};
    bool taken = false;
    for (std::size_t section = 0; section < lists.size(); ++section) {
        Section& s = m_sections[section];
        if (s.isFolded() || !s.summaries.isEmpty() || !s.ids.isSharedWith(*lists[section])
            || summaries[section].size() != s.ids.size())
            continue;
        s.summaries = summaries[section];
        taken = true;
    }
    return taken;
}

bool SessionFilter::prepare(const SessionState& state, qsizetype rows) const
{
    foldedQuery(); // drops what was folded under another locale
    update(state);
    return fold(rows);
}

const FilterMatches& SessionFilter::matchingRows(const SessionState& state, TaskSection section) const
{
    const QString& query = foldedQuery();
    update(state);
    Section& s = m_sections[size_t(section)];
    if (s.current && s.current->query == query)
        return s.current->rows;

    const auto keep = [&s](KeptResult&& result) {
        s.earlier.push_back(std::move(result));
        if (s.earlier.size() > keptResults)
            s.earlier.erase(s.earlier.begin());
    };
    // Back to an earlier query (BackSpace): its result still holds.
    const auto same = std::find_if(
        s.earlier.begin(), s.earlier.end(), [&](const KeptResult& kept) { return kept.query == query; });
    if (same != s.earlier.end()) {
        KeptResult found = std::move(*same);
        s.earlier.erase(same);
        if (s.current)
            keep(std::move(*s.current));
        s.current = std::move(found);
        return s.current->rows;
    }

    // A text that contains the query contains every part of it: only the rows of a result for a
    // query inside this one can match. The smallest such result is searched, else every row.
    const KeptResult* narrowest = nullptr;
    qsizetype narrowestCount = 0;
    const auto consider = [&](const KeptResult& kept) {
        if (!query.contains(kept.query))
            return;
        const qsizetype count = kept.rows.count();
        if (!narrowest || count < narrowestCount) {
            narrowest = &kept;
            narrowestCount = count;
        }
    };
    if (s.current)
        consider(*s.current);
    for (const KeptResult& kept : s.earlier)
        consider(kept);
    FilterMatches rows = search(s, narrowest ? &narrowest->rows : nullptr, query);
    if (s.current)
        keep(std::move(*s.current));
    s.current = KeptResult {query, std::move(rows)};
    return s.current->rows;
}

FilterMatches SessionFilter::search(
    const Section& section, const FilterMatches* candidates, const QString& query) const
{
    FilterMatches rows
        = candidates ? section.texts.narrowed(*candidates, query) : section.texts.findAll(query);
    const qsizetype folded = section.texts.size();
    const qsizetype size = section.ids.size();
    rows.resize(size);
    if (folded == size)
        return rows;
    // The rows not folded yet are matched from their summaries, and those these leave unsure from
    // their tasks: folding them here would cost a first keystroke several times what matching does.
    const TaskTextMatcher matcher(m_foldRules, query);
    const bool summarised = section.summaries.size() == size;
    QList<QUuid> ids;
    std::vector<qsizetype> places;
    std::vector<const SessionItem*> items;
    if (candidates || summarised) {
        const quint64* summaries = summarised ? section.summaries.constData() : nullptr;
        auto id = section.ids.iteratorAt(folded);
        qsizetype at = folded;
        const auto consider = [&](qsizetype row) {
            if (summaries) {
                const TaskTextMatcher::Answer answer = matcher.bySummary(summaries[row]);
                if (answer != TaskTextMatcher::Answer::unsure) {
                    if (answer == TaskTextMatcher::Answer::found)
                        rows.set(row, true);
                    return;
                }
            }
            id += row - at;
            at = row;
            ids.append(*id);
            places.push_back(row);
        };
        if (candidates) {
            for (qsizetype row = candidates->next(folded); row < size; row = candidates->next(row + 1))
                consider(row);
        } else if (summaries) {
            // 64 rows at a time, their answers gathered as bits without branching.
            for (qsizetype from = folded; from < size; from += 64) {
                const int count = int(std::min<qsizetype>(64, size - from));
                quint64 found = 0;
                quint64 unsure = 0;
                matcher.bySummaries(summaries + from, count, found, unsure);
                rows.setBits(from, found);
                for (; unsure; unsure &= unsure - 1) {
                    const qsizetype row = from + std::countr_zero(unsure);
                    id += row - at;
                    at = row;
                    ids.append(*id);
                    places.push_back(row);
                }
            }
        } else {
            for (qsizetype row = folded; row < size; ++row)
                consider(row);
        }
        items = m_items.pointersTo(ids);
    } else {
        items = folded == 0 ? m_items.pointersTo(section.ids) : m_items.pointersTo(section.ids.mid(folded));
    }
    const bool listed = candidates || summarised;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] && matcher.matches(*items[i]))
            rows.set(listed ? places[i] : folded + qsizetype(i), true);
    }
    return rows;
}

std::optional<QUuid> SessionFilter::firstVisibleID(const SessionState& state, TaskSection section) const
{
    const ItemIDList& ids = state.itemIDs(section);
    if (foldedQuery().isEmpty())
        return ids.isEmpty() ? std::nullopt : std::optional<QUuid>(ids.first());
    const FilterMatches& rows = matchingRows(state, section);
    if (rows.begin() == rows.end())
        return std::nullopt;
    return ids.at(*rows.begin());
}
