#include "platform/gui/WindowActivation.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

xcb_connection_t* qtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// The X server's current time, read from a property change on a private window of a private
// connection (Qt's connection delivers its events to Qt, not to us). Zero when it cannot be read.
xcb_timestamp_t serverTime()
{
    static xcb_connection_t* connection = nullptr;
    static xcb_window_t window = XCB_NONE;
    static xcb_atom_t atom = XCB_ATOM_NONE;
    if (!connection) {
        int screenNumber = 0;
        connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(connection))
            return 0;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem; ++i)
            xcb_screen_next(&screens);
        window = xcb_generate_id(connection);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screens.data->root, -1, -1, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        atom = internAtom(connection, "_VESK_TIMESTAMP");
    }
    if (xcb_connection_has_error(connection))
        return 0;
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, atom, XCB_ATOM_INTEGER, 32, 0, nullptr);
    xcb_flush(connection);
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const bool ours = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY
            && reinterpret_cast<xcb_property_notify_event_t*>(event)->window == window;
        const xcb_timestamp_t time = ours ? reinterpret_cast<xcb_property_notify_event_t*>(event)->time : 0;
        std::free(event);
        if (ours)
            return time;
    }
    return 0;
}

class FocusEventFilter : public QAbstractNativeEventFilter {
public:
    explicit FocusEventFilter(QObject* target) : m_target(target) { }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const uint8_t type = event->response_type & 0x7f;
        if (type != XCB_FOCUS_IN && type != XCB_FOCUS_OUT)
            return false;
        if (reinterpret_cast<const xcb_focus_in_event_t*>(event)->detail == XCB_NOTIFY_DETAIL_POINTER)
            return false;
        QMetaObject::invokeMethod(m_target, "changed", Qt::QueuedConnection);
        return false;
    }

private:
    QObject* m_target;
};

} // namespace

namespace WindowActivation {

FocusWatcher::FocusWatcher()
{
    if (qtConnection() && qApp) {
        static FocusEventFilter filter(this);
        qApp->installNativeEventFilter(&filter);
    }
}

FocusWatcher* FocusWatcher::instance()
{
    // Lives as long as the application; made on first use, after the application exists.
    static auto* watcher = new FocusWatcher;
    return watcher;
}

void showAndActivate(QWidget* window)
{
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
    xcb_connection_t* connection = qtConnection();
    if (!connection)
        return;
    const xcb_timestamp_t time = serverTime();
    if (time == 0)
        return;
    // Sent on Qt's connection, so that the window manager reads it after the map request Qt just
    // made. Source 2: a direct user action (the shortcut, a launch, a menu), which the window
    // manager's focus stealing prevention lets through.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window->winId());
    message.type = internAtom(connection, "_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 2;
    message.data.data32[1] = time;
    xcb_send_event(connection, 0, root,
        XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
        reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

bool hasInputFocus(const QWidget* window)
{
    if (!window || !window->isVisible())
        return false;
    if (xcb_connection_t* connection = qtConnection()) {
        xcb_get_input_focus_reply_t* reply
            = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
        const bool focused = reply && reply->focus == xcb_window_t(window->winId());
        std::free(reply);
        return focused;
    }
    return QGuiApplication::applicationState() == Qt::ApplicationActive
        && QApplication::activeWindow() == window;
}

} // namespace WindowActivation
