#pragma once

#include "platform/Pasteboard.h"

#include <QString>

// An in-memory pasteboard that counts writes and announces them.
class FakePasteboard : public Pasteboard {
public:
    QString content;
    int writes = 0;

    QString readString() const override { return content; }
    void writeString(const QString& text) override
    {
        content = text;
        ++writes;
        Q_EMIT changed();
    }
};
