#include "shortcuts/RecorderField.h"
#include "FakeHotKeyBackend.h"
#include "ScriptedDialogPresenter.h"
#include "platform/ManualScheduler.h"
#include "platform/SettingsStore.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/HotKeyCenter.h"
#include "shortcuts/MenuShortcuts.h"
#include "shortcuts/Notifier.h"
#include "shortcuts/Recorder.h"
#include "shortcuts/RecorderTexts.h"
#include "shortcuts/SystemShortcuts.h"

#include <QAccessible>
#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

using namespace GlobalShortcuts;

namespace {

constexpr int ctrlAlt = Shortcut::control | Shortcut::option;
const Shortcut ctrlAltSpace(49, ctrlAlt);
const Shortcut ctrlAltK(40, ctrlAlt);
const Shortcut ctrlN(45, Shortcut::control);
const Shortcut altTab(48, Shortcut::option);

// A window as the application has them: a menu bar with File > New Task (Ctrl+N), a button, and a
// recorder for a slot.
struct Window {
    QWidget widget;
    QMenuBar* menuBar;
    QAction* newTask;
    QPushButton* button;
    RecorderField* field;
    int beeps = 0;
    QList<std::optional<Shortcut>> changes;

    Window(const Name& name, DialogPresenter& dialogs, Scheduler* scheduler)
    {
        auto* layout = new QVBoxLayout(&widget);
        menuBar = new QMenuBar(&widget);
        layout->setMenuBar(menuBar);
        QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
        newTask = file->addAction(QStringLiteral("&New Task"));
        newTask->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
        button = new QPushButton(QStringLiteral("Other"), &widget);
        layout->addWidget(button);
        field = new RecorderField(name, dialogs, &widget);
        field->setScheduler(scheduler);
        field->beep = [this] { ++beeps; };
        field->onChange = [this](const std::optional<Shortcut>& shortcut) { changes.append(shortcut); };
        layout->addWidget(field);
        widget.resize(300, 200);
    }
};

} // namespace

class RecorderFieldTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
    FakeHotKeyBackend* m_backend = nullptr;
    ManualScheduler m_scheduler;
    ScriptedDialogPresenter m_dialogs;
    std::unique_ptr<Window> m_window;

    RecorderField* field() { return m_window->field; }

    // Stored JSON text, or the stored boolean false, or nothing.
    QVariant stored() { return m_store->value(Name::togglePanel().settingsKey()); }

    void startRecording()
    {
        field()->setFocus(Qt::MouseFocusReason);
        QVERIFY(field()->isRecording());
        QVERIFY(isPaused());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        auto backend = std::make_unique<FakeHotKeyBackend>();
        m_backend = backend.get();
        HotKeyCenter::useBackend(std::move(backend));
        m_store = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("settings.ini")));
        SettingsStore::setShared(m_store.get());
        onKeyUp(Name::togglePanel(), [] {});
    }

    void cleanupTestCase() { SettingsStore::setShared(nullptr); }

    void init()
    {
        setShortcut(ctrlAltSpace, Name::togglePanel());
        m_dialogs = ScriptedDialogPresenter();
        m_window = std::make_unique<Window>(Name::togglePanel(), m_dialogs, &m_scheduler);
        m_window->widget.show();
        m_window->widget.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_window->widget));
        m_scheduler.runDueJobs();
    }

    void cleanup()
    {
        m_window.reset();
        QVERIFY(!isPaused());
    }

    void showsTheShortcutAndFollowsChangesMadeElsewhere()
    {
        QCOMPARE(field()->text(), QStringLiteral("Ctrl+Alt+Space"));
        QCOMPARE(field()->placeholderText(), RecorderTexts::text("record_shortcut"));
        QVERIFY(field()->clearAction()->isVisible());
        QVERIFY(!field()->isRecording());

        startRecording();
        QCOMPARE(field()->placeholderText(), RecorderTexts::text("press_shortcut"));

        // A change made elsewhere shows at once.
        setShortcut(ctrlAltK, Name::togglePanel());
        QCOMPARE(field()->text(), QStringLiteral("Ctrl+Alt+K"));
        setShortcut(std::nullopt, Name::togglePanel());
        QCOMPARE(field()->text(), QString());
        QVERIFY(!field()->clearAction()->isVisible());
    }

    void aKeyWithoutCtrlAltOrSuperBeepsUnlessItIsAFunctionKey()
    {
        startRecording();
        QTest::keyClick(field(), Qt::Key_A);
        QTest::keyClick(field(), Qt::Key_A, Qt::ShiftModifier);
        QTest::keyClick(field(), Qt::Key_Space);
        QCOMPARE(m_window->beeps, 3);
        // Modifiers alone are the start of a combination, not a mistake.
        QTest::keyClick(field(), Qt::Key_Control, Qt::ControlModifier);
        QTest::keyClick(field(), Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(m_window->beeps, 3);
        QCOMPARE(stored().toString(), QString::fromUtf8(ctrlAltSpace.toJson()));
        QCOMPARE(field()->text(), QStringLiteral("Ctrl+Alt+Space"));
        QVERIFY(field()->isRecording());
        QVERIFY(m_window->changes.isEmpty());
        QVERIFY(m_dialogs.alerts.isEmpty());

        // A function key that cannot be stored beeps too, as do PC keys without a stored code.
        for (const Qt::Key key : {Qt::Key_Print, Qt::Key_Pause, Qt::Key_Menu})
            QTest::keyClick(field(), key, Qt::ControlModifier | Qt::AltModifier);
        QTest::keyClick(field(), Qt::Key_F30);
        QCOMPARE(m_window->beeps, 7);
        QVERIFY(field()->isRecording());
        // Insert has one: the key in its place on the keyboard the stored numbering comes from.
        QTest::keyClick(field(), Qt::Key_Insert, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(getShortcut(Name::togglePanel()), Shortcut(114, ctrlAlt));
        QCOMPARE(field()->text(), QStringLiteral("Ctrl+Alt+Ins"));
        startRecording();

        QTest::keyClick(field(), Qt::Key_F5);
        QCOMPARE(getShortcut(Name::togglePanel()), Shortcut(96, 0));
        QVERIFY(!field()->isRecording());
    }

    void anAcceptedShortcutIsStoredRegisteredAndEndsRecording()
    {
        setShortcut(ctrlAltK, Name::togglePanel());
        QSignalSpy changed(&Notifier::shared(), &Notifier::shortcutByNameDidChange);
        startRecording();
        // Screen readers say the description with the field and when it changes.
        const auto description = [this] {
            return QAccessible::queryAccessibleInterface(field())->text(QAccessible::Description);
        };
        QCOMPARE(description(), QStringLiteral("Recording"));

        QTest::keyClick(field(), Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(stored().toString(), QStringLiteral(R"({"carbonKeyCode":49,"carbonModifiers":6144})"));
        QCOMPARE(field()->text(), QStringLiteral("Ctrl+Alt+Space"));
        QCOMPARE(m_window->changes, QList<std::optional<Shortcut>> {ctrlAltSpace});
        QCOMPARE(changed.count(), 1);
        QVERIFY(!field()->isRecording());
        QVERIFY(!field()->hasFocus());
        QVERIFY(!isPaused());

        // The new combination is the hot key now, the old one is let go of.
        QVERIFY(m_backend->isRegistered(49, ctrlAlt) && !m_backend->isRegistered(40, ctrlAlt));

        QCOMPARE(description(), QStringLiteral("Recorded Ctrl+Alt+Space"));
    }

    void aMenuItemsShortcutIsRefusedAndRecordingResumes()
    {
        QSignalSpy triggered(m_window->newTask, &QAction::triggered);
        bool recordingWhileAlertShows = true;
        m_dialogs.whileAlertShows = [&] { recordingWhileAlertShows = field()->isRecording() || isPaused(); };
        startRecording();
        QTest::keyClick(field(), Qt::Key_N, Qt::ControlModifier);

        QCOMPARE(m_dialogs.alerts.size(), 1);
        QCOMPARE(m_dialogs.alerts[0].message, RecorderTexts::usedByMenuItem(QStringLiteral("New Task")));
        QVERIFY(m_dialogs.alerts[0].message.contains(QStringLiteral("“New Task”")));
        QVERIFY(m_dialogs.alerts[0].buttons.isEmpty());
        // A sheet of the field's window.
        QCOMPARE(m_dialogs.alerts[0].window, &m_window->widget);
        QVERIFY(!recordingWhileAlertShows);
        QCOMPARE(triggered.count(), 0);
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlAltSpace);
        QVERIFY(m_window->changes.isEmpty());
        QVERIFY(field()->isRecording());
        QVERIFY(isPaused());

        // An item bound to this very slot is no conflict.
        m_window->newTask->setProperty(
            MenuShortcuts::globalShortcutNameProperty, Name::togglePanel().rawValue);
        QTest::keyClick(field(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(m_dialogs.alerts.size(), 1);
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlN);
        QCOMPARE(triggered.count(), 0);
    }

    void menuItemsAreFoundInSubmenusWithTheirTitlesAsRead()
    {
        QMenu* file = m_window->menuBar->actions()[0]->menu();
        QVERIFY(file);
        QMenu* more = file->addMenu(QStringLiteral("More"));
        QAction* quit = more->addAction(QStringLiteral("Save && &Quit\tCtrl+Alt+Q"));
        quit->setShortcuts(
            {QKeySequence(QStringLiteral("Ctrl+K, Ctrl+J")), QKeySequence(QStringLiteral("Ctrl+Alt+Q"))});
        // Only single chords are shortcuts of their own.
        QCOMPARE(MenuShortcuts::findConflict(MenuShortcuts::applicationMenuActions(),
                     Shortcut(40, Shortcut::control), Name::togglePanel()),
            nullptr);

        startRecording();
        QTest::keyClick(field(), Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(m_dialogs.alerts.size(), 1);
        QCOMPARE(m_dialogs.alerts[0].message, RecorderTexts::usedByMenuItem(QStringLiteral("Save & Quit")));
    }

    void theApplicationsOtherKeyCommandsAreRefusedLikeMenuItems()
    {
        // As the application lists its panels' keys.
        MenuShortcuts::setApplicationKeyCommands(
            {{QStringLiteral("Move selected item down"),
                 {QKeySequence(Qt::CTRL | Qt::Key_J), QKeySequence(Qt::CTRL | Qt::Key_Down)}},
                {QStringLiteral("Redo"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}}});
        startRecording();
        QTest::keyClick(field(), Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(field(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(m_dialogs.alerts.size(), 2);
        QCOMPARE(m_dialogs.alerts[0].message,
            RecorderTexts::usedByKeyCommand(QStringLiteral("Move selected item down")));
        QVERIFY(m_dialogs.alerts[0].message.contains(QStringLiteral("“Move selected item down”")));
        QCOMPARE(m_dialogs.alerts[1].message, RecorderTexts::usedByKeyCommand(QStringLiteral("Redo")));
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlAltSpace);
        QVERIFY(field()->isRecording());
        // Other combinations of the same keys are free.
        QTest::keyClick(field(), Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(getShortcut(Name::togglePanel()), Shortcut(125, Shortcut::control | Shortcut::shift));
        MenuShortcuts::setApplicationKeyCommands({});
    }

    void aSystemShortcutMayBeUsedAnyway()
    {
        QVERIFY(SystemShortcuts::contains(altTab));
        m_dialogs.alertAnswers = {0, 1};
        startRecording();
        QTest::keyClick(field(), Qt::Key_Tab, Qt::AltModifier);
        QCOMPARE(m_dialogs.alerts.size(), 1);
        const auto& alert = m_dialogs.alerts[0];
        QCOMPARE(alert.message, RecorderTexts::text("keyboard_shortcut_used_by_system"));
        QCOMPARE(alert.informativeText, RecorderTexts::text("keyboard_shortcuts_can_be_changed"));
        QCOMPARE(alert.buttons,
            QStringList({RecorderTexts::text("ok"), RecorderTexts::text("force_use_shortcut")}));
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlAltSpace);
        QVERIFY(field()->isRecording());

        QTest::keyClick(field(), Qt::Key_Tab, Qt::AltModifier);
        QCOMPARE(m_dialogs.alerts.size(), 2);
        QCOMPARE(getShortcut(Name::togglePanel()), altTab);
        QCOMPARE(m_window->changes, QList<std::optional<Shortcut>> {altTab});
        QVERIFY(!field()->isRecording());
        QVERIFY(!isPaused());
    }

    void conflictPoliciesChooseBlockWarnOrAllow()
    {
        field()->conflictPolicy.systemShortcut = ConflictBehavior::block;
        startRecording();
        QTest::keyClick(field(), Qt::Key_Tab, Qt::AltModifier);
        QCOMPARE(m_dialogs.alerts.size(), 1);
        QVERIFY(m_dialogs.alerts[0].buttons.isEmpty());
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlAltSpace);

        field()->conflictPolicy.menuItem = ConflictBehavior::allow;
        QTest::keyClick(field(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(m_dialogs.alerts.size(), 1);
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlN);
    }

    void escapeKeepsTheShortcutAndTabPasses()
    {
        startRecording();
        QTest::keyClick(field(), Qt::Key_Escape);
        QVERIFY(!field()->isRecording());
        QVERIFY(!isPaused());
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlAltSpace);
        QCOMPARE(field()->text(), QStringLiteral("Ctrl+Alt+Space"));
        QVERIFY(m_window->changes.isEmpty());

        startRecording();
        QTest::keyClick(field(), Qt::Key_Tab);
        QVERIFY(!field()->hasFocus());
        QVERIFY(!field()->isRecording());
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlAltSpace);
    }

    void theClearButtonRemovesTheShortcutAndStartsRecording()
    {
        const QList<QToolButton*> buttons = field()->findChildren<QToolButton*>();
        const auto clear = std::find_if(buttons.begin(), buttons.end(),
            [this](QToolButton* button) { return button->defaultAction() == field()->clearAction(); });
        QVERIFY(clear != buttons.end());
        QVERIFY((*clear)->isVisible());
        QTest::mouseClick(*clear, Qt::LeftButton);

        QCOMPARE(stored(), QVariant(false));
        QCOMPARE(getShortcut(Name::togglePanel()), std::nullopt);
        QVERIFY(!m_backend->isRegistered(49, ctrlAlt));
        QCOMPARE(field()->text(), QString());
        QVERIFY(!field()->clearAction()->isVisible());
        QCOMPARE(m_window->changes, QList<std::optional<Shortcut>> {std::nullopt});
        QVERIFY(field()->isRecording());
        QCOMPARE(field()->placeholderText(), RecorderTexts::text("press_shortcut"));

        // Recording a new one after clearing.
        QTest::keyClick(field(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlAltK);
        QVERIFY(field()->clearAction()->isVisible());

        // Backspace and Delete clear as the button does.
        startRecording();
        QTest::keyClick(field(), Qt::Key_Backspace);
        QCOMPARE(stored(), QVariant(false));
        QVERIFY(field()->isRecording());
        setShortcut(ctrlAltK, Name::togglePanel());
        QTest::keyClick(field(), Qt::Key_Delete);
        QCOMPARE(stored(), QVariant(false));
    }

    void aClickOutsideTheFieldEndsRecording()
    {
        startRecording();
        // Within three pixels of the field is still the field.
        const QPoint justBelow(field()->width() / 2, field()->height() + 2);
        QTest::mouseClick(field(), Qt::LeftButton, {}, justBelow);
        QVERIFY(field()->isRecording());

        // The button takes no focus from a click, so only the click itself can end recording.
        m_window->button->setFocusPolicy(Qt::NoFocus);
        QTest::mouseClick(m_window->button, Qt::RightButton);
        QVERIFY(!field()->isRecording());
        QVERIFY(!field()->hasFocus());
        QVERIFY(!isPaused());
    }

    void windowActivationNeitherStartsNorKeepsRecording()
    {
        QWidget other;
        other.show();
        startRecording();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(!field()->isRecording());
        m_scheduler.runDueJobs();
        // The field is no longer the window's focus widget, so coming back does not record.
        QCOMPARE(m_window->widget.focusWidget(), nullptr);

        // Coming back: the field would be the first to take the focus by Tab, but is passed over
        // while the window settles.
        m_window->button->setFocusPolicy(Qt::NoFocus);
        QVERIFY(field()->canBecomeKey());
        m_window->widget.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_window->widget));
        QVERIFY(!field()->isRecording());
        QVERIFY(!field()->canBecomeKey());
        m_scheduler.runDueJobs();
        QVERIFY(field()->canBecomeKey());
        QCOMPARE(field()->focusPolicy(), Qt::StrongFocus);
    }

    void destroyingARecordingFieldResumesTheHotKeys()
    {
        startRecording();
        delete m_window->field;
        QVERIFY(!isPaused());
        // The application filter went with the field.
        QTest::mouseClick(m_window->button, Qt::LeftButton);
    }

    void aRecorderBindsAValueAndValidatesIt()
    {
        std::optional<Shortcut> value = ctrlAltK;
        QList<std::optional<Shortcut>> heard;
        const Recorder recorder {QStringLiteral("Hotkey"),
            ShortcutBinding {
                [&value] { return value; }, [&value](const std::optional<Shortcut>& s) { value = s; }},
            [&heard](const std::optional<Shortcut>& s) { heard.append(s); },
            [](const Shortcut& s) {
                return s.carbonModifiers & Shortcut::shift
                    ? ValidationResult::disallow(QStringLiteral("No Shift, please."))
                    : ValidationResult::allow();
            },
            {}};
        QWidget window;
        auto* form = new QFormLayout(&window);
        RecorderField* bound = recorder.addTo(*form, m_dialogs);
        bound->setScheduler(&m_scheduler);
        QCOMPARE(bound->storageMode(), RecorderField::StorageMode::binding);
        QCOMPARE(bound->text(), QStringLiteral("Ctrl+Alt+K"));
        QCOMPARE(qobject_cast<QLabel*>(form->labelForField(bound))->text(), QStringLiteral("Hotkey"));
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        bound->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(bound, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(m_dialogs.alerts.size(), 1);
        QCOMPARE(m_dialogs.alerts[0].message, QStringLiteral("No Shift, please."));
        QCOMPARE(value, ctrlAltK);
        QVERIFY(bound->isRecording());

        QTest::keyClick(bound, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
        const Shortcut ctrlAltJ(38, ctrlAlt);
        QCOMPARE(value, ctrlAltJ);
        QCOMPARE(bound->bindingShortcut(), ctrlAltJ);
        QCOMPARE(heard, QList<std::optional<Shortcut>> {ctrlAltJ});
        // The slot of the application is left alone.
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlAltSpace);

        bound->clearAction()->trigger();
        QCOMPARE(value, std::nullopt);
        QCOMPARE(heard.size(), 2);
        QVERIFY(bound->isRecording());
        QTest::keyClick(bound, Qt::Key_Escape);
    }
};

QTEST_MAIN(RecorderFieldTest)
#include "RecorderFieldTest.moc"
