#include "session/LinkPattern.h"

namespace {

// Finds matches left to right. A match starting at a "[" is fully determined by the first "]"
// after it (the label cannot extend past one) and by the first whitespace or ")" after the
// scheme (the URL cannot either), so there is nothing to backtrack over. Both "first ... at or
// after" lookups are asked with positions that never decrease, so each remembers its last answer
// and every character is examined a bounded number of times.
class Scanner {
public:
    explicit Scanner(QStringView text) : m_text(text) { }

    std::optional<LinkPattern::Match> next()
    {
        const qsizetype size = m_text.size();
        qsizetype i = m_cursor;
        while (i < size) {
            if (m_text[i] != u'[') {
                ++i;
                continue;
            }
            const qsizetype close = nextCloseBracket(i + 1);
            if (close == size)
                break; // no "]" anywhere after: no further match is possible
            if (close > i + 1) {
                if (auto match = matchTail(i, close)) {
                    m_cursor = match->end();
                    return match;
                }
            }
            // Every "[" before close shares this "]", and so the same failing tail (or an empty
            // label): none of them can start a match.
            i = close + 1;
        }
        m_cursor = size;
        return std::nullopt;
    }

private:
    std::optional<LinkPattern::Match> matchTail(qsizetype open, qsizetype close)
    {
        const qsizetype size = m_text.size();
        qsizetype p = close + 1;
        if (p >= size || m_text[p] != u'(')
            return std::nullopt;
        const qsizetype urlStart = ++p;
        if (!m_text.mid(p).startsWith(u"http"))
            return std::nullopt;
        p += 4;
        if (p < size && m_text[p] == u's')
            ++p;
        if (!m_text.mid(p).startsWith(u"://"))
            return std::nullopt;
        p += 3;
        const qsizetype stop = nextUrlStop(p);
        if (stop == p || stop == size || m_text[stop] != u')')
            return std::nullopt;
        LinkPattern::Match match;
        match.start = open;
        match.length = stop + 1 - open;
        match.labelStart = open + 1;
        match.labelLength = close - open - 1;
        match.urlStart = urlStart;
        match.urlLength = stop - urlStart;
        return match;
    }

    qsizetype nextCloseBracket(qsizetype from)
    {
        if (from > m_closeBracket) {
            m_closeBracket = from;
            while (m_closeBracket < m_text.size() && m_text[m_closeBracket] != u']')
                ++m_closeBracket;
        }
        return m_closeBracket;
    }

    // The first whitespace or ")" at or after from.
    qsizetype nextUrlStop(qsizetype from)
    {
        if (from > m_urlStop) {
            m_urlStop = from;
            while (m_urlStop < m_text.size() && m_text[m_urlStop] != u')' && !m_text[m_urlStop].isSpace())
                ++m_urlStop;
        }
        return m_urlStop;
    }

    QStringView m_text;
    qsizetype m_cursor = 0;
    qsizetype m_closeBracket = -1;
    qsizetype m_urlStop = -1;
};

} // namespace

QList<LinkPattern::Match> LinkPattern::findAll(QStringView text)
{
    QList<Match> matches;
    Scanner scanner(text);
    while (auto match = scanner.next())
        matches.append(*match);
    return matches;
}

std::optional<LinkPattern::Match> LinkPattern::findFirst(QStringView text)
{
    return Scanner(text).next();
}
