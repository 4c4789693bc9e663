#include "platform/WebUrl.h"

namespace {

// Whitespace, C0/C1 controls, and format characters such as bidirectional overrides, which can make
// a URL look like another.
bool isForbiddenInLinkText(QChar c)
{
    if (c.isSpace())
        return true;
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Other_Format;
}

bool hasControlCharacter(const QString& text)
{
    for (QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

} // namespace

bool isSafeWebURL(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme();
    if (scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) != 0
        && scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        return false;
    // The encoded form is what the system receives; it must be plain printable ASCII.
    const QByteArray encoded = url.toEncoded(QUrl::FullyEncoded);
    for (char byte : encoded) {
        const auto code = static_cast<unsigned char>(byte);
        if (code <= 0x20 || code >= 0x7f)
            return false;
    }
    // Percent-encoded controls (%00, %0A, %1B) are rejected too; an encoded space is not.
    return !hasControlCharacter(url.userName(QUrl::FullyDecoded))
        && !hasControlCharacter(url.password(QUrl::FullyDecoded))
        && !hasControlCharacter(url.path(QUrl::FullyDecoded))
        && !hasControlCharacter(url.query(QUrl::FullyDecoded))
        && !hasControlCharacter(url.fragment(QUrl::FullyDecoded));
}

std::optional<QUrl> webURLFromText(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    for (QChar c : text) {
        if (isForbiddenInLinkText(c))
            return std::nullopt;
    }
    const QUrl url(text.toString(), QUrl::TolerantMode);
    if (!isSafeWebURL(url))
        return std::nullopt;
    return url;
}
