#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class QStackedWidget;
class QTabBar;

// The top-level window that holds one or more panels as tabs. The tab bar appears once it holds
// two or more; tabs can be dragged into a new order, and previous/next wrap around. Closing the
// window (or a tab) only asks: the page's owner decides.
class PanelTabHost : public QWidget {
    Q_OBJECT

public:
    explicit PanelTabHost(QWidget* parent = nullptr);
    ~PanelTabHost() override;

    int count() const { return int(m_pages.size()); }
    QList<QWidget*> pages() const;
    int indexOf(QWidget* page) const;
    QWidget* currentPage() const;
    QTabBar* tabBar() const { return m_tabBar; }

    // Inserts page at index (clamped to 0 … count).
    void insertPage(int index, QWidget* page);
    // Takes page out without deleting it.
    void removePage(QWidget* page);
    // Moves page to index (clamped).
    void movePage(QWidget* page, int index);
    void setCurrentPage(QWidget* page);
    void setPageTitle(QWidget* page, const QString& title, const QString& toolTip);
    void selectNextTab();
    void selectPreviousTab();

Q_SIGNALS:
    // The order of the tabs changed (a drag by the user, or a move in code).
    void tabOrderChanged();
    void currentPageChanged(QWidget* page);
    // The window became or stopped being the active window.
    void activationChanged();
    void closeRequested(QWidget* page);
    void geometryChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateTabBar();

    QTabBar* m_tabBar;
    QStackedWidget* m_stack;
    QList<QPointer<QWidget>> m_pages;
    bool m_syncing = false;
};
