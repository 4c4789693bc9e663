#pragma once

#include "document/VeskDocument.h"
#include "session/ItemIDList.h"
#include "session/SessionItemMap.h"

#include <QList>
#include <QUuid>

class SessionController;

// The committed content of a session at one moment: its tasks and the three section lists. Taking
// one copies no task, since the containers are shared copy-on-write, and the copy never changes
// afterwards, so another thread may turn it into a document while the session goes on.
struct CommittedSnapshot {
    SessionItemMap itemsByID;
    ItemIDList workingItemIDs;
    ItemIDList inboxItemIDs;
    ItemIDList completedItemIDs;

    static CommittedSnapshot of(const SessionController& session);

    // The session's committedDocument as it was when the snapshot was taken.
    VeskDocument document() const;
    // True when both hold the very same containers, and so the same content, without comparing a task.
    bool sharesContentWith(const CommittedSnapshot& other) const;
};
