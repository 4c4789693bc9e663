#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// A request that a second launch of Vesk hands to the running one over the per-user socket.
//
// Wire form, integers big-endian: the magic "VESK", a version byte (1), a kind byte, the payload's
// length (u32), then the payload. An open request's payload is the number of paths (u32) followed
// by each path as its UTF-8 length (u32) and bytes; a toggle request has none. Anything else, and
// anything larger than the limits below, is malformed and is dropped whole.
struct InstanceMessage {
    enum class Kind : quint8 { open = 1, toggle = 2 };

    static constexpr quint8 version = 1;
    static constexpr qsizetype headerSize = 10;
    static constexpr qsizetype maximumPayloadSize = 1024 * 1024;
    static constexpr quint32 maximumPathCount = 10000;
    static constexpr quint32 maximumPathSize = 4096;

    Kind kind = Kind::open;
    // Absolute paths of the files to open (open requests only).
    QStringList paths;

    // Empty when the message would break a limit or holds a path that is not absolute.
    QByteArray encode() const;

    enum class Status { incomplete, complete, malformed };
    // Reads the message at the front of data, which may still be arriving. When it is complete,
    // stores it in message and the number of bytes it takes in size.
    static Status decode(QByteArrayView data, InstanceMessage* message, qsizetype* size);

    friend bool operator==(const InstanceMessage&, const InstanceMessage&) = default;
};
