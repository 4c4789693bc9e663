#pragma once

#include "panel/LinkHoverOverlay.h"
#include "session/TaskDisplayText.h"

#include <QFont>
#include <QTextLayout>

#include <memory>
#include <optional>

// Lays out a task's display text the one way the panel draws it, measures it and finds its link
// areas, so that what is drawn, measured and hovered always agree. Links are underlined. With a
// line limit of 1 the text stays on one line and is truncated at the tail with an ellipsis; other
// limits keep the first lines. A text longer than maximumCharacters is laid out up to there and
// ends in an ellipsis, so no title or note, however long, holds up a frame.
class TaskTextLayout {
public:
    // About a hundred lines of a row: more than a screen shows.
    static constexpr qsizetype maximumCharacters = 4096;
    // A line of width points never shows more characters than this (no glyph is narrower than a
    // quarter of a point).
    static constexpr double charactersPerPoint = 4;
    static qsizetype longestSingleLine(double width);

    TaskTextLayout(const TaskDisplayText& text, const QFont& font, double width,
        std::optional<int> lineLimit = std::nullopt);

    QTextLayout& layout() { return *m_layout; }
    // The height of the laid-out lines.
    double usedHeight() const { return m_usedHeight; }
    // The links as laid out (clipped to what a truncated line still shows).
    const QList<LinkRange>& links() const { return m_links; }

    // One region per laid-out line fragment of each link, in order.
    QList<LinkHoverOverlay::Region> linkRegions() const;

    void draw(QPainter* painter, QPointF origin) const { m_layout->draw(painter, origin); }

private:
    std::unique_ptr<QTextLayout> m_layout;
    QList<LinkRange> m_links;
    double m_usedHeight = 0;
};

// The link areas of a display text laid out at width in font, under an optional line limit.
QList<LinkHoverOverlay::Region> computeLinkRegions(
    const TaskDisplayText& text, double width, const QFont& font, std::optional<int> lineLimit);
