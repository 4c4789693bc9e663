// Painting of the task list: only the blocks that intersect the exposed area are drawn.
#include "panel/PanelStyle.h"
#include "panel/TaskListView.h"
#include "panel/TaskTextLayout.h"
#include "panel/TaskTextLayoutCache.h"
#include "session/SessionController.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include <cmath>

namespace {

QFont headerFont()
{
    QFont font = PanelStyle::font(PanelStyle::TextStyle::caption2);
    font.setBold(true);
    return font;
}

} // namespace

QString TaskListView::sectionTitle(TaskSection section)
{
    return taskSectionTitle(section);
}

void TaskListView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    const double offset = scrollOffset();
    const QRectF exposed = QRectF(event->rect()).translated(0, offset);
    painter.translate(0, -offset);

    int painted = 0;
    const Block* raised = nullptr;
    auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), exposed.top(),
        [](double value, const Block& block) { return value < block.top; });
    if (it != m_blocks.begin())
        --it;
    for (; it != m_blocks.end() && it->top < exposed.bottom(); ++it) {
        const Block& block = *it;
        if (block.top + block.height < exposed.top())
            continue;
        const QRectF rect = blockRect(block);
        switch (block.kind) {
        case Block::Kind::header:
            paintHeader(painter, block, rect);
            break;
        case Block::Kind::input:
            paintInputRow(painter, rect);
            ++painted;
            break;
        case Block::Kind::task:
        case Block::Kind::completionShell:
            // The raised row lies above its neighbours, so it is painted last.
            if (block.kind == Block::Kind::task && m_raisedTaskID
                && m_rows[block.row].itemID == *m_raisedTaskID)
                raised = &block;
            else
                paintTransitionedRow(painter, block, rect);
            ++painted;
            break;
        case Block::Kind::spacer:
            break;
        }
    }
    if (raised)
        paintTransitionedRow(painter, *raised, blockRect(*raised));
    m_lastPaintedRowCount = painted;
}

void TaskListView::paintHeader(QPainter& painter, const Block& block, const QRectF& rect)
{
    const QFont font = headerFont();
    const QFontMetricsF metrics(font);
    const double top = rect.top() + (block.section == TaskSection::working ? 0 : 18);
    const QRectF line(rect.left() + 4, top, rect.width() - 8, metrics.lineSpacing());
    const QString title = sectionTitle(block.section).toUpper();
    painter.setFont(font);
    painter.setPen(secondaryTextColor());
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, title);
    const double ruleLeft = line.left() + metrics.horizontalAdvance(title) + 8;
    if (ruleLeft < line.right()) {
        painter.fillRect(QRectF(ruleLeft, std::round(line.center().y()), line.right() - ruleLeft, 1),
            PanelStyle::withAlpha(secondaryTextColor(), 0.25));
    }
}

void TaskListView::paintMarker(
    QPainter& painter, TaskSection section, QPointF origin, const QColor& color, double lineSpacing)
{
    const double height = section == TaskSection::completed ? 2 : 4;
    const double radius = section == TaskSection::completed ? 1 : 2;
    const double drop = std::max((lineSpacing - height) * 0.5 - 0.5, 0.0);
    const QRectF marker(origin.x(), origin.y() + drop, 8, height);
    painter.save();
    if (section == TaskSection::inbox) {
        painter.setPen(QPen(color, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(marker.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawRoundedRect(marker, radius, radius);
    }
    painter.restore();
}

void TaskListView::paintTaskRow(QPainter& painter, const Block& block, const QRectF& rect)
{
    const RenderedRow& row = m_rows[block.row];
    const bool shell = block.kind == Block::Kind::completionShell;
    const bool selected = !shell && m_session->selection() == SessionSelection::task(row.itemID);
    const bool editing
        = !shell && m_session->inlineEditState() && m_session->inlineEditState()->itemID == row.itemID;
    const double raise = shell ? 0 : raiseProgress(row.itemID);
    // A task in its completion preview already looks done: struck through, marker as completed.
    const bool previewing = m_session->taskAnimations().contains(row.itemID);
    const bool completed = row.section == TaskSection::completed || row.isCompleted || previewing;

    QPainterPath shape;
    shape.addRoundedRect(rect, cornerRadius, cornerRadius);
    if (!shell) {
        QColor fill = Qt::transparent;
        if (editing)
            fill = editingFill();
        else if (selected)
            fill = PanelStyle::readableFill(selectionColor(), selectedTextColor());
        else if (raise > 0)
            fill = PanelStyle::isDark(palette()) ? PanelStyle::withAlpha(Qt::white, 0.05 * raise)
                                                 : PanelStyle::withAlpha(Qt::black, 0.035 * raise);
        if (fill.alpha() > 0)
            painter.fillPath(shape, fill);
        if (m_contextMenuTargetItemID == row.itemID && !selected) {
            painter.save();
            painter.setPen(QPen(selectionColor(), 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(shape);
            painter.restore();
        }
    }

    const QColor textColor = selected
        ? selectedTextColor()
        : (row.section == TaskSection::completed ? secondaryTextColor() : primaryTextColor());
    QColor markerColor = selected
        ? selectedTextColor()
        : (m_windowActive ? selectionColor() : PanelStyle::secondaryLabelColor(palette()));
    if (row.section == TaskSection::completed)
        markerColor = PanelStyle::withAlpha(markerColor, 0.72);

    QFont titleFont = PanelStyle::titleFont(row.section == TaskSection::working);
    const double lineSpacing = QFontMetricsF(titleFont).lineSpacing();
    paintMarker(painter, row.section, QPointF(rect.left() + rowPadding, rect.top() + rowPadding), markerColor,
        lineSpacing);
    if (editing)
        return; // the inline editor lies over the text block

    const TextGeometry geometry = textGeometry();
    const double textTop = rect.top() + rowPadding;
    const double blockHeight = rect.height() - 2 * rowPadding;
    const bool expanded = !shell && isExpandedRow(row.itemID);
    if (completed)
        titleFont.setStrikeOut(true);

    painter.save();
    painter.setClipRect(
        QRectF(geometry.textX, textTop, geometry.textWidth + 1, blockHeight + 1), Qt::IntersectClip);
    painter.setPen(textColor);
    const TaskDisplayText display = m_cache->displayText(row.title);
    const std::optional<int> lineLimit = expanded ? std::nullopt : std::optional<int>(1);
    TaskTextLayout title(display, titleFont, geometry.textWidth, lineLimit);
    title.draw(&painter, QPointF(geometry.textX, textTop));
    if (expanded && row.note && !row.note->isEmpty()) {
        QFont noteFont = PanelStyle::noteFont();
        if (completed)
            noteFont.setStrikeOut(true);
        painter.setPen(PanelStyle::withAlpha(textColor, 0.82));
        TaskDisplayText note {*row.note, {}};
        TaskTextLayout noteLayout(note, noteFont, geometry.textWidth);
        noteLayout.draw(&painter, QPointF(geometry.textX, textTop + title.usedHeight() + 4));
    }
    painter.restore();

    // Link areas are computed a moment after a row with links is first shown.
    if (!display.links.isEmpty() && !shell) {
        const LinkLayoutKey key = TaskTextLayoutCache::linkLayoutKey(display.text,
            PanelStyle::titleFont(row.section == TaskSection::working), geometry.textWidth, lineLimit);
        if (!m_cache->linkRegions(key)) {
            QPointer<QWidget> target(viewport());
            const QFont font = PanelStyle::titleFont(row.section == TaskSection::working);
            const double width = geometry.textWidth;
            m_cache->requestLinkRegions(
                key,
                [display, font, width, lineLimit] {
                    return computeLinkRegions(display, width, font, lineLimit);
                },
                [target] {
                    if (target)
                        target->update();
                });
        }
    }
}

void TaskListView::paintInputRow(QPainter& painter, const QRectF& rect)
{
    const bool selected = m_session->selection().isInput();
    QPainterPath shape;
    shape.addRoundedRect(rect, cornerRadius, cornerRadius);
    if (selected)
        painter.fillPath(shape, editingFill());
    const QColor textColor = selected ? selectedTextColor() : primaryTextColor();
    const QColor markerColor
        = selected ? selectedTextColor() : (m_windowActive ? primaryTextColor() : secondaryTextColor());
    const QFont font = PanelStyle::font(PanelStyle::TextStyle::title3);
    paintMarker(painter, TaskSection::inbox, QPointF(rect.left() + rowPadding, rect.top() + rowPadding),
        markerColor, QFontMetricsF(font).lineSpacing());
    if (m_session->inputDraft().isEmpty()) {
        const TextGeometry geometry = textGeometry();
        painter.setFont(font);
        painter.setPen(PanelStyle::withAlpha(textColor, 0.55));
        const QFontMetricsF metrics(font);
        painter.drawText(QPointF(geometry.textX, rect.top() + rowPadding - 0.5 + metrics.ascent()),
            QStringLiteral("Add something..."));
    }
}
