#pragma once

#include "session/CommittedSnapshot.h"

#include <QList>
#include <QtGlobal>

#include <array>

// Makes the search summaries (TextSummary) of a list that was read on the interface thread, on the
// writer's thread: a list loaded there comes with them, one opened at start-up does not. It reads
// only its own copy of the content, which never changes, so the session goes on meanwhile.
struct SummaryJob {
    // Given: the session's content as the list was loaded.
    CommittedSnapshot content;
    // Made: each section's summaries, in list order (working, inbox, completed).
    std::array<QList<quint64>, 3> summaries;
    // The interface thread's own: whether the writer may be given the job (after the launch), and
    // whether it was.
    bool mayStart = false;
    bool started = false;

    void run();
};
