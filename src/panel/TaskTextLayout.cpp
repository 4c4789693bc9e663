#include "panel/TaskTextLayout.h"

#include <QFontMetricsF>
#include <QTextOption>

#include <cmath>

namespace {

const QString ellipsis(QChar(0x2026));

bool isLineBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QChar::LineSeparator;
}

// The first count characters of text, one fewer when that would split a surrogate pair.
qsizetype safeCut(QStringView text, qsizetype count)
{
    if (count <= 0 || count >= text.size())
        return std::max<qsizetype>(0, std::min(count, text.size()));
    return text[count - 1].isHighSurrogate() ? count - 1 : count;
}

// The links that start before kept, cut short at it.
QList<LinkRange> linksBefore(const QList<LinkRange>& links, qsizetype kept)
{
    QList<LinkRange> clipped;
    for (const LinkRange& link : links) {
        if (link.start >= kept)
            break;
        LinkRange part = link;
        part.length = std::min(link.end(), kept) - link.start;
        clipped << part;
    }
    return clipped;
}

} // namespace

qsizetype TaskTextLayout::longestSingleLine(double width)
{
    return qsizetype(std::ceil(std::max(width, 0.0) * charactersPerPoint)) + 1;
}

TaskTextLayout::TaskTextLayout(
    const TaskDisplayText& display, const QFont& font, double width, std::optional<int> lineLimit)
{
    const QStringView raw(display.text);
    m_links = display.links;
    QString text;

    const bool singleLine = lineLimit && *lineLimit == 1;
    if (singleLine) {
        // Only what fits on the line is measured: a title of a megabyte costs what a screenful does.
        const qsizetype longest = longestSingleLine(width);
        const QStringView head = raw.left(longest);
        qsizetype firstBreak = -1;
        for (qsizetype i = 0; i < head.size() && firstBreak < 0; ++i) {
            if (isLineBreak(head[i]))
                firstBreak = i;
        }
        const bool cut = firstBreak >= 0 || raw.size() > longest;
        const QString line
            = (firstBreak >= 0 ? head.left(firstBreak) : head.left(safeCut(head, longest))).toString();
        const QFontMetricsF metrics(font);
        if (cut || metrics.horizontalAdvance(line) > width) {
            const QString elided
                = metrics.elidedText(line + (cut ? ellipsis : QString()), Qt::ElideRight, width);
            qsizetype kept = elided.endsWith(ellipsis) ? elided.size() - 1 : elided.size();
            kept = std::min(kept, line.size());
            text = line.left(kept) + ellipsis;
            m_links = linksBefore(m_links, kept);
        } else {
            text = line;
        }
    } else if (raw.size() > maximumCharacters) {
        // Only the start of a very long text is laid out; a wrapped line without a break
        // opportunity costs the rest of the text again, so a megabyte would freeze the window.
        const qsizetype kept = safeCut(raw, maximumCharacters);
        text = raw.left(kept).toString() + ellipsis;
        m_links = linksBefore(m_links, kept);
    } else {
        text = display.text;
    }
    // Lines of a task's note are separate lines on screen; QTextLayout wants U+2028 for that.
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);

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
