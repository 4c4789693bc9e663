#include "panel/TaskTextLayout.h"

#include <QFontMetricsF>
#include <QTextOption>

#include <cmath>

TaskTextLayout::TaskTextLayout(
    const TaskDisplayText& display, const QFont& font, double width, std::optional<int> lineLimit)
{
    QString text = display.text;
    // Lines of a task's note are separate lines on screen; QTextLayout wants U+2028 for that.
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    m_links = display.links;

    const bool singleLine = lineLimit && *lineLimit == 1;
    if (singleLine) {
        const QFontMetricsF metrics(font);
        const qsizetype firstBreak = text.indexOf(QChar::LineSeparator);
        QString line = firstBreak >= 0 ? text.left(firstBreak) : text;
        const bool cutAtBreak = firstBreak >= 0;
        if (cutAtBreak || metrics.horizontalAdvance(line) > width) {
            const QString ellipsis(QChar(0x2026));
            const QString elided
                = metrics.elidedText(line + (cutAtBreak ? ellipsis : QString()), Qt::ElideRight, width);
            qsizetype kept = elided.endsWith(ellipsis) ? elided.size() - 1 : elided.size();
            kept = std::min(kept, line.size());
            text = line.left(kept) + ellipsis;
            QList<LinkRange> clipped;
            for (const LinkRange& link : std::as_const(m_links)) {
                if (link.start >= kept)
                    break;
                LinkRange part = link;
                part.length = std::min(link.end(), kept) - link.start;
                clipped << part;
            }
            m_links = clipped;
        }
    }

    m_layout = std::make_unique<QTextLayout>(text, font);
    QTextOption option;
    option.setWrapMode(singleLine ? QTextOption::NoWrap : QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_layout->setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    for (const LinkRange& link : std::as_const(m_links)) {
        QTextLayout::FormatRange range;
        range.start = int(link.start);
        range.length = int(link.length);
        range.format.setFontUnderline(true);
        formats << range;
    }
    m_layout->setFormats(formats);
    m_layout->setCacheEnabled(true);

    m_layout->beginLayout();
    double y = 0;
    int lines = 0;
    const int maxLines = lineLimit && *lineLimit > 0 ? *lineLimit : 0;
    while (true) {
        if (maxLines > 0 && lines >= maxLines)
            break;
        QTextLine line = m_layout->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(singleLine ? std::max(width, line.naturalTextWidth()) : width);
        line.setPosition(QPointF(0, y));
        y += line.height();
        ++lines;
    }
    m_layout->endLayout();
    m_usedHeight = y;
}

QList<LinkHoverOverlay::Region> TaskTextLayout::linkRegions() const
{
    QList<LinkHoverOverlay::Region> regions;
    const int lineCount = m_layout->lineCount();
    for (const LinkRange& link : m_links) {
        if (!link.url.isValid())
            continue;
        const QString tooltip = link.url.toString(QUrl::FullyEncoded);
        for (int i = 0; i < lineCount; ++i) {
            const QTextLine line = m_layout->lineAt(i);
            const qsizetype lineStart = line.textStart();
            const qsizetype lineEnd = lineStart + line.textLength();
            const qsizetype start = std::max(link.start, lineStart);
            const qsizetype end = std::min(link.end(), lineEnd);
            if (start >= end)
                continue;
            double x1 = line.cursorToX(int(start));
            double x2 = line.cursorToX(int(end));
            if (x2 < x1)
                std::swap(x1, x2);
            // Trailing blanks at a wrap are laid out past the line; they are not part of the link.
            x2 = std::min(x2, line.x() + line.naturalTextWidth());
            const QRectF rect(x1, line.y(), x2 - x1, line.height());
            if (rect.width() <= 0 || rect.height() <= 0)
                continue;
            const QRectF outward(QPointF(std::floor(rect.left()), std::floor(rect.top())),
                QPointF(std::ceil(rect.right()), std::ceil(rect.bottom())));
            regions << LinkHoverOverlay::Region {outward, tooltip};
        }
    }
    return regions;
}

QList<LinkHoverOverlay::Region> computeLinkRegions(
    const TaskDisplayText& text, double width, const QFont& font, std::optional<int> lineLimit)
{
    return TaskTextLayout(text, font, width, lineLimit).linkRegions();
}
