#pragma once

#include "platform/Pasteboard.h"

#include <optional>

// The desktop clipboard (QClipboard in clipboard mode, not the X11 primary selection).
class QtPasteboard : public Pasteboard {
public:
    QtPasteboard();

    QString readString() const override;
    void writeString(const QString& text) override;

private:
    void forgetText() const;

    // What the clipboard held when last read in this turn of the event loop. Every read asks the
    // window system (a round trip to the X server at least), and one update of the menus reads it
    // several times; nothing can change it before the loop turns or the clipboard announces a change.
    mutable std::optional<QString> m_textThisTurn;
};
