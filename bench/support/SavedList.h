#pragma once

// What the save benchmarks write: a list of ordinary tasks in the three sections, and dialogs that
// answer nothing.

#include "document/DocumentFormat.h"
#include "document/VeskDocument.h"
#include "platform/DialogPresenter.h"

#include <QString>
#include <QStringList>

inline QString longListText(int taskCount)
{
    VeskDocument document;
    for (int task = 0; task < taskCount; ++task) {
        VeskTask item {
            QStringLiteral("Task number %1 with a title of ordinary length").arg(task), std::nullopt};
        if (task % 10 == 0)
            item.note = QStringLiteral("A note line\nand a second one");
        (task % 3 == 0          ? document.workingItems
                : task % 3 == 1 ? document.inboxItems
                                : document.completedItems)
            .append(item);
    }
    return serializeDocument(document);
}

class NoDialogs : public DialogPresenter {
public:
    int runAlert(const QString&, const QString&, const QStringList&) override { return -1; }
    QString chooseFileToOpen(const QStringList&, const QString&) override { return QString(); }
    QString chooseFileToSave(const QString&, const QStringList&, const QString&, const QString&) override
    {
        return QString();
    }
};
