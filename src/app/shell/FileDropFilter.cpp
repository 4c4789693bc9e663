#include "FileDropFilter.h"

#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace {
const char* const watchedMarker = "veskFileDropWatched";
} // namespace

FileDropFilter::FileDropFilter(std::function<void(const QList<QUrl>&)> onFilesDropped, QObject* parent)
    : QObject(parent), m_onFilesDropped(std::move(onFilesDropped))
{ }

void FileDropFilter::watch(QWidget* window)
{
    if (!window || window->property(watchedMarker).toBool())
        return;
    window->setProperty(watchedMarker, true);
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

QList<QUrl> FileDropFilter::localFiles(const QList<QUrl>& urls)
{
    QList<QUrl> files;
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.append(url);
    }
    return files;
}

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (drag->mimeData() && !localFiles(drag->mimeData()->urls()).isEmpty()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        break;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> files = drop->mimeData() ? localFiles(drop->mimeData()->urls()) : QList<QUrl>();
        if (files.isEmpty())
            break;
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // The drag source waits for the drop to finish, so opening (which may show alerts) runs
        // once it has.
        const auto onFilesDropped = m_onFilesDropped;
        QMetaObject::invokeMethod(
            this,
            [onFilesDropped, files] {
                if (onFilesDropped)
                    onFilesDropped(files);
            },
            Qt::QueuedConnection);
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
