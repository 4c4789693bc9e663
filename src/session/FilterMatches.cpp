#include "session/FilterMatches.h"

#include <bit>

qsizetype FilterMatches::count() const
{
    qsizetype total = 0;
    for (quint64 word : m_words)
        total += std::popcount(word);
    return total;
}

void FilterMatches::resize(qsizetype size)
{
    m_size = size;
    m_words.resize(wordCount(size));
    if (size % 64)
        m_words.back() &= (quint64(1) << (size % 64)) - 1;
}

void FilterMatches::insertRow(qsizetype index, bool matches)
{
    ++m_size;
    if (m_words.size() < wordCount(m_size))
        m_words.push_back(0);
    const std::size_t at = std::size_t(index) / 64;
    for (std::size_t w = m_words.size() - 1; w > at; --w)
        m_words[w] = m_words[w] << 1 | m_words[w - 1] >> 63;
    const quint64 below = (quint64(1) << (index % 64)) - 1;
    const quint64 word = m_words[at];
    m_words[at] = (word & below) | (word & ~below) << 1 | quint64(matches) << (index % 64);
}

void FilterMatches::removeRow(qsizetype index)
{
    const std::size_t at = std::size_t(index) / 64;
    const quint64 below = (quint64(1) << (index % 64)) - 1;
    const quint64 word = m_words[at];
    m_words[at] = (word & below) | (word >> 1 & ~below);
    for (std::size_t w = at; w + 1 < m_words.size(); ++w) {
        m_words[w] |= m_words[w + 1] << 63;
        m_words[w + 1] >>= 1;
    }
    --m_size;
    m_words.resize(wordCount(m_size));
}

qsizetype FilterMatches::next(qsizetype from) const
{
    if (from >= m_size)
        return m_size;
    std::size_t w = std::size_t(from) / 64;
    quint64 word = m_words[w] & ~((quint64(1) << (from % 64)) - 1);
    while (!word) {
        if (++w == m_words.size())
            return m_size;
        word = m_words[w];
    }
    return qsizetype(w * 64 + std::countr_zero(word));
}
