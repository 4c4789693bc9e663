#include "document/ContentPieces.h"

ContentPieces piecesOf(const QByteArray& bytes)
{
    return [bytes](const PieceSink& sink) { return bytes.isEmpty() ? 0 : sink(bytes); };
}

QByteArray joinedPieces(const ContentPieces& content)
{
    QByteArray bytes;
    content([&bytes](QByteArrayView piece) {
        bytes.append(piece);
        return 0;
    });
    return bytes;
}
