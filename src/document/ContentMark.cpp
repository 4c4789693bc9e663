#include "document/ContentMark.h"

#include <QCryptographicHash>

// BLAKE2b rather than SHA-256: both resist collisions equally well, and Qt's BLAKE2b is several
// times faster, which counts for a file of a hundred megabytes read on every check.
QByteArray ContentMark::digest(const char* data, qsizetype size)
{
    return QCryptographicHash::hash(QByteArrayView(data, size), QCryptographicHash::Blake2b_256);
}

ContentMark ContentMark::of(const QByteArray& bytes, qsizetype keepUpTo)
{
    ContentMark mark;
    mark.m_size = bytes.size();
    mark.m_digested = bytes.size() > keepUpTo;
    mark.m_content = mark.m_digested ? digest(bytes.constData(), bytes.size()) : bytes;
    return mark;
}

bool ContentMark::matches(const QByteArray& bytes) const
{
    return bytes.size() == m_size && isPrefixOf(bytes);
}

bool ContentMark::isPrefixOf(const QByteArray& bytes) const
{
    if (bytes.size() < m_size)
        return false;
    if (!m_digested)
        return bytes.startsWith(m_content);
    return digest(bytes.constData(), m_size) == m_content;
}
