#include "panel/ApplicationEventMonitor.h"

#include <QApplication>

ApplicationEventMonitor::ApplicationEventMonitor(QWidget* view, QObject* parent) : QObject(parent)
{
    attach(view);
}

ApplicationEventMonitor::~ApplicationEventMonitor()
{
    detach();
}

void ApplicationEventMonitor::attach(QWidget* view)
{
    if (m_installed && view == m_view)
        return;
    detach();
    if (!view)
        return;
    m_view = view;
    qApp->installEventFilter(this);
    m_installed = true;
}

void ApplicationEventMonitor::detach()
{
    if (m_installed && qApp)
        qApp->removeEventFilter(this);
    m_installed = false;
    m_view = nullptr;
}
