#pragma once

#include "panel/ChunkedList.h"
#include "panel/SelectionPresentationState.h"
#include "panel/TaskRowTable.h"
#include "session/RenderedRow.h"
#include "session/RowOutline.h"
#include "session/RowSplice.h"

#include <QHash>
#include <QList>
#include <QRectF>
#include <QUuid>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TaskTextLayoutCache;

// Where every block of the task list lies: section headers, the input row and the session's rows,
// top to bottom in content coordinates. Needs no widget: it is given the width, the rows and what
// decides a row's height (its expansion, an open editor, a running collapse), and measures text
// through the layout cache. Collapsed rows are one line high and need no text layout, so a list of
// any length lays out in one pass over its rows; a change of a few rows is spliced in, measuring
// only those. Below the first section header, each row has one block at its own index plus one
// (a separator's block is the header of the section after it). Rows and blocks are kept in chunks
// of a few hundred (ChunkedList): a splice moves the rows of one chunk, and the blocks below it
// move by the tops of the chunks after it, not one by one. A list taken in whole (opened, reloaded)
// costs its chunks, not its rows: the rows are shared with the list the session made, a run of
// plain rows alike is one block repeated, and where its tasks are is learnt in the one pass that
// lays it out (TaskRowTable); what the list before it held is handed to be freed elsewhere.
class TaskRowLayout {
public:
    // One laid-out block of the list, in content coordinates.
    struct Block {
        enum class Kind { header, input, task, completionShell, spacer };
        Kind kind = Kind::spacer;
        TaskSection section = TaskSection::working;
        qsizetype row = -1; // index into rows() for task, shell and spacer blocks
        double top = 0; // kept from the top of its chunk; the lookups give it from the list's top
        double height = 0;
        // Below 1 while the row collapses away or grows in; height is already scaled by it.
        double progress = 1;
    };

    // --- The list's geometry, in points ---
    static constexpr double horizontalPadding = 12; // beside the rows
    static constexpr double verticalPadding = 16; // above the first header and below the last row
    static constexpr double rowPadding = 12; // around a row's content, on all sides
    static constexpr double cornerRadius = 10; // of a row's rounded background
    static constexpr double markerWidth = 8;
    static constexpr double markerSpacing = 10; // between the marker and the text
    static constexpr double textLeadingInset = 2; // the text block sits this much closer to the marker
    static constexpr double noteSpacing = 4; // between a title and its note
    static constexpr double headerTopPadding = 18; // above every header but the first
    static constexpr double headerBottomPadding = 10;
    static constexpr double headerSideInset = 4;
    static constexpr double headerRuleSpacing = 8; // between a header's title and its rule
    static constexpr double minimumTextWidth = 120;
    static constexpr double unmeasuredTextWidth = 320; // before the list knows its width
    static constexpr double initialInputEditorHeight = 28;
    static constexpr double revealBottomPadding = 16; // kept below a revealed row
    // Where a row's text starts, from the list's left edge.
    static constexpr double textX
        = horizontalPadding + rowPadding + markerWidth + markerSpacing - textLeadingInset;

    explicit TaskRowLayout(TaskTextLayoutCache* cache = nullptr);

    // --- Inputs ---
    // The width of the scroll area (0 until it is first laid out).
    void setScrollContentWidth(double width);
    double scrollContentWidth() const { return m_scrollContentWidth; }
    using Rows = ChunkedList<RenderedRow>;
    // The tasks the rows come from, where task rows find their text (SessionRows::Seen::items):
    // given before the rows or splices made from them.
    void setItems(const SessionItemMap& items);
    // Where the layout hands what it lets go of when every row is replaced (the rows, the tasks and
    // the row index of a list reloaded), to be freed off this thread; freed in place when unset.
    using Release = std::function<void(std::shared_ptr<const void>)>;
    void setRelease(Release release) { m_release = std::move(release); }
    void setRows(const QList<RenderedRow>& rows);
    // Brings the rows up to date by splices (see SessionRows), placing the blocks of the new rows
    // and moving those below at once: no other row is measured or copied.
    void applySplices(const QList<RowSplice>& splices);
    // The session's rows, plus those still collapsing away.
    const Rows& rows() const { return m_rows; }
    // The title and note a task or shell row shows.
    RenderedRow::Text text(const RenderedRow& row) const { return row.text(m_items); }
    void setInputEditorHeight(double height) { m_inputEditorHeight = height; }
    double inputEditorHeight() const { return m_inputEditorHeight; }
    // The task with an open inline editor, and the heights inline editors measured for themselves.
    void setEditedTaskID(const std::optional<QUuid>& id) { m_editedTaskID = id; }
    void setEditorHeight(const QUuid& id, double height) { m_editorHeights.insert(id, height); }
    // The selected task shown expanded, and how each row presents its expansion.
    void setExpandedTaskID(const std::optional<QUuid>& id) { m_expandedTaskID = id; }
    std::optional<QUuid> expandedTaskID() const { return m_expandedTaskID; }
    const QHash<QUuid, SelectionPresentationState>& presentationStates() const { return m_states; }
    SelectionPresentationState& presentationState(const QUuid& id) { return m_states[id]; }
    void removePresentationState(const QUuid& id) { m_states.remove(id); }
    // The progress of the collapse transition of a row (1 when it has none), asked while running.
    using CollapseProgress = std::function<double(const RenderedRow&)>;

    // Lays the blocks out from the inputs. After new rows (setRows), after invalidate(), and while
    // rows collapse (progress given), every block is placed afresh; otherwise (a change of width
    // too) only the rows whose presentation may have changed are measured again, and the blocks
    // below the first that changed move.
    // While rows collapse, collapsing names their rows (as TaskRowTransitions keeps them): only
    // those and the rows that were collapsing are measured again.
    void relayout(const CollapseProgress& progress = {}, const QList<RenderedRow>& collapsing = {});
    // The fonts changed: the next layout measures every block.
    void invalidate();

    // --- Measures ---
    // The width the text of a row is laid out at.
    double textWidth() const;
    double collapsedTextHeight(TaskSection section) const;
    // Title, and the note below it, laid out in full.
    double expandedTextHeight(const RenderedRow& row) const;
    // The height an inline editor on row takes before it has measured itself.
    double editorEstimate(const RenderedRow& row) const;
    bool isExpanded(const QUuid& id) const;
    // The height of the text block of a task or shell row as it is presented now.
    double textBlockHeight(const RenderedRow& row) const;
    static double headerHeight(TaskSection section);

    // --- Lookups ---
    // Heights are kept on a grid of 1/1024 point, so that tops, summed chunk by chunk, are exact
    // and equal whatever the chunks.
    static double snapped(double height) { return std::round(height * 1024) / 1024; }
    qsizetype blockCount() const { return m_blocks.size(); }
    // The block at index, top to bottom.
    Block block(qsizetype index) const;
    // The index of the last block whose top is at most y, or -1.
    qsizetype blockIndexAt(double y) const;
    double contentHeight() const { return m_contentHeight; }
    // The block that contains content height y.
    std::optional<Block> blockAt(double y) const;
    // The row of a task, found by index at the same cost anywhere in the list; and the input row.
    std::optional<Block> taskBlock(const QUuid& id) const;
    std::optional<Block> inputBlock() const;
    // The index in rows() of the task or shell row of a task, or -1.
    qsizetype rowIndex(const QUuid& id, RenderedRow::Kind kind) const;
    // The block of a row identifier ("task-…", "completion-shell-…", "input", "section-header-…").
    std::optional<Block> blockForRowID(const QString& rowID) const;
    QString blockID(const Block& block) const;
    // The rectangle of a block in a list of width listWidth.
    static QRectF blockRect(const Block& block, double listWidth);
    // The rectangle of a row's text block.
    QRectF textRect(const Block& block) const;

private:
    // Rows within this many places of where a task was are searched before the index is rebuilt:
    // a move, an arrival or a departure shifts the rows after it by one.
    static constexpr qsizetype nearbyRows = 8;
    // Splice updates the row index follows before it is built again.
    static constexpr size_t maxSpliceUpdates = 4096;
    // Rows one update brings that are added to the row index one by one; beyond, it is built again.
    static constexpr qsizetype maxNotedRows = 4096;

    void layOutAll(const CollapseProgress& progress);
    // Lays out rows taken in whole with their outline (a list loaded) from the outline alone, reading
    // no row; false, having laid out nothing, when the rows or how they are shown are not what the
    // outline describes.
    bool layOutOutlined();
    // The steps both lay-outs share: blocks emptied (the first header added), a block measured
    // and added, a run of plain rows added, and the missing headers added and the blocks stacked.
    void startBlocks();
    void addBlock(Block block);
    void appendPlainRun(const Block& plain, qsizetype count);
    void finishBlocks();
    // Measures the rows whose presentation may have changed.
    void layOutChanged();
    // Scales the collapsing rows and those that were; false when a row is not where it was expected.
    bool updateProgress(const CollapseProgress& progress, const QList<RenderedRow>& collapsing);
    // Places the blocks of the chunks that changed, and the chunks from the first of them on.
    void stack();
    // Sets a block's height and progress, if they changed.
    void setHeight(qsizetype index, double height, double progress);
    // Whether a task or shell row takes its section's collapsed height without measuring.
    bool isPlain(const RenderedRow& row) const;
    double blockHeight(const Block& block) const;
    // The index of the block of a row, or -1.
    qsizetype blockOfRow(qsizetype row) const;
    // The block of the row at index (its height not yet measured).
    Block blockFor(qsizetype index) const;
    void noteRowPlaced(qsizetype row);
    // rows with splices applied, laid into new chunks.
    static Rows spliced(const Rows& rows, const QList<RowSplice>& splices);
    // A search shows a few rows of a whole list (taken in one splice) and then every row again: the
    // whole list's layout is set aside when its rows first change (the search, or an edit before
    // it), and taken back as it was when the same list returns, followed by the changes made since,
    // rather than laid out again row by row.
    struct WholeLayout {
        QList<RenderedRow> list; // the rows were taken as this list
        Rows rows;
        ChunkedList<Block> blocks;
        std::vector<double> chunkTops;
        double contentHeight;
        double collapsedHeights[3];
        qsizetype inputBlock;
        qsizetype headerBlocks[3];
        std::vector<size_t> measuredBlocks;
        std::vector<size_t> progressBlocks;
        TaskRowTable table; // empty when it was not kept
    };
    // After rows were replaced: whether they are one whole list, taken as it is (with its outline).
    // The layout set aside of the list before is let go of by the caller.
    void noteWholeList(const QList<RowSplice>& splices);
    // Before splices that change the rows of a whole list: sets its layout aside.
    void parkWholeLayout(const QList<RowSplice>& splices);
    // Takes back the layout set aside when the splices bring back the same list; false otherwise.
    bool restoreWholeLayout(const QList<RowSplice>& splices);
    // Lets go of the layout set aside.
    void dropWholeLayout();
    // Forgets where rows are: the next look-up that needs it indexes every row.
    void forgetRowIndex();
    void indexEveryRow() const;

    // The splices applied since the row index was built, each as where its stretches were before
    // it and how far the rows after each moved, so that a row found there is found again.
    struct SpliceStep {
        qsizetype at; // in the rows before this update
        qsizetype removed;
        qsizetype shift; // of the rows after this stretch, counting the stretches before it
    };
    using SpliceUpdate = std::vector<SpliceStep>;
    static qsizetype rowAfter(qsizetype row, const SpliceUpdate& update);

    TaskTextLayoutCache* m_cache;
    double m_scrollContentWidth = 0;
    SessionItemMap m_items;
    // The tasks before the last setItems, until the splices tell whether every row was replaced.
    SessionItemMap m_previousItems;
    Release m_release;
    Rows m_rows;
    // The outline of m_rows, while they are still a list taken in whole with one.
    std::shared_ptr<const RowOutline> m_outline;
    double m_inputEditorHeight = initialInputEditorHeight;
    std::optional<QUuid> m_editedTaskID;
    QHash<QUuid, double> m_editorHeights;
    std::optional<QUuid> m_expandedTaskID;
    QHash<QUuid, SelectionPresentationState> m_states;

    ChunkedList<Block> m_blocks;
    // The top of each chunk of blocks, and the bottom of the last.
    std::vector<double> m_chunkTops;
    double m_contentHeight = 0;
    bool m_structureValid = false;
    // Whether every row has its block at its index plus one (after a layout, until new rows come).
    bool m_blocksMatchRows = false;
    double m_collapsedHeights[3] = {};
    // Where the input row and the headers are (the blocks), followed through splices.
    qsizetype m_inputBlock = -1;
    qsizetype m_headerBlocks[3] = {-1, -1, -1};
    // Blocks that were not plain at the last layout: they may need measuring again.
    std::vector<size_t> m_measuredBlocks;
    // Blocks scaled by a collapse at the last layout.
    std::vector<size_t> m_progressBlocks;
    // Where the task and shell rows of each task were, after how many of the splice updates,
    // checked on use. Made when first needed after the rows were replaced: every task row in a table
    // (m_taskTable, as of m_tableUpdates), every shell row here. Rows that splices bring, and tasks
    // found through the table, are noted here as they come and override the table.
    struct RowPlace {
        qsizetype row = -1;
        qsizetype updates = 0;
    };
    qsizetype followed(const RowPlace& place) const;
    mutable QHash<QUuid, RowPlace> m_taskRows;
    mutable QHash<QUuid, RowPlace> m_shellRows;
    mutable TaskRowTable m_taskTable;
    mutable qsizetype m_tableUpdates = 0;
    mutable bool m_rowIndexStale = true;
    std::vector<SpliceUpdate> m_spliceUpdates;
    // The list the rows are, while they are one list taken whole and unchanged since.
    QList<RenderedRow> m_wholeList;
    std::optional<WholeLayout> m_parked;
};
