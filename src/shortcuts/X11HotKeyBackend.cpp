#include "shortcuts/X11HotKeyBackend.h"

#include "shortcuts/HotKey.h"
#include "shortcuts/HotKeyLog.h"
#include "shortcuts/Shortcut.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QSocketNotifier>
#include <QTimer>

#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <cstdlib>

namespace {

// The core modifiers a grab can ask for; Lock and NumLock are added as variants.
constexpr uint16_t modifierBits = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2
    | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5;

} // namespace

std::unique_ptr<X11HotKeyBackend> X11HotKeyBackend::create()
{
    auto* guiApp = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!guiApp)
        return nullptr;
    // The offscreen platform answers with an interface but no connection.
    auto* x11 = guiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return nullptr;

    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11HotKeyBackend>(new X11HotKeyBackend(connection, screens.data->root));
}

X11HotKeyBackend::X11HotKeyBackend(xcb_connection_t* connection, xcb_window_t root)
    : m_connection(connection), m_root(root), m_keyboard(std::make_unique<X11Keyboard>(connection))
{
    setUpKeyboardExtension();
    KeyboardLayout::setCurrent(m_keyboard.get());

    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11HotKeyBackend::readEvents);
    scheduleRead();
    // The notifier must not outlive the event loop it belongs to.
    connect(QCoreApplication::instance(), &QObject::destroyed, this, [this] {
        delete m_notifier;
        m_notifier = nullptr;
    });
}

X11HotKeyBackend::~X11HotKeyBackend()
{
    KeyboardLayout::setCurrent(nullptr);
    for (const auto& [handle, grab] : m_grabs)
        ungrab(grab);
    delete m_notifier;
    m_keyboard.reset();
    xcb_disconnect(m_connection);
}

void X11HotKeyBackend::setUpKeyboardExtension()
{
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(m_connection, &xcb_xkb_id);
    if (!extension || !extension->present)
        return;
    xcb_xkb_use_extension_reply_t* use = xcb_xkb_use_extension_reply(m_connection,
        xcb_xkb_use_extension(m_connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr);
    const bool supported = use && use->supported;
    free(use);
    if (!supported)
        return;
    m_hasKeyboardExtension = true;
    m_keyboardExtensionEvent = extension->first_event;

    const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    xcb_xkb_per_client_flags_reply_t* flags = xcb_xkb_per_client_flags_reply(m_connection,
        xcb_xkb_per_client_flags(m_connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr);
    m_detectableAutoRepeat = flags && (flags->value & flag);
    free(flags);

    // A new keyboard or layout may move keys to other keycodes.
    const uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    xcb_xkb_select_events(m_connection, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, 0xff, 0xff, nullptr);
    xcb_flush(m_connection);
}

std::vector<uint16_t> X11HotKeyBackend::lockVariants() const
{
    std::vector<uint16_t> variants {0, XCB_MOD_MASK_LOCK};
    if (const uint16_t numLock = m_keyboard->numLockMask()) {
        variants.push_back(numLock);
        variants.push_back(numLock | XCB_MOD_MASK_LOCK);
    }
    return variants;
}

bool X11HotKeyBackend::grab(Grab& grab)
{
    const auto mask = m_keyboard->modifierMask(grab.modifiers);
    grab.keycodes = m_keyboard->keycodesForKey(grab.keyCode);
    grab.variants = lockVariants();
    if (!mask || grab.keycodes.empty()) {
        qCWarning(lcHotKeys, "the keyboard has no key for the global shortcut %s",
            qPrintable(Shortcut(grab.keyCode, grab.modifiers).description()));
        return false;
    }
    grab.mask = *mask;

    std::vector<xcb_void_cookie_t> cookies;
    for (const xcb_keycode_t keycode : grab.keycodes) {
        for (const uint16_t variant : grab.variants) {
            cookies.push_back(xcb_grab_key_checked(m_connection, 0, m_root, grab.mask | variant, keycode,
                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    // Another client holding any variant answers BadAccess.
    bool refused = false;
    for (const xcb_void_cookie_t cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            refused = true;
            free(error);
        }
    }
    scheduleRead();
    if (refused) {
        qCWarning(lcHotKeys, "another program holds the global shortcut %s",
            qPrintable(Shortcut(grab.keyCode, grab.modifiers).description()));
        ungrab(grab);
    }
    return !refused;
}

void X11HotKeyBackend::ungrab(const Grab& grab)
{
    // Ungrabbing releases only this client's grabs, so variants that were refused are harmless.
    for (const xcb_keycode_t keycode : grab.keycodes) {
        for (const uint16_t variant : grab.variants)
            xcb_ungrab_key(m_connection, keycode, m_root, grab.mask | variant);
    }
    xcb_flush(m_connection);
}

void X11HotKeyBackend::scheduleRead()
{
    // Waiting for a reply may have queued events that the socket will not announce again.
    QMetaObject::invokeMethod(this, &X11HotKeyBackend::readEvents, Qt::QueuedConnection);
}

std::optional<HotKeyBackend::Handle> X11HotKeyBackend::registerHotKey(const HotKey& hotKey)
{
    Grab candidate {hotKey.carbonKeyCode, hotKey.carbonModifiers, hotKey.id, 0, {}, {}};
    if (!grab(candidate))
        return std::nullopt;
    const Handle handle = m_nextHandle++;
    m_grabs.emplace(handle, std::move(candidate));
    return handle;
}

void X11HotKeyBackend::unregisterHotKey(Handle handle)
{
    const auto found = m_grabs.find(handle);
    if (found == m_grabs.end())
        return;
    ungrab(found->second);
    m_grabs.erase(found);
    // Its release will not reach us any more.
    if (m_pressed && m_pressed->handle == handle)
        m_pressed.reset();
}

bool X11HotKeyBackend::installEventHandler()
{
    return m_notifier != nullptr;
}

void X11HotKeyBackend::setHotKeyEventsEnabled(bool enabled)
{
    m_eventsEnabled = enabled;
}

std::optional<int> X11HotKeyBackend::keyCodeForKeyEvent(const QKeyEvent& event) const
{
    // Qt reports the X keycode of the event, which names the physical key whatever the modifiers.
    if (event.nativeScanCode() != 0) {
        if (const auto keyCode = m_keyboard->keyCodeForKeycode(xcb_keycode_t(event.nativeScanCode())))
            return keyCode;
    }
    return HotKeyBackend::keyCodeForKeyEvent(event);
}

void X11HotKeyBackend::readEvents()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        handleEvent(event);
        free(event);
    }
    if (xcb_connection_has_error(m_connection) && m_notifier)
        m_notifier->setEnabled(false);
}

void X11HotKeyBackend::handleEvent(const xcb_generic_event_t* event)
{
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS) {
        const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
        const uint16_t modifiers = press->state & modifierBits & ~m_keyboard->numLockMask();
        for (const auto& [handle, grab] : m_grabs) {
            if (grab.mask != modifiers
                || std::find(grab.keycodes.begin(), grab.keycodes.end(), press->detail)
                    == grab.keycodes.end())
                continue;
            ++m_receivedKeyEventCount;
            if (m_pressed && m_pressed->keycode == press->detail) {
                ++m_ignoredRepeatCount;
                return;
            }
            m_pressed = PressedKey {press->detail, handle};
            if (m_eventsEnabled)
                Q_EMIT hotKeyEvent(grab.id, true);
            return;
        }
    } else if (type == XCB_KEY_RELEASE) {
        // The modifiers may already be up: the release belongs to the key that was pressed.
        const auto* release = reinterpret_cast<const xcb_key_release_event_t*>(event);
        if (!m_pressed || m_pressed->keycode != release->detail)
            return;
        const auto found = m_grabs.find(m_pressed->handle);
        m_pressed.reset();
        ++m_receivedKeyEventCount;
        if (found != m_grabs.end() && m_eventsEnabled)
            Q_EMIT hotKeyEvent(found->second.id, false);
    } else if (type == XCB_MAPPING_NOTIFY) {
        if (reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER)
            keyboardChanged();
    } else if (m_hasKeyboardExtension && type == m_keyboardExtensionEvent) {
        // XKB events carry their kind in the second byte.
        const uint8_t kind = reinterpret_cast<const uint8_t*>(event)[1];
        if (kind == XCB_XKB_NEW_KEYBOARD_NOTIFY || kind == XCB_XKB_MAP_NOTIFY)
            keyboardChanged();
    }
}

void X11HotKeyBackend::keyboardChanged()
{
    // One change arrives as several notifications.
    if (m_keyboardChangePending)
        return;
    m_keyboardChangePending = true;
    QTimer::singleShot(0, this, &X11HotKeyBackend::takeUpChangedKeyboard);
}

void X11HotKeyBackend::takeUpChangedKeyboard()
{
    m_keyboardChangePending = false;
    m_keyboard->refresh();
    scheduleRead();

    // Switching between keyboards (the XTEST one included) announces a new keyboard too, mostly
    // with the same keys; grabs that still fit are left alone so that no press slips through. A
    // held key keeps its active grab through a change, so its release still comes here.
    std::vector<Handle> lost;
    for (auto& [handle, grab] : m_grabs) {
        const auto mask = m_keyboard->modifierMask(grab.modifiers);
        if (mask == grab.mask && m_keyboard->keycodesForKey(grab.keyCode) == grab.keycodes
            && lockVariants() == grab.variants)
            continue;
        ungrab(grab);
        if (!this->grab(grab))
            lost.push_back(handle);
    }
    for (const Handle handle : lost) {
        m_grabs.erase(handle);
        if (m_pressed && m_pressed->handle == handle)
            m_pressed.reset();
        Q_EMIT registrationLost(handle);
    }
    Q_EMIT keyboardMappingChanged();
}
