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

// The same as the bit itself.
constexpr std::array<quint64, FoldRules::unitFoldEnd + 1> unitBits = [] {
    std::array<quint64, FoldRules::unitFoldEnd + 1> table {};
    for (char16_t unit = 0; unit <= FoldRules::unitFoldEnd; ++unit)
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
    // Each unit's bit looked up whole, four units at a time into four words, so that the or's do
    // not wait on each other.
    const auto bit = [](char16_t unit) { return unitBits[std::min(unit, FoldRules::unitFoldEnd)]; };
    std::array<quint64, 4> words {};
    qsizetype i = 0;
    for (; i + 4 <= size; i += 4) {
        words[0] |= bit(units[i]);
        words[1] |= bit(units[i + 1]);
        words[2] |= bit(units[i + 2]);
        words[3] |= bit(units[i + 3]);
    }
    for (; i < size; ++i)
        words[0] |= bit(units[i]);
    return words[0] | words[1] | words[2] | words[3];
}

quint64 TextSummary::of(QStringView title, const std::optional<QString>& note)
{
    quint64 summary = ofText(title);
    if (note && !note->isEmpty())
        summary |= ofText(*note) | quint64(1) << bitOf(u'\n');
    return summary;
}

QList<quint64> TextSummary::ofList(const SessionItemMap& items, const ItemIDList& ids)
{
    QList<quint64> summaries;
    summaries.reserve(ids.size());
    for (const SessionItem* item : items.pointersTo(ids))
        summaries.append(item ? of(item->title, item->note) : unknown);
    return summaries;
}
