#pragma once

#include <QtGlobal>

#include <bit>
#include <cstddef>
#include <iterator>
#include <vector>

// The rows of one section's list that pass the filter, by their index in the list: one bit per
// row, so that keeping several results, testing a row and shifting the rows after an insertion
// stay cheap at any length. Iterating yields the matching indexes in ascending order.
class FilterMatches {
public:
    FilterMatches() = default;
    // `size` rows, none matching.
    explicit FilterMatches(qsizetype size) : m_size(size), m_words(wordCount(size)) { }

    qsizetype size() const { return m_size; }
    qsizetype count() const;
    bool contains(qsizetype index) const { return m_words[std::size_t(index) / 64] >> (index % 64) & 1; }
    // The first matching index at or after `from`, or the size when there is none.
    qsizetype next(qsizetype from) const;
    // The 64 rows from `from` on, one bit each (row `from` the lowest); rows past the size are clear.
    quint64 bitsAt(qsizetype from) const
    {
        const std::size_t w = std::size_t(from) / 64;
        const int shift = int(from % 64);
        if (w >= m_words.size())
            return 0;
        quint64 bits = m_words[w] >> shift;
        if (shift && w + 1 < m_words.size())
            bits |= m_words[w + 1] << (64 - shift);
        return bits;
    }
    void set(qsizetype index, bool matches)
    {
        const quint64 bit = quint64(1) << (index % 64);
        quint64& word = m_words[std::size_t(index) / 64];
        word = matches ? word | bit : word & ~bit;
    }
    // Sets the rows of the 64 from `from` on whose bits are set (row `from` the lowest); the bits
    // of rows past the size must be clear.
    void setBits(qsizetype from, quint64 bits)
    {
        const std::size_t w = std::size_t(from) / 64;
        const int shift = int(from % 64);
        m_words[w] |= bits << shift;
        if (shift && w + 1 < m_words.size())
            m_words[w + 1] |= bits >> (64 - shift);
    }
    // Keeps the first `size` rows, or adds rows that do not match up to `size`.
    void resize(qsizetype size);
    // Inserts a row before `index`; the rows from there on move up by one.
    void insertRow(qsizetype index, bool matches);
    // Removes the row at `index`; the rows after it move down by one.
    void removeRow(qsizetype index);

    // Calls visit(index) for each matching index in ascending order.
    template <typename Visit>
    void forEach(Visit&& visit) const
    {
        for (std::size_t w = 0; w < m_words.size(); ++w)
            for (quint64 word = m_words[w]; word; word &= word - 1)
                visit(qsizetype(w * 64 + std::countr_zero(word)));
    }

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using difference_type = std::ptrdiff_t;
        using value_type = qsizetype;
        using pointer = const qsizetype*;
        using reference = qsizetype;

        qsizetype operator*() const { return m_index; }
        const_iterator& operator++()
        {
            m_index = m_set->next(m_index + 1);
            return *this;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b)
        {
            return a.m_index == b.m_index;
        }

    private:
        friend class FilterMatches;
        const_iterator(const FilterMatches* set, qsizetype from) : m_set(set), m_index(set->next(from)) { }

        const FilterMatches* m_set = nullptr;
        qsizetype m_index = 0;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, m_size); }

    friend bool operator==(const FilterMatches& a, const FilterMatches& b)
    {
        return a.m_size == b.m_size && a.m_words == b.m_words;
    }

private:
    static std::size_t wordCount(qsizetype size) { return (std::size_t(size) + 63) / 64; }

    qsizetype m_size = 0;
    std::vector<quint64> m_words; // bits past the size are always clear
};
