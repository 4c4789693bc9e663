#include "app/UserInputCounter.h"

#include <QApplication>
#include <QEvent>

UserInputCounter::UserInputCounter(QObject* parent) : QObject(parent)
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(this);
}

bool UserInputCounter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    // Presses that answer a question or a file dialog are about what asked, not something else.
    if ((type == QEvent::KeyPress || type == QEvent::MouseButtonPress) && !QApplication::activeModalWidget())
        ++m_count;
    return QObject::eventFilter(watched, event);
}
