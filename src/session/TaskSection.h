#pragma once

#include <QLatin1StringView>
#include <QString>

#include <array>
#include <optional>

// The three sections of a list, in display order; that order is also the order in which an item's
// section is looked up.
enum class TaskSection { working, inbox, completed };

inline constexpr std::array<TaskSection, 3> allTaskSections {
    TaskSection::working, TaskSection::inbox, TaskSection::completed};

// The heading a person reads: "Next", "Pending" or "Complete".
QString taskSectionTitle(TaskSection section);

// "working", "inbox" or "completed".
QLatin1StringView taskSectionRawValue(TaskSection section);
std::optional<TaskSection> taskSectionFromRawValue(QStringView rawValue);
