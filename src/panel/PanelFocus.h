#pragma once

#include <QUuid>

// Which of the list's text editors holds the keyboard focus: the inline editor of a task, or the
// new-item input row's editor.
struct PanelFocus {
    enum class Kind { input, edit };

    Kind kind = Kind::input;
    QUuid itemID; // edit only

    static PanelFocus input() { return PanelFocus {}; }
    static PanelFocus edit(const QUuid& id) { return PanelFocus {Kind::edit, id}; }

    friend bool operator==(const PanelFocus& a, const PanelFocus& b) = default;
};
