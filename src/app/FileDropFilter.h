#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>

class QWidget;

// Lets a window take files dragged onto it from the file manager: dropped anywhere in it (the task
// list, the search field, the toolbar, an editor), they become an open request, and no widget
// takes their addresses as text. Drags that carry no local file (the list's own task drags, text)
// are left to the widget under the pointer.
class FileDropFilter : public QObject {
    Q_OBJECT

public:
    explicit FileDropFilter(
        std::function<void(const QList<QUrl>&)> onFilesDropped, QObject* parent = nullptr);

    // Makes window and everything in it accept dropped files; a window is watched once however
    // often it is given.
    void watch(QWidget* window);

    // The local files among a drag's URLs.
    static QList<QUrl> localFiles(const QList<QUrl>& urls);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QList<QUrl>&)> m_onFilesDropped;
    bool m_watchesApplication = false;
};
