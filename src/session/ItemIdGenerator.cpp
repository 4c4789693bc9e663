#include "session/ItemIdGenerator.h"

#include <QRandomGenerator>

#include <array>

namespace {

// xoshiro256** (Blackman and Vigna): 256 bits of state, 64 random bits a call.
class Xoshiro256 {
public:
    Xoshiro256()
    {
        // An all-zero state would only ever give zeros; the system source makes that impossible in
        // practice, and the loop rules it out.
        do
            QRandomGenerator::system()->fillRange(m_state.data(), m_state.size());
        while (m_state[0] == 0 && m_state[1] == 0 && m_state[2] == 0 && m_state[3] == 0);
    }

    quint64 operator()()
    {
        const quint64 result = rotl(m_state[1] * 5, 7) * 9;
        const quint64 t = m_state[1] << 17;
        m_state[2] ^= m_state[0];
        m_state[3] ^= m_state[1];
        m_state[1] ^= m_state[2];
        m_state[0] ^= m_state[3];
        m_state[2] ^= t;
        m_state[3] = rotl(m_state[3], 45);
        return result;
    }

private:
    static quint64 rotl(quint64 x, int k) { return (x << k) | (x >> (64 - k)); }

    std::array<quint64, 4> m_state;
};

Xoshiro256& generator()
{
    thread_local Xoshiro256 instance;
    return instance;
}

QUuid uuidFrom(quint64 high, quint64 low)
{
    // Version 4 in the top bits of the third group, the RFC 4122 variant in the top bits of the
    // fourth.
    return QUuid(uint(high >> 32), ushort(high >> 16), ushort((high & 0x0FFF) | 0x4000),
        uchar(((low >> 56) & 0x3F) | 0x80), uchar(low >> 48), uchar(low >> 40), uchar(low >> 32),
        uchar(low >> 24), uchar(low >> 16), uchar(low >> 8), uchar(low));
}

} // namespace

QList<QUuid> ItemIdGenerator::generate(qsizetype count)
{
    Xoshiro256& random = generator();
    QList<QUuid> ids;
    ids.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const quint64 high = random();
        ids.append(uuidFrom(high, random()));
    }
    return ids;
}
