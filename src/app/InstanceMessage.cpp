#include "app/InstanceMessage.h"

#include <QStringDecoder>
#include <QtEndian>

namespace {
constexpr char magic[] = {'V', 'E', 'S', 'K'};

void appendU32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

quint32 readU32(QByteArrayView data, qsizetype at)
{
    return qFromBigEndian<quint32>(data.data() + at);
}

bool isAcceptablePath(const QString& path)
{
    return path.startsWith(QLatin1Char('/')) && !path.contains(QChar(0));
}

// The path stored at the front of data, or none when it is not a well-formed absolute path.
std::optional<QString> decodePath(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString path = decoder.decode(bytes);
    if (decoder.hasError() || !isAcceptablePath(path))
        return std::nullopt;
    return path;
}
} // namespace

QByteArray InstanceMessage::encode() const
{
    QByteArray payload;
    if (kind == Kind::open) {
        if (quint32(paths.size()) > maximumPathCount)
            return {};
        appendU32(payload, quint32(paths.size()));
        for (const QString& path : paths) {
            const QByteArray bytes = path.toUtf8();
            if (!isAcceptablePath(path) || bytes.size() > qsizetype(maximumPathSize))
                return {};
            appendU32(payload, quint32(bytes.size()));
            payload.append(bytes);
            if (payload.size() > maximumPayloadSize)
                return {};
        }
    }
    QByteArray out(magic, sizeof magic);
    out.append(char(version));
    out.append(char(kind));
    appendU32(out, quint32(payload.size()));
    out.append(payload);
    return out;
}

InstanceMessage::Status InstanceMessage::decode(
    QByteArrayView data, InstanceMessage* message, qsizetype* size)
{
    constexpr Status malformed = Status::malformed;
    // Garbage is refused as soon as it shows, not after a full header's worth of it.
    const qsizetype known = std::min<qsizetype>(data.size(), sizeof magic);
    if (QByteArrayView(data.data(), known) != QByteArrayView(magic, known))
        return malformed;
    if (data.size() > 4 && quint8(data[4]) != version)
        return malformed;
    if (data.size() > 5 && quint8(data[5]) != quint8(Kind::open) && quint8(data[5]) != quint8(Kind::toggle))
        return malformed;
    if (data.size() < headerSize)
        return Status::incomplete;
    const Kind kind = Kind(quint8(data[5]));
    const quint32 payloadSize = readU32(data, 6);
    if (payloadSize > quint32(maximumPayloadSize))
        return malformed;
    if (data.size() < headerSize + qsizetype(payloadSize))
        return Status::incomplete;

    const QByteArrayView payload = data.sliced(headerSize, payloadSize);
    InstanceMessage decoded {kind, {}};
    if (kind == Kind::toggle && !payload.isEmpty())
        return malformed;

    if (kind == Kind::open && payload.size() < 4)
        return malformed;
    const quint32 count = kind == Kind::open ? readU32(payload, 0) : 0;
    if (count > maximumPathCount)
        return malformed;
    qsizetype at = kind == Kind::open ? 4 : 0;
    for (quint32 i = 0; i < count; ++i) {
        if (payload.size() - at < 4)
            return malformed;
        const quint32 pathSize = readU32(payload, at);
        at += 4;
        if (pathSize == 0 || pathSize > maximumPathSize || payload.size() - at < qsizetype(pathSize))
            return malformed;
        const std::optional<QString> path = decodePath(payload.sliced(at, pathSize));
        if (!path)
            return malformed;
        decoded.paths << *path;
        at += pathSize;
    }
    if (at != payload.size())
        return malformed;
    *message = decoded;
    *size = headerSize + qsizetype(payloadSize);
    return Status::complete;
}
