#pragma once

#include "sync/SyncState.h"

#include <QWidget>

class QLabel;

// A quiet line at the foot of the panel: how many tasks are next, and whether the last change
// reached the file (the document's status, or why editing is paused). While the file needs the
// user's decision, a click on the line offers the choices again.
class PanelStatusLine : public QWidget {
    Q_OBJECT

public:
    explicit PanelStatusLine(QWidget* parent = nullptr);

    // "1 next", "N next".
    static QString countText(qsizetype workingCount);
    // The status to show: the document's own status, unless the state blocks editing.
    static QString statusText(const QString& appStatus, SyncState state);

    void setWorkingCount(qsizetype count);
    void setStatus(const QString& appStatus, SyncState state);

    QString shownCount() const;
    QString shownStatus() const;
    // True while the file needs the user's decision and a click offers the choices.
    bool offersResolution() const { return m_resolvable; }

signals:
    void resolveRequested();

protected:
    void changeEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void applyPalette();

    QLabel* m_count;
    QLabel* m_status;
    bool m_blocked = false;
    bool m_resolvable = false;
};
