#pragma once

#include "session/FilterMatches.h"

#include <QString>
#include <QStringView>

#include <vector>

// The folded searched texts of one section's tasks, in list order. They are joined into chunks of
// a few hundred tasks each: a search runs over long contiguous buffers instead of a call per task,
// and inserting, removing or replacing one task's text touches only its chunk.
class FoldedTexts {
public:
    // Whether the text contains the query, both folded.
    static bool contains(QStringView text, QStringView query);

    qsizetype size() const { return m_size; }
    void clear();
    // Appends a row whose text `write` appends to the QString it is given.
    template <typename Write>
    void append(Write&& write)
    {
        if (m_chunks.empty() || m_chunks.back().ends.size() >= chunkRows) {
            m_chunks.emplace_back();
            m_firstRows.push_back(m_size);
        }
        Chunk& chunk = m_chunks.back();
        write(chunk.text);
        chunk.ends.push_back(chunk.text.size());
        ++m_size;
    }
    void insert(qsizetype index, QStringView text);
    void remove(qsizetype index);
    void replace(qsizetype index, QStringView text);
    QStringView text(qsizetype index) const;

    // The rows whose text contains `query` (not empty).
    FilterMatches findAll(QStringView query) const;
    // The rows of `candidates` whose text contains `query`.
    FilterMatches narrowed(const FilterMatches& candidates, QStringView query) const;

private:
    static constexpr std::size_t chunkRows = 256;
    struct Chunk {
        QString text;
        std::vector<qsizetype> ends; // where each row's text ends in `text`
        qsizetype start(std::size_t row) const { return row == 0 ? 0 : ends[row - 1]; }
    };
    // The chunk holding the row, and the row's place in it.
    std::pair<std::size_t, std::size_t> locate(qsizetype index) const;
    // Recounts the first rows of the chunks from `chunk` on.
    void renumberFrom(std::size_t chunk);

    std::vector<Chunk> m_chunks;
    std::vector<qsizetype> m_firstRows; // the index of each chunk's first row
    qsizetype m_size = 0;
};
