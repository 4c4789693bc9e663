#include "PanelKeyboardMonitor.h"
#include "TaskRowContextTargetMonitor.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QVBoxLayout>

class EventMonitorTest : public QObject {
    Q_OBJECT

    struct Panel {
        QWidget window;
        QLineEdit* editor;
        PanelKeyboardMonitor monitor {&window};
        QList<int> keys;
        bool handles = true;

        Panel()
        {
            auto* layout = new QVBoxLayout(&window);
            editor = new QLineEdit;
            layout->addWidget(editor);
            monitor.onKeyDown = [this](QKeyEvent* event) {
                keys << event->key();
                return handles && event->key() != Qt::Key_A;
            };
            window.show();
        }
    };

private Q_SLOTS:
    void keysReachOnlyTheirOwnWindowsHandler()
    {
        Panel first;
        Panel second;
        first.editor->setFocus();
        QTest::keyClick(first.editor, Qt::Key_Space);
        QCOMPARE(first.keys, QList<int>({Qt::Key_Space}));
        QCOMPARE(second.keys, QList<int>());
        QCOMPARE(first.editor->text(), QString()); // swallowed

        second.editor->setFocus();
        QTest::keyClick(second.editor, Qt::Key_Down);
        QCOMPARE(second.keys, QList<int>({Qt::Key_Down}));
        QCOMPARE(first.keys.size(), 1);
    }

    void unhandledKeysReachTheFocusedEditorOnce()
    {
        Panel panel;
        panel.editor->setFocus();
        QTest::keyClick(panel.editor, Qt::Key_A);
        QCOMPARE(panel.editor->text(), QStringLiteral("a"));
        // A key the editor ignores is offered to its parents; the handler still hears it once.
        panel.handles = false;
        panel.keys.clear();
        QTest::keyClick(panel.editor, Qt::Key_F5);
        QCOMPARE(panel.keys, QList<int>({Qt::Key_F5}));
    }

    void handledKeysNeverReachMenuShortcuts()
    {
        Panel panel;
        QApplication::setActiveWindow(&panel.window);
        panel.editor->setFocus();
        int triggered = 0;
        auto* action = new QAction(&panel.window);
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
        panel.window.addAction(action);
        connect(action, &QAction::triggered, [&] { ++triggered; });
        QTest::keyClick(panel.editor, Qt::Key_J, Qt::ControlModifier);
        QCOMPARE(triggered, 0);
        QCOMPARE(panel.keys.count(Qt::Key_J), 1);

        panel.handles = false;
        QTest::keyClick(panel.editor, Qt::Key_J, Qt::ControlModifier);
        QCOMPARE(triggered, 1);
    }

    void onlyTheShownTabOfAWindowHearsItsKeys()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* tabs = new QStackedWidget;
        layout->addWidget(tabs);
        auto* first = new QLineEdit;
        auto* second = new QLineEdit;
        tabs->addWidget(first);
        tabs->addWidget(second);
        int firstKeys = 0, secondKeys = 0;
        PanelKeyboardMonitor firstMonitor(first);
        PanelKeyboardMonitor secondMonitor(second);
        firstMonitor.onKeyDown = [&](QKeyEvent*) { return ++firstKeys, true; };
        secondMonitor.onKeyDown = [&](QKeyEvent*) { return ++secondKeys, true; };
        window.show();
        first->setFocus();
        QTest::keyClick(first, Qt::Key_Space);
        QCOMPARE(firstKeys, 1);
        QCOMPARE(secondKeys, 0);
        tabs->setCurrentWidget(second);
        second->setFocus();
        QTest::keyClick(second, Qt::Key_Space);
        QCOMPARE(firstKeys, 1);
        QCOMPARE(secondKeys, 1);
    }

    void rightPressesInsideTheViewAreReportedAndPassOn()
    {
        QWidget window;
        window.resize(300, 300);
        auto* list = new QWidget(&window);
        list->setGeometry(0, 0, 300, 200);
        auto* outside = new QWidget(&window);
        outside->setGeometry(0, 200, 300, 100);
        window.show();
        int listPresses = 0;
        struct Catcher : QObject {
            int* count;
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::MouseButtonPress)
                    ++*count;
                return false;
            }
        } catcher;
        catcher.count = &listPresses;
        list->installEventFilter(&catcher);

        QList<QPoint> reported;
        auto* monitor = new TaskRowContextTargetMonitor(list);
        monitor->onContextMenuPress = [&](QPoint p) { reported << p; };

        QTest::mousePress(list, Qt::RightButton, {}, QPoint(40, 50));
        QCOMPARE(reported, QList<QPoint>({QPoint(40, 50)}));
        QCOMPARE(listPresses, 1); // not consumed
        QTest::mousePress(list, Qt::LeftButton, {}, QPoint(40, 60));
        QTest::mousePress(outside, Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(reported.size(), 1);

        delete monitor;
        QTest::mousePress(list, Qt::RightButton, {}, QPoint(40, 50));
        QCOMPARE(reported.size(), 1);
    }
};

QTEST_MAIN(EventMonitorTest)
#include "EventMonitorTest.moc"
