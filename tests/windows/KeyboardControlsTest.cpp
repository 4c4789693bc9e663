#include "GlobalShortcuts.h"
#include "KeyboardControlsPanel.h"
#include "KeyboardControlsPanelController.h"
#include "KeyboardControlsView.h"
#include "SettingsStore.h"
#include "ShortcutSection.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace GlobalShortcuts;

namespace {
QStringList shownKeys(const KeyboardControlsView* view)
{
    QStringList keys;
    for (const auto& row : view->rowLabels())
        keys << row.shortcut->text();
    return keys;
}
} // namespace

class KeyboardControlsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
    int m_fileNumber = 0;

    void useFreshSettings()
    {
        SettingsStore::setShared(nullptr);
        m_store = std::make_unique<SettingsStore>(m_dir.filePath(QString("s%1.ini").arg(++m_fileNumber)));
        SettingsStore::setShared(m_store.get());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init() { useFreshSettings(); }
    void cleanupTestCase() { SettingsStore::setShared(nullptr); }

    void everyRowOfTheReferenceIsShown()
    {
        KeyboardControlsPanelController controller(Name::togglePanel());
        controller.show();
        KeyboardControlsView* view = controller.view();
        QVERIFY(view);
        QCOMPARE(controller.panel()->windowTitle(), QStringLiteral("Keyboard Controls"));

        QStringList titles;
        for (QLabel* label : view->sectionTitleLabels())
            titles << label->text();
        QCOMPARE(titles, (QStringList {"APP", "NAVIGATION", "ITEMS"}));

        const QList<ShortcutRow> expected = {
            {getShortcut(Name::togglePanel())->description(), "Show or hide the Vesk panel"},
            {"?", "Show keyboard controls"},
            {"/", "Focus search"},
            {"J or ↓", "Move selection down"},
            {"K or ↑", "Move selection up"},
            {"H", "Previous tab"},
            {"L", "Next tab"},
            {"N", "New item"},
            {"Return", "Edit selected item"},
            {"Space", "Move selected item to Done or Pending"},
            {"T", "Move selected item to Next or Pending"},
            {"Shift+L", "Open the first link in the selected item"},
            {"Delete", "Delete selected item"},
            {"Ctrl+J or Ctrl+↓", "Move selected item down"},
            {"Ctrl+K or Ctrl+↑", "Move selected item up"},
        };
        QCOMPARE(view->rowLabels().size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QCOMPARE(view->rowLabels()[i].shortcut->text(), expected[i].shortcut);
            QCOMPARE(view->rowLabels()[i].description->text(), expected[i].description);
        }
        // The default show/hide shortcut is Ctrl+Alt+Space.
        QCOMPARE(expected.first().shortcut, QStringLiteral("Ctrl+Alt+Space"));
    }

    void noKeyTextIsCutOff()
    {
        KeyboardControlsPanelController controller(Name::togglePanel());
        controller.show();
        QCoreApplication::processEvents();
        for (const auto& row : controller.view()->rowLabels()) {
            const int needed = row.shortcut->fontMetrics().horizontalAdvance(row.shortcut->text());
            QVERIFY2(row.shortcut->contentsRect().width() >= needed, qPrintable(row.shortcut->text()));
            // Descriptions that wrap get the height of all their lines.
            QVERIFY2(row.description->height() >= row.description->heightForWidth(row.description->width()),
                qPrintable(row.description->text()));
            // Both texts sit on one baseline.
            const auto baseline = [](QLabel* label) {
                return label->y() + label->contentsRect().top() + label->fontMetrics().ascent();
            };
            QCOMPARE(baseline(row.shortcut), baseline(row.description));
            // The keys and the description do not overlap.
            QVERIFY(row.shortcut->geometry().right() < row.description->geometry().left());
            QCOMPARE(row.description->geometry().left(),
                controller.view()->rowLabels().first().description->geometry().left());
        }
    }

    void theGlobalShortcutIsReadAgainOnEveryShow()
    {
        KeyboardControlsPanelController controller(Name::togglePanel());
        setShortcut(std::nullopt, Name::togglePanel());
        controller.show();
        QCOMPARE(shownKeys(controller.view()).first(), QStringLiteral("Not set"));
        KeyboardControlsPanel* panel = controller.panel();

        const Shortcut recorded(40, Shortcut::control | Shortcut::shift);
        setShortcut(recorded, Name::togglePanel());
        controller.hide();
        controller.show();
        QCOMPARE(controller.panel(), panel);
        QCOMPARE(shownKeys(controller.view()).first(), recorded.description());
        QVERIFY(recorded.description().startsWith(QStringLiteral("Ctrl+Shift+")));

        // Showing an already visible panel refreshes it too.
        setShortcut(std::nullopt, Name::togglePanel());
        controller.show();
        QCOMPARE(shownKeys(controller.view()).first(), QStringLiteral("Not set"));

        // Another slot name shows that slot's shortcut.
        const Name other(QStringLiteral("otherSlot"), Shortcut(49, Shortcut::command));
        KeyboardControlsPanelController otherController(other);
        QCOMPARE(otherController.globalHotKeyDisplayName(), Shortcut(49, Shortcut::command).description());
    }

    void shiftQuestionMarkInsideThePanelHidesIt()
    {
        KeyboardControlsPanelController controller(Name::togglePanel());
        controller.show();
        KeyboardControlsPanel* panel = controller.panel();
        // Sent to a label deep inside the panel, as a key reaches whatever has focus.
        QLabel* inner = controller.view()->rowLabels().last().description;

        QTest::keyClick(inner, '?', Qt::AltModifier | Qt::ShiftModifier);
        QVERIFY(panel->isVisible());
        QTest::keyClick(inner, '?', Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(panel->isVisible());
        QTest::keyClick(inner, '/', Qt::ShiftModifier);
        QVERIFY(panel->isVisible());

        QTest::keyClick(inner, '?', Qt::ShiftModifier);
        QVERIFY(!panel->isVisible());
        QCOMPARE(controller.panel(), panel);

        // Shown again with toggle; the same keys hide the refreshed content too.
        controller.toggle();
        QVERIFY(panel->isVisible());
        QTest::keyClick(controller.view()->rowLabels().first().description, '?', Qt::ShiftModifier);
        QVERIFY(!panel->isVisible());
    }

    void thePanelIsBuiltOnceAndFloats()
    {
        KeyboardControlsPanelController controller(Name::togglePanel());
        QVERIFY(!controller.panel());
        controller.toggle();
        QPointer<KeyboardControlsPanel> panel = controller.panel();
        QVERIFY(panel && panel->isVisible());
        controller.show();
        QCOMPARE(controller.panel(), panel.data());
        QVERIFY(panel->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(panel->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(panel->width() >= 420 && panel->height() >= 550);

        QVERIFY(panel->close());
        QVERIFY(panel);
        QVERIFY(!controller.isVisible());
        controller.toggle();
        QCOMPARE(controller.panel(), panel.data());
        QVERIFY(controller.isVisible());
        controller.toggle();
        QVERIFY(!controller.isVisible());
    }
};

QTEST_MAIN(KeyboardControlsTest)
#include "KeyboardControlsTest.moc"
