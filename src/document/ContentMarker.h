#pragma once

#include "document/ContentMark.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>

#include <optional>

// Marks content that arrives piece by piece, as a file is read: the same mark as ContentMark::of
// of the whole, while never holding more than keepUpTo bytes of it, so that checking a long list
// against its mark does not need the list in memory.
class ContentMarker {
public:
    explicit ContentMarker(qsizetype keepUpTo = ContentMark::keptBytesLimit);

    // The content most likely to come, as when a file is checked against what it last held: while
    // the pieces agree with a kept mark's bytes nothing is copied, and finish() shares them. A mark
    // that keeps more bytes than this marker would (ContentMark::of with a higher limit) is compared
    // without making a digest: when everything added agrees with it, finish() gives that mark itself.
    void expect(const ContentMark& expected);
    // Makes room at once for the bytes kept of content this long.
    void reserve(qsizetype size);
    void add(QByteArrayView piece);
    // The mark of everything added, as ContentMark::of with this marker's limit makes it (but see
    // expect); once only.
    ContentMark finish();

private:
    void stopExpecting();

    qsizetype m_keepUpTo;
    qsizetype m_size = 0;
    qsizetype m_reserve = 0;
    // Everything added, until it grows beyond m_keepUpTo and goes into the digest.
    QByteArray m_kept;
    // While set, everything added is the start of its bytes and m_kept is empty.
    std::optional<ContentMark> m_expected;
    bool m_digesting = false;
    QCryptographicHash m_hash;
};
