#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

class QWidget;

// Lets a window take files dragged onto it from the file manager: dropped anywhere in it (the task
// list, the search field, the toolbar, an editor), they become an open request, and no widget
// takes their addresses as text. Drags that carry no local file (the list's own task drags, text)
// are left to the widget under the pointer.
class FileDropFilter : public QObject {
    Q_OBJECT

public:
    explicit FileDropFilter(QObject* parent = nullptr);

    // Makes window and everything in it accept dropped files; a window is watched once however
    // often it is given.
    void watch(QWidget* window);

    // The local files among a drag's URLs.
    static QList<QUrl> localFiles(const QList<QUrl>& urls);

signals:
    // Local files dropped on a watched window; emitted once the drop has finished, since opening
    // may show alerts.
    void filesDropped(const QList<QUrl>& files);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_watchesApplication = false;
};
