#include "session/SessionItemMap.h"

namespace {

bool sameItem(const SessionItem& a, const SessionItem& b)
{
    const bool sameNote = a.note.has_value() == b.note.has_value()
        && (!a.note || a.note->isSharedWith(*b.note) || *a.note == *b.note);
    return sameNote && (a.title.isSharedWith(b.title) || a.title == b.title);
}

} // namespace

bool SessionItemMap::forEachDifference(const SessionItemMap& before,
    const std::function<bool(const SessionItem* before, const SessionItem* after)>& changed) const
{
    if (d == before.d)
        return true;
    const Leaf none;
    for (std::size_t n = 0; n < fanOut; ++n) {
        const Node* old = before.d ? before.d->nodes[n].constData() : nullptr;
        const Node* now = d ? d->nodes[n].constData() : nullptr;
        if (old == now)
            continue;
        for (std::size_t l = 0; l < fanOut; ++l) {
            const Leaf& a = old ? old->leaves[l] : none;
            const Leaf& b = now ? now->leaves[l] : none;
            if (a.isSharedWith(b))
                continue;
            // Leaves hold a few dozen items: each side's ids are looked up in the other.
            for (const SessionItem& item : b) {
                const qsizetype at = lowerBound(a, item.id);
                const SessionItem* was = at < a.size() && a.at(at).id == item.id ? &a.at(at) : nullptr;
                if ((!was || !sameItem(*was, item)) && !changed(was, &item))
                    return false;
            }
            for (const SessionItem& item : a) {
                const qsizetype at = lowerBound(b, item.id);
                if ((at == b.size() || b.at(at).id != item.id) && !changed(&item, nullptr))
                    return false;
            }
        }
    }
    return true;
}
