#include "panel/TaskRowLayout.h"

#include "panel/PanelStyle.h"
#include "panel/TaskTextLayoutCache.h"
#include "session/SessionItem.h"

#include <QFontMetricsF>

#include <algorithm>
#include <utility>

namespace {

QFont titleFontOf(TaskSection section)
{
    return PanelStyle::titleFont(section == TaskSection::working);
}

} // namespace

TaskRowLayout::TaskRowLayout(TaskTextLayoutCache* cache)
    : m_cache(cache ? cache : &TaskTextLayoutCache::shared())
{ }

void TaskRowLayout::setScrollContentWidth(double width)
{
    if (m_scrollContentWidth == width)
        return;
    m_scrollContentWidth = width;
    // Only the rows that are not plain (measured, expanded, edited) have heights that depend on the
    // width, and the next layout measures those again anyway: every block stays where it is.
    dropWholeLayout();
}

void TaskRowLayout::setItems(const SessionItemMap& items)
{
    m_previousItems = std::exchange(m_items, items);
}

void TaskRowLayout::setRows(const QList<RenderedRow>& rows)
{
    m_wholeList = {};
    dropWholeLayout();
    m_rows.assign(rows);
    m_outline.reset();
    m_structureValid = false;
    forgetRowIndex();
    // Until the next layout no row has a block.
    m_blocksMatchRows = false;
}

TaskRowLayout::Block TaskRowLayout::blockFor(qsizetype index) const
{
    const RenderedRow& row = m_rows[index];
    switch (row.kind) {
    case RenderedRow::Kind::separator:
        return Block {Block::Kind::header, TaskSection(int(row.section) + 1)};
    case RenderedRow::Kind::input:
        return Block {Block::Kind::input, TaskSection::inbox};
    case RenderedRow::Kind::task:
        return Block {Block::Kind::task, row.section, index};
    case RenderedRow::Kind::completionShell:
        return Block {Block::Kind::completionShell, row.section, index};
    case RenderedRow::Kind::spacer:
        break;
    }
    return Block {Block::Kind::spacer, row.section, index};
}

void TaskRowLayout::applySplices(const QList<RowSplice>& splices)
{
    if (splices.isEmpty()) {
        m_previousItems = {};
        return;
    }
    // A list taken whole and the changes since, spliced into it: one pass after the other.
    if (const QList<QList<RowSplice>> passes = rowSplicePasses(splices); passes.size() > 1) {
        for (const QList<RowSplice>& pass : passes)
            applySplices(pass);
        return;
    }
    m_outline.reset();
    if (restoreWholeLayout(splices))
        return;
    parkWholeLayout(splices);
    // Where the stretches were before this update, so that the row index follows its rows.
    SpliceUpdate update;
    update.reserve(size_t(splices.size()));
    qsizetype shift = 0;
    for (const RowSplice& splice : splices) {
        const qsizetype at = splice.at - shift;
        shift += splice.inserted.size() - splice.removed;
        update.push_back(SpliceStep {at, splice.removed, shift});
    }
    if (m_spliceUpdates.size() >= maxSpliceUpdates)
        forgetRowIndex();
    m_spliceUpdates.push_back(update);

    qsizetype insertedRows = 0;
    for (const RowSplice& splice : splices)
        insertedRows += splice.inserted.size();
    // Many new rows (a list opened or reloaded, a search that changed most rows): the rows are laid
    // into new chunks in one pass, the next layout places every block afresh, and where tasks are
    // is learnt again when first asked.
    if (insertedRows > maxNotedRows) {
        Rows rows = spliced(m_rows, splices);
        std::swap(m_rows, rows);
        noteWholeList(splices);
        if (m_release) {
            // Freeing a long list's rows and tasks takes as long as making them; so does freeing the
            // layout set aside of the list before.
            struct Replaced {
                Rows rows;
                Rows indexedRows;
                SessionItemMap items;
                std::optional<WholeLayout> parked;
            };
            m_release(std::make_shared<const Replaced>(Replaced {std::move(rows), m_taskTable.takeRows(),
                std::exchange(m_previousItems, {}), std::exchange(m_parked, std::nullopt)}));
        }
        dropWholeLayout();
        m_previousItems = {};
        forgetRowIndex();
        m_blocksMatchRows = false;
        m_structureValid = false;
        return;
    }

    // The tasks let go of share most of what they hold with those kept: freed here at little cost.
    m_previousItems = {};
    const bool follow = m_blocksMatchRows && m_structureValid;
    constexpr qsizetype inPlace = 8;
    if (splices.size() <= inPlace) {
        for (const RowSplice& splice : splices) {
            const qsizetype common = std::min(splice.removed, splice.inserted.size());
            const qsizetype blockAt = splice.at + 1 + common;
            if (splice.removed > common) {
                m_rows.remove(splice.at + common, splice.removed - common);
                if (follow)
                    m_blocks.remove(blockAt, splice.removed - common);
            } else if (splice.inserted.size() > common) {
                m_rows.insert(splice.at + common, splice.inserted.size() - common, RenderedRow());
                if (follow)
                    m_blocks.insert(blockAt, splice.inserted.size() - common, Block());
            }
            for (qsizetype i = 0; i < splice.inserted.size(); ++i)
                m_rows.mutableAt(splice.at + i) = splice.inserted[i];
        }
    } else {
        // Many stretches (a filter that changed): the kept rows and blocks are laid into new lists
        // in one pass.
        if (follow) {
            ChunkedList<Block> blocks;
            blocks.append(m_blocks, 0, 1);
            qsizetype from = 0; // the old row the next kept row is
            qsizetype at = 0;
            for (const RowSplice& splice : splices) {
                blocks.append(m_blocks, from + 1, splice.at - at);
                blocks.insert(blocks.size(), splice.inserted.size(), Block()); // measured below
                from += splice.at - at + splice.removed;
                at = splice.at + splice.inserted.size();
            }
            blocks.append(m_blocks, from + 1, m_blocks.size() - from - 1);
            m_blocks = std::move(blocks);
            m_chunkTops.clear();
        }
        m_rows = spliced(m_rows, splices);
    }

    // The blocks measured last time, the input row and the headers follow their rows; the new rows
    // are measured and indexed.
    const auto follows = [&](size_t block) {
        const qsizetype row = rowAfter(qsizetype(block) - 1, update);
        return row >= 0 ? qsizetype(row) + 1 : qsizetype(-1);
    };
    std::vector<size_t> measured;
    for (size_t block : m_measuredBlocks) {
        if (const qsizetype moved = follows(block); moved >= 0)
            measured.push_back(size_t(moved));
    }
    m_measuredBlocks = std::move(measured);
    measured.clear();
    for (size_t block : m_progressBlocks) {
        if (const qsizetype moved = follows(block); moved >= 0)
            measured.push_back(size_t(moved));
    }
    m_progressBlocks = std::move(measured);
    if (m_inputBlock > 0)
        m_inputBlock = follows(size_t(m_inputBlock));
    for (qsizetype& header : m_headerBlocks) {
        if (header > 0)
            header = follows(size_t(header));
    }
    for (const RowSplice& splice : splices) {
        for (qsizetype row = splice.at; row < splice.at + splice.inserted.size(); ++row) {
            noteRowPlaced(row);
            if (!follow)
                continue;
            Block block = blockFor(row);
            if (block.kind == Block::Kind::header)
                m_headerBlocks[int(block.section)] = row + 1;
            else if (block.kind == Block::Kind::input)
                m_inputBlock = row + 1;
            else if ((block.kind == Block::Kind::task || block.kind == Block::Kind::completionShell)
                && !isPlain(m_rows[row]))
                m_measuredBlocks.push_back(size_t(row) + 1);
            block.height = snapped(blockHeight(block));
            m_blocks.mutableAt(row + 1) = block;
        }
    }
    if (follow) {
        stack();
    } else {
        // The blocks no longer belong to the rows: the next layout starts afresh.
        m_blocksMatchRows = false;
        m_structureValid = false;
    }
}

TaskRowLayout::Rows TaskRowLayout::spliced(const Rows& rows, const QList<RowSplice>& splices)
{
    Rows result;
    qsizetype from = 0; // the old row the next kept row is
    for (const RowSplice& splice : splices) {
        const qsizetype kept = splice.at - result.size();
        result.append(rows, from, kept);
        // Many rows (a list loaded) are shared with the splice, chunk by chunk, not copied.
        if (splice.inserted.size() >= Rows::chunkSize / 2)
            result.share(splice.inserted, 0, splice.inserted.size());
        else
            result.append(splice.inserted.constData(), splice.inserted.size());
        from += kept + splice.removed;
    }
    result.append(rows, from, rows.size() - from);
    return result;
}

void TaskRowLayout::noteWholeList(const QList<RowSplice>& splices)
{
    const bool whole
        = splices.size() == 1 && splices[0].at == 0 && splices[0].inserted.size() == m_rows.size();
    m_wholeList = whole ? splices[0].inserted : QList<RenderedRow>();
    // Taken with its outline: laid out from the outline.
    const std::shared_ptr<const RowOutline>& outline = splices[0].outline;
    if (whole && outline && outline->rowCount() == m_rows.size())
        m_outline = outline;
}

void TaskRowLayout::invalidate()
{
    m_structureValid = false;
    dropWholeLayout();
}

void TaskRowLayout::dropWholeLayout()
{
    // It may hold the last copy of a long list's rows, which take as long to free as to make.
    if (m_parked && m_release)
        m_release(std::make_shared<const WholeLayout>(std::move(*m_parked)));
    m_parked.reset();
}

void TaskRowLayout::parkWholeLayout(const QList<RowSplice>& splices)
{
    // Rows change from here: they are no longer the whole list they were taken as. Its layout is
    // set aside as it is, for the list to come back with the changes made since spliced into it (a
    // search cleared); once rows changed, the layout set aside then stays. Not for another long
    // list taken whole in its place (a reload).
    QList<RenderedRow> list = std::exchange(m_wholeList, {});
    const bool replaced = splices.size() == 1 && splices[0].at == 0 && splices[0].removed == m_rows.size()
        && splices[0].inserted.size() > maxNotedRows;
    if (list.isEmpty() || !m_structureValid || !m_blocksMatchRows || replaced)
        return;
    // Only a table that shares the rows is kept: one of its own would cost as much as the rows.
    dropWholeLayout();
    const bool table
        = !m_rowIndexStale && m_taskTable.sharesRows() && m_tableUpdates == 0 && m_spliceUpdates.empty();
    m_parked = WholeLayout {std::move(list), m_rows, m_blocks, m_chunkTops, m_contentHeight,
        {m_collapsedHeights[0], m_collapsedHeights[1], m_collapsedHeights[2]}, m_inputBlock,
        {m_headerBlocks[0], m_headerBlocks[1], m_headerBlocks[2]}, m_measuredBlocks, m_progressBlocks,
        table ? m_taskTable : TaskRowTable()};
}

bool TaskRowLayout::restoreWholeLayout(const QList<RowSplice>& splices)
{
    if (!m_parked || splices.size() != 1 || splices[0].at != 0 || splices[0].removed != m_rows.size()
        || splices[0].inserted.constData() != m_parked->list.constData()
        || splices[0].inserted.size() != m_parked->list.size())
        return false;
    WholeLayout parked = std::move(*m_parked);
    m_parked.reset();
    if (m_release) {
        struct Replaced {
            Rows rows;
            ChunkedList<Block> blocks;
            SessionItemMap items;
        };
        m_release(std::make_shared<const Replaced>(Replaced {
            std::exchange(m_rows, {}), std::exchange(m_blocks, {}), std::exchange(m_previousItems, {})}));
    }
    m_previousItems = {};
    forgetRowIndex();
    m_rows = std::move(parked.rows);
    m_blocks = std::move(parked.blocks);
    m_chunkTops = std::move(parked.chunkTops);
    m_contentHeight = parked.contentHeight;
    std::copy(std::begin(parked.collapsedHeights), std::end(parked.collapsedHeights), m_collapsedHeights);
    m_inputBlock = parked.inputBlock;
    std::copy(std::begin(parked.headerBlocks), std::end(parked.headerBlocks), m_headerBlocks);
    m_measuredBlocks = std::move(parked.measuredBlocks);
    m_progressBlocks = std::move(parked.progressBlocks);
    if (!parked.table.isEmpty()) {
        m_taskTable = std::move(parked.table);
        m_tableUpdates = 0;
        m_rowIndexStale = false;
    }
    m_wholeList = std::move(parked.list);
    // Laid out as they were; the next layout measures again the rows whose presentation may have
    // changed meanwhile (layOutChanged).
    m_blocksMatchRows = true;
    m_structureValid = true;
    return true;
}

void TaskRowLayout::forgetRowIndex()
{
    m_taskRows.clear();
    m_shellRows.clear();
    m_taskTable.clear();
    m_spliceUpdates.clear();
    m_rowIndexStale = true;
}

void TaskRowLayout::noteRowPlaced(qsizetype row)
{
    // A stale index is built anew, in one pass over every row, at the first look-up it cannot answer.
    if (m_rowIndexStale)
        return;
    const RenderedRow& placed = m_rows[row];
    if (placed.kind == RenderedRow::Kind::task)
        m_taskRows.insert(placed.itemID, RowPlace {row, qsizetype(m_spliceUpdates.size())});
    else if (placed.kind == RenderedRow::Kind::completionShell)
        m_shellRows.insert(placed.itemID, RowPlace {row, qsizetype(m_spliceUpdates.size())});
}

qsizetype TaskRowLayout::rowAfter(qsizetype row, const SpliceUpdate& update)
{
    if (row < 0)
        return -1;
    auto step = std::upper_bound(update.begin(), update.end(), row,
        [](qsizetype value, const SpliceStep& candidate) { return value < candidate.at; });
    if (step == update.begin())
        return row;
    --step;
    return row < step->at + step->removed ? -1 : row + step->shift;
}

double TaskRowLayout::textWidth() const
{
    const double rowWidth = m_scrollContentWidth - 2 * horizontalPadding;
    if (rowWidth <= 0)
        return unmeasuredTextWidth;
    return std::max(rowWidth - 2 * rowPadding - markerWidth - markerSpacing, minimumTextWidth);
}

double TaskRowLayout::collapsedTextHeight(TaskSection section) const
{
    const QFont font = titleFontOf(section);
    const QFontMetricsF metrics(font);
    return std::max(metrics.ascent() + metrics.descent() + metrics.leading(), font.pointSizeF());
}

double TaskRowLayout::expandedTextHeight(const RenderedRow& row) const
{
    const double width = textWidth();
    const RenderedRow::Text shown = text(row);
    double height = m_cache->textHeight(shown.title, titleFontOf(row.section), width);
    if (shown.note && !shown.note->isEmpty())
        height += noteSpacing + m_cache->textHeight(*shown.note, PanelStyle::noteFont(), width);
    return height;
}

double TaskRowLayout::editorEstimate(const RenderedRow& row) const
{
    const QFont font = titleFontOf(row.section);
    const RenderedRow::Text shown = text(row);
    const QString joined = editableText(shown.title, shown.note);
    const double line = QFontMetricsF(font).lineSpacing();
    if (m_scrollContentWidth - 2 * horizontalPadding <= 0)
        return line * std::max<qsizetype>(1, joined.count(QLatin1Char('\n')) + 1);
    return std::max(m_cache->textHeight(joined, font, textWidth()), line);
}

bool TaskRowLayout::isExpanded(const QUuid& id) const
{
    if (m_expandedTaskID == id)
        return true;
    auto found = m_states.constFind(id);
    return found != m_states.constEnd() && found->visibleExpanded;
}

double TaskRowLayout::textBlockHeight(const RenderedRow& row) const
{
    if (row.kind == RenderedRow::Kind::task && m_editedTaskID == row.itemID) {
        auto measured = m_editorHeights.constFind(row.itemID);
        return measured != m_editorHeights.constEnd() ? *measured : editorEstimate(row);
    }
    auto state = m_states.constFind(row.itemID);
    if (state != m_states.constEnd() && state->animatedHeight)
        return *state->animatedHeight;
    if (row.kind == RenderedRow::Kind::task && isExpanded(row.itemID))
        return expandedTextHeight(row);
    return collapsedTextHeight(row.section);
}

double TaskRowLayout::headerHeight(TaskSection section)
{
    QFont font = PanelStyle::font(PanelStyle::TextStyle::caption2);
    font.setBold(true);
    return (section == TaskSection::working ? 0 : headerTopPadding) + QFontMetricsF(font).lineSpacing()
        + headerBottomPadding;
}

bool TaskRowLayout::isPlain(const RenderedRow& row) const
{
    return !m_states.contains(row.itemID) && m_expandedTaskID != row.itemID && m_editedTaskID != row.itemID;
}

double TaskRowLayout::blockHeight(const Block& block) const
{
    switch (block.kind) {
    case Block::Kind::header:
        return headerHeight(block.section);
    case Block::Kind::input:
        return 2 * rowPadding + m_inputEditorHeight;
    case Block::Kind::spacer:
        return m_rows[block.row].height();
    default: {
        const RenderedRow& row = m_rows[block.row];
        return 2 * rowPadding
            + (isPlain(row) ? m_collapsedHeights[int(block.section)] : textBlockHeight(row));
    }
    }
}

void TaskRowLayout::relayout(const CollapseProgress& progress, const QList<RenderedRow>& collapsing)
{
    if (!m_structureValid) {
        layOutAll(progress);
        return;
    }
    if ((progress || !m_progressBlocks.empty()) && !updateProgress(progress, collapsing)) {
        layOutAll(progress);
        return;
    }
    layOutChanged();
}

void TaskRowLayout::setHeight(qsizetype index, double height, double progress)
{
    const Block& block = m_blocks[index];
    height = snapped(height);
    if (height == block.height && progress == block.progress)
        return;
    Block& changed = m_blocks.mutableAt(index);
    changed.height = height;
    changed.progress = progress;
}

bool TaskRowLayout::updateProgress(const CollapseProgress& progress, const QList<RenderedRow>& collapsing)
{
    std::vector<size_t> targets = std::move(m_progressBlocks);
    m_progressBlocks.clear();
    if (progress) {
        for (const RenderedRow& row : collapsing) {
            const qsizetype at = rowIndex(row.itemID, row.kind);
            const qsizetype index = blockOfRow(at);
            if (index < 0)
                continue;
            if (m_rows[at].section != row.section)
                return false;
            targets.push_back(size_t(index));
        }
    }
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    for (size_t index : targets) {
        const Block block = this->block(qsizetype(index));
        if (block.kind != Block::Kind::task && block.kind != Block::Kind::completionShell)
            continue;
        const double scale = progress ? progress(m_rows[block.row]) : 1;
        setHeight(qsizetype(index), blockHeight(block) * scale, scale);
        if (scale != 1)
            m_progressBlocks.push_back(index);
    }
    return true;
}

void TaskRowLayout::layOutAll(const CollapseProgress& progress)
{
    if (!progress && layOutOutlined())
        return;
    startBlocks();
    // Collapsed rows of a section share one height.
    double plainHeights[3];
    for (TaskSection section : allTaskSections) {
        plainHeights[int(section)] = snapped(2 * rowPadding + m_collapsedHeights[int(section)]);
    }
    // The few tasks that may not be plain, so that the others are told at a glance.
    const bool fewApart = m_states.size() <= 16;
    std::vector<QUuid> shownApart;
    if (fewApart) {
        for (auto it = m_states.keyBegin(); it != m_states.keyEnd(); ++it)
            shownApart.push_back(*it);
        for (const std::optional<QUuid>& id : {m_expandedTaskID, m_editedTaskID}) {
            if (id)
                shownApart.push_back(*id);
        }
    }
    // Most rows are one line high, their height known without a look at their text: a run of them
    // alike is kept as one block repeated, without a block of its own for each.
    Block run;
    qsizetype runLength = 0;
    const auto endRun = [&] {
        appendPlainRun(run, runLength);
        runLength = 0;
    };
    // Rows read here anyway: where tasks are is learnt on the way, when it is to be learnt again and
    // the rows allow it without a table of their own (TaskRowTable::LeafOrder).
    TaskRowTable::LeafOrder order
        = m_rowIndexStale ? TaskRowTable::LeafOrder(m_rows) : TaskRowTable::LeafOrder();
    std::vector<std::pair<QUuid, qsizetype>> shells;
    qsizetype index = 0;
    for (qsizetype chunk = 0; chunk < m_rows.chunkCount(); ++chunk) {
        order.startChunk();
        for (const RenderedRow& row : m_rows.chunk(chunk)) {
            order.note(row);
            if (row.kind == RenderedRow::Kind::completionShell)
                shells.emplace_back(row.itemID, index);
            const bool taskOrShell
                = row.kind == RenderedRow::Kind::task || row.kind == RenderedRow::Kind::completionShell;
            const bool plain = taskOrShell
                && (fewApart ? std::find(shownApart.begin(), shownApart.end(), row.itemID) == shownApart.end()
                             : isPlain(row));
            if (plain && !progress) {
                const Block::Kind kind
                    = row.kind == RenderedRow::Kind::task ? Block::Kind::task : Block::Kind::completionShell;
                if (runLength > 0 && (run.kind != kind || run.section != row.section))
                    endRun();
                if (runLength == 0)
                    run = Block {kind, row.section, -1, 0, plainHeights[int(row.section)]};
                ++runLength;
                ++index;
                continue;
            }
            endRun();
            if (taskOrShell && !plain)
                m_measuredBlocks.push_back(size_t(m_blocks.size()));
            addBlock(blockFor(index));
            if (progress && taskOrShell) {
                Block& added = m_blocks.mutableAt(m_blocks.size() - 1);
                added.progress = progress(row);
                added.height = snapped(added.height * added.progress);
                if (added.progress != 1)
                    m_progressBlocks.push_back(size_t(m_blocks.size()) - 1);
            }
            ++index;
        }
        order.endChunk();
    }
    endRun();
    if (order.holds()) {
        m_taskRows.clear();
        m_shellRows.clear();
        m_taskTable.adopt(m_rows, std::move(order));
        m_tableUpdates = qsizetype(m_spliceUpdates.size());
        for (const auto& [id, row] : shells)
            m_shellRows.insert(id, RowPlace {row, m_tableUpdates});
        m_rowIndexStale = false;
    }
    finishBlocks();
}

bool TaskRowLayout::layOutOutlined()
{
    static_assert(RowOutline::chunkRows == Rows::chunkSize);
    if (!m_outline || m_outline->rowCount() != m_rows.size())
        return false;
    const RowOutline& outline = *m_outline;
    // The rows must lie in the chunks the outline counts: shared from the list it was made of.
    const qsizetype chunks = m_rows.chunkCount();
    if (outline.inLeafOrder() && qsizetype(outline.lastLeaves().size()) != chunks)
        return false;
    for (qsizetype chunk = 0; chunk < chunks; ++chunk) {
        if (m_rows.isOwned(chunk) || m_rows.isRepeated(chunk)
            || m_rows.chunkStart(chunk) != chunk * RowOutline::chunkRows)
            return false;
    }
    // Where tasks are, from the outline's leaves.
    if (m_rowIndexStale) {
        if (!outline.inLeafOrder())
            return false;
        m_taskRows.clear();
        m_shellRows.clear();
        m_taskTable.adopt(
            m_rows, TaskRowTable::LeafOrder::known(outline.firstLeaves(), outline.lastLeaves()));
        m_tableUpdates = qsizetype(m_spliceUpdates.size());
        m_rowIndexStale = false;
        for (const RowOutline::Stretch& stretch : outline.stretches()) {
            if (stretch.kind == RenderedRow::Kind::completionShell)
                m_shellRows.insert(m_rows[stretch.first].itemID, RowPlace {stretch.first, m_tableUpdates});
        }
    }
    // Every task row is plain unless a task shown otherwise is among them: then each row is read.
    constexpr qsizetype maxApart = 256;
    if (m_states.size() > maxApart)
        return false;
    const auto listed = [this](const QUuid& id) {
        return rowIndex(id, RenderedRow::Kind::task) >= 0
            || rowIndex(id, RenderedRow::Kind::completionShell) >= 0;
    };
    for (auto it = m_states.keyBegin(); it != m_states.keyEnd(); ++it) {
        if (listed(*it))
            return false;
    }
    for (const std::optional<QUuid>& id : {m_expandedTaskID, m_editedTaskID}) {
        if (id && listed(*id))
            return false;
    }

    startBlocks();
    for (const RowOutline::Stretch& stretch : outline.stretches()) {
        if (stretch.kind == RenderedRow::Kind::task) {
            // A run of plain rows alike: one block repeated, as layOutAll keeps it.
            const Block plain {Block::Kind::task, stretch.section, -1, 0,
                snapped(2 * rowPadding + m_collapsedHeights[int(stretch.section)])};
            appendPlainRun(plain, stretch.count);
            continue;
        }
        for (qsizetype row = stretch.first; row < stretch.first + stretch.count; ++row)
            addBlock(blockFor(row));
    }
    finishBlocks();
    return true;
}

void TaskRowLayout::startBlocks()
{
    m_blocks.clear();
    m_chunkTops.clear();
    m_measuredBlocks.clear();
    m_progressBlocks.clear();
    m_inputBlock = -1;
    for (qsizetype& header : m_headerBlocks)
        header = -1;
    for (TaskSection section : allTaskSections)
        m_collapsedHeights[int(section)] = collapsedTextHeight(section);
    addBlock(Block {Block::Kind::header, TaskSection::working});
}

void TaskRowLayout::addBlock(Block block)
{
    block.height = snapped(blockHeight(block));
    if (block.kind == Block::Kind::header)
        m_headerBlocks[int(block.section)] = m_blocks.size();
    else if (block.kind == Block::Kind::input)
        m_inputBlock = m_blocks.size();
    m_blocks.append(block);
}

void TaskRowLayout::appendPlainRun(const Block& plain, qsizetype count)
{
    // A long run is one block repeated, without a block of its own for each row.
    if (count >= Rows::chunkSize / 4) {
        m_blocks.appendRepeated(plain, count);
    } else {
        for (qsizetype i = 0; i < count; ++i)
            m_blocks.append(plain);
    }
}

void TaskRowLayout::finishBlocks()
{
    // Rows without their separators still get every header.
    for (TaskSection section : allTaskSections) {
        if (m_headerBlocks[int(section)] < 0)
            addBlock(Block {Block::Kind::header, section});
    }
    m_blocksMatchRows = m_blocks.size() == m_rows.size() + 1;
    stack();
    m_structureValid = true;
}

void TaskRowLayout::layOutChanged()
{
    // The blocks that were measured last time, and those whose presentation is not plain now.
    std::vector<size_t> candidates = std::move(m_measuredBlocks);
    m_measuredBlocks.clear();
    const auto addTask = [&](const QUuid& id) {
        for (RenderedRow::Kind kind : {RenderedRow::Kind::task, RenderedRow::Kind::completionShell}) {
            if (const qsizetype index = blockOfRow(rowIndex(id, kind)); index >= 0)
                candidates.push_back(size_t(index));
        }
    };
    if (m_expandedTaskID)
        addTask(*m_expandedTaskID);
    if (m_editedTaskID)
        addTask(*m_editedTaskID);
    for (auto it = m_states.keyBegin(); it != m_states.keyEnd(); ++it)
        addTask(*it);
    if (m_inputBlock >= 0)
        candidates.push_back(size_t(m_inputBlock));
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    for (size_t index : candidates) {
        const Block block = this->block(qsizetype(index));
        setHeight(qsizetype(index), blockHeight(block) * block.progress, block.progress);
        if ((block.kind == Block::Kind::task || block.kind == Block::Kind::completionShell)
            && !isPlain(m_rows[block.row]))
            m_measuredBlocks.push_back(index);
    }
    stack();
}

void TaskRowLayout::stack()
{
    // Within a chunk that changed, each block lies below the one before it; each chunk lies below
    // the one before it. Heights on their grid make every sum exact, in any grouping.
    m_chunkTops.resize(size_t(m_blocks.chunkCount()) + 1);
    m_chunkTops[0] = verticalPadding;
    m_blocks.takeChanges([this](qsizetype chunk, bool changed) {
        double height;
        if (m_blocks.isRepeated(chunk)) {
            // Each block lies its height below the one before it, the first at the chunk's top.
            height = double(m_blocks.chunkLength(chunk)) * m_blocks.repeatedValue(chunk).height;
        } else if (changed) {
            double y = 0;
            for (Block& block : m_blocks.ownChunk(chunk)) {
                block.top = y;
                y += block.height;
            }
            height = y;
        } else {
            const Block& last = m_blocks.chunk(chunk).back();
            height = last.top + last.height;
        }
        m_chunkTops[size_t(chunk) + 1] = m_chunkTops[size_t(chunk)] + height;
    });
    m_contentHeight = m_chunkTops.back() + verticalPadding;
}

TaskRowLayout::Block TaskRowLayout::block(qsizetype index) const
{
    const auto [chunk, offset] = m_blocks.locate(index);
    Block block;
    if (m_blocks.isRepeated(chunk)) {
        block = m_blocks.repeatedValue(chunk);
        block.top = double(offset) * block.height;
    } else {
        block = m_blocks.chunk(chunk)[size_t(offset)];
    }
    block.top += m_chunkTops[size_t(chunk)];
    block.row = block.kind == Block::Kind::header || block.kind == Block::Kind::input ? -1 : index - 1;
    return block;
}

qsizetype TaskRowLayout::blockIndexAt(double y) const
{
    const qsizetype chunks = m_blocks.chunkCount();
    const auto chunkAfter = std::upper_bound(m_chunkTops.begin(), m_chunkTops.begin() + chunks, y);
    const qsizetype chunk = qsizetype(chunkAfter - m_chunkTops.begin()) - 1;
    if (chunk < 0)
        return -1;
    const double top = m_chunkTops[size_t(chunk)];
    if (m_blocks.isRepeated(chunk)) {
        const double height = m_blocks.repeatedValue(chunk).height;
        const qsizetype last = m_blocks.chunkLength(chunk) - 1;
        const double guess = height > 0 ? std::floor((y - top) / height) : 0;
        qsizetype offset = guess <= 0 ? 0 : guess >= double(last) ? last : qsizetype(guess);
        // The division may round across a block's edge: the tops themselves decide.
        while (offset > 0 && top + double(offset) * height > y)
            --offset;
        while (offset < last && top + double(offset + 1) * height <= y)
            ++offset;
        return m_blocks.chunkStart(chunk) + offset;
    }
    const std::span<const Block> blocks = m_blocks.chunk(chunk);
    const auto after = std::upper_bound(blocks.begin(), blocks.end(), y,
        [top](double value, const Block& block) { return value < top + block.top; });
    return m_blocks.chunkStart(chunk) + qsizetype(after - blocks.begin()) - 1;
}

std::optional<TaskRowLayout::Block> TaskRowLayout::blockAt(double y) const
{
    const qsizetype index = blockIndexAt(y);
    if (index < 0)
        return std::nullopt;
    const Block found = block(index);
    return y < found.top + found.height ? std::optional<Block>(found) : std::nullopt;
}

qsizetype TaskRowLayout::followed(const RowPlace& place) const
{
    qsizetype row = place.row;
    for (size_t u = size_t(place.updates); u < m_spliceUpdates.size() && row >= 0; ++u)
        row = rowAfter(row, m_spliceUpdates[u]);
    return row;
}

qsizetype TaskRowLayout::rowIndex(const QUuid& id, RenderedRow::Kind kind) const
{
    QHash<QUuid, RowPlace>& index = kind == RenderedRow::Kind::task ? m_taskRows : m_shellRows;
    const auto matches = [&](qsizetype row) {
        return row >= 0 && row < m_rows.size() && m_rows[row].kind == kind && m_rows[row].itemID == id;
    };
    const qsizetype updates = qsizetype(m_spliceUpdates.size());
    auto found = index.find(id);
    if (found != index.end()) {
        // Where the splices since it was noted took the row; rows set anew may lie a few places off.
        const qsizetype was = followed(*found);
        for (qsizetype distance = 0; was >= 0 && distance <= nearbyRows; ++distance) {
            for (qsizetype row : {was - distance, was + distance}) {
                if (matches(row)) {
                    *found = RowPlace {row, updates};
                    return row;
                }
            }
        }
        // Noted after the table was made: the task has no row now.
        return -1;
    }
    if (m_rowIndexStale)
        indexEveryRow();
    if (kind != RenderedRow::Kind::task)
        return -1;
    // Where the table had the task's row; the splices since have moved it or taken it away.
    qsizetype row = -1;
    m_taskTable.find(id, [&](qsizetype was) {
        row = followed(RowPlace {was, m_tableUpdates});
        return matches(row);
    });
    if (!matches(row))
        return -1;
    m_taskRows.insert(id, RowPlace {row, updates});
    return row;
}

void TaskRowLayout::indexEveryRow() const
{
    m_taskRows.clear();
    m_shellRows.clear();
    m_taskTable.build(m_rows);
    m_tableUpdates = qsizetype(m_spliceUpdates.size());
    // Shells are few: each has its place noted.
    for (qsizetype chunk = 0; chunk < m_rows.chunkCount(); ++chunk) {
        qsizetype row = m_rows.chunkStart(chunk);
        for (const RenderedRow& placed : m_rows.chunk(chunk)) {
            if (placed.kind == RenderedRow::Kind::completionShell)
                m_shellRows.insert(placed.itemID, RowPlace {row, m_tableUpdates});
            ++row;
        }
    }
    m_rowIndexStale = false;
}

qsizetype TaskRowLayout::blockOfRow(qsizetype row) const
{
    if (!m_blocksMatchRows || row < 0 || row >= m_rows.size())
        return -1;
    return row + 1;
}

std::optional<TaskRowLayout::Block> TaskRowLayout::taskBlock(const QUuid& id) const
{
    const qsizetype index = blockOfRow(rowIndex(id, RenderedRow::Kind::task));
    return index >= 0 ? std::optional<Block>(block(index)) : std::nullopt;
}

std::optional<TaskRowLayout::Block> TaskRowLayout::inputBlock() const
{
    return m_inputBlock >= 0 ? std::optional<Block>(block(m_inputBlock)) : std::nullopt;
}

QString TaskRowLayout::blockID(const Block& block) const
{
    switch (block.kind) {
    case Block::Kind::header:
        return QStringLiteral("section-header-") + taskSectionRawValue(block.section);
    case Block::Kind::input:
        return QStringLiteral("input");
    default:
        return m_rows[block.row].id();
    }
}

std::optional<TaskRowLayout::Block> TaskRowLayout::blockForRowID(const QString& rowID) const
{
    if (rowID == QLatin1String("input"))
        return inputBlock();
    qsizetype index = -1;
    const QLatin1String headerPrefix("section-header-");
    const QUuid id = QUuid::fromString(QStringView(rowID).right(36));
    if (rowID.startsWith(headerPrefix)) {
        for (TaskSection section : allTaskSections) {
            if (QStringView(rowID).mid(headerPrefix.size()) == taskSectionRawValue(section))
                index = m_headerBlocks[int(section)];
        }
    } else if (rowID.startsWith(QLatin1String("task-"))) {
        index = blockOfRow(rowIndex(id, RenderedRow::Kind::task));
    } else if (rowID.startsWith(QLatin1String("completion-shell-"))) {
        index = blockOfRow(rowIndex(id, RenderedRow::Kind::completionShell));
    } else {
        // Spacers: one per empty section.
        for (qsizetype i = 0; i < blockCount(); ++i) {
            const Block candidate = block(i);
            if (candidate.kind == Block::Kind::spacer && blockID(candidate) == rowID)
                return candidate;
        }
    }
    if (index < 0)
        return std::nullopt;
    // The identifier also names the row's section.
    const Block found = block(index);
    return blockID(found) == rowID ? std::optional<Block>(found) : std::nullopt;
}

QRectF TaskRowLayout::blockRect(const Block& block, double listWidth)
{
    return QRectF(
        horizontalPadding, block.top, std::max(0.0, listWidth - 2 * horizontalPadding), block.height);
}

QRectF TaskRowLayout::textRect(const Block& block) const
{
    return QRectF(textX, block.top + rowPadding, textWidth(), block.height - 2 * rowPadding);
}
