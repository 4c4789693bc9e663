#include "session/FoldedTexts.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Queries are short: comparing in place beats calling memcmp.
bool sameRun(const char16_t* a, const char16_t* b, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// Where `needle` (not empty) first occurs in `haystack` at or after `from`, or -1.
qsizetype find(QStringView haystack, QStringView needle, qsizetype from)
{
    const qsizetype length = needle.size();
    if (length == 1)
        return haystack.indexOf(needle.front(), from);
    const char16_t* text = haystack.utf16();
    const char16_t* query = needle.utf16();
    const qsizetype last = haystack.size() - length; // the last place a hit can start
    qsizetype at = from;
#if defined(__SSE2__)
    // Eight places at a time: a place is a candidate when both the needle's first and its last
    // character are there, which rules out almost every place in ordinary text at once.
    const __m128i first = _mm_set1_epi16(short(query[0]));
    const __m128i final = _mm_set1_epi16(short(query[length - 1]));
    for (; at + 8 <= last + 1; at += 8) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + length - 1));
        unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(starts, first), _mm_cmpeq_epi16(ends, final))));
        while (mask) {
            const qsizetype candidate = at + std::countr_zero(mask) / 2;
            if (sameRun(text + candidate + 1, query + 1, length - 2))
                return candidate;
            mask &= mask - 1;
            mask &= mask - 1; // each character sets two bits
        }
    }
#endif
    for (; at <= last; ++at)
        if (text[at] == query[0] && sameRun(text + at + 1, query + 1, length - 1))
            return at;
    return -1;
}

} // namespace

bool FoldedTexts::contains(QStringView text, QStringView query)
{
    return query.isEmpty() || find(text, query, 0) >= 0;
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

QStringView FoldedTexts::text(qsizetype index) const
{
    const auto [chunk, row] = locate(index);
    const Chunk& c = m_chunks[chunk];
    const qsizetype start = c.start(row);
    return QStringView(c.text).mid(start, c.ends[row] - start);
}

void FoldedTexts::insert(qsizetype index, QStringView text)
{
    if (index == m_size) {
        append([&](QString& out) { out += text; });
        return;
    }
    const auto [chunk, row] = locate(index);
    Chunk& c = m_chunks[chunk];
    const qsizetype start = c.start(row);
    c.text.insert(start, text);
    c.ends.insert(c.ends.begin() + qsizetype(row), start);
    for (std::size_t r = row; r < c.ends.size(); ++r)
        c.ends[r] += text.size();
    ++m_size;
    if (c.ends.size() >= 2 * chunkRows) {
        // Split in halves so that a chunk stays short however many rows go into one place.
        Chunk upper;
        const std::size_t half = c.ends.size() / 2;
        const qsizetype cut = c.ends[half - 1];
        upper.text = c.text.mid(cut);
        upper.ends.reserve(c.ends.size() - half);
        for (std::size_t r = half; r < c.ends.size(); ++r)
            upper.ends.push_back(c.ends[r] - cut);
        c.text.truncate(cut);
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
    c.text.remove(start, length);
    c.ends.erase(c.ends.begin() + qsizetype(row));
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
    c.text.replace(start, c.ends[row] - start, text.data(), text.size());
    for (std::size_t r = row; r < c.ends.size(); ++r)
        c.ends[r] += delta;
}

FilterMatches FoldedTexts::findAll(QStringView query) const
{
    FilterMatches matches(m_size);
    for (std::size_t chunk = 0; chunk < m_chunks.size(); ++chunk) {
        const Chunk& c = m_chunks[chunk];
        const QStringView text(c.text);
        std::size_t row = 0;
        qsizetype from = 0;
        for (;;) {
            const qsizetype at = find(text, query, from);
            if (at < 0)
                break;
            while (c.ends[row] <= at)
                ++row;
            // A hit that runs past the end of its row's text spans two tasks; a later start in
            // the same row would run past it too, so the search goes on at the next row.
            if (at + query.size() <= c.ends[row])
                matches.set(m_firstRows[chunk] + qsizetype(row), true);
            from = c.ends[row];
            if (++row == c.ends.size())
                break;
        }
    }
    return matches;
}

FilterMatches FoldedTexts::narrowed(const FilterMatches& candidates, QStringView query) const
{
    FilterMatches matches(m_size);
    std::size_t chunk = 0;
    candidates.forEach([&](qsizetype index) {
        while (index >= m_firstRows[chunk] + qsizetype(m_chunks[chunk].ends.size()))
            ++chunk;
        const Chunk& c = m_chunks[chunk];
        const std::size_t row = std::size_t(index - m_firstRows[chunk]);
        const qsizetype start = c.start(row);
        if (find(QStringView(c.text).mid(start, c.ends[row] - start), query, 0) >= 0)
            matches.set(index, true);
    });
    return matches;
}
