#pragma once

#include <QUuid>

#include <array>

// Random (version 4) UUIDs for session items. Ids name tasks within one session and are never
// stored, so they need to be unique, not unpredictable: they come from a fast generator
// (xoshiro256**) seeded once per thread from the system's random source, which costs a few
// nanoseconds an id where asking the system for every id made loading a long list spend most of
// its time on ids.
class ItemIdGenerator {
public:
    ItemIdGenerator();

    QUuid next();

private:
    std::array<quint64, 4>& m_state;
};
