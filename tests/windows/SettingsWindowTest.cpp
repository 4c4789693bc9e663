#include "SettingsWindow.h"
#include "GlobalShortcuts.h"
#include "RecorderField.h"
#include "ScriptedDialogPresenter.h"
#include "SettingsStore.h"
#include "SettingsWindowController.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

using namespace GlobalShortcuts;

class SettingsWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SettingsStore m_store {m_dir.filePath(QStringLiteral("settings.ini"))};
    ScriptedDialogPresenter m_dialogs;
    SettingsWindowController m_controller {&m_dialogs};

private Q_SLOTS:
    void initTestCase() { SettingsStore::setShared(&m_store); }
    void cleanupTestCase() { SettingsStore::setShared(nullptr); }

    void oneSectionWithTheHotkeyRecorderInAWindowBuiltOnce()
    {
        QVERIFY(!m_controller.window());
        m_controller.show();
        QPointer<SettingsWindow> window = m_controller.window();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(window->size(), QSize(280, 140));
        const QList<QGroupBox*> sections = window->findChildren<QGroupBox*>();
        QCOMPARE(sections.size(), 1);
        QCOMPARE(sections[0]->title(), QStringLiteral("Settings"));
        auto* form = qobject_cast<QFormLayout*>(sections[0]->layout());
        QVERIFY(form && form->rowCount() == 1);
        RecorderField* field = window->hotKeyRecorder();
        QCOMPARE(qobject_cast<QLabel*>(form->labelForField(field))->text(), QStringLiteral("Hotkey"));
        QCOMPARE(field->storageMode(), RecorderField::StorageMode::name);
        QCOMPARE(field->shortcutName(), Name::togglePanel());
        QCOMPARE(field->text(), QStringLiteral("Ctrl+Alt+Space"));
        QVERIFY(window->rect().contains(field->geometry().translated(sections[0]->pos())));
        // Opening the window must not start recording by itself, although the field is its only control.
        QVERIFY(!field->isRecording());
        QVERIFY(!isPaused());
        // Closing only hides it.
        window->close();
        QVERIFY(window && !m_controller.isVisible());
        m_controller.show();
        QCOMPARE(m_controller.window(), window.data());
        QVERIFY(m_controller.isVisible());
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
