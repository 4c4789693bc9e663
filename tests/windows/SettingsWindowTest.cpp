#include "SettingsWindow.h"
#include "GlobalShortcuts.h"
#include "KeyboardControlsPanelController.h"
#include "RecorderField.h"
#include "ScriptedDialogPresenter.h"
#include "SettingsStore.h"
#include "SettingsWindowController.h"

#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace GlobalShortcuts;

class SettingsWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
    int m_fileNumber = 0;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init()
    {
        SettingsStore::setShared(nullptr);
        m_store = std::make_unique<SettingsStore>(m_dir.filePath(QString("s%1.ini").arg(++m_fileNumber)));
        SettingsStore::setShared(m_store.get());
    }
    void cleanupTestCase() { SettingsStore::setShared(nullptr); }

    void oneSectionWithTheHotkeyRecorder()
    {
        ScriptedDialogPresenter dialogs;
        SettingsWindowController controller(&dialogs);
        QVERIFY(!controller.window());
        controller.show();
        SettingsWindow* window = controller.window();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(window->size(), QSize(280, 140));

        const QList<QGroupBox*> sections = window->findChildren<QGroupBox*>();
        QCOMPARE(sections.size(), 1);
        QCOMPARE(sections[0]->title(), QStringLiteral("Settings"));
        auto* form = qobject_cast<QFormLayout*>(sections[0]->layout());
        QVERIFY(form);
        QCOMPARE(form->rowCount(), 1);
        RecorderField* field = window->hotKeyRecorder();
        QCOMPARE(qobject_cast<QLabel*>(form->labelForField(field))->text(), QStringLiteral("Hotkey"));
        QCOMPARE(field->storageMode(), RecorderField::StorageMode::name);
        QCOMPARE(field->shortcutName(), Name::togglePanel());
        QCOMPARE(field->text(), QStringLiteral("Ctrl+Alt+Space"));
        QVERIFY(window->rect().contains(field->geometry().translated(sections[0]->pos())));

        // Opening the window must not start recording by itself, although the field is its only
        // control.
        QVERIFY(!field->isRecording());
        QVERIFY(!isPaused());
    }

    void theWindowIsBuiltOnceAndOnlyHidden()
    {
        SettingsWindowController controller;
        controller.show();
        QPointer<SettingsWindow> window = controller.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->close();
        QVERIFY(window);
        QVERIFY(!controller.isVisible());
        controller.show();
        QCOMPARE(controller.window(), window.data());
        QVERIFY(controller.isVisible());
    }

    void aRecordedShortcutIsTheGlobalOneAndTheReferenceShowsIt()
    {
        ScriptedDialogPresenter dialogs;
        SettingsWindowController controller(&dialogs);
        controller.show();
        QVERIFY(QTest::qWaitForWindowActive(controller.window()));
        RecorderField* field = controller.window()->hotKeyRecorder();
        KeyboardControlsPanelController reference(Name::togglePanel());

        QTest::mouseClick(field, Qt::LeftButton);
        QVERIFY(field->isRecording());
        QTest::keyClick(field, Qt::Key_J, Qt::ControlModifier | Qt::MetaModifier);
        const Shortcut ctrlSuperJ(38, Shortcut::control | Shortcut::command);
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlSuperJ);
        QCOMPARE(m_store->value(Name::togglePanel().settingsKey()).toString(),
            QString::fromUtf8(ctrlSuperJ.toJson()));
        QCOMPARE(reference.globalHotKeyDisplayName(), ctrlSuperJ.description());

        // A desktop combination is warned about through the window's alerts.
        QTest::mouseClick(field, Qt::LeftButton);
        QTest::keyClick(field, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts[0].buttons.size(), 2);
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlSuperJ);

        // Clearing leaves the panels without a global shortcut, also after a restart.
        field->clearAction()->trigger();
        QCOMPARE(getShortcut(Name::togglePanel()), std::nullopt);
        QCOMPARE(reference.globalHotKeyDisplayName(), QStringLiteral("Not set"));
        m_store->sync();
        SettingsStore reread(m_store->fileName());
        QCOMPARE(reread.boolValue(Name::togglePanel().settingsKey()), false);
        QTest::keyClick(field, Qt::Key_Escape);
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
