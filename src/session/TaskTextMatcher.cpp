#include "session/TaskTextMatcher.h"

#include "session/FoldedTexts.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool isAscii(QStringView text)
{
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    qsizetype i = 0;
    char16_t all = 0; // every unit or'ed: ASCII exactly when below 0x80
#if defined(__SSE2__)
    __m128i any = _mm_setzero_si128();
    for (; i + 8 <= size; i += 8)
        any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i)));
    const __m128i beyond = _mm_and_si128(any, _mm_set1_epi16(short(0xFF80)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(beyond, _mm_setzero_si128())) != 0xFFFF)
        return false;
#endif
    for (; i < size; ++i)
        all |= units[i];
    return all < 0x80;
}

// Whether some ASCII text could hold the folded query once folded: every unit of it is one a
// folded ASCII unit can be.
bool asciiCanHold(QStringView query, bool turkic)
{
    for (QChar c : query) {
        const char16_t unit = c.unicode();
        if (unit >= 0x80 && !(turkic && unit == 0x0131))
            return false;
        if (unit >= u'A' && unit <= u'Z')
            return false;
    }
    return true;
}

#if defined(__SSE2__)
// Eight ASCII units folded as FoldRules::foldAscii folds each.
__m128i foldBlock(__m128i units, bool turkic)
{
    // A capital is at most 25 past 'A' (compared unsigned): it gains 32.
    const __m128i offset = _mm_subs_epu16(_mm_sub_epi16(units, _mm_set1_epi16(u'A')), _mm_set1_epi16(25));
    const __m128i capital = _mm_cmpeq_epi16(offset, _mm_setzero_si128());
    __m128i folded = _mm_add_epi16(units, _mm_and_si128(capital, _mm_set1_epi16(32)));
    if (turkic) {
        const __m128i dotless = _mm_cmpeq_epi16(units, _mm_set1_epi16(u'I'));
        folded = _mm_or_si128(
            _mm_andnot_si128(dotless, folded), _mm_and_si128(dotless, _mm_set1_epi16(short(0x0131))));
    }
    return folded;
}
#endif

} // namespace

TaskTextMatcher::TaskTextMatcher(const FoldRules& rules, const QString& foldedQuery)
    : m_rules(rules),
      m_query(foldedQuery),
      m_turkic(rules.isTurkic()),
      m_hasLineFeed(foldedQuery.contains(QLatin1Char('\n'))),
      m_asciiCanHold(asciiCanHold(foldedQuery, rules.isTurkic()))
{
    m_needed.fill(~quint64(0));
    std::size_t used = 0;
    for (QChar c : foldedQuery) {
        const FoldRules::SummaryBits bits = rules.summaryBitsHolding(c.unicode());
        if (std::find(m_needed.begin(), m_needed.begin() + used, bits.any) == m_needed.begin() + used)
            m_needed[used++] = bits.any;
        if (used == m_needed.size())
            break;
    }
    if (foldedQuery.size() == 1)
        m_sure = rules.summaryBitsHolding(foldedQuery.front().unicode()).all;
    else if (foldedQuery.isEmpty())
        m_sure = ~quint64(0);
}

bool TaskTextMatcher::matches(const SessionItem& item) const
{
    if (m_query.isEmpty())
        return true;
    const bool hasNote = item.note && !item.note->isEmpty();
    if (!m_hasLineFeed) {
        // Without a line feed in the query, no hit spans the title and the note.
        if (!m_asciiCanHold) {
            if (isAscii(item.title) && (!hasNote || isAscii(*item.note)))
                return false;
        } else {
            Answer answer = findAscii(item.title);
            if (answer != Answer::found && hasNote) {
                const Answer inNote = findAscii(*item.note);
                answer = inNote == Answer::absent ? answer : inNote;
            }
            if (answer != Answer::unsure)
                return answer == Answer::found;
        }
        const Units title = lookOver(item.title);
        const Units note = hasNote ? lookOver(*item.note) : Units::withoutFirst;
        if (title == Units::withoutFirst && note == Units::withoutFirst)
            return false;
        if (title != Units::beyondTable && note != Units::beyondTable) {
            m_scratch.truncate(0);
            m_rules.appendFoldedTaskByUnit(m_scratch, item);
            return FoldedTexts::contains(m_scratch, m_query);
        }
    }
    m_scratch.truncate(0);
    m_rules.appendFoldedTask(m_scratch, item);
    return FoldedTexts::contains(m_scratch, m_query);
}

TaskTextMatcher::Units TaskTextMatcher::lookOver(QStringView text) const
{
    if (!m_firstKnown) {
        const QChar first = m_query.front();
        for (char16_t unit = 0; unit < FoldRules::unitFoldEnd; ++unit)
            m_holdsFirst[unit] = m_rules.foldedUnit(unit).contains(first);
        m_firstKnown = true;
    }
    bool holdsFirst = false;
    char16_t highest = 0;
    for (QChar c : text) {
        const char16_t unit = c.unicode();
        highest = std::max(highest, unit);
        holdsFirst |= m_holdsFirst[std::min<char16_t>(unit, FoldRules::unitFoldEnd - 1)];
    }
    if (highest >= FoldRules::unitFoldEnd)
        return Units::beyondTable;
    return holdsFirst ? Units::withFirst : Units::withoutFirst;
}

// A hit of ASCII units in a text is a hit in the text folded whole, whatever comes before or after
// it, once the unit just after the hit is ASCII too (or there is none): an ASCII unit is never
// changed by the units around it, except by a combining mark right after it (composing with it, or,
// under Lithuanian rules, giving a capital I a dot), and no unit before an ASCII one composes with
// it. So a text is read only up to its first such hit, which in ordinary text comes early.
TaskTextMatcher::Answer TaskTextMatcher::findAscii(QStringView text) const
{
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    const char16_t* query = reinterpret_cast<const char16_t*>(m_query.constData());
    const qsizetype length = m_query.size();
    const qsizetype last = size - length; // the last place a hit can start
    const auto holdsAt = [&](qsizetype at) {
        for (qsizetype k = 1; k < length; ++k)
            if (FoldRules::foldAscii(units[at + k], m_turkic) != query[k])
                return false;
        const qsizetype end = std::min(size, at + length + 1);
        for (qsizetype k = at; k < end; ++k)
            if (units[k] >= 0x80)
                return false;
        return true;
    };
    qsizetype at = 0;
#if defined(__SSE2__)
    // A block of places at a time: a place is a candidate when the needle's first and last units
    // are there once folded, which rules out almost every place in ordinary text at once. The
    // units passed are gathered to tell whether they were all ASCII.
    const __m128i first = _mm_set1_epi16(short(query[0]));
    const __m128i final = _mm_set1_epi16(short(query[length - 1]));
    __m128i passed = _mm_setzero_si128();
    for (; at + 8 <= last + 1; at += 8) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + at));
        passed = _mm_or_si128(passed, block);
        const __m128i starts = foldBlock(block, m_turkic);
        const __m128i ends = length == 1
            ? starts
            : foldBlock(_mm_loadu_si128(reinterpret_cast<const __m128i*>(units + at + length - 1)), m_turkic);
        unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(starts, first), _mm_cmpeq_epi16(ends, final))));
        while (mask) {
            if (holdsAt(at + std::countr_zero(mask) / 2))
                return Answer::found;
            mask &= mask - 1;
            mask &= mask - 1; // each unit sets two bits
        }
    }
    const __m128i beyond = _mm_and_si128(passed, _mm_set1_epi16(short(0xFF80)));
    const bool passedAscii = _mm_movemask_epi8(_mm_cmpeq_epi16(beyond, _mm_setzero_si128())) == 0xFFFF;
#else
    const bool passedAscii = true;
#endif
    const qsizetype unchecked = at; // the units from here on were not gathered
    for (; at <= last; ++at)
        if (FoldRules::foldAscii(units[at], m_turkic) == query[0] && holdsAt(at))
            return Answer::found;
    return passedAscii && isAscii(text.sliced(unchecked)) ? Answer::absent : Answer::unsure;
}
