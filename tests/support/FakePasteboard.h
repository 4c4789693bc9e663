#pragma once

#include "platform/Pasteboard.h"

#include <QString>

// An in-memory pasteboard that counts reads and writes and announces writes.
class FakePasteboard : public Pasteboard {
public:
    QString content;
    int writes = 0;
    mutable int reads = 0;

    QString readString() const override
    {
        ++reads;
        return content;
    }
    void writeString(const QString& text) override
    {
        content = text;
        ++writes;
        Q_EMIT changed();
    }
};
