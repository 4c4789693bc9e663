#include "panel/TaskRowLayout.h"

#include "panel/PanelStyle.h"
#include "panel/TaskTextLayoutCache.h"
#include "session/SessionItem.h"

#include <QFontMetricsF>

#include <algorithm>

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
    m_structureValid = false;
}

void TaskRowLayout::setRows(const QList<RenderedRow>& rows)
{
    m_rows = rows;
    m_structureValid = false;
    m_rowIndexStale = true;
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
    if (splices.isEmpty())
        return;
    // Where the stretches were before this update, so that the row index follows its rows.
    SpliceUpdate update;
    update.reserve(size_t(splices.size()));
    qsizetype shift = 0;
    for (const RowSplice& splice : splices) {
        const qsizetype at = splice.at - shift;
        shift += splice.inserted.size() - splice.removed;
        update.push_back(SpliceStep {at, splice.removed, shift});
    }
    if (m_spliceUpdates.size() >= maxSpliceUpdates) {
        m_taskRows.clear();
        m_shellRows.clear();
        m_spliceUpdates.clear();
        m_rowIndexStale = true;
    }
    m_spliceUpdates.push_back(update);

    const bool follow = m_blocksMatchRows && m_structureValid;
    constexpr qsizetype inPlace = 8;
    if (follow && splices.size() <= inPlace) {
        for (const RowSplice& splice : splices) {
            const qsizetype common = std::min(splice.removed, splice.inserted.size());
            const auto blockAt = m_blocks.begin() + splice.at + 1 + common;
            if (splice.removed > common) {
                m_rows.remove(splice.at + common, splice.removed - common);
                m_blocks.erase(blockAt, blockAt + (splice.removed - common));
            } else if (splice.inserted.size() > common) {
                m_rows.insert(splice.at + common, splice.inserted.size() - common, RenderedRow());
                m_blocks.insert(blockAt, size_t(splice.inserted.size() - common), Block());
            }
            for (qsizetype i = 0; i < splice.inserted.size(); ++i)
                m_rows[splice.at + i] = splice.inserted[i];
        }
    } else {
        applyRowSplices(m_rows, splices);
        if (follow) {
            // Many stretches (a filter that changed): the kept blocks are laid into a new list in one pass.
            std::vector<Block> next;
            next.reserve(size_t(m_rows.size()) + 1);
            next.push_back(m_blocks.front());
            qsizetype from = 0; // the old row the next kept block belongs to
            for (const RowSplice& splice : splices) {
                const qsizetype kept = splice.at - (qsizetype(next.size()) - 1);
                next.insert(next.end(), m_blocks.begin() + from + 1, m_blocks.begin() + from + 1 + kept);
                from += kept + splice.removed;
                next.resize(next.size() + size_t(splice.inserted.size())); // measured below
            }
            next.insert(next.end(), m_blocks.begin() + from + 1, m_blocks.end());
            m_blocks = std::move(next);
        }
    }

    // The blocks measured last time follow their rows; the new rows are measured and indexed.
    std::vector<size_t> measured;
    for (size_t block : m_measuredBlocks) {
        const qsizetype row = rowAfter(qsizetype(block) - 1, update);
        if (row >= 0)
            measured.push_back(size_t(row) + 1);
    }
    m_measuredBlocks = std::move(measured);
    measured.clear();
    for (size_t block : m_progressBlocks) {
        const qsizetype row = rowAfter(qsizetype(block) - 1, update);
        if (row >= 0)
            measured.push_back(size_t(row) + 1);
    }
    m_progressBlocks = std::move(measured);
    for (const RowSplice& splice : splices) {
        for (qsizetype row = splice.at; row < splice.at + splice.inserted.size(); ++row) {
            noteRowPlaced(row);
            if (!follow)
                continue;
            Block block = blockFor(row);
            if ((block.kind == Block::Kind::task || block.kind == Block::Kind::completionShell)
                && !isPlain(m_rows[row]))
                m_measuredBlocks.push_back(size_t(row) + 1);
            block.height = blockHeight(block);
            m_blocks[size_t(row) + 1] = block;
        }
    }
    if (follow)
        stack(size_t(splices.first().at) + 1);
    else
        m_blocksMatchRows = false;
}

void TaskRowLayout::noteRowPlaced(qsizetype row)
{
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
    double height = m_cache->textHeight(row.title, titleFontOf(row.section), width);
    if (row.note && !row.note->isEmpty())
        height += noteSpacing + m_cache->textHeight(*row.note, PanelStyle::noteFont(), width);
    return height;
}

double TaskRowLayout::editorEstimate(const RenderedRow& row) const
{
    const QFont font = titleFontOf(row.section);
    const QString joined = editableText(row.title, row.note);
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
        return m_rows[block.row].height;
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
    size_t first = m_blocks.size();
    if ((progress || !m_progressBlocks.empty()) && !updateProgress(progress, collapsing, first)) {
        layOutAll(progress);
        return;
    }
    layOutChanged(first);
}

bool TaskRowLayout::updateProgress(
    const CollapseProgress& progress, const QList<RenderedRow>& collapsing, size_t& first)
{
    std::vector<size_t> targets = std::move(m_progressBlocks);
    m_progressBlocks.clear();
    if (progress) {
        for (const RenderedRow& row : collapsing) {
            const Block* block = blockOfRow(rowIndex(row.itemID, row.kind));
            if (!block)
                continue;
            if (m_rows[block->row].section != row.section)
                return false;
            targets.push_back(size_t(block - m_blocks.data()));
        }
    }
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    for (size_t index : targets) {
        Block& block = m_blocks[index];
        if (block.kind != Block::Kind::task && block.kind != Block::Kind::completionShell)
            continue;
        const double scale = progress ? progress(m_rows[block.row]) : 1;
        const double height = blockHeight(block) * scale;
        if (height != block.height || scale != block.progress) {
            block.height = height;
            block.progress = scale;
            first = std::min(first, index);
        }
        if (scale != 1)
            m_progressBlocks.push_back(index);
    }
    return true;
}

void TaskRowLayout::layOutAll(const CollapseProgress& progress)
{
    m_blocks.clear();
    m_blocks.reserve(size_t(m_rows.size()) + 4);
    m_measuredBlocks.clear();
    m_progressBlocks.clear();
    // Collapsed rows of a section share one height.
    for (TaskSection section : allTaskSections)
        m_collapsedHeights[int(section)] = collapsedTextHeight(section);
    const auto add = [this](Block block) {
        block.height = blockHeight(block);
        m_blocks.push_back(block);
    };
    add(Block {Block::Kind::header, TaskSection::working});
    bool headers[3] = {true, false, false};
    for (qsizetype index = 0; index < m_rows.size(); ++index) {
        Block block = blockFor(index);
        if (block.kind == Block::Kind::header)
            headers[int(block.section)] = true;
        const bool taskOrShell
            = block.kind == Block::Kind::task || block.kind == Block::Kind::completionShell;
        if (taskOrShell && !isPlain(m_rows[index]))
            m_measuredBlocks.push_back(m_blocks.size());
        add(block);
        if (progress && taskOrShell) {
            Block& added = m_blocks.back();
            added.progress = progress(m_rows[index]);
            added.height *= added.progress;
            if (added.progress != 1)
                m_progressBlocks.push_back(m_blocks.size() - 1);
        }
    }
    // Rows without their separators still get every header.
    for (TaskSection section : allTaskSections) {
        if (!headers[int(section)])
            add(Block {Block::Kind::header, section});
    }
    stack(0);
    m_blocksMatchRows = m_blocks.size() == size_t(m_rows.size()) + 1;
    m_structureValid = true;
}

void TaskRowLayout::layOutChanged(size_t first)
{
    // The blocks that were measured last time, and those whose presentation is not plain now.
    std::vector<size_t> candidates = std::move(m_measuredBlocks);
    m_measuredBlocks.clear();
    const auto addTask = [&](const QUuid& id) {
        for (RenderedRow::Kind kind : {RenderedRow::Kind::task, RenderedRow::Kind::completionShell}) {
            if (const Block* block = blockOfRow(rowIndex(id, kind)))
                candidates.push_back(size_t(block - m_blocks.data()));
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
        Block& block = m_blocks[index];
        const double height = blockHeight(block) * block.progress;
        if (height != block.height) {
            block.height = height;
            first = std::min(first, index);
        }
        if ((block.kind == Block::Kind::task || block.kind == Block::Kind::completionShell)
            && !isPlain(m_rows[block.row]))
            m_measuredBlocks.push_back(index);
    }
    stack(first);
}

void TaskRowLayout::stack(size_t first)
{
    for (qsizetype& header : m_headerBlocks) {
        if (header >= qsizetype(first))
            header = -1;
    }
    if (m_inputBlock >= qsizetype(first))
        m_inputBlock = -1;
    // The same additions, in the same order, as a layout from the top: the result is identical.
    double y = first == 0 ? verticalPadding : m_blocks[first - 1].top + m_blocks[first - 1].height;
    for (size_t i = first; i < m_blocks.size(); ++i) {
        Block& block = m_blocks[i];
        block.top = y;
        y += block.height;
        if (block.kind == Block::Kind::header)
            m_headerBlocks[int(block.section)] = qsizetype(i);
        else if (block.kind == Block::Kind::input)
            m_inputBlock = qsizetype(i);
        else
            block.row = qsizetype(i) - 1;
    }
    const Block& last = m_blocks.back();
    m_contentHeight = last.top + last.height + verticalPadding;
}

const TaskRowLayout::Block* TaskRowLayout::blockAt(double y) const
{
    auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), y,
        [](double value, const Block& block) { return value < block.top; });
    if (it == m_blocks.begin())
        return nullptr;
    --it;
    return y < it->top + it->height ? &*it : nullptr;
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
        qsizetype was = found->row;
        for (qsizetype u = found->updates; u < updates && was >= 0; ++u)
            was = rowAfter(was, m_spliceUpdates[size_t(u)]);
        for (qsizetype distance = 0; was >= 0 && distance <= nearbyRows; ++distance) {
            for (qsizetype row : {was - distance, was + distance}) {
                if (matches(row)) {
                    *found = RowPlace {row, updates};
                    return row;
                }
            }
        }
    }
    if (!m_rowIndexStale)
        return -1;
    m_taskRows.clear();
    m_shellRows.clear();
    m_taskRows.reserve(m_rows.size());
    for (qsizetype row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].kind == RenderedRow::Kind::task)
            m_taskRows.insert(m_rows[row].itemID, RowPlace {row, updates});
        else if (m_rows[row].kind == RenderedRow::Kind::completionShell)
            m_shellRows.insert(m_rows[row].itemID, RowPlace {row, updates});
    }
    m_rowIndexStale = false;
    return index.value(id).row;
}

const TaskRowLayout::Block* TaskRowLayout::blockOfRow(qsizetype row) const
{
    if (!m_blocksMatchRows || row < 0 || row >= m_rows.size())
        return nullptr;
    return &m_blocks[size_t(row) + 1];
}

const TaskRowLayout::Block* TaskRowLayout::taskBlock(const QUuid& id) const
{
    return blockOfRow(rowIndex(id, RenderedRow::Kind::task));
}

const TaskRowLayout::Block* TaskRowLayout::inputBlock() const
{
    return m_inputBlock >= 0 ? &m_blocks[size_t(m_inputBlock)] : nullptr;
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

const TaskRowLayout::Block* TaskRowLayout::blockForRowID(const QString& rowID) const
{
    if (rowID == QLatin1String("input"))
        return inputBlock();
    const Block* block = nullptr;
    const QLatin1String headerPrefix("section-header-");
    const QUuid id = QUuid::fromString(QStringView(rowID).right(36));
    if (rowID.startsWith(headerPrefix)) {
        for (TaskSection section : allTaskSections) {
            if (QStringView(rowID).mid(headerPrefix.size()) == taskSectionRawValue(section))
                block = &m_blocks[size_t(m_headerBlocks[int(section)])];
        }
    } else if (rowID.startsWith(QLatin1String("task-"))) {
        block = blockOfRow(rowIndex(id, RenderedRow::Kind::task));
    } else if (rowID.startsWith(QLatin1String("completion-shell-"))) {
        block = blockOfRow(rowIndex(id, RenderedRow::Kind::completionShell));
    } else {
        // Spacers: one per empty section.
        for (const Block& candidate : m_blocks) {
            if (candidate.kind == Block::Kind::spacer && blockID(candidate) == rowID)
                return &candidate;
        }
    }
    // The identifier also names the row's section.
    return block && blockID(*block) == rowID ? block : nullptr;
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
