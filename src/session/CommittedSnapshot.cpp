#include "session/CommittedSnapshot.h"

#include "session/SessionController.h"

CommittedSnapshot CommittedSnapshot::of(const SessionController& session)
{
    return {session.itemsByID(), session.workingItemIDs(), session.inboxItemIDs(),
        session.itemIDs(TaskSection::completed)};
}

VeskDocument CommittedSnapshot::document() const
{
    const auto tasks = [this](const ItemIDList& ids) {
        QList<VeskTask> result;
        result.reserve(ids.size());
        for (const QUuid& id : ids)
            if (const SessionItem* item = itemsByID.pointerTo(id))
                result.append(VeskTask {item->title, item->note});
        return result;
    };
    return VeskDocument {tasks(workingItemIDs), tasks(inboxItemIDs), tasks(completedItemIDs)};
}

bool CommittedSnapshot::sharesContentWith(const CommittedSnapshot& other) const
{
    return itemsByID.isSharedWith(other.itemsByID) && workingItemIDs.isSharedWith(other.workingItemIDs)
        && inboxItemIDs.isSharedWith(other.inboxItemIDs)
        && completedItemIDs.isSharedWith(other.completedItemIDs);
}
