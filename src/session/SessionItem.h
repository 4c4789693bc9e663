#pragma once

#include <QString>
#include <QUuid>

#include <optional>

// One task of the session. The id identifies it within this session only and is never stored.
struct SessionItem {
    QUuid id;
    QString title; // never empty
    std::optional<QString> note; // absent or non-empty

    friend bool operator==(const SessionItem& a, const SessionItem& b) = default;
};

// The text form of a task: the title, or the title, a line feed and the note.
QString editableText(const SessionItem& item);
QString editableText(const QString& title, const std::optional<QString>& note);
