#include "platform/SettingsStore.h"
#include "shortcuts/GlobalShortcuts.h"
#include "windows/KeyboardControlsPanel.h"
#include "windows/KeyboardControlsPanelController.h"
#include "windows/KeyboardControlsView.h"
#include "windows/ShortcutSection.h"

#include <QAccessible>
#include <QAction>
#include <QCursor>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace GlobalShortcuts;

class KeyboardControlsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SettingsStore m_store {m_dir.filePath(QStringLiteral("settings.ini"))};
    // Shared before the controller exists, so that its shortcut slot starts from the default.
    bool m_shared = (SettingsStore::setShared(&m_store), true);
    KeyboardControlsPanelController m_controller {Name::togglePanel()};

    QString shownGlobalKeys() const { return m_controller.view()->rowLabels().first().shortcut->text(); }

private Q_SLOTS:
    void cleanupTestCase() { SettingsStore::setShared(nullptr); }

    void thePanelIsBuiltOnceFloatsAndToggles()
    {
        QVERIFY(!m_controller.panel());
        m_controller.toggle();
        QPointer<KeyboardControlsPanel> panel = m_controller.panel();
        QVERIFY(panel && panel->isVisible());
        QVERIFY(panel->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(panel->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
        QCOMPARE(panel->size(), QSize(420, 550));
        QCOMPARE(panel->minimumSize(), panel->maximumSize());
        QVERIFY(!(panel->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
        m_controller.show();
        QVERIFY(panel->close());
        QVERIFY(panel && !m_controller.isVisible());
        m_controller.toggle();
        QCOMPARE(m_controller.panel(), panel.data());
        QVERIFY(m_controller.isVisible());

        // On a screen lower than the reference, it opens inside the screen and scrolls.
        const QRect laptop = QGuiApplication::screenAt(QPoint(1290, 10))->availableGeometry();
        QCursor::setPos(laptop.center());
        KeyboardControlsPanelController onLaptop {Name::togglePanel()};
        onLaptop.show();
        QVERIFY(laptop.contains(onLaptop.panel()->frameGeometry()));
        QCOMPARE(onLaptop.panel()->minimumSize(), onLaptop.panel()->maximumSize());
        QVERIFY(onLaptop.view()->verticalScrollBar()->maximum() > 0);
        QCursor::setPos(10, 10);
    }

    void everyRowOfTheReferenceIsShownUncut()
    {
        m_controller.show();
        QCoreApplication::processEvents();
        QStringList titles;
        for (QLabel* label : m_controller.view()->sectionTitleLabels())
            titles << label->text();
        QCOMPARE(titles, (QStringList {"APP", "NAVIGATION", "ITEMS"}));
        const auto rows = m_controller.view()->rowLabels();
        QCOMPARE(rows.first().shortcut->text(), QStringLiteral("Ctrl+Alt+Space"));
        const auto baseline = [](QLabel* label) {
            return label->y() + label->contentsRect().top() + label->fontMetrics().ascent();
        };
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QLabel* keys = rows[i].shortcut;
            QLabel* text = rows[i].description;
            QVERIFY(!keys->text().isEmpty() && !text->text().isEmpty());
            // No key text is cut off, wrapped descriptions get all their lines, and both share a baseline in
            // one column without overlapping.
            QVERIFY2(keys->contentsRect().width() >= keys->fontMetrics().horizontalAdvance(keys->text()),
                qPrintable(keys->text()));
            QVERIFY2(text->height() >= text->heightForWidth(text->width()), qPrintable(text->text()));
            QCOMPARE(baseline(keys), baseline(text));
            QVERIFY(keys->geometry().right() < text->geometry().left());
            QCOMPARE(text->geometry().left(), rows.first().description->geometry().left());
        }

        // Screen readers read each section as a table of keys and commands named by the section.
        qsizetype first = 0;
        for (const char* title : {"App", "Navigation", "Items"}) {
            QAccessibleInterface* table
                = QAccessible::queryAccessibleInterface(rows[first].shortcut->parentWidget());
            QCOMPARE(table->role(), QAccessible::Table);
            QCOMPARE(table->text(QAccessible::Name), QString::fromUtf8(title));
            QAccessibleTableInterface* cells = table->tableInterface();
            QVERIFY(cells && cells->columnCount() == 2);
            QCOMPARE(cells->columnDescription(0) + "|" + cells->columnDescription(1), "Key|Command");
            for (int row = 0; row < cells->rowCount(); ++row) {
                QAccessibleInterface* keys = cells->cellAt(row, 0);
                QCOMPARE(keys->role(), QAccessible::Cell);
                QCOMPARE(keys->text(QAccessible::Name), rows[first + row].shortcut->text());
                QCOMPARE(
                    cells->cellAt(row, 1)->text(QAccessible::Name), rows[first + row].description->text());
                QCOMPARE(table->child(2 * row + 1), cells->cellAt(row, 1));
                QCOMPARE(keys->tableCellInterface()->rowIndex(), row);
                QCOMPARE(keys->tableCellInterface()->table(), table);
            }
            first += cells->rowCount();
        }
        QCOMPARE(first, rows.size());
    }

    void theGlobalShortcutIsReadAgainOnEveryShow()
    {
        setShortcut(std::nullopt, Name::togglePanel());
        m_controller.show();
        QCOMPARE(shownGlobalKeys(), QStringLiteral("Not set"));
        const Shortcut recorded(40, Shortcut::control | Shortcut::shift);
        setShortcut(recorded, Name::togglePanel());
        m_controller.hide();
        m_controller.show();
        QCOMPARE(shownGlobalKeys(), recorded.description());
        QVERIFY(recorded.description().startsWith(QStringLiteral("Ctrl+Shift+")));
        // Showing an already visible panel refreshes it too.
        setShortcut(std::nullopt, Name::togglePanel());
        m_controller.show();
        QCOMPARE(shownGlobalKeys(), QStringLiteral("Not set"));
        // Another slot name shows that slot's shortcut.
        KeyboardControlsPanelController other(
            Name(QStringLiteral("otherSlot"), Shortcut(49, Shortcut::command)));
        QCOMPARE(other.globalHotKeyDisplayName(), Shortcut(49, Shortcut::command).description());
    }

    void escapeAndCtrlWHideThePanelAndQuitWorksInIt()
    {
        QAction quit;
        quit.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        QSignalSpy quitting(&quit, &QAction::triggered);
        m_controller.addApplicationAction(&quit);
        for (const QKeyCombination key : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
            m_controller.show();
            QVERIFY(QTest::qWaitForWindowActive(m_controller.panel()));
            QTest::keyClick(
                m_controller.view()->rowLabels()[3].description, key.key(), key.keyboardModifiers());
            QVERIFY2(!m_controller.isVisible(), qPrintable(QKeySequence(key).toString()));
        }
        m_controller.show();
        QVERIFY(QTest::qWaitForWindowActive(m_controller.panel()));
        QTest::keyClick(m_controller.panel(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(quitting.count(), 1);
    }

    void onlyShiftQuestionMarkInsideThePanelHidesIt()
    {
        for (int round = 0; round < 2; ++round) {
            m_controller.hide();
            m_controller.toggle();
            QVERIFY(m_controller.isVisible());
            // Sent to a label deep inside the panel, as a key reaches whatever has focus.
            QLabel* inner = m_controller.view()->rowLabels()[round ? 0 : 14].description;
            QTest::keyClick(inner, '?', Qt::AltModifier | Qt::ShiftModifier);
            QTest::keyClick(inner, '?', Qt::ControlModifier | Qt::ShiftModifier);
            QTest::keyClick(inner, '/', Qt::ShiftModifier);
            QVERIFY(m_controller.panel()->isVisible());
            QTest::keyClick(inner, '?', Qt::ShiftModifier);
            QVERIFY(!m_controller.panel()->isVisible());
        }
    }
};

QTEST_MAIN(KeyboardControlsTest)
#include "KeyboardControlsTest.moc"
