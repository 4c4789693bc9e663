#include "session/LinkDetector.h"

#include "platform/WebUrl.h"

#include <QVarLengthArray>

#include <utility>

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

// The characters a user name and password may hold before the "@" (RFC 3986 user information).
bool isUserInfoCharacter(QChar c)
{
    if (c.isLetterOrNumber())
        return true;
    switch (c.unicode()) {
    case u'-':
    case u'.':
    case u'_':
    case u'~':
    case u'!':
    case u'$':
    case u'&':
    case u'\'':
    case u'(':
    case u')':
    case u'*':
    case u'+':
    case u',':
    case u';':
    case u'=':
    case u':':
    case u'%':
        return true;
    default:
        return false;
    }
}

bool isIpLiteralCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F') || u == u':'
        || u == u'.';
}

// Characters that end the path, query or fragment of a bare link.
bool endsPath(QChar c)
{
    if (c.isSpace() || c == u'<' || c == u'>' || c == u'"' || c == u'`')
        return true;
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Other_Format;
}

// Punctuation that closes a sentence or a quotation rather than a link, in any script: "。", "…",
// "»" and "”" as much as "." and ",". Brackets are weighed separately.
bool isTrailingPunctuation(char32_t c)
{
    if (c < 0x80)
        return c == u'.' || c == u',' || c == u';' || c == u':' || c == u'!' || c == u'?' || c == u'\''
            || c == u'*';
    switch (QChar::category(c)) {
    case QChar::Punctuation_Other:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Dash:
        return true;
    default:
        return false;
    }
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

// Counts the brackets of a link, each kind keyed by its opening bracket: "(" and ")", "「" and "」".
class BracketBalance {
public:
    void add(QChar c, int sign)
    {
        bool opener = false;
        if (const char16_t key = keyOf(c, &opener)) {
            qsizetype& count = countFor(key);
            count += opener ? -sign : sign;
        }
    }

    // An opening bracket at the end of a link, or a closing one without a partner inside it.
    bool isUnpartnered(QChar c)
    {
        bool opener = false;
        const char16_t key = keyOf(c, &opener);
        return key && (opener || countFor(key) > 0);
    }

private:
    static char16_t keyOf(QChar c, bool* opener)
    {
        const char16_t u = c.unicode();
        if (u < 0x80 && u != u'(' && u != u')' && u != u'[' && u != u']' && u != u'{' && u != u'}')
            return 0;
        switch (c.category()) {
        case QChar::Punctuation_Open:
            *opener = true;
            return u;
        case QChar::Punctuation_Close:
            return c.mirroredChar().unicode(); // itself when it has no partner
        default:
            return 0;
        }
    }

    qsizetype& countFor(char16_t key)
    {
        for (auto& [k, count] : m_counts)
            if (k == key)
                return count;
        m_counts.append({key, 0});
        return m_counts.last().second;
    }

    QVarLengthArray<std::pair<char16_t, qsizetype>, 4> m_counts; // closers minus openers
};

class Scanner {
public:
    Scanner(QStringView text, BidiScope* scope) : m_text(text), m_scope(scope) { }

    std::optional<LinkRange> next()
    {
        const qsizetype size = m_text.size();
        while (m_cursor < size) {
            const qsizetype at = m_cursor;
            const QChar c = m_text[at];
            // No link starts where an embedding, override or isolate written before it could show
            // its characters in another order: what is seen would not be what opens. A link never
            // holds such a control (they end it), so every one is seen here.
            if ((c != u'h' && c != u'H' && c != u'w' && c != u'W') || m_scope->isOpen()) {
                m_scope->feed(c);
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
        if (hasScheme)
            hostStart = afterUserInfo(hostStart);
        qsizetype end = hostStart;
        if (hasScheme && end < size && m_text[end] == u'[') {
            // A bracketed IPv6 address.
            ++end;
            while (end < size && isIpLiteralCharacter(m_text[end]))
                ++end;
            end = end < size && m_text[end] == u']' ? end + 1 : hostStart;
        } else {
            while (end < size && isHostCharacter(m_text[end]))
                ++end;
        }
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

    // Where the host starts when user information ("user:password@") comes first, else `from`.
    qsizetype afterUserInfo(qsizetype from) const
    {
        qsizetype at = from;
        while (at < m_text.size() && isUserInfoCharacter(m_text[at]))
            ++at;
        return at > from && at < m_text.size() && m_text[at] == u'@' ? at + 1 : from;
    }

    // Leaves out trailing punctuation and closing brackets that have no partner inside the link.
    qsizetype trimTrailing(qsizetype start, qsizetype end) const
    {
        BracketBalance balance;
        for (qsizetype i = start; i < end; ++i)
            balance.add(m_text[i], +1);
        while (end > start) {
            const QChar last = m_text[end - 1];
            const bool pair = end - 2 >= start && last.isLowSurrogate() && m_text[end - 2].isHighSurrogate();
            const char32_t code = pair ? QChar::surrogateToUcs4(m_text[end - 2], last) : last.unicode();
            if (isTrailingPunctuation(code) || balance.isUnpartnered(last)) {
                balance.add(last, -1);
                end -= pair ? 2 : 1;
            } else {
                break;
            }
        }
        return end;
    }

    QStringView m_text;
    BidiScope* m_scope;
    qsizetype m_cursor = 0;
};

} // namespace

QList<LinkRange> LinkDetector::detect(QStringView text)
{
    BidiScope scope;
    return detect(text, scope);
}

QList<LinkRange> LinkDetector::detect(QStringView text, BidiScope& scope)
{
    QList<LinkRange> links;
    Scanner scanner(text, &scope);
    while (auto link = scanner.next())
        links.append(*link);
    return links;
}

std::optional<LinkRange> LinkDetector::findFirst(QStringView text)
{
    BidiScope scope;
    return Scanner(text, &scope).next();
}
