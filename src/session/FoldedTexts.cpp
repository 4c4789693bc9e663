#include "session/FoldedTexts.h"

#include <algorithm>
#include <bit>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Queries are short: comparing in place beats calling memcmp.
template <typename Unit>
bool sameRun(const Unit* a, const Unit* b, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// Where `needle` (`length` units, at least one) first occurs in `text[0, size)` at or after
// `from`, or -1.
template <typename Unit>
qsizetype find(const Unit* text, qsizetype size, const Unit* needle, qsizetype length, qsizetype from)
{
    const qsizetype last = size - length; // the last place a hit can start
    qsizetype at = from;
#if defined(__SSE2__)
    // A block of places at a time: a place is a candidate when both the needle's first and its
    // last unit are there, which rules out almost every place in ordinary text at once.
    constexpr qsizetype step = 16 / sizeof(Unit);
    const auto equal = [](__m128i a, __m128i b) {
        if constexpr (sizeof(Unit) == 1)
            return _mm_cmpeq_epi8(a, b);
        else
            return _mm_cmpeq_epi16(a, b);
    };
    const __m128i first
        = sizeof(Unit) == 1 ? _mm_set1_epi8(char(needle[0])) : _mm_set1_epi16(short(needle[0]));
    const __m128i final = sizeof(Unit) == 1 ? _mm_set1_epi8(char(needle[length - 1]))
                                            : _mm_set1_epi16(short(needle[length - 1]));
    for (; at + step <= last + 1; at += step) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + length - 1));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(equal(starts, first), equal(ends, final))));
        while (mask) {
            const qsizetype candidate = at + std::countr_zero(mask) / qsizetype(sizeof(Unit));
            if (sameRun(text + candidate + 1, needle + 1, length - 2))
                return candidate;
            mask &= mask - 1;
            if constexpr (sizeof(Unit) == 2)
                mask &= mask - 1; // each unit sets two bits
        }
    }
#endif
    for (; at <= last; ++at)
        if (text[at] == needle[0] && sameRun(text + at + 1, needle + 1, length - 1))
            return at;
    return -1;
}

qsizetype find(QStringView haystack, QStringView needle, qsizetype from)
{
    return find(haystack.utf16(), haystack.size(), needle.utf16(), needle.size(), from);
}

// Calls hit(row) for each row of a chunk's text whose own text contains the needle.
template <typename Unit, typename Hit>
void findRows(
    const Unit* text, const std::vector<qsizetype>& ends, const Unit* needle, qsizetype length, Hit&& hit)
{
    const qsizetype size = ends.empty() ? 0 : ends.back();
    std::size_t row = 0;
    qsizetype from = 0;
    while (row < ends.size()) {
        const qsizetype at = find(text, size, needle, length, from);
        if (at < 0)
            return;
        while (ends[row] <= at)
            ++row;
        // A hit that runs past the end of its row's text spans two tasks; a later start in the
        // same row would run past it too, so the search goes on at the next row.
        if (at + length <= ends[row])
            hit(row);
        from = ends[row];
        ++row;
    }
}

// Whether the text of one row of a chunk contains the needle. The search may read a block's worth
// of units past the row's end, so that it runs in whole blocks; a hit there is not the row's, and
// would come after any hit of its own.
template <typename Unit>
bool findInRow(const Unit* text, const std::vector<qsizetype>& ends, std::size_t row, const Unit* needle,
    qsizetype length)
{
    const qsizetype start = row == 0 ? 0 : ends[row - 1];
    const qsizetype end = ends[row];
    const qsizetype reach = std::min(ends.back(), end + qsizetype(16 / sizeof(Unit)));
    const qsizetype at = find(text, reach, needle, length, start);
    return at >= 0 && at + length <= end;
}

// The summary's bits: 0 to 25 for the letters a to z, the rest hashed.
constexpr unsigned exactBits = 26;
constexpr unsigned hashedBits = 64 - exactBits;

quint64 hashedBit(char16_t a, char16_t b)
{
    const quint64 mixed = quint64((quint32(a) << 16 | b) * 0x9E3779B1u);
    return quint64(1) << (exactBits + (mixed * hashedBits >> 32));
}

// A second, independent bit for a pair, in a word of its own.
quint64 secondPairBit(char16_t a, char16_t b)
{
    return quint64(1) << ((quint32(a) << 16 | b) * 0x85EBCA6Bu >> 26);
}

bool fitsLatin1(QStringView text)
{
    char16_t all = 0;
    for (QChar c : text)
        all |= c.unicode();
    return all < 0x100;
}

} // namespace

// Which letters a to z, letters beyond ASCII and pairs of adjacent units the text holds. Pairs
// with a space, line feed or control character are left out: they are in almost every text.
template <typename Unit>
FoldedTexts::RowSummary FoldedTexts::summarize(const Unit* text, qsizetype size)
{
    // No branches on the letters, and a word of its own for each kind of bit, so that the units do
    // not wait on each other.
    quint64 letters = 0;
    quint64 others = 0;
    quint64 firstPairs = 0;
    quint64 secondPairs = 0;
    quint32 previous = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const quint32 unit = std::make_unsigned_t<Unit>(text[i]);
        const quint32 letter = unit - u'a';
        letters |= quint64(letter < exactBits) << (letter % 64);
        if (unit >= 0x80)
            others |= hashedBit(0, char16_t(unit));
        const quint64 pair = -quint64(previous > 0x20 && unit > 0x20);
        firstPairs |= pair & hashedBit(char16_t(previous), char16_t(unit));
        secondPairs |= pair & secondPairBit(char16_t(previous), char16_t(unit));
        previous = unit;
    }
    return {letters | others | firstPairs, secondPairs};
}

bool FoldedTexts::contains(QStringView text, QStringView query)
{
    return query.isEmpty() || find(text, query, 0) >= 0;
}

void FoldedTexts::Chunk::splice(qsizetype at, qsizetype count, QStringView text)
{
    if (!wide && !fitsLatin1(text)) {
        utf16.resize(narrow.size()); // each Latin-1 byte is its own code point
        std::transform(
            narrow.begin(), narrow.end(), utf16.begin(), [](char c) { return char16_t(uchar(c)); });
        narrow = std::string();
        wide = true;
    }
    if (wide) {
        utf16.replace(std::size_t(at), std::size_t(count), text.utf16(), std::size_t(text.size()));
        return;
    }
    narrow.replace(std::size_t(at), std::size_t(count), std::size_t(text.size()), '\0');
    char* to = narrow.data() + at;
    for (QChar c : text)
        *to++ = char(c.unicode());
}

QString FoldedTexts::Chunk::mid(qsizetype at, qsizetype count) const
{
    if (wide)
        return QString(reinterpret_cast<const QChar*>(utf16.data() + at), count);
    return QString::fromLatin1(narrow.data() + at, count);
}

FoldedTexts::Needle::Needle(QStringView query)
    : utf16(query),
      fitsNarrow(fitsLatin1(query)),
      summary(summarize(query.utf16(), query.size())),
      summaryAnswers(query.size() == 1 && unsigned(query.front().unicode() - u'a') < exactBits)
{
    if (fitsNarrow)
        for (QChar c : query)
            narrow.push_back(char(c.unicode()));
}

void FoldedTexts::clear()
{
    m_chunks.clear();
    m_firstRows.clear();
    m_size = 0;
}

std::pair<std::size_t, std::size_t> FoldedTexts::locate(qsizetype index) const
{
    const std::size_t chunk
        = std::upper_bound(m_firstRows.begin(), m_firstRows.end(), index) - m_firstRows.begin() - 1;
    return {chunk, std::size_t(index - m_firstRows[chunk])};
}

void FoldedTexts::renumberFrom(std::size_t chunk)
{
    qsizetype first = chunk == 0 ? 0 : m_firstRows[chunk - 1] + qsizetype(m_chunks[chunk - 1].ends.size());
    for (; chunk < m_chunks.size(); ++chunk) {
        m_firstRows[chunk] = first;
        first += qsizetype(m_chunks[chunk].ends.size());
    }
}

QString FoldedTexts::text(qsizetype index) const
{
    const auto [chunk, row] = locate(index);
    const Chunk& c = m_chunks[chunk];
    const qsizetype start = c.start(row);
    return c.mid(start, c.ends[row] - start);
}

FoldedTexts::Chunk& FoldedTexts::appendingChunk()
{
    if (m_chunks.empty() || m_chunks.back().ends.size() >= chunkRows) {
        m_chunks.emplace_back();
        m_firstRows.push_back(m_size);
    }
    return m_chunks.back();
}

void FoldedTexts::appended(Chunk& chunk, qsizetype size)
{
    chunk.ends.push_back((chunk.ends.empty() ? 0 : chunk.ends.back()) + size);
    if (!chunk.summaries.empty())
        chunk.summaries.emplace_back();
    ++m_size;
}

void FoldedTexts::appendRow(QStringView text)
{
    Chunk& c = appendingChunk();
    c.splice(c.ends.empty() ? 0 : c.ends.back(), 0, text);
    appended(c, text.size());
}

void FoldedTexts::insert(qsizetype index, QStringView text)
{
    if (index == m_size) {
        appendRow(text);
        return;
    }
    const auto [chunk, row] = locate(index);
    Chunk& c = m_chunks[chunk];
    const qsizetype start = c.start(row);
    c.splice(start, 0, text);
    c.ends.insert(c.ends.begin() + qsizetype(row), start);
    if (!c.summaries.empty())
        c.summaries.insert(c.summaries.begin() + qsizetype(row), RowSummary());
    for (std::size_t r = row; r < c.ends.size(); ++r)
        c.ends[r] += text.size();
    ++m_size;
    if (c.ends.size() >= 2 * chunkRows) {
        // Split in halves so that a chunk stays short however many rows go into one place.
        Chunk upper;
        const std::size_t half = c.ends.size() / 2;
        const qsizetype cut = c.ends[half - 1];
        upper.wide = c.wide;
        if (c.wide) {
            upper.utf16 = c.utf16.substr(std::size_t(cut));
            c.utf16.resize(std::size_t(cut));
        } else {
            upper.narrow = c.narrow.substr(std::size_t(cut));
            c.narrow.resize(std::size_t(cut));
        }
        upper.ends.reserve(c.ends.size() - half);
        for (std::size_t r = half; r < c.ends.size(); ++r)
            upper.ends.push_back(c.ends[r] - cut);
        c.ends.resize(half);
        if (!c.summaries.empty()) {
            upper.summaries.assign(c.summaries.begin() + qsizetype(half), c.summaries.end());
            c.summaries.resize(half);
            upper.knownSummaries = std::size_t(std::count_if(upper.summaries.begin(), upper.summaries.end(),
                [](const RowSummary& summary) { return summary.isKnown(); }));
            c.knownSummaries -= upper.knownSummaries;
        }
        m_chunks.insert(m_chunks.begin() + qsizetype(chunk) + 1, std::move(upper));
        m_firstRows.insert(m_firstRows.begin() + qsizetype(chunk) + 1, 0);
    }
    renumberFrom(chunk + 1);
}

void FoldedTexts::remove(qsizetype index)
{
    const auto [chunk, row] = locate(index);
    Chunk& c = m_chunks[chunk];
    const qsizetype start = c.start(row);
    const qsizetype length = c.ends[row] - start;
    c.splice(start, length, {});
    c.ends.erase(c.ends.begin() + qsizetype(row));
    if (!c.summaries.empty()) {
        c.knownSummaries -= c.summaries[row].isKnown();
        c.summaries.erase(c.summaries.begin() + qsizetype(row));
    }
    for (std::size_t r = row; r < c.ends.size(); ++r)
        c.ends[r] -= length;
    --m_size;
    if (c.ends.empty()) {
        m_chunks.erase(m_chunks.begin() + qsizetype(chunk));
        m_firstRows.erase(m_firstRows.begin() + qsizetype(chunk));
    }
    renumberFrom(chunk);
}

void FoldedTexts::replace(qsizetype index, QStringView text)
{
    const auto [chunk, row] = locate(index);
    Chunk& c = m_chunks[chunk];
    const qsizetype start = c.start(row);
    const qsizetype delta = text.size() - (c.ends[row] - start);
    c.splice(start, c.ends[row] - start, text);
    if (!c.summaries.empty()) {
        c.knownSummaries -= c.summaries[row].isKnown();
        c.summaries[row] = RowSummary();
    }
    for (std::size_t r = row; r < c.ends.size(); ++r)
        c.ends[r] += delta;
}

bool FoldedTexts::textContains(const Chunk& chunk, std::size_t row, const Needle& needle)
{
    if (chunk.wide)
        return findInRow(chunk.utf16.data(), chunk.ends, row, needle.utf16.utf16(), needle.utf16.size());
    return needle.fitsNarrow
        && findInRow(
            chunk.narrow.data(), chunk.ends, row, needle.narrow.data(), qsizetype(needle.narrow.size()));
}

template <typename Hit>
void FoldedTexts::scan(const Chunk& chunk, const Needle& needle, Hit&& hit)
{
    if (chunk.wide)
        findRows(chunk.utf16.data(), chunk.ends, needle.utf16.utf16(), needle.utf16.size(), hit);
    else
        findRows(chunk.narrow.data(), chunk.ends, needle.narrow.data(), qsizetype(needle.narrow.size()), hit);
}

bool FoldedTexts::rowContains(Chunk& chunk, std::size_t row, const Needle& needle)
{
    RowSummary& summary = chunk.summaries[row];
    if (summary.isKnown())
        return summary.holds(needle.summary) && (needle.summaryAnswers || textContains(chunk, row, needle));
    const bool contains = textContains(chunk, row, needle);
    const qsizetype start = chunk.start(row);
    const qsizetype size = chunk.ends[row] - start;
    summary = chunk.wide ? summarize(chunk.utf16.data() + start, size)
                         : summarize(chunk.narrow.data() + start, size);
    chunk.knownSummaries += summary.isKnown();
    return contains;
}

FilterMatches FoldedTexts::findAll(QStringView query)
{
    const Needle needle(query);
    FilterMatches matches(m_size);
    std::vector<quint64> passing; // a bit per row of the chunk whose summary holds the query's
    for (std::size_t chunk = 0; chunk < m_chunks.size(); ++chunk) {
        Chunk& c = m_chunks[chunk];
        if (!c.wide && !needle.fitsNarrow)
            continue;
        const qsizetype first = m_firstRows[chunk];
        const auto hit = [&](std::size_t row) { matches.set(first + qsizetype(row), true); };
        if (c.summaries.empty()) {
            scan(c, needle, hit);
            continue;
        }
        const std::size_t rows = c.ends.size();
        passing.assign((rows + 63) / 64, 0);
        for (std::size_t row = 0; row < rows; ++row)
            passing[row / 64] |= quint64(c.summaries[row].holds(needle.summary)) << (row % 64);
        std::size_t count = 0;
        for (quint64 bits : passing)
            count += std::size_t(std::popcount(bits));
        if (needle.summaryAnswers && c.knownSummaries == rows) {
            for (std::size_t w = 0; w < passing.size(); ++w)
                matches.add(first + qsizetype(w * 64), passing[w]);
        } else if (count * 2 <= rows) {
            for (std::size_t w = 0; w < passing.size(); ++w)
                for (quint64 bits = passing[w]; bits; bits &= bits - 1) {
                    const std::size_t row = w * 64 + std::size_t(std::countr_zero(bits));
                    if (rowContains(c, row, needle))
                        hit(row);
                }
        } else {
            scan(c, needle, hit);
        }
    }
    return matches;
}

FilterMatches FoldedTexts::narrowed(const FilterMatches& candidates, QStringView query)
{
    const Needle needle(query);
    FilterMatches matches(m_size);
    std::vector<std::size_t> reading; // the candidates of a chunk whose summary holds the query's
    for (std::size_t chunk = 0; chunk < m_chunks.size(); ++chunk) {
        Chunk& c = m_chunks[chunk];
        const qsizetype first = m_firstRows[chunk];
        const qsizetype last = first + qsizetype(c.ends.size());
        if (!c.wide && !needle.fitsNarrow)
            continue;
        const qsizetype count = candidates.count(first, last);
        if (count * 2 > qsizetype(c.ends.size())) {
            // Most rows are read: a summary would rule out few of them.
            const auto read = [&](const auto* text, const auto* units, qsizetype length) {
                candidates.forEachIn(first, last, [&](qsizetype index) {
                    if (findInRow(text, c.ends, std::size_t(index - first), units, length))
                        matches.set(index, true);
                });
            };
            if (c.wide)
                read(c.utf16.data(), needle.utf16.utf16(), needle.utf16.size());
            else
                read(c.narrow.data(), needle.narrow.data(), qsizetype(needle.narrow.size()));
            continue;
        }
        if (count == 0)
            continue;
        if (c.summaries.empty())
            c.summaries.resize(c.ends.size());
        reading.clear();
        candidates.forEachIn(first, last, [&](qsizetype index) {
            if (c.summaries[std::size_t(index - first)].holds(needle.summary))
                reading.push_back(std::size_t(index - first));
        });
        // The rows are far apart: fetching a few rows ahead overlaps their reads from memory.
        constexpr std::size_t ahead = 4;
        const auto prefetch = [&](std::size_t row) {
            if (c.wide)
                __builtin_prefetch(c.utf16.data() + c.start(row));
            else
                __builtin_prefetch(c.narrow.data() + c.start(row));
        };
        for (std::size_t k = 0; k < std::min(ahead, reading.size()); ++k)
            prefetch(reading[k]);
        for (std::size_t k = 0; k < reading.size(); ++k) {
            if (k + ahead < reading.size())
                prefetch(reading[k + ahead]);
            if (rowContains(c, reading[k], needle))
                matches.set(first + qsizetype(reading[k]), true);
        }
    }
    return matches;
}
