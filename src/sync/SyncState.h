#pragma once

#include <QMetaType>

// How the session of a document relates to its file.
enum class SyncState {
    // The file holds what was last read or written.
    inSync,
    // The file was reported changed and the session holds no unsaved work.
    externallyModifiedReloadable,
    // The file changed while the session holds unsaved work.
    externallyModifiedConflicted,
    // The file is gone, unreadable or no longer a task file, or another file error occurred.
    unavailable,
    // The file can no longer be written.
    unwritable,
};

// Saving is skipped and editing blocked in the states that need the user's decision first.
constexpr bool blocksSaving(SyncState state)
{
    return state == SyncState::externallyModifiedConflicted || state == SyncState::unavailable
        || state == SyncState::unwritable;
}

Q_DECLARE_METATYPE(SyncState)
