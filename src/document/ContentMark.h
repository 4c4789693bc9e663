#pragma once

#include <QByteArray>
#include <QCryptographicHash>

// What a file held, kept to recognise the same content later without keeping a whole long list
// twice: a short file's bytes themselves, a longer one's size and BLAKE2b-256 digest. A digest of
// 256 bits calls two different contents the same about once in 2^128 tries even when someone
// searches for such a pair, so, in practice, never; the size is compared first anyway.
class ContentMark {
public:
    // Up to this many bytes are kept as they are: comparing them costs less than a digest, and
    // a list this long is a few hundred thousand tasks.
    static constexpr qsizetype keptBytesLimit = 8 * 1024 * 1024;
    // BLAKE2b rather than SHA-256: both resist collisions equally well, and Qt's BLAKE2b is several
    // times faster, which counts for a file of a hundred megabytes read on every check.
    static constexpr QCryptographicHash::Algorithm digestAlgorithm = QCryptographicHash::Blake2b_256;

    ContentMark() = default;
    static ContentMark of(const QByteArray& bytes, qsizetype keepUpTo = keptBytesLimit);

    qsizetype size() const { return m_size; }
    // True when only the digest of the content is kept.
    bool isDigested() const { return m_digested; }
    // True when bytes are the content marked.
    bool matches(const QByteArray& bytes) const;
    // True when bytes begin with the content marked.
    bool isPrefixOf(const QByteArray& bytes) const;

    bool operator==(const ContentMark& other) const = default;

private:
    friend class ContentMarker;
    static QByteArray digest(const char* data, qsizetype size);

    qsizetype m_size = 0;
    bool m_digested = false;
    // The bytes, or their digest when m_digested.
    QByteArray m_content;
};
