#include "windows/SettingsWindow.h"
#include "FakeHotKeyBackend.h"
#include "ScriptedDialogPresenter.h"
#include "platform/SettingsStore.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/HotKeyCenter.h"
#include "shortcuts/KeyMap.h"
#include "shortcuts/RecorderField.h"
#include "windows/SettingsWindowController.h"

#include <QAction>
#include <QCheckBox>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace GlobalShortcuts;

class SettingsWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SettingsStore m_store {m_dir.filePath(QStringLiteral("settings.ini"))};
    ScriptedDialogPresenter m_dialogs;
    SettingsWindowController m_controller {m_dialogs};
    QAction m_quit;
    FakeHotKeyBackend* m_backend = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        // The autostart entry goes below the configuration folder.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
        SettingsStore::setShared(&m_store);
        auto backend = std::make_unique<FakeHotKeyBackend>();
        m_backend = backend.get();
        HotKeyCenter::useBackend(std::move(backend));
        // As the application wants its shortcut.
        onKeyUp(Name::togglePanel(), [] {});
        // As the application's menu adds its Quit command before the window is built.
        m_quit.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        m_controller.addApplicationAction(&m_quit);
    }
    void cleanupTestCase() { SettingsStore::setShared(nullptr); }

    void oneSectionWithTheHotkeyRecorderInAWindowBuiltOnce()
    {
        QVERIFY(!m_controller.window());
        m_controller.show();
        QPointer<SettingsWindow> window = m_controller.window();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        const QList<QGroupBox*> sections = window->findChildren<QGroupBox*>();
        QCOMPARE(sections.size(), 1);
        RecorderField* field = window->hotKeyRecorder();
        QCOMPARE(field->storageMode(), RecorderField::StorageMode::name);
        QCOMPARE(field->shortcutName(), Name::togglePanel());
        QCOMPARE(field->text(), QStringLiteral("Ctrl+Alt+Space"));
        QVERIFY(window->rect().contains(field->geometry().translated(sections[0]->pos())));
        // The longest shortcut the field can show is shown whole: its start is not scrolled away.
        const int recordable = Shortcut::control | Shortcut::option | Shortcut::shift | Shortcut::command;
        QString longest;
        for (const KeyMap::Entry& entry : KeyMap::entries()) {
            const QString text = Shortcut(entry.keyCode, recordable).description();
            if (field->fontMetrics().horizontalAdvance(text)
                > field->fontMetrics().horizontalAdvance(longest))
                longest = text;
        }
        field->setText(longest);
        field->grab();
        QVERIFY2(field->cursorPositionAt(QPoint(3, field->height() / 2)) == 0, qPrintable(longest));
        field->setText(QStringLiteral("Ctrl+Alt+Space"));
        // Opening the window must not start recording by itself, although the field is its only control.
        QVERIFY(!field->isRecording());
        QVERIFY(!isPaused());
        // Closing only hides it.
        window->close();
        QVERIFY(window && !m_controller.isVisible());
        m_controller.show();
        QCOMPARE(m_controller.window(), window.data());
        QVERIFY(m_controller.isVisible());

        // Built on the screen the pointer is on.
        for (const QScreen* screen : QGuiApplication::screens()) {
            QCursor::setPos(screen->geometry().center());
            SettingsWindowController there {m_dialogs};
            there.show();
            QVERIFY(screen->availableGeometry().contains(there.window()->frameGeometry()));
        }
        QCursor::setPos(10, 10);
    }

    void escapeAndCtrlWCloseTheWindowUnlessRecordingAndQuitWorksInIt()
    {
        QSignalSpy quitting(&m_quit, &QAction::triggered);
        for (const QKeyCombination key : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
            m_controller.show();
            QVERIFY(QTest::qWaitForWindowActive(m_controller.window()));
            QTest::keyClick(m_controller.window(), key.key(), key.keyboardModifiers());
            QVERIFY2(!m_controller.isVisible(), qPrintable(QKeySequence(key).toString()));
        }
        m_controller.show();
        QVERIFY(QTest::qWaitForWindowActive(m_controller.window()));
        // While recording, Escape only ends the recording.
        RecorderField* field = m_controller.window()->hotKeyRecorder();
        QTest::mouseClick(field, Qt::LeftButton);
        QVERIFY(field->isRecording());
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(!field->isRecording() && m_controller.isVisible());
        QTest::keyClick(m_controller.window(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(quitting.count(), 1);
    }

    void aShortcutAnotherApplicationHoldsIsSaidUnderTheField()
    {
        m_controller.show();
        SettingsWindow* window = m_controller.window();
        QVERIFY(QTest::qWaitForWindowActive(window));
        RecorderField* field = window->hotKeyRecorder();
        QLabel* notice = window->takenNotice();
        QVERIFY(!notice->isVisible());
        const int ctrlAlt = Shortcut::control | Shortcut::option;
        m_backend->refused.insert({38, ctrlAlt});
        QTest::mouseClick(field, Qt::LeftButton);
        QTest::keyClick(field, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(getShortcut(Name::togglePanel()), Shortcut(38, ctrlAlt));
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("In use by another application"));
        const QRect shown(notice->mapTo(window, QPoint()), notice->size());
        QVERIFY(shown.top() >= field->mapTo(window, QPoint(0, field->height())).y());
        QVERIFY(window->rect().contains(shown));
        QVERIFY(m_dialogs.alerts.isEmpty());
        // Keys that are free take the notice away.
        QTest::mouseClick(field, Qt::LeftButton);
        QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(m_backend->isRegistered(40, ctrlAlt));
        QVERIFY(!notice->isVisible());
    }

    void onWaylandWithoutThePortalTheWindowSaysHowToBindTheToggleCommand()
    {
        qputenv("WAYLAND_DISPLAY", "wayland-0");
        SettingsWindow wayland(m_dialogs);
        qunsetenv("WAYLAND_DISPLAY");
        QLabel* notice = wayland.desktopBindingNotice();
        QVERIFY(notice && wayland.hotKeyRecorder());
        QVERIFY(notice->text().contains(QStringLiteral("“vesk --toggle”")));
        wayland.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wayland));
        const QRect shown(notice->mapTo(&wayland, QPoint()), notice->size());
        QVERIFY(wayland.rect().contains(shown));
        QVERIFY(shown.top() >= wayland.takenNotice()->mapTo(&wayland, QPoint()).y());
        // The whole text is shown, not cut off by the window's size.
        QVERIFY(shown.height() >= notice->heightForWidth(notice->width()));
        QVERIFY(!SettingsWindow(m_dialogs).desktopBindingNotice());
    }

    void startAtLoginWritesOrRemovesTheAutostartEntryAndFollowsIt()
    {
        m_controller.show();
        SettingsWindow* window = m_controller.window();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCheckBox* box = window->startAtLoginBox();
        QCOMPARE(box->text(), QStringLiteral("Start at login"));
        QVERIFY(box->mapTo(window, QPoint()).y() > window->takenNotice()->mapTo(window, QPoint()).y());
        QVERIFY(window->rect().contains(QRect(box->mapTo(window, QPoint()), box->size())));
        const QString folder = m_dir.filePath(QStringLiteral("config/autostart"));
        const QString path = folder + QStringLiteral("/vesk.desktop");
        QVERIFY(!box->isChecked());
        box->click();
        QFile entry(path);
        QVERIFY(box->isChecked() && entry.open(QIODevice::ReadOnly));
        QVERIFY(entry.readAll().contains(" --background\n"));
        entry.close();
        box->click();
        QVERIFY(!box->isChecked() && !entry.exists());

        // The box shows what the user left in the folder, read again when the window shows.
        const QList<std::pair<QByteArray, bool>> entries {
            {"[Desktop Entry]\nType=Application\nExec=vesk\n", true},
            {"[Desktop Entry]\nType=Application\nExec=vesk\nHidden=true\n", false},
            {"[Desktop Entry]\nHidden=true\n[Desktop Action x]\nHidden=false\n", false},
            {"[Desktop Entry]\nHidden = false\n", true}, {QByteArray(), false}};
        for (const auto& [text, enabled] : entries) {
            m_controller.hide();
            if (text.isEmpty()) {
                QVERIFY(entry.remove());
            } else {
                QVERIFY(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
                entry.write(text);
                entry.close();
            }
            m_controller.show();
            QVERIFY2(box->isChecked() == enabled, text.constData());
        }

        // A folder that cannot be made is said, and the box stays off.
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        box->click();
        QVERIFY(!box->isChecked());
        QCOMPARE(m_dialogs.alerts.size(), 1);
        QCOMPARE(m_dialogs.alerts[0].message, QStringLiteral("Vesk could not set itself to start at login"));
        QVERIFY(blocker.remove());
        m_dialogs.alerts.clear();
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
