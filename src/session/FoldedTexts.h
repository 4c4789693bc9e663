#pragma once

#include "session/FilterMatches.h"

#include <QString>
#include <QStringView>

#include <string>
#include <vector>

// The folded searched texts of one section's tasks, in list order. They are joined into chunks of
// a few hundred tasks each: a search runs over long contiguous buffers instead of a call per task,
// and inserting, removing or replacing one task's text touches only its chunk. A chunk whose every
// unit fits in 8 bits (most text, once folded) keeps them as Latin-1, so a search reads half the
// bytes; it turns to UTF-16 when a text that does not fit arrives.
class FoldedTexts {
public:
    // Whether the text contains the query, both folded.
    static bool contains(QStringView text, QStringView query);

    qsizetype size() const { return m_size; }
    void clear();
    // Appends a row whose text `write` appends to the (empty) QString it is given. Where the text
    // may go straight into Latin-1 units, `writeLatin1` appends it to the std::string it is given
    // first, answering false, having appended nothing, when it does not fit them.
    template <typename WriteLatin1, typename Write>
    void append(WriteLatin1&& writeLatin1, Write&& write)
    {
        Chunk& c = appendingChunk();
        const std::size_t end = c.narrow.size();
        if (!c.wide && writeLatin1(c.narrow)) {
            appended(c, qsizetype(c.narrow.size() - end));
            return;
        }
        m_scratch.truncate(0); // keeps the buffer for the next row
        write(m_scratch);
        appendRow(m_scratch);
    }
    void insert(qsizetype index, QStringView text);
    void remove(qsizetype index);
    // Keeps the first `rows` rows only.
    void truncate(qsizetype rows);
    void replace(qsizetype index, QStringView text);
    QString text(qsizetype index) const;

    // The rows whose text contains `query` (not empty).
    FilterMatches findAll(QStringView query) const;
    // The rows of `candidates` whose text contains `query`; candidates past the rows held are left
    // out.
    FilterMatches narrowed(const FilterMatches& candidates, QStringView query) const;

private:
    static constexpr std::size_t chunkRows = 256;
    struct Chunk {
        std::string narrow; // the units as Latin-1, while `wide` is false
        std::u16string utf16; // the units, once `wide`
        bool wide = false;
        // Where each row's text ends: four bytes a row, as a chunk holds a few hundred texts.
        std::vector<quint32> ends;
        qsizetype start(std::size_t row) const { return row == 0 ? 0 : ends[row - 1]; }
        // Puts `text` in place of `count` units from `at`.
        void splice(qsizetype at, qsizetype count, QStringView text);
        QString mid(qsizetype at, qsizetype count) const;
    };
    // The query in both widths; `fitsNarrow` is false when some unit needs more than 8 bits, so
    // that no Latin-1 chunk can hold it.
    struct Needle {
        explicit Needle(QStringView query);
        QStringView utf16;
        std::string narrow;
        bool fitsNarrow = true;
    };
    void appendRow(QStringView text);
    // The chunk a row is appended to, and the count of units the row appended to it.
    Chunk& appendingChunk();
    void appended(Chunk& chunk, qsizetype size);
    // The chunk holding the row, and the row's place in it.
    std::pair<std::size_t, std::size_t> locate(qsizetype index) const;
    // Recounts the first rows of the chunks from `chunk` on.
    void renumberFrom(std::size_t chunk);

    std::vector<Chunk> m_chunks;
    std::vector<qsizetype> m_firstRows; // the index of each chunk's first row
    qsizetype m_size = 0;
    QString m_scratch; // the text of the row being appended
};
