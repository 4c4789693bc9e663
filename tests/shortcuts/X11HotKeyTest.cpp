#include "platform/SettingsStore.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/HotKeyCenter.h"
#include "shortcuts/X11HotKeyBackend.h"

#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <cstdlib>

using namespace GlobalShortcuts;

namespace {

const Shortcut ctrlAltSpace(49, Shortcut::control | Shortcut::option);
const Shortcut ctrlAltK(40, Shortcut::control | Shortcut::option);

// Presses keys as another X client would, through the XTEST extension.
bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

} // namespace

// The hot keys on a real X server, pressed by another client.
class X11HotKeyTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    X11HotKeyBackend* m_backend = nullptr;
    int m_downs = 0;
    int m_ups = 0;

    // A second client: watches keys that reach the desktop, holds grabs of its own.
    xcb_connection_t* m_probe = nullptr;
    xcb_window_t m_root = 0;
    xcb_key_symbols_t* m_probeSymbols = nullptr;
    int m_desktopReleases = 0;
    int m_keysymsPerKeycode = 0;

    // Key releases that reached the root window, i.e. that no grab took.
    int desktopReleases()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_probe)) {
            if ((event->response_type & 0x7f) == XCB_KEY_RELEASE)
                ++m_desktopReleases;
            free(event);
        }
        return m_desktopReleases;
    }

    xcb_keycode_t probeKeycode(xcb_keysym_t keysym)
    {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_probeSymbols, keysym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        free(codes);
        return code;
    }

    // Grabs the combination for the probe; false when another client holds it.
    bool probeGrab(xcb_keycode_t keycode, uint16_t modifiers)
    {
        xcb_generic_error_t* error = xcb_request_check(m_probe,
            xcb_grab_key_checked(
                m_probe, 0, m_root, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        free(error);
        return !error;
    }

    void probeUngrab(xcb_keycode_t keycode, uint16_t modifiers)
    {
        xcb_ungrab_key(m_probe, keycode, m_root, modifiers);
        xcb_flush(m_probe);
    }

    // Whether the probe may grab the combination (and then lets go of it at once).
    bool probeCanGrab(xcb_keycode_t keycode, uint16_t modifiers)
    {
        if (!probeGrab(keycode, modifiers))
            return false;
        probeUngrab(keycode, modifiers);
        return true;
    }

    // Points keycode at keysym (0: types nothing) as a keyboard layout change would.
    void remap(xcb_keycode_t keycode, std::vector<xcb_keysym_t> keysyms)
    {
        keysyms.resize(m_keysymsPerKeycode, 0);
        xcb_change_keyboard_mapping(m_probe, 1, keycode, m_keysymsPerKeycode, keysyms.data());
        xcb_flush(m_probe);
    }

    bool keyboardGrabbedByAnotherClient()
    {
        xcb_grab_keyboard_reply_t* reply = xcb_grab_keyboard_reply(m_probe,
            xcb_grab_keyboard(m_probe, 0, m_root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr);
        const bool taken = reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
        if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS) {
            xcb_ungrab_keyboard(m_probe, XCB_CURRENT_TIME);
            xcb_flush(m_probe);
        }
        free(reply);
        return taken;
    }

    uint16_t modifierState()
    {
        xcb_query_pointer_reply_t* reply
            = xcb_query_pointer_reply(m_probe, xcb_query_pointer(m_probe, m_root), nullptr);
        const uint16_t mask = reply ? reply->mask : 0;
        free(reply);
        return mask & 0xff;
    }

    void pressAndRelease(const QString& keys) { QVERIFY(xdotool({"key", keys})); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_settings = std::make_unique<SettingsStore>(m_dir.filePath("settings.ini"));
        SettingsStore::setShared(m_settings.get());

        m_backend = dynamic_cast<X11HotKeyBackend*>(&HotKeyCenter::shared().backend());
        QVERIFY2(m_backend, "the application runs on X11, so the hot keys are X key grabs");
        onKeyDown(Name::togglePanel(), [this] { ++m_downs; });
        onKeyUp(Name::togglePanel(), [this] { ++m_ups; });
        QVERIFY(registeredShortcuts().contains(ctrlAltSpace));

        m_probe = xcb_connect(nullptr, nullptr);
        QVERIFY(!xcb_connection_has_error(m_probe));
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_probe)).data->root;
        m_probeSymbols = xcb_key_symbols_alloc(m_probe);
        xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
            m_probe, xcb_get_keyboard_mapping(m_probe, xcb_get_setup(m_probe)->min_keycode, 1), nullptr);
        QVERIFY(mapping);
        m_keysymsPerKeycode = mapping->keysyms_per_keycode;
        free(mapping);
        // Without a window manager nothing has the focus; keys that no grab takes go to the root.
        xcb_set_input_focus(
            m_probe, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_CURRENT_TIME);
        const uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
        xcb_change_window_attributes(m_probe, m_root, XCB_CW_EVENT_MASK, &events);
        xcb_flush(m_probe);
    }

    // A test that stopped half-way must not leave the hot keys off or paused for the next one.
    void cleanup()
    {
        setEnabled(true);
        setPaused(false);
    }

    void cleanupTestCase()
    {
        SettingsStore::setShared(nullptr);
        xcb_key_symbols_free(m_probeSymbols);
        xcb_disconnect(m_probe);
    }

    void keyUpRunsOnceOnReleaseOfEachPress()
    {
        const int downs = m_downs;
        const int ups = m_ups;
        QVERIFY(xdotool({"keydown", "ctrl+alt+space"}));
        QTRY_COMPARE(m_downs, downs + 1);
        QCOMPARE(m_ups, ups);
        // xdotool lets go of Ctrl and Alt before Space.
        QVERIFY(xdotool({"keyup", "ctrl+alt+space"}));
        QTRY_COMPARE(m_ups, ups + 1);

        pressAndRelease("ctrl+alt+space");
        pressAndRelease("ctrl+alt+space");
        QTRY_COMPARE(m_ups, ups + 3);
        QCOMPARE(m_downs, downs + 3);
        // Space alone and other combinations are not taken.
        const int released = desktopReleases();
        pressAndRelease("space");
        pressAndRelease("ctrl+space");
        QTRY_COMPARE(desktopReleases(), released + 3);
        QCOMPARE(m_ups, ups + 3);
    }

    void locksOnTheKeyboardDoNotMatter_data()
    {
        QTest::addColumn<QStringList>("locks");
        QTest::newRow("NumLock") << QStringList {"Num_Lock"};
        QTest::newRow("CapsLock") << QStringList {"Caps_Lock"};
        QTest::newRow("both") << QStringList {"Num_Lock", "Caps_Lock"};
    }

    void locksOnTheKeyboardDoNotMatter()
    {
        QFETCH(QStringList, locks);
        const uint16_t before = modifierState();
        for (const QString& lock : locks)
            pressAndRelease(lock);
        QTRY_VERIFY(modifierState() != before);
        const int ups = m_ups;
        pressAndRelease("ctrl+alt+space");
        QTRY_COMPARE(m_ups, ups + 1);
        for (const QString& lock : locks)
            pressAndRelease(lock);
        QTRY_COMPARE(modifierState(), before);
    }

    void holdingTheKeysRunsTheHandlersOnce()
    {
        QVERIFY(m_backend->hasDetectableAutoRepeat());
        const int downs = m_downs;
        const int ups = m_ups;
        const int repeats = m_backend->ignoredRepeatCount();
        QVERIFY(xdotool({"keydown", "ctrl+alt+space"}));
        QTRY_COMPARE(m_downs, downs + 1);
        // The server repeats the held key after its repeat delay.
        QTRY_VERIFY_WITH_TIMEOUT(m_backend->ignoredRepeatCount() >= repeats + 3, 10000);
        QVERIFY(xdotool({"keyup", "ctrl+alt+space"}));
        QTRY_COMPARE(m_ups, ups + 1);
        QCOMPARE(m_downs, downs + 1);
    }

    void heldKeysStillRepeatInTheApplicationsWindows()
    {
        // Detectable auto-repeat is for the hot keys' own connection only: Qt's windows still tell
        // a held key's repeats from new presses.
        QWidget window;
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(xdotool({"windowfocus", "--sync", QString::number(window.winId())}));
        QTRY_VERIFY(window.isActiveWindow());

        struct RepeatCounter : QObject {
            int presses = 0;
            int repeats = 0;
            bool eventFilter(QObject*, QEvent* event) override
            {
                if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_X)
                    ++(static_cast<QKeyEvent*>(event)->isAutoRepeat() ? repeats : presses);
                return false;
            }
        } counter;
        window.installEventFilter(&counter);
        QVERIFY(xdotool({"keydown", "x"}));
        QTRY_VERIFY_WITH_TIMEOUT(counter.repeats >= 3, 10000);
        QVERIFY(xdotool({"keyup", "x"}));
        // Qt recognises a repeat by the press queued right behind the release that X sends
        // between repeats, so a busy machine may see an odd repeat as a new press.
        QVERIFY(counter.presses >= 1);
    }

    void nothingRunsWhilePausedOrDisabled()
    {
        const int downs = m_downs;
        const int ups = m_ups;
        setPaused(true);
        const int received = m_backend->receivedKeyEventCount();
        pressAndRelease("ctrl+alt+space");
        QTRY_COMPARE(m_backend->receivedKeyEventCount(), received + 2);
        setPaused(false);
        QCOMPARE(m_downs + m_ups, downs + ups);

        setEnabled(false);
        const int released = desktopReleases();
        pressAndRelease("ctrl+alt+space");
        // With the grab gone the keys reach the desktop.
        QTRY_COMPARE(desktopReleases(), released + 3);
        QCOMPARE(m_downs + m_ups, downs + ups);

        setEnabled(true);
        pressAndRelease("ctrl+alt+space");
        QTRY_COMPARE(m_ups, ups + 1);
        QCOMPARE(m_downs, downs + 1);
    }

    void aNewShortcutWorksAtOnceAndTheOldOneIsReleased()
    {
        const int ups = m_ups;
        setShortcut(ctrlAltK, Name::togglePanel());
        QVERIFY(!registeredShortcuts().contains(ctrlAltSpace));
        pressAndRelease("ctrl+alt+k");
        QTRY_COMPARE(m_ups, ups + 1);

        const int released = desktopReleases();
        pressAndRelease("ctrl+alt+space");
        QTRY_COMPARE(desktopReleases(), released + 3);
        QCOMPARE(m_ups, ups + 1);

        setShortcut(ctrlAltSpace, Name::togglePanel());
        QVERIFY(probeCanGrab(probeKeycode(XKB_KEY_k), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
        pressAndRelease("ctrl+alt+space");
        QTRY_COMPARE(m_ups, ups + 2);
    }

    void theShortcutStillWorksWhileAMenuIsOpen()
    {
        QMenu menu;
        QAction* action = menu.addAction(QStringLiteral("Item"));
        QSignalSpy triggered(action, &QAction::triggered);
        menu.popup(QPoint(100, 100));
        QTRY_COMPARE(HotKeyCenter::shared().mode(), HotKeyCenter::Mode::menuOpen);
        QTRY_VERIFY(keyboardGrabbedByAnotherClient());
        menu.setActiveAction(action);

        const int downs = m_downs;
        const int ups = m_ups;
        pressAndRelease("ctrl+alt+space");
        QTRY_COMPARE(m_ups, ups + 1);
        QCOMPARE(m_downs, downs + 1);
        QVERIFY(menu.isVisible());
        QCOMPARE(triggered.count(), 0);

        menu.hide();
        QCOMPARE(HotKeyCenter::shared().mode(), HotKeyCenter::Mode::normal);
        QTRY_VERIFY(!keyboardGrabbedByAnotherClient());
        pressAndRelease("ctrl+alt+space");
        QTRY_COMPARE(m_ups, ups + 2);
    }

    void aCombinationHeldByAnotherClientIsRefused()
    {
        const uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
        const xcb_keycode_t j = probeKeycode(XKB_KEY_j);
        QVERIFY(j);
        QVERIFY(probeGrab(j, ctrlAlt));
        const Shortcut ctrlAltJ(38, Shortcut::control | Shortcut::option);
        const Name taken(QStringLiteral("taken"), ctrlAltJ);
        // Each refusal leaves one warning in the log, and nothing else warns.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QTest::ignoreMessage(QtWarningMsg, "another program holds the global shortcut Ctrl+Alt+J");
        onKeyUp(taken, [] {});
        QVERIFY(!registeredShortcuts().contains(ctrlAltJ));
        // Nothing of ours is left behind: the other variants were let go of again.
        QCOMPARE(getShortcut(taken), ctrlAltJ);
        probeUngrab(j, ctrlAlt);
        QTRY_VERIFY(probeCanGrab(j, ctrlAlt | XCB_MOD_MASK_LOCK));
        QVERIFY(probeCanGrab(j, ctrlAlt));

        // Taken while our hot keys were off: registering again on re-enabling fails and is reported.
        const xcb_keycode_t l = probeKeycode(XKB_KEY_l);
        const Shortcut ctrlAltL(37, Shortcut::control | Shortcut::option);
        const Name later(QStringLiteral("takenLater"), ctrlAltL);
        onKeyUp(later, [] {});
        QVERIFY(registeredShortcuts().contains(ctrlAltL));
        QVERIFY(!probeCanGrab(l, ctrlAlt));
        setEnabled(false);
        // Our ungrab travels on another connection than the probe's grab: wait until the server has it.
        QTRY_VERIFY(probeGrab(l, ctrlAlt));
        QTest::ignoreMessage(QtWarningMsg, "another program holds the global shortcut Ctrl+Alt+L");
        setEnabled(true);
        QVERIFY(!registeredShortcuts().contains(ctrlAltL));
        QVERIFY(registeredShortcuts().contains(ctrlAltSpace));
        probeUngrab(l, ctrlAlt);
    }

    void keysShowWhatTheLayoutTypes()
    {
        QCOMPARE(
            Shortcut(40, Shortcut::control | Shortcut::option).description(), QStringLiteral("Ctrl+Alt+K"));
        QCOMPARE(Shortcut(42, Shortcut::control).description(), QStringLiteral("Ctrl+\\"));

        // A layout whose 1 key types "&" unshifted and 1 only with Shift, as on a French keyboard.
        const xcb_keycode_t one = probeKeycode(XKB_KEY_1);
        QSignalSpy changed(m_backend, &X11HotKeyBackend::keyboardMappingChanged);
        remap(one, {XKB_KEY_ampersand, XKB_KEY_1});
        QVERIFY(changed.wait());
        QCOMPARE(Shortcut(18, Shortcut::control).description(), QStringLiteral("Ctrl+&"));
        remap(one, {XKB_KEY_1, XKB_KEY_exclam});
        QVERIFY(changed.wait());
        QCOMPARE(Shortcut(18, Shortcut::control).description(), QStringLiteral("Ctrl+1"));
    }

    void grabsFollowTheKeyboardMapping()
    {
        // Two keycodes that type nothing in the virtual server's keymap.
        const xcb_setup_t* setup = xcb_get_setup(m_probe);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
            m_probe, xcb_get_keyboard_mapping(m_probe, setup->min_keycode, count), nullptr);
        QVERIFY(mapping);
        const int perKeycode = m_keysymsPerKeycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping);
        std::vector<xcb_keycode_t> unused;
        for (int i = 0; i < count && unused.size() < 2; ++i) {
            if (std::all_of(syms + i * perKeycode, syms + (i + 1) * perKeycode,
                    [](xcb_keysym_t s) { return s == 0; }))
                unused.push_back(xcb_keycode_t(setup->min_keycode + i));
        }
        free(mapping);
        QCOMPARE(unused.size(), size_t(2));
        QSignalSpy changed(m_backend, &X11HotKeyBackend::keyboardMappingChanged);
        // One remapping reaches the backend as several notifications: let the last ones of earlier
        // tests arrive first, and this one's all arrive before registering against the new keymap.
        const auto settle = [&changed] {
            while (changed.wait(300))
                changed.clear();
        };
        settle();
        remap(unused[0], {XKB_KEY_F19});
        QVERIFY(changed.wait());
        settle();
        const Shortcut ctrlAltF19(80, Shortcut::control | Shortcut::option);
        const Name mapped(QStringLiteral("mapped"), ctrlAltF19);
        int ups = 0;
        onKeyUp(mapped, [&ups] { ++ups; });
        QVERIFY(registeredShortcuts().contains(ctrlAltF19));
        const uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
        QVERIFY(!probeCanGrab(unused[0], ctrlAlt));

        // F19 moves to the other key. Probed once the backend has taken the change up: a probe's
        // grab of the key at the moment the backend grabs it would be another client's grab.
        remap(unused[1], {XKB_KEY_F19});
        remap(unused[0], {0});
        QVERIFY(changed.wait());
        settle();
        QVERIFY(!probeCanGrab(unused[1], ctrlAlt) && probeCanGrab(unused[0], ctrlAlt));
        pressAndRelease("ctrl+alt+F19");
        QTRY_COMPARE(ups, 1);
        QVERIFY(registeredShortcuts().contains(ctrlAltF19));

        remap(unused[1], {0});
        QTRY_VERIFY(probeCanGrab(unused[1], ctrlAlt));
    }
};

QTEST_MAIN(X11HotKeyTest)
#include "X11HotKeyTest.moc"
