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

void TaskRowLayout::setRows(const QList<RenderedRow>& rows)
{
    m_rows = rows;
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

void TaskRowLayout::relayout(const CollapseProgress& progress)
{
    m_blocks.clear();
    m_blocks.reserve(size_t(m_rows.size()) + 4);
    double y = verticalPadding;
    // Rows arrive section by section; collapsed rows of a section share one height.
    const double collapsed[3] = {collapsedTextHeight(TaskSection::working),
        collapsedTextHeight(TaskSection::inbox), collapsedTextHeight(TaskSection::completed)};
    qsizetype index = 0;
    for (TaskSection section : allTaskSections) {
        Block header;
        header.kind = Block::Kind::header;
        header.section = section;
        header.top = y;
        header.height = headerHeight(section);
        m_blocks.push_back(header);
        y += header.height;
        if (section == TaskSection::inbox && m_creatingNewItem) {
            Block input;
            input.kind = Block::Kind::input;
            input.section = section;
            input.top = y;
            input.height = 2 * rowPadding + m_inputEditorHeight;
            m_blocks.push_back(input);
            y += input.height;
        }
        for (; index < m_rows.size(); ++index) {
            const RenderedRow& row = m_rows[index];
            if (row.kind == RenderedRow::Kind::input)
                continue;
            if (row.kind == RenderedRow::Kind::separator) {
                if (row.section == section) {
                    ++index;
                    break;
                }
                continue;
            }
            if (row.section != section)
                break;
            Block block;
            block.section = section;
            block.row = index;
            block.top = y;
            if (row.kind == RenderedRow::Kind::spacer) {
                block.kind = Block::Kind::spacer;
                block.height = row.height;
            } else {
                block.kind
                    = row.kind == RenderedRow::Kind::task ? Block::Kind::task : Block::Kind::completionShell;
                const bool plain = !m_states.contains(row.itemID) && m_expandedTaskID != row.itemID
                    && m_editedTaskID != row.itemID;
                block.height = 2 * rowPadding + (plain ? collapsed[int(section)] : textBlockHeight(row));
                if (progress) {
                    block.progress = progress(row);
                    block.height *= block.progress;
                }
            }
            m_blocks.push_back(block);
            y += block.height;
        }
    }
    m_contentHeight = y + verticalPadding;
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

const TaskRowLayout::Block* TaskRowLayout::taskBlock(const QUuid& id) const
{
    for (const Block& block : m_blocks) {
        if (block.kind == Block::Kind::task && m_rows[block.row].itemID == id)
            return &block;
    }
    return nullptr;
}

const TaskRowLayout::Block* TaskRowLayout::inputBlock() const
{
    for (const Block& block : m_blocks) {
        if (block.kind == Block::Kind::input)
            return &block;
    }
    return nullptr;
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
    for (const Block& block : m_blocks) {
        if (blockID(block) == rowID)
            return &block;
    }
    return nullptr;
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
