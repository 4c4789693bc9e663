#pragma once

#include "cli/TaskLocation.h"
#include "document/VeskDocument.h"

#include <QString>

#include <variant>

// A task named on the command line: "p2", "n1", "c3", a bare number counting Next then Pending, or
// an exact title. Resolving gives the task's place, or a message naming the candidates.
class TaskReference {
public:
    static std::variant<TaskLocation, QString> resolve(
        const VeskDocument& document, const QString& reference);
};
