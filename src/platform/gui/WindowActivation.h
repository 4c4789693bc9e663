#pragma once

#include <QObject>

class QWidget;

// Bringing a top-level window forward with the keyboard focus, and asking who has the focus. On
// X11 both go to the X server: after a window was hidden, Qt's last event time is stale (a global
// shortcut or a message from another process brings no event to Qt's connection), the window
// manager passes that time on to the X server, and the server ignores a focus change older than
// the last one. Elsewhere (offscreen) Qt's own view is used.
namespace WindowActivation {

// Shows, raises and activates window (a top-level widget) with a fresh server time.
void showAndActivate(QWidget* window);

// True when window has the keyboard focus: on X11 when the server's input focus is the window;
// otherwise when Qt records it as the active window of an active application.
bool hasInputFocus(const QWidget* window);

// Emits changed() (queued, after Qt has seen the event) whenever the X server moves the keyboard
// focus to or from one of our windows, including moves Qt does not report: a window shown again
// before Qt let go of it is, to Qt, still active and gets no activation event. Never emits
// elsewhere.
class FocusWatcher : public QObject {
    Q_OBJECT

public:
    static FocusWatcher* instance();

signals:
    void changed();

private:
    FocusWatcher();
};

} // namespace WindowActivation
