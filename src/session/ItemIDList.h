#pragma once

#include <QList>
#include <QSharedData>
#include <QUuid>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <span>
#include <type_traits>
#include <vector>

// A section's task ids in order: a value type read like QList<QUuid>, whose copies share their
// storage in chunks of a few hundred ids. A copy is a table of shared chunks, and an edit copies
// only the table and the chunks it touches, so the lists held by the undo history, the rows, the
// filter or a save in progress cost an edit a few kilobytes instead of a copy of the whole list.
// Sharing is counted atomically, as Qt's implicit sharing is: another thread may read a copy while
// this one edits its own.
class ItemIDList {
    using Chunk = QList<QUuid>;
    struct Table : QSharedData {
        std::vector<Chunk> chunks; // never empty ones
        std::vector<qsizetype> starts; // the index of each chunk's first id
        // For each chunk, a bit for the region (regionOf) of each id in it, and maybe of ids no
        // longer in it: indexOf reads only the chunks whose bit for the id's region is set.
        std::vector<quint64> regions;
        qsizetype size = 0;
    };

public:
    // A chunk grows to twice this before it is cut in two, and is joined with a neighbour when it
    // falls below a quarter of it.
    static constexpr qsizetype chunkSize = 512;

    // Walks the ids chunk by chunk; stepping costs a pointer increment within a chunk.
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = QUuid;
        using difference_type = qsizetype;
        using pointer = const QUuid*;
        using reference = const QUuid&;

        const_iterator() = default;
        reference operator*() const { return *m_at; }
        pointer operator->() const { return m_at; }
        reference operator[](difference_type n) const { return *(*this + n); }
        const_iterator& operator++()
        {
            if (++m_at == m_chunkEnd)
                enterNextChunk();
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator old = *this;
            ++*this;
            return old;
        }
        const_iterator& operator--()
        {
            if (m_at == m_chunkBegin)
                enterChunk(m_chunk - 1, m_table->chunks[size_t(m_chunk - 1)].size());
            --m_at;
            return *this;
        }
        const_iterator operator--(int)
        {
            const_iterator old = *this;
            --*this;
            return old;
        }
        const_iterator& operator+=(difference_type n);
        const_iterator& operator-=(difference_type n) { return *this += -n; }
        friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b)
        {
            return a.index() - b.index();
        }
        // An iterator rests at a chunk's end only at the end of the list, so places are pointers.
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.m_at == b.m_at; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b)
        {
            return a.index() <=> b.index();
        }

        qsizetype index() const
        {
            return m_table ? m_table->starts[size_t(m_chunk)] + (m_at - m_chunkBegin) : 0;
        }

    private:
        friend class ItemIDList;
        const_iterator(const Table* table, qsizetype chunk, qsizetype offset) : m_table(table)
        {
            if (table)
                enterChunk(chunk, offset);
        }
        void enterChunk(qsizetype chunk, qsizetype offset)
        {
            const Chunk& ids = m_table->chunks[size_t(chunk)];
            m_chunk = chunk;
            m_chunkBegin = ids.constData();
            m_chunkEnd = m_chunkBegin + ids.size();
            m_at = m_chunkBegin + offset;
        }
        void enterNextChunk()
        {
            if (m_chunk + 1 < qsizetype(m_table->chunks.size()))
                enterChunk(m_chunk + 1, 0);
        }

        const Table* m_table = nullptr;
        qsizetype m_chunk = 0;
        const QUuid* m_chunkBegin = nullptr;
        const QUuid* m_chunkEnd = nullptr;
        const QUuid* m_at = nullptr;
    };
    using ConstIterator = const_iterator;
    using iterator = const_iterator;
    using value_type = QUuid;
    using size_type = qsizetype;
    using difference_type = qsizetype;
    using const_reference = const QUuid&;
    using reference = const QUuid&;

    ItemIDList() = default;
    ItemIDList(const QList<QUuid>& ids);
    ItemIDList(std::initializer_list<QUuid> ids) : ItemIDList(ids.begin(), ids.end()) { }
    template <typename Iterator>
    ItemIDList(Iterator first, Iterator last)
    {
        for (; first != last; ++first)
            append(*first);
    }

    qsizetype size() const { return d ? d->size : 0; }
    qsizetype count() const { return size(); }
    qsizetype length() const { return size(); }
    bool isEmpty() const { return size() == 0; }
    bool empty() const { return isEmpty(); }

    const QUuid& at(qsizetype index) const
    {
        const qsizetype chunk = chunkOf(index);
        return d->chunks[size_t(chunk)].at(index - d->starts[size_t(chunk)]);
    }
    const QUuid& operator[](qsizetype index) const { return at(index); }
    const QUuid& first() const { return d->chunks.front().first(); }
    const QUuid& last() const { return d->chunks.back().last(); }
    const QUuid& constFirst() const { return first(); }
    const QUuid& constLast() const { return last(); }
    const QUuid& front() const { return first(); }
    const QUuid& back() const { return last(); }
    QUuid value(qsizetype index) const { return index >= 0 && index < size() ? at(index) : QUuid(); }

    const_iterator begin() const { return const_iterator(d.constData(), 0, 0); }
    const_iterator end() const
    {
        return d ? const_iterator(d.constData(), qsizetype(d->chunks.size()) - 1, d->chunks.back().size())
                 : const_iterator();
    }
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }
    const_iterator constBegin() const { return begin(); }
    const_iterator constEnd() const { return end(); }
    // The place of index, to walk from there.
    const_iterator iteratorAt(qsizetype index) const;

    // Reads only the chunks that may hold the id. A list loaded from a file has ids that lie in
    // the item map in the list's order (SessionItemMap::orderedIDs), and the map's leaf of an id,
    // cut to one of 64 regions, says which stretch of the loaded list it was in: so a chunk of such
    // ids holds a region or two, and an id is looked for in a few chunks instead of every one.
    qsizetype indexOf(const QUuid& id, qsizetype from = 0) const;
    bool contains(const QUuid& id) const { return indexOf(id) >= 0; }
    // The ids from pos on (to the end when length is negative), as a plain list.
    QList<QUuid> mid(qsizetype pos, qsizetype length = -1) const;
    QList<QUuid> toList() const { return mid(0); }

    // --- Changing; each copies the table and the chunks it touches when they are shared ---
    void append(const QUuid& id);
    void insert(qsizetype index, const QUuid& id);
    void remove(qsizetype index, qsizetype count = 1);
    void removeAt(qsizetype index) { remove(index, 1); }
    // The id at from ends up at to, as QList::move.
    void move(qsizetype from, qsizetype to);
    void replace(qsizetype index, const QUuid& id);
    void clear() { d.reset(); }

    // --- Chunks, for loops that read every id at the cost of reading an array ---
    qsizetype chunkCount() const { return d ? qsizetype(d->chunks.size()) : 0; }
    // The index of the chunk's first id, and its ids.
    qsizetype chunkStart(qsizetype chunk) const { return d->starts[size_t(chunk)]; }
    std::span<const QUuid> chunk(qsizetype chunk) const
    {
        const Chunk& ids = d->chunks[size_t(chunk)];
        return {ids.constData(), size_t(ids.size())};
    }

    // --- Sharing ---
    // Whether both are the very same list data (so equal without comparing).
    bool isSharedWith(const ItemIDList& other) const { return d == other.d; }
    // Whether no other copy holds this list's table: an edit then changes it in place.
    bool isDetached() const { return !d || d->ref.loadRelaxed() == 1; }
    // What identifies the list's data while anyone holds it: it changes in place only when detached.
    const void* storage() const { return d.constData(); }

    // How many ids from the starts of a (from aFrom) and b (from bFrom) are equal, at most count;
    // chunks that both share at the same places are skipped unread.
    static qsizetype commonPrefix(
        const ItemIDList& a, qsizetype aFrom, const ItemIDList& b, qsizetype bFrom, qsizetype count);
    // The same, backwards from just before aEnd and bEnd.
    static qsizetype commonSuffix(
        const ItemIDList& a, qsizetype aEnd, const ItemIDList& b, qsizetype bEnd, qsizetype count);

    friend bool operator==(const ItemIDList& a, const ItemIDList& b)
    {
        return a.size() == b.size() && (a.d == b.d || commonPrefix(a, 0, b, 0, a.size()) == a.size());
    }
    friend bool operator==(const ItemIDList& a, const QList<QUuid>& b)
    {
        return a.size() == b.size() && std::equal(b.cbegin(), b.cend(), a.begin());
    }

private:
    // The chunk holding index (the last one for the end of the list); the list is not empty. Most
    // chunks stay about full, so the chunk a full one would be is tried before searching.
    qsizetype chunkOf(qsizetype index) const
    {
        const std::vector<qsizetype>& starts = d->starts;
        const qsizetype chunks = qsizetype(starts.size());
        const qsizetype guess = std::min(index / chunkSize, chunks - 1);
        if (starts[size_t(guess)] <= index && (guess + 1 == chunks || index < starts[size_t(guess) + 1]))
            return guess;
        return searchChunk(index);
    }
    qsizetype searchChunk(qsizetype index) const;
    // The region bit of an id, and the bits of every id in a chunk.
    static quint64 regionOf(const QUuid& id);
    static quint64 regionsOf(const Chunk& ids);
    void split(Table& table, qsizetype chunk);
    void joinIfSmall(Table& table, qsizetype chunk);
    static void renumber(Table& table, qsizetype fromChunk);

    // Null while empty, so that empty lists allocate nothing.
    QSharedDataPointer<Table> d;
};

static_assert(std::is_trivially_copyable_v<QUuid> && sizeof(QUuid) == 16,
    "ids are compared as memory, which needs their bytes to be all there is to them");
