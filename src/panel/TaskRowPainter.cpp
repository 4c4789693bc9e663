#include "panel/TaskRowPainter.h"

#include "panel/CompletionCollapseModifier.h"
#include "panel/PanelStyle.h"
#include "panel/TaskRowLayout.h"
#include "panel/TaskTextLayout.h"
#include "panel/TaskTextLayoutCache.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

using Geometry = TaskRowLayout;

QFont headerFont()
{
    QFont font = PanelStyle::font(PanelStyle::TextStyle::caption2);
    font.setBold(true);
    return font;
}

QFont titleFontOf(TaskSection section)
{
    return PanelStyle::titleFont(section == TaskSection::working);
}

} // namespace

// --- Colours ---

QColor TaskRowColors::selection() const
{
    if (!windowActive)
        return PanelStyle::unemphasizedSelectionColor(palette);
    return documentColor.isValid() ? documentColor : PanelStyle::defaultDocumentColor(palette);
}

QColor TaskRowColors::editingFill() const
{
    return PanelStyle::editingFill(selection(), palette.color(QPalette::Window), selectedText());
}

QColor TaskRowColors::primaryText() const
{
    return PanelStyle::labelColor(palette);
}

QColor TaskRowColors::secondaryText() const
{
    return PanelStyle::secondaryLabelColor(palette);
}

QColor TaskRowColors::selectedText() const
{
    return windowActive ? PanelStyle::alternateSelectedTextColor(palette) : PanelStyle::labelColor(palette);
}

// --- Rows ---

TaskRowPainter::TaskRowPainter(
    QPainter& painter, const TaskRowLayout& layout, const TaskRowColors& colors, TaskTextLayoutCache& cache)
    : m_painter(painter), m_layout(layout), m_colors(colors), m_cache(cache)
{ }

void TaskRowPainter::paintHeader(TaskSection section, const QRectF& rect)
{
    const QFont font = headerFont();
    const QFontMetricsF metrics(font);
    const double top = rect.top() + (section == TaskSection::working ? 0 : Geometry::headerTopPadding);
    const QRectF line(rect.left() + Geometry::headerSideInset, top,
        rect.width() - 2 * Geometry::headerSideInset, metrics.lineSpacing());
    const QString title = taskSectionTitle(section).toUpper();
    m_painter.setFont(font);
    m_painter.setPen(m_colors.secondaryText());
    m_painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, title);
    const double ruleLeft = line.left() + metrics.horizontalAdvance(title) + Geometry::headerRuleSpacing;
    if (ruleLeft < line.right()) {
        m_painter.fillRect(
            QRectF(ruleLeft, std::round(line.center().y()), line.right() - ruleLeft, ruleHeight),
            PanelStyle::withAlpha(m_colors.secondaryText(), ruleOpacity));
    }
}

double TaskRowPainter::markerDrop(TaskSection section, double lineSpacing)
{
    const double height = section == TaskSection::completed ? completedMarkerHeight : markerHeight;
    return std::max((lineSpacing - height) * 0.5 - 0.5, 0.0);
}

void TaskRowPainter::paintMarker(TaskSection section, QPointF origin, const QColor& color, double lineSpacing)
{
    const bool completed = section == TaskSection::completed;
    const double height = completed ? completedMarkerHeight : markerHeight;
    const double radius = completed ? completedMarkerRadius : markerRadius;
    const QRectF marker(
        origin.x(), origin.y() + markerDrop(section, lineSpacing), Geometry::markerWidth, height);
    m_painter.save();
    if (section == TaskSection::inbox) {
        const double inset = markerLineWidth / 2;
        m_painter.setPen(QPen(color, markerLineWidth));
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawRoundedRect(marker.adjusted(inset, inset, -inset, -inset), radius, radius);
    } else {
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(color);
        m_painter.drawRoundedRect(marker, radius, radius);
    }
    m_painter.restore();
}

void TaskRowPainter::paintTaskRow(const RenderedRow& row, const RowLook& look, const QRectF& rect)
{
    QPainterPath shape;
    shape.addRoundedRect(rect, Geometry::cornerRadius, Geometry::cornerRadius);
    if (!look.shell) {
        QColor fill = Qt::transparent;
        if (look.editing)
            fill = m_colors.editingFill();
        else if (look.selected)
            fill = PanelStyle::readableFill(m_colors.selection(), m_colors.selectedText());
        else if (look.raise > 0)
            fill = PanelStyle::isDark(m_colors.palette)
                ? PanelStyle::withAlpha(Qt::white, draggedFillDark * look.raise)
                : PanelStyle::withAlpha(Qt::black, draggedFillLight * look.raise);
        if (fill.alpha() > 0)
            m_painter.fillPath(shape, fill);
        if (look.contextMenuTarget && !look.selected) {
            m_painter.save();
            m_painter.setPen(QPen(m_colors.selection(), contextOutlineWidth));
            m_painter.setBrush(Qt::NoBrush);
            m_painter.drawPath(shape);
            m_painter.restore();
        }
    }

    const bool completedSection = row.section == TaskSection::completed;
    const QColor textColor = look.selected
        ? m_colors.selectedText()
        : (completedSection ? m_colors.secondaryText() : m_colors.primaryText());
    QColor markerColor = look.selected
        ? m_colors.selectedText()
        : (m_colors.windowActive ? m_colors.selection() : m_colors.secondaryText());
    if (completedSection)
        markerColor = PanelStyle::withAlpha(markerColor, completedMarkerOpacity);

    QFont titleFont = titleFontOf(row.section);
    paintMarker(row.section, rect.topLeft() + QPointF(Geometry::rowPadding, Geometry::rowPadding),
        markerColor, QFontMetricsF(titleFont).lineSpacing());
    if (look.editing)
        return; // the inline editor lies over the text block

    const double textX = Geometry::textX;
    const double textWidth = m_layout.textWidth();
    const double textTop = rect.top() + Geometry::rowPadding;
    const double blockHeight = rect.height() - 2 * Geometry::rowPadding;
    if (look.struckThrough)
        titleFont.setStrikeOut(true);

    m_painter.save();
    // One point of slack keeps the last pixels of antialiased glyphs.
    m_painter.setClipRect(QRectF(textX, textTop, textWidth + 1, blockHeight + 1), Qt::IntersectClip);
    m_painter.setPen(textColor);
    const RenderedRow::Text shown = m_layout.text(row);
    const TaskDisplayText display = m_cache.displayText(shown.title);
    const std::optional<int> lineLimit = look.expanded ? std::nullopt : std::optional<int>(1);
    TaskTextLayout title(display, titleFont, textWidth, lineLimit);
    title.draw(&m_painter, QPointF(textX, textTop));
    if (look.expanded && shown.note && !shown.note->isEmpty()) {
        QFont noteFont = PanelStyle::noteFont();
        if (look.struckThrough)
            noteFont.setStrikeOut(true);
        m_painter.setPen(PanelStyle::withAlpha(textColor, noteOpacity));
        TaskDisplayText note {*shown.note, {}};
        TaskTextLayout noteLayout(note, noteFont, textWidth);
        noteLayout.draw(&m_painter, QPointF(textX, textTop + title.usedHeight() + Geometry::noteSpacing));
    }
    m_painter.restore();

    // Link areas are computed a moment after a row with links is first shown.
    if (!display.links.isEmpty() && !look.shell)
        requestLinkRegions(display, row.section, look.expanded);
}

void TaskRowPainter::requestLinkRegions(const TaskDisplayText& display, TaskSection section, bool expanded)
{
    const QFont font = titleFontOf(section);
    const double width = m_layout.textWidth();
    const std::optional<int> lineLimit = expanded ? std::nullopt : std::optional<int>(1);
    const LinkLayoutKey key = TaskTextLayoutCache::linkLayoutKey(display.text, font, width, lineLimit);
    if (m_cache.linkRegions(key))
        return;
    m_cache.requestLinkRegions(
        key,
        [display, font, width, lineLimit] { return computeLinkRegions(display, width, font, lineLimit); },
        onLinkRegionsReady);
}

void TaskRowPainter::paintInputRow(bool selected, bool draftEmpty, const QRectF& rect)
{
    QPainterPath shape;
    shape.addRoundedRect(rect, Geometry::cornerRadius, Geometry::cornerRadius);
    if (selected)
        m_painter.fillPath(shape, m_colors.editingFill());
    const QColor textColor = selected ? m_colors.selectedText() : m_colors.primaryText();
    const QColor markerColor = selected
        ? m_colors.selectedText()
        : (m_colors.windowActive ? m_colors.primaryText() : m_colors.secondaryText());
    const QFont font = PanelStyle::font(PanelStyle::TextStyle::title3);
    const QFontMetricsF metrics(font);
    paintMarker(TaskSection::inbox, rect.topLeft() + QPointF(Geometry::rowPadding, Geometry::rowPadding),
        markerColor, metrics.lineSpacing());
    if (!draftEmpty)
        return;
    m_painter.setFont(font);
    m_painter.setPen(PanelStyle::withAlpha(textColor, placeholderOpacity));
    m_painter.drawText(
        QPointF(Geometry::textX, rect.top() + Geometry::rowPadding - placeholderRaise + metrics.ascent()),
        QStringLiteral("Add something..."));
}

void TaskRowPainter::paintRaisedShadow(const QRectF& rect, double raise)
{
    // A soft black shadow, shadowOffset points down, spread over about shadowRadius points: stacked
    // rounded rectangles whose opacities add up to shadowOpacity under the row.
    constexpr int layers = int(shadowRadius);
    // The spread starts this far inside the row, so the innermost layer hides under it.
    constexpr double innerInset = 2;
    // The shadow is clipped to a margin this wide around the row.
    constexpr double reach = 3 * shadowRadius;
    m_painter.save();
    m_painter.setPen(Qt::NoPen);
    // Only around the row: its own fill is faint, and a shadow seen through it would grey it.
    QPainterPath outside;
    outside.addRect(rect.adjusted(-reach, -reach, reach, reach));
    QPainterPath row;
    row.addRoundedRect(rect, Geometry::cornerRadius, Geometry::cornerRadius);
    m_painter.setClipPath(outside.subtracted(row), Qt::IntersectClip);
    const QRectF shadow = rect.translated(0, shadowOffset * raise);
    for (int i = layers; i >= 1; --i) {
        const double spread = i * raise;
        m_painter.setBrush(QColor::fromRgbF(0, 0, 0, shadowOpacity * raise / layers));
        m_painter.drawRoundedRect(shadow.adjusted(-spread + innerInset, -spread + innerInset,
                                      spread - innerInset, spread - innerInset),
            Geometry::cornerRadius + spread, Geometry::cornerRadius + spread);
    }
    m_painter.restore();
}

void TaskRowPainter::paintTransitionedRow(
    const RenderedRow& row, const RowLook& look, const QRectF& rect, double progress, double offset)
{
    if (look.raise <= 0 && offset == 0 && progress >= 1) {
        paintTaskRow(row, look, rect);
        return;
    }
    m_painter.save();
    QRectF full = rect.translated(0, offset);
    if (progress < 1) {
        full.setHeight(rect.height() / progress);
        CompletionCollapseModifier {progress}.apply(m_painter, full);
    }
    if (look.raise > 0) {
        const double scale = 1 + (raisedScale - 1) * look.raise;
        m_painter.translate(full.center());
        m_painter.scale(scale, scale);
        m_painter.translate(-full.center());
        paintRaisedShadow(full, look.raise);
    }
    paintTaskRow(row, look, full);
    m_painter.restore();
}
