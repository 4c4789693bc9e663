#include "session/UndoHistory.h"

namespace {

using ListDelta = UndoHistory::ListDelta;

// The list `delta` makes from `list`: the list itself when nothing changes. Only the chunks the
// change touches are copied.
ItemIDList applied(const ListDelta& delta, const ItemIDList& list)
{
    if (delta.isNone())
        return list;
    const ListChange& change = delta.change;
    ItemIDList ids = list;
    if (change.move != 0) {
        const qsizetype last = change.prefix + change.removed - 1;
        if (change.move > 0)
            ids.move(change.prefix, last);
        else
            ids.move(last, change.prefix);
        return ids;
    }
    ids.remove(change.prefix, change.removed);
    for (qsizetype i = 0; i < delta.ids.size(); ++i)
        ids.insert(change.prefix + i, delta.ids.at(i));
    return ids;
}

// The delta back from what `delta` makes of `list` to `list`.
ListDelta inverse(const ListDelta& delta, const ItemIDList& list)
{
    const ListChange& change = delta.change;
    if (delta.isNone() || change.move != 0)
        return {{change.prefix, change.inserted, change.removed, -change.move}, {}};
    return {{change.prefix, change.inserted, change.removed, 0}, list.mid(change.prefix, change.removed)};
}

// The delta from `from` to `to`, found by comparing them (a single move is told apart, so that it
// keeps no ids).
ListDelta between(const ItemIDList& from, const ItemIDList& to)
{
    const ListChange change = ListChange::between(from, to, 1);
    if (change.move != 0 || (change.removed == 0 && change.inserted == 0))
        return {change, {}};
    return {change, to.mid(change.prefix, change.inserted)};
}

} // namespace

void UndoHistory::record(const SessionSnapshot& before, const KnownChanges& known)
{
    m_redo.clear();
    m_redoTop.reset();
    rebase({before.workingItemIDs, before.inboxItemIDs, before.completedItemIDs}, known);
    // Taken from the base itself, the new step differs from it in nothing.
    m_undo.append(Step {before.itemsByID, {}, before.inputDraft, before.isCreatingNewItem, before.selection,
        before.inlineEditState});
    // Its lists are the base itself, already held: undoing it hands them back instead of making
    // a copy of each changed list.
    m_undoTop = m_base;
}

std::optional<SessionSnapshot> UndoHistory::undo(const SessionSnapshot& current, const KnownChanges& known)
{
    return swap(m_undo, m_undoTop, m_redo, m_redoTop, current, known);
}

std::optional<SessionSnapshot> UndoHistory::redo(const SessionSnapshot& current, const KnownChanges& known)
{
    return swap(m_redo, m_redoTop, m_undo, m_undoTop, current, known);
}

std::optional<SessionSnapshot> UndoHistory::swap(Stack& from, std::optional<Lists>& fromTop, Stack& to,
    std::optional<Lists>& toTop, const SessionSnapshot& current, const KnownChanges& known)
{
    m_restoredChanges = {};
    if (from.isEmpty())
        return std::nullopt;
    const Lists now {current.workingItemIDs, current.inboxItemIDs, current.completedItemIDs};
    rebase(now, known);
    const Step step = from.takeLast();
    Lists restored;
    Step left {current.itemsByID, {}, current.inputDraft, current.isCreatingNewItem, current.selection,
        current.inlineEditState};
    for (std::size_t section = 0; section < 3; ++section) {
        const ListDelta& delta = step.sections[section];
        if (delta.isNone()) {
            restored[section] = now[section];
            continue;
        }
        restored[section] = fromTop ? (*fromTop)[section] : applied(delta, now[section]);
        left.sections[section] = inverse(delta, now[section]);
        m_restoredChanges[section] = delta.change;
    }
    // The step below the one taken is kept against the restored lists, and so is the state left,
    // whose own step below is kept against it.
    fromTop.reset();
    to.append(std::move(left));
    toTop = now;
    m_base = restored;
    return SessionSnapshot {step.itemsByID, restored[0], restored[1], restored[2], step.inputDraft,
        step.isCreatingNewItem, step.selection, step.inlineEditState};
}

void UndoHistory::rebase(const Lists& lists, const KnownChanges& known)
{
    for (std::size_t section = 0; section < 3; ++section) {
        const ItemIDList& base = m_base[section];
        const ItemIDList& now = lists[section];
        if (now.isSharedWith(base))
            continue;
        // The way back from now to the base: the inverse of the change made since, when it is known.
        const std::optional<KnownListChange>& change = known[section];
        const ListDelta toBase = change && change->leads(base, now)
            ? inverse(ListDelta {change->change, {}}, base)
            : between(now, base);
        for (const auto& [stack, top] : {std::pair(&m_undo, &m_undoTop), std::pair(&m_redo, &m_redoTop)}) {
            if (stack->isEmpty())
                continue;
            ListDelta& delta = stack->last().sections[section];
            // The usual case: the top step was taken from the base itself. Otherwise (no command
            // changes the lists between an undo and the next step) its list is made and compared.
            if (delta.isNone())
                delta = toBase;
            else
                delta = between(now, *top ? (**top)[section] : applied(delta, base));
        }
        m_base[section] = now;
    }
}

void UndoHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    m_base = {};
    m_undoTop.reset();
    m_redoTop.reset();
    m_restoredChanges = {};
}
