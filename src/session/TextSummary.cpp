#include "session/TextSummary.h"

#include <array>

namespace {

constexpr int capitalIBit = 26;
constexpr int firstDigitBit = 27;
constexpr int firstAsciiGroupBit = 37;
constexpr int asciiGroups = 8;
constexpr int firstLatinGroupBit = firstAsciiGroupBit + asciiGroups;
constexpr int latinGroups = TextSummary::beyondTableBit - firstLatinGroupBit;
static_assert(latinGroups == 18);

constexpr int bitFor(char16_t unit)
{
    if (unit >= FoldRules::unitFoldEnd)
        return TextSummary::beyondTableBit;
    if (unit == u'I')
        return capitalIBit;
    if (unit >= u'a' && unit <= u'z')
        return unit - u'a';
    if (unit >= u'A' && unit <= u'Z')
        return unit - u'A';
    if (unit >= u'0' && unit <= u'9')
        return firstDigitBit + (unit - u'0');
    if (unit < 0x80)
        return firstAsciiGroupBit + unit % asciiGroups;
    return firstLatinGroupBit + unit % latinGroups;
}

// Each unit's bit, the last entry standing for every unit beyond the table.
constexpr std::array<quint8, FoldRules::unitFoldEnd + 1> bits = [] {
    std::array<quint8, FoldRules::unitFoldEnd + 1> table {};
    for (char16_t unit = 0; unit <= FoldRules::unitFoldEnd; ++unit)
        table[unit] = quint8(bitFor(unit));
    return table;
}();

// The same for the ASCII units, as the bit itself.
constexpr std::array<quint64, 0x80> asciiBits = [] {
    std::array<quint64, 0x80> table {};
    for (char16_t unit = 0; unit < 0x80; ++unit)
        table[unit] = quint64(1) << bitFor(unit);
    return table;
}();

} // namespace

int TextSummary::bitOf(char16_t unit)
{
    return bits[std::min(unit, FoldRules::unitFoldEnd)];
}

quint64 TextSummary::ofText(QStringView text)
{
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    // Most text is ASCII: each unit is taken as one (its low seven bits) and its bit looked up
    // whole, every unit or'ed to tell afterwards whether they all were; four units at a time into
    // four words, so that the or's do not wait on each other.
    std::array<quint64, 4> words {};
    char16_t all = 0;
    qsizetype i = 0;
    for (; i + 4 <= size; i += 4) {
        all |= units[i] | units[i + 1] | units[i + 2] | units[i + 3];
        words[0] |= asciiBits[units[i] & 0x7F];
        words[1] |= asciiBits[units[i + 1] & 0x7F];
        words[2] |= asciiBits[units[i + 2] & 0x7F];
        words[3] |= asciiBits[units[i + 3] & 0x7F];
    }
    for (; i < size; ++i) {
        all |= units[i];
        words[0] |= asciiBits[units[i] & 0x7F];
    }
    if (all < 0x80)
        return words[0] | words[1] | words[2] | words[3];
    quint64 summary = 0;
    for (i = 0; i < size; ++i)
        summary |= quint64(1) << bits[std::min(units[i], FoldRules::unitFoldEnd)];
    return summary;
}

quint64 TextSummary::of(QStringView title, const std::optional<QString>& note)
{
    quint64 summary = ofText(title);
    if (note && !note->isEmpty())
        summary |= ofText(*note) | quint64(1) << bitOf(u'\n');
    return summary;
}
