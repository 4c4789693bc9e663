#pragma once

#include "TaskSection.h"
#include "VeskDocument.h"

#include <QString>

#include <variant>

// Where a task stands in its document: its section and its index there (from 0).
struct TaskLocation {
    TaskSection section;
    qsizetype index;
};

// A task named on the command line: "p2", "n1", "c3", a bare number counting Next then Pending, or
// an exact title. Resolving gives the task's place, or a message naming the candidates.
class TaskReference {
public:
    static std::variant<TaskLocation, QString> resolve(
        const VeskDocument& document, const QString& reference);
};
