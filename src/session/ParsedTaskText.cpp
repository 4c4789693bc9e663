#include "session/ParsedTaskText.h"

#include <QStringList>

namespace {

bool isNewline(QChar c)
{
    // Line feed, vertical tab, form feed, carriage return, next line, line and paragraph separators.
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

} // namespace

std::optional<ParsedTaskText> parseTaskText(const QString& text)
{
    QString unified = text;
    unified.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));

    const qsizetype firstBreak = unified.indexOf(QLatin1Char('\n'));
    const QString title = (firstBreak < 0 ? unified : unified.left(firstBreak)).trimmed();
    if (title.isEmpty())
        return std::nullopt;

    std::optional<QString> note;
    if (firstBreak >= 0) {
        QStringView rest = QStringView(unified).mid(firstBreak + 1);
        qsizetype begin = 0;
        qsizetype end = rest.size();
        while (begin < end && isNewline(rest[begin]))
            ++begin;
        while (end > begin && isNewline(rest[end - 1]))
            --end;
        if (end > begin)
            note = rest.mid(begin, end - begin).toString();
    }

    ParsedTaskText parsed;
    parsed.title = title;
    parsed.note = note;
    parsed.normalizedText = note ? title + QLatin1Char('\n') + *note : title;
    return parsed;
}
