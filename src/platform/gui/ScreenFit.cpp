#include "platform/gui/ScreenFit.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

QScreen* ScreenFit::screenForNewWindow()
{
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen;
    return QGuiApplication::primaryScreen();
}

QScreen* ScreenFit::screenOf(const QWidget* window)
{
    const QRect frame = frameOf(window);
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect shared = frame.intersected(screen->geometry());
        const qint64 area = qint64(shared.width()) * shared.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best ? best : screenForNewWindow();
}

QRect ScreenFit::clampedFrame(QRect frame, const QRect& available)
{
    if (available.isEmpty())
        return frame;
    frame.setSize(frame.size().boundedTo(available.size()));
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() - frame.width() + 1));
    frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() - frame.height() + 1));
    return frame;
}

QMargins ScreenFit::frameMargins(const QWidget* window)
{
    const QRect frame = window->frameGeometry();
    const QRect content = window->geometry();
    const QMargins margins(content.left() - frame.left(), content.top() - frame.top(),
        frame.right() - content.right(), frame.bottom() - content.bottom());
    // The window manager tells the frame only once the window is shown; room for a usual title bar
    // and border until then.
    if (margins.isNull())
        return {unknownFrameBorder, unknownTitleBar, unknownFrameBorder, unknownFrameBorder};
    return margins;
}

QRect ScreenFit::frameOf(const QWidget* window)
{
    return window->geometry().marginsAdded(frameMargins(window));
}

void ScreenFit::placeFrame(QWidget* window, const QRect& frame)
{
    // Placed by its content: before the window manager has framed the window, a position given for
    // the frame lands on the content on some window managers, and the title bar above the screen.
    window->setGeometry(frame.marginsRemoved(frameMargins(window)));
}

QSize ScreenFit::availableContentSize(const QWidget* window, const QScreen* screen)
{
    if (!screen)
        return window->size();
    const QMargins margins = frameMargins(window);
    return screen->availableGeometry().size().shrunkBy(margins);
}

void ScreenFit::centre(QWidget* window, QScreen* screen)
{
    if (!screen)
        return;
    QRect frame = frameOf(window);
    frame.moveCenter(screen->availableGeometry().center());
    placeFrame(window, frame);
    clamp(window);
}

void ScreenFit::clamp(QWidget* window)
{
    const QScreen* screen = screenOf(window);
    if (!screen)
        return;
    // Bars added since (a menu bar) grow the window on the layout's next turn; now, so that they count.
    if (window->layout())
        window->layout()->activate();
    const QSize size
        = window->size().boundedTo(availableContentSize(window, screen)).expandedTo(window->minimumSize());
    if (size != window->size())
        window->resize(size);
    placeFrame(window, clampedFrame(frameOf(window), screen->availableGeometry()));
}
