#pragma once

#include <QString>

// The system's general pasteboard, reduced to the plain text that Vesk exchanges with it.
class Pasteboard {
public:
    virtual ~Pasteboard();

    // The plain-text content; empty when the pasteboard holds no text.
    virtual QString readString() const = 0;
    // Replaces the whole content with text.
    virtual void writeString(const QString& text) = 0;
};
