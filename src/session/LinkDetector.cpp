#include "LinkDetector.h"

#include "WebUrl.h"

namespace {

bool startsWithAt(QStringView text, qsizetype at, QLatin1StringView prefix)
{
    return text.size() - at >= prefix.size()
        && text.sliced(at, prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

bool isHostCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'-' || c == u'.' || c == u'_';
}

// A link starts only at the beginning of a word: "xhttp://" and "a.www.b.com" hold no link.
bool canStartSchemeLink(QStringView text, qsizetype at)
{
    if (at == 0)
        return true;
    const QChar before = text[at - 1];
    return !(isHostCharacter(before) || before == u'+');
}

bool canStartHostLink(QStringView text, qsizetype at)
{
    if (at == 0)
        return true;
    const QChar before = text[at - 1];
    return !(isHostCharacter(before) || before == u'@' || before == u'/' || before == u':');
}

// Characters that end the path, query or fragment of a bare link.
bool endsPath(QChar c)
{
    if (c.isSpace() || c == u'<' || c == u'>' || c == u'"' || c == u'`')
        return true;
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Other_Format;
}

bool isTrailingPunctuation(QChar c)
{
    return c == u'.' || c == u',' || c == u';' || c == u':' || c == u'!' || c == u'?' || c == u'\''
        || c == u'*';
}

// A host name the URL parser accepts, with no empty label: "example.com", "localhost".
bool isValidHost(QStringView host)
{
    if (host.isEmpty() || host.startsWith(u'.') || host.endsWith(u'.') || host.contains(u".."))
        return false;
    QUrl url;
    url.setHost(host.toString(), QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

class Scanner {
public:
    explicit Scanner(QStringView text) : m_text(text) { }

    std::optional<LinkRange> next()
    {
        const qsizetype size = m_text.size();
        while (m_cursor < size) {
            const qsizetype at = m_cursor;
            const QChar c = m_text[at];
            if (c != u'h' && c != u'H' && c != u'w' && c != u'W') {
                ++m_cursor;
                continue;
            }
            if (auto link = linkAt(at))
                return link;
        }
        return std::nullopt;
    }

private:
    // Tries a link at `at`; moves the cursor past what was examined, and returns the link if any.
    std::optional<LinkRange> linkAt(qsizetype at)
    {
        qsizetype hostStart;
        bool hasScheme;
        if (startsWithAt(m_text, at, QLatin1StringView("http://")) && canStartSchemeLink(m_text, at)) {
            hostStart = at + 7;
            hasScheme = true;
        } else if (startsWithAt(m_text, at, QLatin1StringView("https://"))
            && canStartSchemeLink(m_text, at)) {
            hostStart = at + 8;
            hasScheme = true;
        } else if (startsWithAt(m_text, at, QLatin1StringView("www.")) && canStartHostLink(m_text, at)) {
            hostStart = at;
            hasScheme = false;
        } else {
            ++m_cursor;
            return std::nullopt;
        }

        const qsizetype size = m_text.size();
        qsizetype end = hostStart;
        while (end < size && isHostCharacter(m_text[end]))
            ++end;
        // A host name does not end in a dot; a dot there is the sentence's.
        qsizetype hostEnd = end;
        while (hostEnd > hostStart && m_text[hostEnd - 1] == u'.')
            --hostEnd;
        const QStringView host = m_text.sliced(hostStart, hostEnd - hostStart);
        const bool hostIsValid = isValidHost(host) && (hasScheme || host.indexOf(u'.', 4) > 4);
        if (!hostIsValid) {
            // No later candidate starts inside the host: each would follow a host character.
            ++m_cursor;
            return std::nullopt;
        }
        if (end != hostEnd) {
            end = hostEnd; // "www.example.com." ends a sentence
        } else {
            if (end + 1 < size && m_text[end] == u':' && m_text[end + 1].isDigit()) {
                ++end;
                while (end < size && m_text[end].isDigit())
                    ++end;
            }
            if (end < size && (m_text[end] == u'/' || m_text[end] == u'?' || m_text[end] == u'#')) {
                while (end < size && !endsPath(m_text[end]))
                    ++end;
            }
        }
        end = trimTrailing(at, end);

        m_cursor = end;
        const QStringView linkText = m_text.sliced(at, end - at);
        const std::optional<QUrl> url = hasScheme
            ? webURLFromText(linkText)
            : webURLFromText(QStringLiteral("http://").append(linkText));
        // A rejected URL is still one URL: links written inside it are not reported separately.
        if (!url)
            return std::nullopt;
        return LinkRange {at, end - at, *url};
    }

    // Leaves out trailing punctuation and closing brackets that have no partner inside the link.
    qsizetype trimTrailing(qsizetype start, qsizetype end) const
    {
        qsizetype balance[3] = {0, 0, 0}; // () [] {}: closers minus openers
        for (qsizetype i = start; i < end; ++i)
            adjustBalance(balance, m_text[i], +1);
        while (end > start) {
            const QChar last = m_text[end - 1];
            const int pair = bracketPair(last);
            if (isTrailingPunctuation(last) || (pair >= 0 && (isOpener(last) || balance[pair] > 0))) {
                adjustBalance(balance, last, -1);
                --end;
            } else {
                break;
            }
        }
        return end;
    }

    static int bracketPair(QChar c)
    {
        switch (c.unicode()) {
        case u'(':
        case u')':
            return 0;
        case u'[':
        case u']':
            return 1;
        case u'{':
        case u'}':
            return 2;
        default:
            return -1;
        }
    }

    static bool isOpener(QChar c) { return c == u'(' || c == u'[' || c == u'{'; }

    static void adjustBalance(qsizetype (&balance)[3], QChar c, int sign)
    {
        const int pair = bracketPair(c);
        if (pair >= 0)
            balance[pair] += isOpener(c) ? -sign : sign;
    }

    QStringView m_text;
    qsizetype m_cursor = 0;
};

} // namespace

QList<LinkRange> LinkDetector::detect(QStringView text)
{
    QList<LinkRange> links;
    Scanner scanner(text);
    while (auto link = scanner.next())
        links.append(*link);
    return links;
}

std::optional<LinkRange> LinkDetector::findFirst(QStringView text)
{
    return Scanner(text).next();
}
