#include "document/TextBlocks.h"

#include <algorithm>

TextBlocks::~TextBlocks()
{
    closeBlock();
}

QString TextBlocks::text(QStringView text)
{
    if (text.isEmpty())
        return text.toString();
    char16_t* at = place(text.size());
    if (!at)
        return text.toString();
    std::copy_n(text.utf16(), text.size(), at);
    return take(at, text.size());
}

QString TextBlocks::joinedLines(const std::vector<QStringView>& pieces)
{
    if (pieces.size() == 1)
        return text(pieces.front());
    qsizetype size = pieces.empty() ? 0 : qsizetype(pieces.size()) - 1;
    for (QStringView piece : pieces)
        size += piece.size();
    const auto join = [&](char16_t* out) {
        for (size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                *out++ = u'\n';
            out = std::copy_n(pieces[i].utf16(), pieces[i].size(), out);
        }
    };
    char16_t* at = size > 0 ? place(size) : nullptr;
    if (!at) {
        QString own(size, Qt::Uninitialized);
        join(reinterpret_cast<char16_t*>(own.data()));
        return own;
    }
    join(at);
    return take(at, size);
}

char16_t* TextBlocks::place(qsizetype size)
{
    if (size > longestShared)
        return nullptr;
    if (m_end - m_free > size)
        return m_free;
    return startBlock();
}

char16_t* TextBlocks::startBlock(const char16_t* from, qsizetype size)
{
    Q_ASSERT(size <= longestShared);
    auto [header, units] = QTypedArrayData<char16_t>::allocate(blockUnits);
    Q_CHECK_PTR(header);
    // Copied before the current block, which may hold nothing else, is let go of.
    std::copy_n(from, size, units);
    closeBlock();
    m_block = QString::DataPointer(header, units, 0);
    m_free = units;
    m_end = units + header->allocatedCapacity();
    // Every text takes at least two units (one of its own and its '\0'). The block is no one
    // else's yet, so this needs no ordering.
    m_referencesAhead = int(header->allocatedCapacity() / 2);
    header->ref_.fetchAndAddRelaxed(m_referencesAhead);
    return m_free;
}

QString TextBlocks::take(char16_t* at, qsizetype size)
{
    Q_ASSERT(at >= m_free && m_end - at > size);
    at[size] = u'\0';
    m_free = at + size + 1;
    Q_ASSERT(m_referencesAhead > 0);
    --m_referencesAhead;
    return QString(QString::DataPointer(m_block.d_ptr(), at, size));
}

void TextBlocks::closeBlock()
{
    // Released as any holder's reference is, in case a text of the block has gone elsewhere.
    if (m_referencesAhead > 0)
        m_block.d_ptr()->ref_.fetchAndAddRelease(-m_referencesAhead);
    m_referencesAhead = 0;
    m_block = QString::DataPointer();
    m_free = m_end = nullptr;
}
