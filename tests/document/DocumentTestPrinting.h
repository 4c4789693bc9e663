#pragma once

#include "VeskDocument.h"

#include <QTest>

// Readable QCOMPARE failures for documents: each task on its own line, control and non-ASCII
// characters escaped.
inline QString describeText(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return out;
}

inline QString describeTasks(const QList<VeskTask>& tasks)
{
    QString out;
    for (const VeskTask& task : tasks) {
        out += QStringLiteral("\n    \"%1\"").arg(describeText(task.title));
        if (task.note)
            out += QStringLiteral(" note \"%1\"").arg(describeText(*task.note));
    }
    return out;
}

inline char* toString(const VeskDocument& document)
{
    const QString text = QStringLiteral("\n  working:%1\n  inbox:%2\n  completed:%3")
                             .arg(describeTasks(document.workingItems), describeTasks(document.inboxItems),
                                 describeTasks(document.completedItems));
    return qstrdup(text.toUtf8().constData());
}

inline char* toString(const VeskTask& task)
{
    return qstrdup(describeTasks({task}).toUtf8().constData());
}
