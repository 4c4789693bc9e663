#pragma once

#include <QChar>
#include <QStringView>

// The rules by which the lines of a task file are read, shared by the readers of its text and of
// its bytes.
namespace LineRules {

inline bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// Tab and every space separator (category Zs). Line breaks are not whitespace.
inline bool isWhitespace(char16_t c)
{
    if (c < 0x80)
        return isBlank(c);
    return QChar::category(char32_t(c)) == QChar::Separator_Space;
}

inline QStringView trimmed(QStringView s)
{
    const char16_t* begin = s.utf16();
    const char16_t* end = begin + s.size();
    while (begin < end && isWhitespace(*begin))
        ++begin;
    while (end > begin && isWhitespace(end[-1]))
        --end;
    return QStringView(begin, end);
}

inline bool isSeparator(QStringView line)
{
    return line.size() == 3 && line[0] == u'-' && line[1] == u'-' && line[2] == u'-';
}

} // namespace LineRules
