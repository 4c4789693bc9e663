#pragma once

#include "document/ContentMark.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>

// Marks content that arrives piece by piece, as a file is read: the same mark as ContentMark::of
// of the whole, while never holding more than keepUpTo bytes of it, so that checking a long list
// against its mark does not need the list in memory.
class ContentMarker {
public:
    explicit ContentMarker(qsizetype keepUpTo = ContentMark::keptBytesLimit);

    void add(QByteArrayView piece);
    // The mark of everything added; once only.
    ContentMark finish();

private:
    qsizetype m_keepUpTo;
    qsizetype m_size = 0;
    // Everything added, until it grows beyond m_keepUpTo and goes into the digest.
    QByteArray m_kept;
    bool m_digesting = false;
    QCryptographicHash m_hash;
};
