#pragma once

#include "session/SessionItemMap.h"
#include "session/TaskSection.h"

#include <QExplicitlySharedDataPointer>
#include <QSharedData>
#include <QString>
#include <QUuid>

#include <optional>

// One row the panel draws, derived from the session. A task row is only what identifies it (its
// task, section and look): its title and note are read from the tasks the rows were derived from
// when it is laid out or drawn, so that a long list's rows cost a few bytes each and making one reads
// no task. Rows of the other kinds carry what they show themselves, shared between copies: a
// completion shell its title and note (its task may have changed or gone since), the input row its
// draft, a spacer its height.
//
// Rows compare equal when they are the same row with the same look; a task's new text is told by
// the splices (SessionRows), which replace the row of a task that changed.
struct RenderedRow {
    enum class Kind : quint8 { task, completionShell, separator, input, spacer };

    // The title and note a task or shell row shows.
    struct Text {
        QString title;
        std::optional<QString> note;

        friend bool operator==(const Text& a, const Text& b) = default;
    };

    QUuid itemID; // task, completionShell
    TaskSection section = TaskSection::working; // all but input
    Kind kind = Kind::spacer;
    bool isCompleted = false; // task, completionShell

    static RenderedRow task(const QUuid& id, TaskSection section, bool isCompleted);
    static RenderedRow completionShell(const QUuid& itemID, TaskSection section, const QString& title,
        const std::optional<QString>& note, bool isCompleted);
    static RenderedRow separator(TaskSection section);
    static RenderedRow input(const QString& draft);
    static RenderedRow spacer(TaskSection section, double height);

    // A task row's text from `items`, the tasks the rows were derived from (empty when they lack
    // it); a shell's own.
    Text text(const SessionItemMap& items) const;
    QString draft() const; // input
    double height() const; // spacer, in points

    // The stable identifier the list view matches rows by, e.g. "task-working-<UUID>",
    // "completion-shell-inbox-<UUID>", "separator-working", "input", "spacer-completed". Built on
    // demand so that deriving the rows stays cheap.
    QString id() const;

    friend bool operator==(const RenderedRow& a, const RenderedRow& b);

private:
    struct Carried : QSharedData {
        Text text;
        QString draft;
        double height = 0;

        friend bool operator==(const Carried& a, const Carried& b)
        {
            return a.text == b.text && a.draft == b.draft && a.height == b.height;
        }
    };
    QExplicitlySharedDataPointer<const Carried> m_carried; // null for task, separator
};

// A pointer and plain values: lists of rows shift them with memmove.
Q_DECLARE_TYPEINFO(RenderedRow, Q_RELOCATABLE_TYPE);

// The canonical text form of an id: 8-4-4-4-12 upper-case hexadecimal digits.
QString canonicalUuidText(const QUuid& id);
