#pragma once

#include <QString>
#include <QStringView>

#include <vector>

// Copies the many short texts of a list being read into shared blocks of a few kilobytes, instead
// of one allocation per text. Each text it gives is an ordinary implicitly shared QString that
// points into its block and holds a reference to it, ends in '\0' where its size says, and is as
// independent as any other: copying it counts a reference, changing it copies just its own units
// first (or, once it is its block's last holder, changes them in place). A block is freed with the
// last text in it.
//
// Blocks are kept small on purpose. A string grown from a shared one (appended or prepended to)
// takes a capacity that reaches back over the whole allocation it came from, so a text sliced from
// one long buffer would allocate that buffer's size; from a block it allocates at most a block
// more than it needs. Texts too long to share a block get one of their own.
class TextBlocks {
public:
    // The units a block holds, its texts' '\0's included: 4 KB.
    static constexpr qsizetype blockUnits = 2048;
    // Longer texts are not put in a block: they would leave too much of one unused.
    static constexpr qsizetype longestShared = blockUnits / 4;

    TextBlocks() = default;
    TextBlocks(const TextBlocks&) = delete;
    TextBlocks& operator=(const TextBlocks&) = delete;
    ~TextBlocks();

    // A copy of text; empty (not null) when text is empty.
    QString text(QStringView text);
    // The pieces joined by line feeds; empty (not null) when that is empty.
    QString joinedLines(const std::vector<QStringView>& pieces);

    // For a reader that writes texts straight into the blocks, with no copy of its own first: the
    // current block's free units are [freeBegin, freeEnd) (both null before the first block). A text
    // of n units written there and taken uses n + 1 of them, for its '\0'.
    char16_t* freeBegin() const { return m_free; }
    char16_t* freeEnd() const { return m_end; }
    // Starts a new block and copies the `size` units at `from` (written in the free units of the
    // current block and not yet taken) to its beginning; returns where they now are. size is at
    // most longestShared.
    char16_t* startBlock(const char16_t* from = nullptr, qsizetype size = 0);
    // The `size` units written at `at`, among the free units and with room for the '\0' after
    // them, as a text of its own. The units before `at` are free no more.
    QString take(char16_t* at, qsizetype size);

private:
    // Where `size` units and the '\0' after them may go, in a new block if the current one is too
    // full; nothing when they are too long to share a block.
    char16_t* place(qsizetype size);
    // Gives back the references taken ahead and not used, and the block's own.
    void closeBlock();

    QString::DataPointer m_block; // the block being filled
    char16_t* m_free = nullptr;
    char16_t* m_end = nullptr;
    // References to the block taken at once when it was made (an atomic increment for each text
    // would cost as much as reading its line), not yet given to a text.
    int m_referencesAhead = 0;
};
