#include "panel/PanelTabHost.h"

#include <QCloseEvent>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

PanelTabHost::PanelTabHost(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabBar = new QTabBar(this);
    m_tabBar->setMovable(true);
    m_tabBar->setTabsClosable(true);
    m_tabBar->setDocumentMode(true);
    m_tabBar->setExpanding(true);
    m_tabBar->setElideMode(Qt::ElideMiddle);
    // Tabs are switched with the panel's own keys; the bar never takes the keyboard from the list
    // or an open editor.
    m_tabBar->setFocusPolicy(Qt::NoFocus);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_tabBar);
    layout->addWidget(m_stack, 1);
    m_tabBar->hide();

    connect(m_tabBar, &QTabBar::tabMoved, this, [this](int from, int to) {
        if (m_syncing)
            return;
        m_pages.move(from, to);
        Q_EMIT tabOrderChanged();
    });
    connect(m_tabBar, &QTabBar::currentChanged, this, [this](int index) {
        if (m_syncing || index < 0 || index >= m_pages.size())
            return;
        m_stack->setCurrentWidget(m_pages[index]);
        setWindowTitle(m_pages[index]->windowTitle());
        Q_EMIT currentPageChanged(m_pages[index]);
    });
    connect(m_tabBar, &QTabBar::tabCloseRequested, this, [this](int index) {
        if (index >= 0 && index < m_pages.size())
            Q_EMIT closeRequested(m_pages[index]);
    });
}

PanelTabHost::~PanelTabHost() = default;

QList<QWidget*> PanelTabHost::pages() const
{
    QList<QWidget*> list;
    for (const auto& page : m_pages)
        list << page.data();
    return list;
}

int PanelTabHost::indexOf(QWidget* page) const
{
    for (int i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i] == page)
            return i;
    }
    return -1;
}

QWidget* PanelTabHost::currentPage() const
{
    return m_stack->currentWidget();
}

void PanelTabHost::insertPage(int index, QWidget* page)
{
    if (!page || indexOf(page) >= 0)
        return;
    index = std::clamp(index, 0, count());
    m_syncing = true;
    m_pages.insert(index, page);
    m_stack->addWidget(page);
    m_tabBar->insertTab(index, page->windowTitle());
    m_syncing = false;
    updateTabBar();
    Q_EMIT tabOrderChanged();
}

void PanelTabHost::removePage(QWidget* page)
{
    const int index = indexOf(page);
    if (index < 0)
        return;
    const bool wasCurrent = currentPage() == page;
    m_syncing = true;
    m_pages.removeAt(index);
    m_tabBar->removeTab(index);
    m_stack->removeWidget(page);
    m_syncing = false;
    updateTabBar();
    if (wasCurrent && !m_pages.isEmpty())
        setCurrentPage(m_pages[std::min(index, count() - 1)]);
    Q_EMIT tabOrderChanged();
}

void PanelTabHost::movePage(QWidget* page, int index)
{
    const int from = indexOf(page);
    if (from < 0)
        return;
    index = std::clamp(index, 0, count() - 1);
    if (from == index)
        return;
    m_syncing = true;
    m_pages.move(from, index);
    m_tabBar->moveTab(from, index);
    m_syncing = false;
    Q_EMIT tabOrderChanged();
}

void PanelTabHost::setCurrentPage(QWidget* page)
{
    const int index = indexOf(page);
    if (index < 0)
        return;
    const bool changed = m_stack->currentWidget() != page;
    m_syncing = true;
    m_tabBar->setCurrentIndex(index);
    m_stack->setCurrentWidget(page);
    m_syncing = false;
    setWindowTitle(page->windowTitle());
    if (changed)
        Q_EMIT currentPageChanged(page);
}

void PanelTabHost::setPageTitle(QWidget* page, const QString& title, const QString& toolTip)
{
    const int index = indexOf(page);
    if (index < 0)
        return;
    page->setWindowTitle(title);
    m_tabBar->setTabText(index, title);
    m_tabBar->setTabToolTip(index, toolTip);
    if (currentPage() == page)
        setWindowTitle(title);
}

void PanelTabHost::selectNextTab()
{
    if (count() < 2)
        return;
    setCurrentPage(m_pages[(indexOf(currentPage()) + 1) % count()]);
}

void PanelTabHost::selectPreviousTab()
{
    if (count() < 2)
        return;
    setCurrentPage(m_pages[(indexOf(currentPage()) + count() - 1) % count()]);
}

void PanelTabHost::updateTabBar()
{
    m_tabBar->setVisible(count() >= 2);
}

void PanelTabHost::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (QWidget* page = currentPage())
        Q_EMIT closeRequested(page);
}

void PanelTabHost::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        Q_EMIT activationChanged();
}

void PanelTabHost::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    Q_EMIT geometryChanged();
}

void PanelTabHost::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Q_EMIT geometryChanged();
}
