#include "document/ContentMark.h"

#include <QCryptographicHash>

QByteArray ContentMark::digest(const char* data, qsizetype size)
{
    return QCryptographicHash::hash(QByteArrayView(data, size), digestAlgorithm);
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
