#include "windows/WindowKeys.h"

#include <QKeySequence>
#include <QWidget>

void WindowKeys::addApplicationAction(QAction* action)
{
    if (!action || m_applicationActions.contains(action))
        return;
    m_applicationActions.append(action);
    for (QWidget* window : std::as_const(m_windows)) {
        if (window)
            window->addAction(action);
    }
}

void WindowKeys::install(QWidget* window)
{
    auto* close = new QAction(QWidget::tr("Close"), window);
    QList<QKeySequence> keys {QKeySequence(Qt::Key_Escape)};
    keys += QKeySequence::keyBindings(QKeySequence::Close);
    if (!keys.contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
        keys.append(QKeySequence(Qt::CTRL | Qt::Key_W));
    close->setShortcuts(keys);
    QObject::connect(close, &QAction::triggered, window, &QWidget::close);
    window->addAction(close);
    for (QAction* action : std::as_const(m_applicationActions)) {
        if (action)
            window->addAction(action);
    }
    m_windows.append(window);
}
