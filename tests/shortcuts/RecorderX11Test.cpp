#include "platform/SettingsStore.h"
#include "platform/gui/QtDialogPresenter.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/HotKeyCenter.h"
#include "shortcuts/RecorderField.h"
#include "shortcuts/X11HotKeyBackend.h"
#include "windows/SettingsWindow.h"
#include "windows/SettingsWindowController.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace GlobalShortcuts;

namespace {

const Shortcut ctrlAltSpace(49, Shortcut::control | Shortcut::option);
const Shortcut ctrlAltK(40, Shortcut::control | Shortcut::option);

// Presses keys as another X client would, through the XTEST extension.
bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// Answers the next message box that comes up by clicking the button with the given text, as a
// person would.
class AlertAnswerer : public QObject {
public:
    explicit AlertAnswerer(const QString& button) : m_button(button)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            for (QAbstractButton* candidate : box->buttons()) {
                if (candidate->text() == m_button) {
                    message = box->text();
                    m_timer.stop();
                    candidate->click();
                    return;
                }
            }
        });
        m_timer.start(10);
    }
    QString message;

private:
    QString m_button;
    QTimer m_timer;
};

} // namespace

// Recording in the settings window on a real X server: the recorded combination is the one the
// desktop's keys now reach the application through.
class RecorderX11Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
    int m_ups = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_store = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("settings.ini")));
        SettingsStore::setShared(m_store.get());
        QVERIFY(dynamic_cast<X11HotKeyBackend*>(&HotKeyCenter::shared().backend()));
        onKeyUp(Name::togglePanel(), [this] { ++m_ups; });
        QVERIFY(registeredShortcuts().contains(ctrlAltSpace));
    }

    void cleanupTestCase() { SettingsStore::setShared(nullptr); }

    void keysFromTheKeyboardAreRecordedByTheirPhysicalKey()
    {
        QtDialogPresenter dialogs;
        SettingsWindowController settings(dialogs);
        settings.show();
        QVERIFY(QTest::qWaitForWindowActive(settings.window()));
        RecorderField* field = settings.window()->hotKeyRecorder();
        QTest::mouseClick(field, Qt::LeftButton);
        QVERIFY(field->isRecording());
        // With Shift the key types "!", but what is stored is the key: 1.
        QVERIFY(xdotool({"key", "ctrl+alt+shift+1"}));
        QTRY_VERIFY(!field->isRecording());
        QCOMPARE(getShortcut(Name::togglePanel()),
            Shortcut(18, Shortcut::control | Shortcut::option | Shortcut::shift));
        // The recorded combination is the one that now reaches the application.
        const int ups = m_ups;
        QVERIFY(xdotool({"key", "ctrl+alt+shift+1"}));
        QTRY_COMPARE(m_ups, ups + 1);
    }

    void recordingResumesAfterARealAlert()
    {
        setShortcut(ctrlAltK, Name::togglePanel());
        QtDialogPresenter dialogs;
        SettingsWindowController settings(dialogs);
        settings.show();
        SettingsWindow* window = settings.window();
        QVERIFY(QTest::qWaitForWindowActive(window));
        RecorderField* field = window->hotKeyRecorder();
        QTest::mouseClick(field, Qt::LeftButton);
        QVERIFY(field->isRecording());

        // Ctrl+Alt+T opens a terminal on many desktops: the message box offers to use it anyway.
        {
            AlertAnswerer answer(QStringLiteral("OK"));
            QTest::keyClick(field, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
            QVERIFY(answer.message.contains(QStringLiteral("desktop")));
        }
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlAltK);
        QTRY_VERIFY(window->isActiveWindow());
        QTRY_VERIFY(field->isRecording());
        QVERIFY(isPaused());

        {
            AlertAnswerer answer(QStringLiteral("Use Anyway"));
            QTest::keyClick(field, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
            QVERIFY(!answer.message.isEmpty());
        }
        const Shortcut ctrlAltT(17, Shortcut::control | Shortcut::option);
        QCOMPARE(getShortcut(Name::togglePanel()), ctrlAltT);
        // The window becoming active again after the alert does not start another recording.
        QTRY_VERIFY(window->isActiveWindow());
        QVERIFY(!field->isRecording());
        QVERIFY(!isPaused());
    }
};

QTEST_MAIN(RecorderX11Test)
#include "RecorderX11Test.moc"
