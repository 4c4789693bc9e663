#pragma once

#include "session/TaskSection.h"

#include <QString>
#include <QUuid>

#include <optional>

// One row the panel draws, derived from the session. Fields that a case does not use keep their
// default values, so rows compare equal exactly when case and used fields agree.
struct RenderedRow {
    enum class Kind { task, completionShell, separator, input, spacer };

    Kind kind = Kind::spacer;
    QUuid itemID; // task, completionShell
    TaskSection section = TaskSection::working; // all but input
    bool isCompleted = false; // task, completionShell
    QString title; // task, completionShell
    std::optional<QString> note; // task, completionShell
    QString draft; // input
    double height = 0; // spacer, in points

    static RenderedRow task(const QUuid& id, TaskSection section, bool isCompleted, const QString& title,
        const std::optional<QString>& note);
    static RenderedRow completionShell(const QUuid& itemID, TaskSection section, const QString& title,
        const std::optional<QString>& note, bool isCompleted);
    static RenderedRow separator(TaskSection section);
    static RenderedRow input(const QString& draft);
    static RenderedRow spacer(TaskSection section, double height);

    // The stable identifier the list view matches rows by, e.g. "task-working-<UUID>",
    // "completion-shell-inbox-<UUID>", "separator-working", "input", "spacer-completed". Built on
    // demand so that deriving the rows stays cheap.
    QString id() const;

    friend bool operator==(const RenderedRow& a, const RenderedRow& b) = default;
};

// Its strings and optional string move as plain bytes: lists of rows shift them with memmove.
Q_DECLARE_TYPEINFO(RenderedRow, Q_RELOCATABLE_TYPE);

// The canonical text form of an id: 8-4-4-4-12 upper-case hexadecimal digits.
QString canonicalUuidText(const QUuid& id);
