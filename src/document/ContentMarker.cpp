#include "document/ContentMarker.h"

#include <utility>

ContentMarker::ContentMarker(qsizetype keepUpTo) : m_keepUpTo(keepUpTo), m_hash(ContentMark::digestAlgorithm)
{ }

void ContentMarker::add(QByteArrayView piece)
{
    m_size += piece.size();
    if (m_digesting) {
        m_hash.addData(piece);
        return;
    }
    if (m_size <= m_keepUpTo) {
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
    ContentMark mark;
    mark.m_size = m_size;
    mark.m_digested = m_digesting;
    mark.m_content = m_digesting ? m_hash.result() : std::exchange(m_kept, QByteArray());
    return mark;
}
