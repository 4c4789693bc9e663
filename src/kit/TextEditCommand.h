#pragma once

class QWidget;

// The text editors' own edit commands (undo, redo, cut, copy, paste, selectAll) are slots of
// QLineEdit and QTextEdit alike. While one has the focus, the menu and the panel's keys hand it the
// command by name instead of running the list's command.
namespace TextEditCommand {
// Runs `slot` on `editor` if it offers it; false when there is no editor or it offers no such slot,
// so the caller can let the key or menu command go on.
bool sendTo(QWidget* editor, const char* slot);
} // namespace TextEditCommand
