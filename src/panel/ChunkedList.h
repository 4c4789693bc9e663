#pragma once

#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <iterator>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

// A sequence kept in chunks of a few hundred elements: inserting or removing a stretch moves only
// the elements of the chunks it touches, and an element is found by its index through the chunks'
// first indices (a search over a few thousand numbers for millions of elements). Each chunk
// remembers whether it changed, so that what an owner keeps per chunk (such as its height) is
// brought up to date for the changed chunks alone.
//
// A chunk need not hold its elements: it may be a stretch of a list shared with others (appended
// with share(), so that taking in a list of millions costs a few thousand chunks, not a copy), or
// one value repeated (appendRepeated). Such a chunk gets elements of its own, copied from what it
// stood for, when it is first changed.
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
        return m_chunks[size_t(chunk)].at(offset);
    }
    const T& at(qsizetype index) const { return (*this)[index]; }
    // An element to change in place; its chunk counts as changed.
    T& mutableAt(qsizetype index)
    {
        const auto [chunk, offset] = locate(index);
        markChanged(chunk);
        return m_chunks[size_t(chunk)].own()[size_t(offset)];
    }
    QList<T> toList() const
    {
        QList<T> list;
        list.reserve(m_size);
        for (qsizetype index = 0; index < m_size; ++index)
            list.append((*this)[index]);
        return list;
    }

    // Adds value at the end, filling the last chunk to chunkSize: a list built in order this way
    // takes its memory a chunk at a time, never as one block the size of the list.
    void append(const T& value) { append(&value, 1); }
    // Adds count elements from first at the end, as append does.
    void append(const T* first, qsizetype count)
    {
        while (count > 0) {
            if (m_chunks.empty() || m_chunks.back().form != Form::owned
                || qsizetype(m_chunks.back().items.size()) >= chunkSize)
                addChunk(Chunk());
            std::vector<T>& items = m_chunks.back().items;
            if (items.capacity() == 0)
                items.reserve(size_t(chunkSize));
            const qsizetype n = std::min(count, chunkSize - qsizetype(items.size()));
            items.insert(items.end(), first, first + n);
            m_size += n;
            first += n;
            count -= n;
        }
    }
    // Adds count elements of other from index from at the end: stretches of other that are shared or
    // repeated stay so when long enough, the rest is copied as append does.
    void append(const ChunkedList& other, qsizetype from, qsizetype count)
    {
        while (count > 0) {
            const auto [chunk, offset] = other.locate(from);
            const Chunk& source = other.m_chunks[size_t(chunk)];
            const qsizetype n = std::min(count, source.size() - offset);
            if (source.form == Form::shared && n >= chunkSize / 2)
                addChunk(Chunk::sharing(source.source, source.first() + offset, n));
            else if (source.form == Form::repeated && n >= chunkSize / 2)
                addChunk(Chunk::repeating(source.fill, n));
            else if (source.form == Form::repeated)
                insert(m_size, n, source.fill);
            else
                append(source.first() + offset, n);
            from += n;
            count -= n;
        }
    }
    // Adds count elements of list from index from at the end without copying them: the chunks share
    // the list's elements until they are changed.
    void share(const QList<T>& list, qsizetype from, qsizetype count)
    {
        for (qsizetype n; count > 0; from += n, count -= n) {
            n = std::min(count, chunkSize);
            addChunk(Chunk::sharing(list, list.constData() + from, n));
        }
    }
    // Adds count copies of value at the end, held as one value per chunk until changed.
    void appendRepeated(const T& value, qsizetype count)
    {
        for (qsizetype n; count > 0; count -= n) {
            n = std::min(count, chunkSize);
            addChunk(Chunk::repeating(value, n));
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
            addChunk(std::move(chunk));
        }
    }
    // count copies of value before index at.
    void insert(qsizetype at, qsizetype count, const T& value)
    {
        if (count <= 0)
            return;
        if (m_chunks.empty())
            addChunk(Chunk());
        const auto [chunk, offset] = locate(at);
        std::vector<T>& items = m_chunks[size_t(chunk)].own();
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
        const qsizetype inFirst = std::min(count, m_chunks[size_t(chunk)].size() - offset);
        if (inFirst == m_chunks[size_t(chunk)].size()) {
            m_chunks[size_t(chunk)] = Chunk();
        } else {
            std::vector<T>& first = m_chunks[size_t(chunk)].own();
            first.erase(first.begin() + offset, first.begin() + offset + inFirst);
        }
        count -= inFirst;
        const bool firstEmpty = m_chunks[size_t(chunk)].size() == 0;
        qsizetype next = firstEmpty ? chunk : chunk + 1;
        if (firstEmpty)
            m_chunks.erase(m_chunks.begin() + chunk);
        qsizetype whole = next;
        while (count > 0 && whole < chunkCount() && m_chunks[size_t(whole)].size() <= count)
            count -= m_chunks[size_t(whole++)].size();
        m_chunks.erase(m_chunks.begin() + next, m_chunks.begin() + whole);
        if (count > 0) {
            std::vector<T>& last = m_chunks[size_t(next)].own();
            last.erase(last.begin(), last.begin() + count);
            m_chunks[size_t(next)].changed = true;
        }
        // A chunk left small is joined with its neighbour, so chunks stay few.
        for (qsizetype c : {next, chunk}) {
            if (c < qsizetype(m_chunks.size()) && m_chunks[size_t(c)].size() < chunkSize / 4
                && m_chunks.size() > 1)
                join(c);
        }
        renumber(std::max<qsizetype>(0, chunk - 1));
    }

    // --- Chunks ---
    qsizetype chunkCount() const { return qsizetype(m_chunks.size()); }
    qsizetype chunkStart(qsizetype chunk) const { return m_starts[size_t(chunk)]; }
    qsizetype chunkLength(qsizetype chunk) const { return m_chunks[size_t(chunk)].size(); }
    // Whether a chunk holds elements of its own (a copy of the list copies them).
    bool isOwned(qsizetype chunk) const { return m_chunks[size_t(chunk)].form == Form::owned; }
    // Whether a chunk is one value repeated (repeatedValue), holding no elements to read in turn.
    bool isRepeated(qsizetype chunk) const { return m_chunks[size_t(chunk)].form == Form::repeated; }
    const T& repeatedValue(qsizetype chunk) const { return m_chunks[size_t(chunk)].fill; }
    // The elements of a chunk that is not repeated.
    std::span<const T> chunk(qsizetype chunk) const
    {
        const Chunk& c = m_chunks[size_t(chunk)];
        Q_ASSERT(c.form != Form::repeated);
        return std::span<const T>(c.first(), size_t(c.size()));
    }
    // The elements of a chunk to change in place (given elements of its own); it does not count as
    // changed.
    std::span<T> ownChunk(qsizetype chunk)
    {
        std::vector<T>& items = m_chunks[size_t(chunk)].own();
        return std::span<T>(items.data(), items.size());
    }
    // The chunk holding the element at index (the last chunk for the end), and the place in it.
    std::pair<qsizetype, qsizetype> locate(qsizetype index) const
    {
        const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), index);
        const qsizetype chunk = std::max<qsizetype>(0, qsizetype(after - m_starts.begin()) - 1);
        return {chunk, index - (m_starts.empty() ? 0 : m_starts[size_t(chunk)])};
    }
    // The first chunk changed since the changes were last taken (chunkCount() when none).
    qsizetype firstChanged() const { return std::min(m_firstChanged, chunkCount()); }
    // Calls refresh(chunk, changed) for every chunk from the first changed one on, in order, and
    // forgets the changes.
    template <typename Refresh>
    void takeChanges(Refresh&& refresh)
    {
        for (qsizetype c = firstChanged(); c < chunkCount(); ++c) {
            refresh(c, m_chunks[size_t(c)].changed);
            m_chunks[size_t(c)].changed = false;
        }
        m_firstChanged = chunkCount();
    }

private:
    enum class Form : quint8 { owned, shared, repeated };
    // What is read of every chunk when the chunks after a change are counted or stacked comes first,
    // within one cache line.
    struct Chunk {
        Form form = Form::owned;
        bool changed = true;
        std::vector<T> items; // owned
        const T* data = nullptr; // shared
        qsizetype count = 0; // shared and repeated
        QList<T> source; // shared: the list data points into
        T fill {}; // repeated

        Chunk() = default;
        Chunk(const Chunk& other) : Chunk() { *this = other; }
        Chunk(Chunk&& other) noexcept : Chunk() { *this = std::move(other); }
        Chunk& operator=(const Chunk& other)
        {
            items = other.items;
            copyRest(other);
            return *this;
        }
        Chunk& operator=(Chunk&& other) noexcept
        {
            items = std::move(other.items);
            copyRest(other);
            other.items.clear();
            other.data = nullptr;
            return *this;
        }
        static Chunk sharing(const QList<T>& list, const T* first, qsizetype count)
        {
            Chunk chunk;
            chunk.source = list;
            chunk.data = first;
            chunk.count = count;
            chunk.form = Form::shared;
            return chunk;
        }
        static Chunk repeating(const T& value, qsizetype count)
        {
            Chunk chunk;
            chunk.fill = value;
            chunk.count = count;
            chunk.form = Form::repeated;
            return chunk;
        }
        qsizetype size() const { return form == Form::owned ? qsizetype(items.size()) : count; }
        const T* first() const { return form == Form::owned ? items.data() : data; }
        const T& at(qsizetype offset) const { return form == Form::repeated ? fill : first()[offset]; }
        // The elements, made the chunk's own first if it only stood for them.
        std::vector<T>& own()
        {
            if (form == Form::shared)
                items.assign(data, data + count);
            else if (form == Form::repeated)
                items.assign(size_t(count), fill);
            if (form != Form::owned) {
                source = QList<T>();
                fill = T {};
                form = Form::owned;
            }
            return items;
        }

    private:
        void copyRest(const Chunk& other)
        {
            source = other.source;
            count = other.count;
            fill = other.fill;
            form = other.form;
            changed = other.changed;
            data = other.data;
        }
    };

    void addChunk(Chunk chunk)
    {
        m_starts.push_back(m_size);
        m_size += chunk.size();
        m_chunks.push_back(std::move(chunk));
        markChanged(chunkCount() - 1);
    }
    void markChanged(qsizetype chunk)
    {
        m_chunks[size_t(chunk)].changed = true;
        m_firstChanged = std::min(m_firstChanged, chunk);
    }
    // Cuts a chunk into pieces of chunkSize or a little more.
    void split(qsizetype chunk)
    {
        std::vector<T> items = std::move(m_chunks[size_t(chunk)].own());
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
        std::vector<T>& items = m_chunks[size_t(into)].own();
        std::vector<T>& next = m_chunks[size_t(into) + 1].own();
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
            m_starts[c] = c == 0 ? 0 : m_starts[c - 1] + m_chunks[c - 1].size();
    }

    std::vector<Chunk> m_chunks;
    std::vector<qsizetype> m_starts; // the index of each chunk's first element
    qsizetype m_size = 0;
    qsizetype m_firstChanged = 0;
};
