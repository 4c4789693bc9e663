#include "session/ItemIdGenerator.h"

#include <QRandomGenerator>

namespace {

std::array<quint64, 4> seededState()
{
    std::array<quint64, 4> state {};
    // An all-zero state would only ever give zeros.
    while (state == std::array<quint64, 4> {})
        QRandomGenerator::system()->fillRange(state.data(), state.size());
    return state;
}

std::array<quint64, 4>& threadState()
{
    thread_local std::array<quint64, 4> state = seededState();
    return state;
}

quint64 rotl(quint64 x, int k)
{
    return (x << k) | (x >> (64 - k));
}

// One step of xoshiro256** (Blackman and Vigna): 64 random bits.
quint64 nextWord(std::array<quint64, 4>& s)
{
    const quint64 result = rotl(s[1] * 5, 7) * 9;
    const quint64 t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotl(s[3], 45);
    return result;
}

} // namespace

ItemIdGenerator::ItemIdGenerator() : m_state(threadState()) { }

quint64 ItemIdGenerator::nextBits()
{
    return nextWord(m_state);
}
