#pragma once

#include <QString>

// One of the two long texts that the crash test's helper saves in turn.
inline QString crashTestText(char version)
{
    QString text;
    for (int task = 0; task < 5000; ++task)
        text += QStringLiteral("Task %1 of version %2, long enough to take a while to write\n")
                    .arg(task)
                    .arg(version);
    return text + QStringLiteral("---\n---\n");
}
