#pragma once

#include "session/InlineEditState.h"
#include "session/ItemIDList.h"
#include "session/SessionItemMap.h"
#include "session/SessionSelection.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// The undoable part of a session. The containers are implicitly shared, so taking a snapshot is
// cheap and only what a command changes afterwards is copied.
struct SessionSnapshot {
    SessionItemMap itemsByID;
    ItemIDList workingItemIDs;
    ItemIDList inboxItemIDs;
    ItemIDList completedItemIDs;
    QString inputDraft;
    bool isCreatingNewItem = false;
    SessionSelection selection;
    std::optional<InlineEditState> inlineEditState;

    friend bool operator==(const SessionSnapshot& a, const SessionSnapshot& b) = default;
};
