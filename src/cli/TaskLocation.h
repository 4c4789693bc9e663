#pragma once

#include "session/TaskSection.h"

#include <QtGlobal>

// Where a task stands in its document: its section and its index there (from 0).
struct TaskLocation {
    TaskSection section;
    qsizetype index;
};
