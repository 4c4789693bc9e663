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

    // What the clipboard held when last read, until the clipboard announces a change. Every read
    // asks the window system (a round trip to the X server at least; with another program's text,
    // a request to that program too), and the menus ask on every change of the session. Qt announces
    // every change: Vesk's own writes, and on X11 each new owner of the clipboard, which the X server
    // reports through XFixes, as it does when the owner goes.
    mutable std::optional<QString> m_text;
};
