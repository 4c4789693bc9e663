#pragma once

#include <QString>
#include <QUuid>

#include <optional>

// What is selected in the panel: a task row, nothing, or the new-item input row.
class SessionSelection {
public:
    enum class Kind { task, none, input };

    SessionSelection() = default;
    static SessionSelection task(const QUuid& id) { return SessionSelection(Kind::task, id); }
    static SessionSelection none() { return SessionSelection(); }
    static SessionSelection input() { return SessionSelection(Kind::input, QUuid()); }

    Kind kind() const { return m_kind; }
    bool isTask() const { return m_kind == Kind::task; }
    bool isNone() const { return m_kind == Kind::none; }
    bool isInput() const { return m_kind == Kind::input; }
    // The selected task's id, or nothing when no task row is selected.
    std::optional<QUuid> taskID() const { return isTask() ? std::optional<QUuid>(m_id) : std::nullopt; }

    // "none", "input" or "task(<uuid>)", for diagnostics.
    QString description() const;

    friend bool operator==(const SessionSelection& a, const SessionSelection& b) = default;

private:
    SessionSelection(Kind kind, const QUuid& id) : m_kind(kind), m_id(id) { }

    Kind m_kind = Kind::none;
    QUuid m_id;
};
