#pragma once

#include "document/VeskDocument.h"
#include "session/TaskSection.h"

#include <QString>

#include <optional>

// How the terminal shows a list: sections by the names the panel gives them, tasks numbered within
// their section from 1 in file order.
class TaskListing {
public:
    // "Next", "Pending", "Complete".
    static QString heading(TaskSection section);
    // "next", "pending", "complete": the --section values and the JSON section names.
    static QString key(TaskSection section);
    static std::optional<TaskSection> sectionForKey(const QString& key);
    // "n2", "p1", "c3": how a task is named on the command line; index counts from 0.
    static QString label(TaskSection section, qsizetype index);
    static const QList<VeskTask>& tasks(const VeskDocument& document, TaskSection section);

    // Every section (headed), or only the given one (not headed).
    static QString text(const VeskDocument& document, std::optional<TaskSection> only);
    static QString json(const VeskDocument& document, std::optional<TaskSection> only);
};
