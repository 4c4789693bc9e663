#include "app/FileDropFilter.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace {
const char* const watchedMarker = "veskFileDropWatched";
} // namespace

FileDropFilter::FileDropFilter(QObject* parent) : QObject(parent) { }

void FileDropFilter::watch(QWidget* window)
{
    if (!window || window->property(watchedMarker).toBool())
        return;
    window->setProperty(watchedMarker, true);
    window->setAcceptDrops(true);
    // A drag goes to the innermost widget that accepts drops (the list, the search field, an
    // editor), never on to its window, so the drag events of every widget are looked at here.
    if (!m_watchesApplication && qApp) {
        qApp->installEventFilter(this);
        m_watchesApplication = true;
    }
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
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !widget->window()->property(watchedMarker).toBool())
        return false;
    switch (type) {
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
        QMetaObject::invokeMethod(
            this, [this, files] { emit filesDropped(files); }, Qt::QueuedConnection);
        return true;
    }
    default:
        break;
    }
    return false;
}
