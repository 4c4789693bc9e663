#pragma once

#include "document/VeskTask.h"

#include <QList>

// A whole to-do list: the three sections in display order.
struct VeskDocument {
    QList<VeskTask> workingItems;
    QList<VeskTask> inboxItems;
    QList<VeskTask> completedItems;

    // The document with three empty lists.
    static const VeskDocument& empty();

    friend bool operator==(const VeskDocument& a, const VeskDocument& b) = default;
};
