#pragma once

#include "session/TaskSection.h"

#include <QString>
#include <QUuid>

#include <optional>

// The placeholder row of an item that is leaving its section.
struct CompletionShellState {
    QUuid itemID;
    TaskSection section = TaskSection::working; // the section it is leaving
    QString title;
    std::optional<QString> note;
    bool isCompleted = false; // a completion rather than a move between working and inbox

    friend bool operator==(const CompletionShellState& a, const CompletionShellState& b) = default;
};
