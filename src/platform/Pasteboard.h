#pragma once

#include <QObject>
#include <QString>

// The system's general pasteboard, reduced to the plain text that Vesk exchanges with it.
class Pasteboard : public QObject {
    Q_OBJECT

public:
    ~Pasteboard() override;

    // The plain-text content; empty when the pasteboard holds no text.
    virtual QString readString() const = 0;
    // Replaces the whole content with text.
    virtual void writeString(const QString& text) = 0;

Q_SIGNALS:
    // The content changed: written here, or by another program.
    void changed();
};
