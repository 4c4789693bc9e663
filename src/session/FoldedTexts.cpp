#include "session/FoldedTexts.h"

#include <algorithm>
#include <bit>

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
    const Unit* text, const std::vector<quint32>& ends, const Unit* needle, qsizetype length, Hit&& hit)
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
bool findInRow(
    const Unit* text, const std::vector<quint32>& ends, std::size_t row, const Unit* needle, qsizetype length)
{
    const qsizetype start = row == 0 ? 0 : ends[row - 1];
    const qsizetype end = ends[row];
    const qsizetype reach = std::min(qsizetype(ends.back()), end + qsizetype(16 / sizeof(Unit)));
    const qsizetype at = find(text, reach, needle, length, start);
    return at >= 0 && at + length <= end;
}

bool fitsLatin1(QStringView text)
{
    char16_t all = 0;
    for (QChar c : text)
        all |= c.unicode();
    return all < 0x100;
}

} // namespace

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

FoldedTexts::Needle::Needle(QStringView query) : utf16(query), fitsNarrow(fitsLatin1(query))
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
        if (!m_chunks.empty()) {
            // A full chunk gives back what its growth reserved: up to half of a long list's texts.
            Chunk& full = m_chunks.back();
            full.narrow.shrink_to_fit();
            full.utf16.shrink_to_fit();
            full.ends.shrink_to_fit();
        }
        m_chunks.emplace_back();
        m_firstRows.push_back(m_size);
    }
    return m_chunks.back();
}

void FoldedTexts::appended(Chunk& chunk, qsizetype size)
{
    chunk.ends.push_back(quint32((chunk.ends.empty() ? 0 : chunk.ends.back()) + size));
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
    c.ends.insert(c.ends.begin() + qsizetype(row), quint32(start));
    for (std::size_t r = row; r < c.ends.size(); ++r)
        c.ends[r] += quint32(text.size());
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
            upper.ends.push_back(quint32(c.ends[r] - cut));
        c.ends.resize(half);
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
    for (std::size_t r = row; r < c.ends.size(); ++r)
        c.ends[r] -= quint32(length);
    --m_size;
    if (c.ends.empty()) {
        m_chunks.erase(m_chunks.begin() + qsizetype(chunk));
        m_firstRows.erase(m_firstRows.begin() + qsizetype(chunk));
    }
    renumberFrom(chunk);
}

void FoldedTexts::truncate(qsizetype rows)
{
    if (rows >= m_size)
        return;
    if (rows == 0) {
        clear();
        return;
    }
    const auto [chunk, row] = locate(rows);
    m_chunks.resize(row == 0 ? chunk : chunk + 1);
    m_firstRows.resize(m_chunks.size());
    if (row > 0) {
        Chunk& c = m_chunks.back();
        c.ends.resize(row);
        if (c.wide)
            c.utf16.resize(std::size_t(c.ends.back()));
        else
            c.narrow.resize(std::size_t(c.ends.back()));
    }
    m_size = rows;
}

void FoldedTexts::replace(qsizetype index, QStringView text)
{
    const auto [chunk, row] = locate(index);
    Chunk& c = m_chunks[chunk];
    const qsizetype start = c.start(row);
    const qsizetype delta = text.size() - (c.ends[row] - start);
    c.splice(start, c.ends[row] - start, text);
    for (std::size_t r = row; r < c.ends.size(); ++r)
        c.ends[r] += quint32(delta); // wraps round to the right end when it shrinks
}

FilterMatches FoldedTexts::findAll(QStringView query) const
{
    const Needle needle(query);
    FilterMatches matches(m_size);
    for (std::size_t chunk = 0; chunk < m_chunks.size(); ++chunk) {
        const Chunk& c = m_chunks[chunk];
        const auto hit = [&](std::size_t row) { matches.set(m_firstRows[chunk] + qsizetype(row), true); };
        if (c.wide)
            findRows(c.utf16.data(), c.ends, needle.utf16.utf16(), needle.utf16.size(), hit);
        else if (needle.fitsNarrow)
            findRows(c.narrow.data(), c.ends, needle.narrow.data(), qsizetype(needle.narrow.size()), hit);
    }
    return matches;
}

FilterMatches FoldedTexts::narrowed(const FilterMatches& candidates, QStringView query) const
{
    const Needle needle(query);
    FilterMatches matches(m_size);
    std::size_t chunk = 0;
    candidates.forEach([&](qsizetype index) {
        if (index >= m_size)
            return; // a row not folded yet
        while (index >= m_firstRows[chunk] + qsizetype(m_chunks[chunk].ends.size()))
            ++chunk;
        const Chunk& c = m_chunks[chunk];
        const std::size_t row = std::size_t(index - m_firstRows[chunk]);
        if (c.wide) {
            if (findInRow(c.utf16.data(), c.ends, row, needle.utf16.utf16(), needle.utf16.size()))
                matches.set(index, true);
        } else if (needle.fitsNarrow) {
            if (findInRow(
                    c.narrow.data(), c.ends, row, needle.narrow.data(), qsizetype(needle.narrow.size())))
                matches.set(index, true);
        }
    });
    return matches;
}
