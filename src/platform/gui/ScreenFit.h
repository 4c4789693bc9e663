#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QScreen;
class QWidget;

// Keeps windows on the screen they open on. A window larger than the screen's available area
// (large scale factors, small laptop screens) would open with its title bar out of reach.
struct ScreenFit {
    // The window frame assumed before the window manager has told it.
    static constexpr int unknownFrameBorder = 4;
    static constexpr int unknownTitleBar = 32;

    // The screen under the pointer, where the user is looking; the primary screen otherwise.
    static QScreen* screenForNewWindow();
    // The screen that holds most of the window, or where a new window opens.
    static QScreen* screenOf(const QWidget* window);
    // The frame moved inside available, and first shrunk to it where it is larger.
    static QRect clampedFrame(QRect frame, const QRect& available);
    // The window manager's frame around the window, as far as known.
    static QMargins frameMargins(const QWidget* window);
    // The window's frame, as far as known.
    static QRect frameOf(const QWidget* window);
    // Places the window so that its frame, as far as known, is frame.
    static void placeFrame(QWidget* window, const QRect& frame);
    // The room the window's content (its geometry, without the window frame) has on the screen.
    static QSize availableContentSize(const QWidget* window, const QScreen* screen);
    // Centres the window on the screen's available area, inside it.
    static void centre(QWidget* window, QScreen* screen);
    // Moves the window, and shrinks it as far as its minimum size lets it, into the available area
    // of its screen.
    static void clamp(QWidget* window);
};
