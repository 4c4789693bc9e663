#pragma once

#include <QString>
#include <QUuid>

// The open inline editor of one task.
struct InlineEditState {
    QUuid itemID;
    QString draftText;
    QString originalText; // the task's editable text when editing began

    friend bool operator==(const InlineEditState& a, const InlineEditState& b) = default;
};
