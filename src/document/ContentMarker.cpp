#include "document/ContentMarker.h"

#include <algorithm>
#include <cstring>
#include <utility>

ContentMarker::ContentMarker(qsizetype keepUpTo) : m_keepUpTo(keepUpTo), m_hash(ContentMark::digestAlgorithm)
{ }

void ContentMarker::expect(const ContentMark& expected)
{
    // A digest can only be compared at the end, so it does not help.
    if (m_size == 0 && !expected.m_digested)
        m_expected = expected;
}

void ContentMarker::reserve(qsizetype size)
{
    m_reserve = std::min(size, m_keepUpTo);
}

void ContentMarker::stopExpecting()
{
    // What came so far agreed with the expected bytes: they are what would have been kept, or
    // digested when there are more of them than this marker keeps.
    const QByteArrayView agreed(m_expected->m_content.constData(), m_size);
    if (m_size > m_keepUpTo) {
        m_digesting = true;
        m_hash.addData(agreed);
    } else {
        m_kept.reserve(std::max(m_reserve, m_size));
        m_kept.append(agreed);
    }
    m_expected.reset();
}

void ContentMarker::add(QByteArrayView piece)
{
    if (m_expected) {
        const qsizetype at = m_size;
        if (at + piece.size() <= m_expected->m_size
            && std::memcmp(m_expected->m_content.constData() + at, piece.data(), size_t(piece.size())) == 0) {
            m_size += piece.size();
            return;
        }
        stopExpecting();
    }
    m_size += piece.size();
    if (m_digesting) {
        m_hash.addData(piece);
        return;
    }
    if (m_size <= m_keepUpTo) {
        if (m_kept.isEmpty())
            m_kept.reserve(std::max(m_reserve, piece.size()));
        m_kept.append(piece);
        return;
    }
    // Too long to keep: from here on only the digest grows.
    m_digesting = true;
    m_hash.addData(m_kept);
    m_kept = QByteArray();
    m_hash.addData(piece);
}

ContentMark ContentMarker::finish()
{
    // Shorter than expected: its start, marked as any other content.
    if (m_expected && m_size < m_expected->m_size)
        stopExpecting();
    if (m_expected) {
        ContentMark mark = std::move(*m_expected);
        m_expected.reset();
        return mark;
    }
    ContentMark mark;
    mark.m_size = m_size;
    mark.m_digested = m_digesting;
    mark.m_content = m_digesting ? m_hash.result() : std::exchange(m_kept, QByteArray());
    return mark;
}
