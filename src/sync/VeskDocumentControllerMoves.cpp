// Following the file when it is renamed or moved, and telling that apart from another program's
// save that renames the file away before writing the new one under its name.
#include "sync/VeskDocumentController.h"

#include "platform/FileWatcher.h"

#include <QFileInfo>

void VeskDocumentController::handleFileMove(const QUrl& newURL)
{
    const bool alreadyWaiting = isWaitingForFileMove();
    m_fileMovedToURL = newURL;
    // Moved on again while waiting: the wait still counts from the file leaving the path.
    if (alreadyWaiting)
        return;
    // The main watcher keeps following the file; this one tells when the path holds a file again.
    auto* vacated = new FileWatcher(localPath(m_selectedFileURL), m_scheduler, this);
    vacated->onDidChange = [self = QPointer(this)] {
        if (self)
            self->settleFileMove(false);
    };
    m_vacatedPathObserver = vacated;
    m_fileMoveDecision = m_scheduler->schedule(fileMoveSettlingDelay, this, [self = QPointer(this)] {
        if (self)
            self->settleFileMove(true);
    });
    settleFileMove(false);
}

bool VeskDocumentController::settleFileMove(bool windowEnded)
{
    if (!isWaitingForFileMove())
        return true;
    const QString path = localPath(m_selectedFileURL);
    const bool refilled = QFileInfo::exists(path);
    if (!refilled && !windowEnded)
        return false;
    if (!refilled) {
        // The document is about to follow the file: a save running for the path it left ends first.
        // Saves committed meanwhile wait for the decision, as while the path is empty.
        settleWritesQuietly();
        if (!isWaitingForFileMove())
            return true;
    }
    const QUrl movedTo = m_fileMovedToURL;
    stopWaitingForFileMove();
    if (refilled) {
        // Another program saved by writing a new file here: the document stays, and the new file
        // is an external change like any other, compared at the next activation or save.
        if (m_fileObserver)
            m_fileObserver->setPath(path);
        noteExternalChange();
    } else {
        followFileMove(movedTo);
    }
    if (m_saveWaitsForFileMove) {
        m_saveWaitsForFileMove = false;
        saveCommittedChange();
    }
    return true;
}

void VeskDocumentController::stopWaitingForFileMove()
{
    m_fileMovedToURL.clear();
    m_fileMoveDecision.cancel();
    // Deleted later: this may run inside that watcher's own report. Until then a report of it
    // finds nothing pending.
    if (m_vacatedPathObserver)
        m_vacatedPathObserver->deleteLater();
    m_vacatedPathObserver = nullptr;
}

void VeskDocumentController::followFileMove(const QUrl& newURL)
{
    if (m_fileObserver)
        m_fileObserver->setPath(localPath(newURL));
    setSelectedFileURL(newURL);
    setDocumentColor(documentColorForPath(localPath(newURL)));
    observeFile(newURL);
    if (onSelectedFileURLChange)
        onSelectedFileURLChange(newURL);
    setAppStatus(QStringLiteral("Moved to ") + lastPathComponent(newURL));
}
