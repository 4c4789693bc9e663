#pragma once

#include "document/VeskDocument.h"
#include "session/ItemIDList.h"
#include "session/RenderedRow.h"
#include "session/RowOutline.h"
#include "session/SessionItemMap.h"

#include <array>
#include <atomic>
#include <memory>
#include <optional>

// A list's tasks made ready for a session: fresh ids in the list's order, the id list of each
// section and the item map, with the document's texts shared, not copied, and the rows a window
// shows of them when nothing is filtered. Made without touching any session, so any thread may make
// it: on a long list this is most of loading.
struct LoadedContent {
    SessionItemMap items;
    ItemIDList working;
    ItemIDList inbox;
    ItemIDList completed;
    // SessionRows::unfilteredRows of the lists, once made.
    QList<RenderedRow> rows;
    // The outline of rows, made with them, so that the window that takes them reads no row to lay
    // them out.
    std::shared_ptr<const RowOutline> outline;
    // Each section's TextSummary of its tasks' texts, in list order (working, inbox, completed),
    // once made.
    std::array<QList<quint64>, 3> summaries;

    // Without rows: a long list's rows are best made once the document is let go of.
    static LoadedContent of(const VeskDocument& document);
    // The same, unless stop is set, from any thread, before it is done: it then gives up within a few
    // thousand tasks and returns nothing.
    static std::optional<LoadedContent> of(const VeskDocument& document, const std::atomic<bool>* stop);
    // Rows and their outline; nothing once stop is set, from any thread (looked at every few
    // thousand rows).
    void makeRows(const std::atomic<bool>* stop = nullptr);
    // Reads every text once more: made where that holds up no window (the writer's thread), so that
    // a search typed before the texts are folded ahead reads these instead.
    void makeSummaries();
};
