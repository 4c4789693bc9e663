#pragma once

#include "platform/Pasteboard.h"

// The desktop clipboard (QClipboard in clipboard mode, not the X11 primary selection).
class QtPasteboard : public Pasteboard {
public:
    QtPasteboard();

    QString readString() const override;
    void writeString(const QString& text) override;
};
