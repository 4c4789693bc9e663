#pragma once

// The lists the document benchmarks read and write: sentences of common words, some non-ASCII and
// some links, the same for a given size on every run.

#include "document/VeskDocument.h"

#include <QRandomGenerator>
#include <QStringList>

inline const QStringList kWords {"call", "review", "draft", "report", "budget", "meeting", "Müller", "send",
    "invoice", "fix", "the", "for", "next", "week", "café", "plan", "garden", "order", "tickets", "update",
    "notes", "team", "[docs](https://example.org/a)", "email", "check", "Straße", "about", "and", "before",
    "Friday"};

inline QString sentence(QRandomGenerator& random, int minWords, int maxWords)
{
    QString text;
    const int count = minWords + random.bounded(maxWords - minWords + 1);
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += u' ';
        text += kWords[random.bounded(int(kWords.size()))];
    }
    return text;
}

// A list of the given size: a fifth of it to do next, half in the inbox, the rest done; one task
// in five has a note of one to three lines.
inline VeskDocument makeDocument(int taskCount)
{
    QRandomGenerator random(taskCount);
    VeskDocument document;
    for (int i = 0; i < taskCount; ++i) {
        VeskTask task {sentence(random, 3, 9), std::nullopt};
        if (i % 5 == 0) {
            QStringList lines;
            const int lineCount = 1 + random.bounded(3);
            for (int line = 0; line < lineCount; ++line)
                lines.append(sentence(random, 2, 12));
            task.note = lines.join(u'\n');
        }
        QList<VeskTask>& section = i % 10 < 2 ? document.workingItems
            : i % 10 < 7                      ? document.inboxItems
                                              : document.completedItems;
        section.append(std::move(task));
    }
    return document;
}
