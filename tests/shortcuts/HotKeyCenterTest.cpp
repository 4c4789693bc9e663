#include "shortcuts/HotKeyCenter.h"
#include "FakeHotKeyBackend.h"
#include "shortcuts/HotKey.h"
#include "shortcuts/Shortcut.h"
#include "shortcuts/X11HotKeyBackend.h"

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

namespace {

constexpr int ctrlAlt = Shortcut::control | Shortcut::option;

struct Counts {
    int downs = 0;
    int ups = 0;
    int failures = 0;
};

std::shared_ptr<HotKey> makeHotKey(HotKeyCenter& center, int keyCode, int modifiers, Counts& counts)
{
    auto hotKey = std::make_shared<HotKey>(
        center, keyCode, modifiers, [&counts] { ++counts.downs; }, [&counts] { ++counts.ups; });
    hotKey->onRegistrationFailed = [&counts] { ++counts.failures; };
    return hotKey;
}

} // namespace

class HotKeyCenterTest : public QObject {
    Q_OBJECT

    // A center on a fake window system, with Ctrl+Alt+Space registered.
    FakeHotKeyBackend* backend = nullptr;
    std::unique_ptr<HotKeyCenter> m_center;
    Counts counts;
    std::shared_ptr<HotKey> hotKey;

private Q_SLOTS:
    void init()
    {
        backend = new FakeHotKeyBackend;
        m_center = std::make_unique<HotKeyCenter>(std::unique_ptr<HotKeyBackend>(backend));
        counts = {};
        hotKey = makeHotKey(*m_center, 49, ctrlAlt, counts);
        QVERIFY(m_center->registerHotKey(hotKey));
    }

    void cleanup()
    {
        hotKey.reset();
        m_center.reset();
    }

    void modesFollowTheTable()
    {
        HotKeyCenter& center = *m_center;

        const auto check = [&](HotKeyCenter::Mode mode, bool registered, bool hotKeyEvents, bool rawEvents) {
            QCOMPARE(center.mode(), mode);
            QCOMPARE(backend->isRegistered(49, ctrlAlt), registered);
            QCOMPARE(hotKey->eventHotKeyRef.has_value(), registered);
            QCOMPARE(center.isHotKeyEventHandlingEnabled(), hotKeyEvents);
            QCOMPARE(backend->eventsEnabled, hotKeyEvents);
            QCOMPARE(center.isRawKeyEventHandlingEnabled(), rawEvents);
        };
        check(HotKeyCenter::Mode::normal, true, true, false);
        center.setMenuOpen(true);
        check(HotKeyCenter::Mode::menuOpen, false, false, true);
        center.setEnabled(false);
        check(HotKeyCenter::Mode::disabled, false, false, false);
        center.setMenuOpen(false);
        check(HotKeyCenter::Mode::disabled, false, false, false);
        center.setEnabled(true);
        check(HotKeyCenter::Mode::normal, true, true, false);

        QVERIFY(backend->press(49, ctrlAlt, true));
        QVERIFY(backend->press(49, ctrlAlt, false));
        QCOMPARE(counts.downs, 1);
        QCOMPARE(counts.ups, 1);
        QCOMPARE(counts.failures, 0);
    }

    // A registration refused when hot keys come back, or taken away by the system, is reported
    // once; the hot key is dropped from the center, and later modes leave it alone.
    void lostRegistrationsAreReportedOnceAndDropped()
    {
        HotKeyCenter& center = *m_center;
        Counts otherCounts;
        auto other = makeHotKey(center, 40, ctrlAlt, otherCounts);
        QVERIFY(center.registerHotKey(other));

        center.setMenuOpen(true);
        backend->refused.insert({49, ctrlAlt});
        center.setMenuOpen(false);
        QCOMPARE(counts.failures, 1);
        QVERIFY(!hotKey->eventHotKeyRef);
        QVERIFY(other->eventHotKeyRef && backend->isRegistered(40, ctrlAlt));

        const HotKeyBackend::Handle handle = *other->eventHotKeyRef;
        backend->registrations.erase(handle);
        Q_EMIT backend->registrationLost(handle);
        QCOMPARE(otherCounts.failures, 1);
        QVERIFY(!other->eventHotKeyRef);

        backend->refused.clear();
        center.setEnabled(false);
        center.setEnabled(true);
        QCOMPARE(counts.failures + otherCounts.failures, 2);
        QVERIFY(backend->registrations.empty());
    }

    void anOpenMenuMatchesItsOwnKeysAndSwallowsThem()
    {
        HotKeyCenter& center = *m_center;

        QMenu menu;
        QAction* action = menu.addAction(QStringLiteral("Item"));
        QSignalSpy triggered(action, &QAction::triggered);
        menu.popup(QPoint(10, 10));
        QTRY_VERIFY(menu.isVisible());
        menu.setActiveAction(action);
        QCOMPARE(center.mode(), HotKeyCenter::Mode::menuOpen);
        QVERIFY(!backend->isRegistered(49, ctrlAlt));

        QTest::keyPress(&menu, Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(counts.downs, 1);
        // Held: the repeats are swallowed and run nothing.
        QKeyEvent repeat(
            QEvent::KeyPress, Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier, QString(" "), true);
        QApplication::sendEvent(&menu, &repeat);
        QCOMPARE(counts.downs, 1);
        // The modifiers were let go first.
        QTest::keyRelease(&menu, Qt::Key_Space, Qt::NoModifier);
        QCOMPARE(counts.ups, 1);
        QVERIFY(menu.isVisible());
        QCOMPARE(triggered.count(), 0);

        // Other combinations reach the menu as before.
        menu.setActiveAction(action);
        QTest::keyClick(&menu, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(counts.downs, 1);
        QCOMPARE(triggered.count(), 1);

        menu.hide();
        QCOMPARE(center.mode(), HotKeyCenter::Mode::normal);
        QVERIFY(backend->isRegistered(49, ctrlAlt));
    }

    void modifiersTappedAloneStillReachTheMenu()
    {
        HotKeyCenter& center = *m_center;
        QMenu menu;
        menu.addAction(QStringLiteral("Item"));
        QVERIFY(menu.style()->styleHint(QStyle::SH_MenuBar_AltKeyNavigation, nullptr, &menu));

        menu.popup(QPoint(10, 10));
        QTRY_COMPARE(center.mode(), HotKeyCenter::Mode::menuOpen);
        QTest::keyPress(&menu, Qt::Key_Alt);
        // Held back: the menu would close on the press and lose the rest of Ctrl+Alt+Space.
        QVERIFY(menu.isVisible());
        QTest::keyRelease(&menu, Qt::Key_Alt);
        QVERIFY(!menu.isVisible());
        QCOMPARE(center.mode(), HotKeyCenter::Mode::normal);

        // Alt followed by a key of no hot key reaches the menu too.
        menu.popup(QPoint(10, 10));
        QTRY_COMPARE(center.mode(), HotKeyCenter::Mode::menuOpen);
        QTest::keyPress(&menu, Qt::Key_Alt);
        QTest::keyPress(&menu, Qt::Key_K, Qt::AltModifier);
        QVERIFY(!menu.isVisible());
        QCOMPARE(counts.downs, 0);
    }

    void withoutAnXServerRegistrationIsRefusedQuietly()
    {
        // The offscreen platform, like Wayland, has no X connection to grab keys on.
        QVERIFY(!X11HotKeyBackend::create());
        HotKeyCenter center {HotKeyBackend::createDefault()};
        Counts none;
        auto unregistered = makeHotKey(center, 49, ctrlAlt, none);
        QVERIFY(!center.registerHotKey(unregistered));
        QVERIFY(!unregistered->eventHotKeyRef);
        center.setEnabled(false);
        center.setEnabled(true);
        QCOMPARE(none.failures, 0);
        // Without X the keys are named as on a US keyboard.
        QCOMPARE(Shortcut(12, Shortcut::control).description(), QStringLiteral("Ctrl+Q"));
    }

    void aMenuDeletedWhileOpenEndsMenuMode()
    {
        HotKeyCenter& center = *m_center;
        auto* menu = new QMenu;
        menu->addAction(QStringLiteral("Item"));
        menu->popup(QPoint(10, 10));
        QTRY_COMPARE(center.mode(), HotKeyCenter::Mode::menuOpen);
        delete menu;
        QCOMPARE(center.mode(), HotKeyCenter::Mode::normal);
        QVERIFY(backend->isRegistered(49, ctrlAlt));
    }
};

QTEST_MAIN(HotKeyCenterTest)
#include "HotKeyCenterTest.moc"
