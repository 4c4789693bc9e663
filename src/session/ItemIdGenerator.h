#pragma once

#include <QtGlobal>

#include <array>

// The random bits of the ids a loaded list's tasks get (SessionItemMap::orderedIDs). Ids name
// tasks within one session and are never stored, so they need to be unique, not unpredictable: the
// bits come from a fast generator (xoshiro256**) seeded once per thread from the system's random
// source, which costs a few nanoseconds an id where asking the system for every id made loading a
// long list spend most of its time on ids.
class ItemIdGenerator {
public:
    ItemIdGenerator();

    // 64 random bits.
    quint64 nextBits();

private:
    std::array<quint64, 4>& m_state;
};
