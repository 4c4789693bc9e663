#pragma once

#include "platform/Scheduler.h"

#include <QUuid>

// A scheduled move of an inbox item to the working list, still cancellable.
struct PendingTodayToggleCommand {
    QUuid itemID;
    ScheduledJob task;
};
