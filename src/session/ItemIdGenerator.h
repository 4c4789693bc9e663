#pragma once

#include <QList>
#include <QUuid>

// Random (version 4) UUIDs for session items. Ids name tasks within one session and are never
// stored, so they need to be unique, not unpredictable: they come from a fast generator seeded once
// per thread from the system's random source, which costs a few nanoseconds an id where asking the
// system for every id made loading a long list spend most of its time on ids.
class ItemIdGenerator {
public:
    static QList<QUuid> generate(qsizetype count);
};
