#pragma once

#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <iterator>
#include <type_traits>
#include <utility>
#include <vector>

// A sequence kept in chunks of a few hundred elements: inserting or removing a stretch moves only
// the elements of the chunks it touches, and an element is found by its index through the chunks'
// first indices (a search over a few thousand numbers for millions of elements). Each chunk
// remembers whether it changed, so that what an owner keeps per chunk (such as its height) is
// brought up to date for the changed chunks alone.
template <typename T>
class ChunkedList {
public:
    // A chunk is split when it grows beyond twice this and joined with a neighbour below a quarter.
    static constexpr qsizetype chunkSize = 256;

    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = T;
        using difference_type = qsizetype;
        using pointer = const T*;
        using reference = const T&;

        const_iterator() = default;
        const_iterator(const ChunkedList* list, qsizetype index) : m_list(list), m_index(index) { }
        reference operator*() const { return (*m_list)[m_index]; }
        pointer operator->() const { return &(*m_list)[m_index]; }
        reference operator[](difference_type n) const { return (*m_list)[m_index + n]; }
        const_iterator& operator++() { return ++m_index, *this; }
        const_iterator operator++(int) { return const_iterator(m_list, m_index++); }
        const_iterator& operator--() { return --m_index, *this; }
        const_iterator operator--(int) { return const_iterator(m_list, m_index--); }
        const_iterator& operator+=(difference_type n) { return m_index += n, *this; }
        const_iterator& operator-=(difference_type n) { return m_index -= n, *this; }
        friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b)
        {
            return a.m_index - b.m_index;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b)
        {
            return a.m_index == b.m_index;
        }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b)
        {
            return a.m_index <=> b.m_index;
        }

    private:
        const ChunkedList* m_list = nullptr;
        qsizetype m_index = 0;
    };

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, m_size); }
    const T& operator[](qsizetype index) const
    {
        const auto [chunk, offset] = locate(index);
        return m_chunks[size_t(chunk)].items[size_t(offset)];
    }
    const T& at(qsizetype index) const { return (*this)[index]; }
    // An element to change in place; its chunk counts as changed.
    T& mutableAt(qsizetype index)
    {
        const auto [chunk, offset] = locate(index);
        markChanged(chunk);
        return m_chunks[size_t(chunk)].items[size_t(offset)];
    }
    QList<T> toList() const
    {
        QList<T> list;
        list.reserve(m_size);
        for (const Chunk& chunk : m_chunks) {
            for (const T& item : chunk.items)
                list.append(item);
        }
        return list;
    }
    // The elements in order, moved out; the list is empty after.
    std::vector<T> takeAll()
    {
        std::vector<T> all;
        all.reserve(size_t(m_size));
        for (Chunk& chunk : m_chunks)
            std::move(chunk.items.begin(), chunk.items.end(), std::back_inserter(all));
        clear();
        return all;
    }

    // Adds value at the end, filling the last chunk to chunkSize: a list built in order this way
    // takes its memory a chunk at a time, never as one block the size of the list.
    void append(const T& value)
    {
        if (m_chunks.empty() || qsizetype(m_chunks.back().items.size()) >= chunkSize)
            addChunk();
        m_chunks.back().items.push_back(value);
        ++m_size;
    }
    // Adds count elements from first at the end, as append does.
    void append(const T* first, qsizetype count)
    {
        while (count > 0) {
            if (m_chunks.empty() || qsizetype(m_chunks.back().items.size()) >= chunkSize)
                addChunk();
            std::vector<T>& items = m_chunks.back().items;
            const qsizetype n = std::min(count, chunkSize - qsizetype(items.size()));
            items.insert(items.end(), first, first + n);
            m_size += n;
            first += n;
            count -= n;
        }
    }
    // Adds count elements of other from index from at the end, as append does.
    void append(const ChunkedList& other, qsizetype from, qsizetype count)
    {
        while (count > 0) {
            const auto [chunk, offset] = other.locate(from);
            const std::vector<T>& items = other.m_chunks[size_t(chunk)].items;
            const qsizetype n = std::min(count, qsizetype(items.size()) - offset);
            append(items.data() + offset, n);
            from += n;
            count -= n;
        }
    }

    void clear()
    {
        m_chunks.clear();
        m_starts.clear();
        m_size = 0;
        m_firstChanged = 0;
    }
    template <typename Range>
    void assign(Range&& range)
    {
        clear();
        auto it = std::begin(range);
        const auto last = std::end(range);
        while (it != last) {
            Chunk chunk;
            chunk.items.reserve(size_t(chunkSize));
            for (qsizetype n = 0; n < chunkSize && it != last; ++n, ++it) {
                if constexpr (std::is_rvalue_reference_v<Range&&>)
                    chunk.items.push_back(std::move(*it));
                else
                    chunk.items.push_back(*it);
            }
            m_starts.push_back(m_size);
            m_size += qsizetype(chunk.items.size());
            m_chunks.push_back(std::move(chunk));
        }
    }
    // count copies of value before index at.
    void insert(qsizetype at, qsizetype count, const T& value)
    {
        if (count <= 0)
            return;
        if (m_chunks.empty()) {
            m_chunks.emplace_back();
            m_starts.push_back(0);
        }
        const auto [chunk, offset] = locate(at);
        std::vector<T>& items = m_chunks[size_t(chunk)].items;
        items.insert(items.begin() + offset, size_t(count), value);
        m_size += count;
        markChanged(chunk);
        if (qsizetype(items.size()) > 2 * chunkSize)
            split(chunk);
        renumber(chunk);
    }
    void remove(qsizetype at, qsizetype count)
    {
        if (count <= 0)
            return;
        auto [chunk, offset] = locate(at);
        markChanged(chunk);
        m_size -= count;
        // The first chunk loses its tail (or a stretch inside), whole chunks go at once, the last
        // loses its head.
        std::vector<T>& first = m_chunks[size_t(chunk)].items;
        const qsizetype inFirst = std::min(count, qsizetype(first.size()) - offset);
        first.erase(first.begin() + offset, first.begin() + offset + inFirst);
        count -= inFirst;
        qsizetype next = first.empty() ? chunk : chunk + 1;
        if (first.empty())
            m_chunks.erase(m_chunks.begin() + chunk);
        qsizetype whole = next;
        while (count > 0 && whole < chunkCount() && qsizetype(m_chunks[size_t(whole)].items.size()) <= count)
            count -= qsizetype(m_chunks[size_t(whole++)].items.size());
        m_chunks.erase(m_chunks.begin() + next, m_chunks.begin() + whole);
        if (count > 0) {
            std::vector<T>& last = m_chunks[size_t(next)].items;
            last.erase(last.begin(), last.begin() + count);
            m_chunks[size_t(next)].changed = true;
        }
        // A chunk left small is joined with its neighbour, so chunks stay few.
        for (qsizetype c : {next, chunk}) {
            if (c < qsizetype(m_chunks.size()) && qsizetype(m_chunks[size_t(c)].items.size()) < chunkSize / 4
                && m_chunks.size() > 1)
                join(c);
        }
        renumber(std::max<qsizetype>(0, chunk - 1));
    }

    // --- Chunks ---
    qsizetype chunkCount() const { return qsizetype(m_chunks.size()); }
    qsizetype chunkStart(qsizetype chunk) const { return m_starts[size_t(chunk)]; }
    const std::vector<T>& chunk(qsizetype chunk) const { return m_chunks[size_t(chunk)].items; }
    // The chunk holding the element at index (the last chunk for the end), and the place in it.
    std::pair<qsizetype, qsizetype> locate(qsizetype index) const
    {
        const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), index);
        const qsizetype chunk = std::max<qsizetype>(0, qsizetype(after - m_starts.begin()) - 1);
        return {chunk, index - (m_starts.empty() ? 0 : m_starts[size_t(chunk)])};
    }
    // The first chunk changed since the changes were last taken (chunkCount() when none).
    qsizetype firstChanged() const { return std::min(m_firstChanged, chunkCount()); }
    // Calls refresh(chunk, items, changed) for every chunk from the first changed one on, in order,
    // and forgets the changes.
    template <typename Refresh>
    void takeChanges(Refresh&& refresh)
    {
        for (qsizetype c = firstChanged(); c < chunkCount(); ++c) {
            Chunk& chunk = m_chunks[size_t(c)];
            refresh(c, chunk.items, chunk.changed);
            chunk.changed = false;
        }
        m_firstChanged = chunkCount();
    }

private:
    struct Chunk {
        std::vector<T> items;
        bool changed = true;
    };

    void addChunk()
    {
        m_starts.push_back(m_size);
        m_chunks.emplace_back();
        m_chunks.back().items.reserve(size_t(chunkSize));
        m_firstChanged = std::min(m_firstChanged, chunkCount() - 1);
    }
    void markChanged(qsizetype chunk)
    {
        m_chunks[size_t(chunk)].changed = true;
        m_firstChanged = std::min(m_firstChanged, chunk);
    }
    // Cuts a chunk into pieces of chunkSize or a little more.
    void split(qsizetype chunk)
    {
        std::vector<T> items = std::move(m_chunks[size_t(chunk)].items);
        const qsizetype pieces = qsizetype(items.size()) / chunkSize;
        std::vector<Chunk> cut;
        cut.resize(size_t(pieces));
        qsizetype from = 0;
        for (qsizetype p = 0; p < pieces; ++p) {
            const qsizetype to = qsizetype(items.size()) * (p + 1) / pieces;
            cut[size_t(p)].items.assign(
                std::make_move_iterator(items.begin() + from), std::make_move_iterator(items.begin() + to));
            from = to;
        }
        m_chunks.erase(m_chunks.begin() + chunk);
        m_chunks.insert(m_chunks.begin() + chunk, std::make_move_iterator(cut.begin()),
            std::make_move_iterator(cut.end()));
        markChanged(chunk);
    }
    // Joins a small chunk with the one after it (or before it, if it is the last).
    void join(qsizetype chunk)
    {
        const qsizetype into = chunk + 1 < chunkCount() ? chunk : chunk - 1;
        std::vector<T>& items = m_chunks[size_t(into)].items;
        std::vector<T>& next = m_chunks[size_t(into) + 1].items;
        std::move(next.begin(), next.end(), std::back_inserter(items));
        m_chunks.erase(m_chunks.begin() + into + 1);
        markChanged(into);
        if (qsizetype(items.size()) > 2 * chunkSize)
            split(into);
    }
    // The first indices of the chunks from chunk on.
    void renumber(qsizetype chunk)
    {
        m_starts.resize(m_chunks.size());
        for (size_t c = size_t(chunk); c < m_chunks.size(); ++c)
            m_starts[c] = c == 0 ? 0 : m_starts[c - 1] + qsizetype(m_chunks[c - 1].items.size());
    }

    std::vector<Chunk> m_chunks;
    std::vector<qsizetype> m_starts; // the index of each chunk's first element
    qsizetype m_size = 0;
    qsizetype m_firstChanged = 0;
};
