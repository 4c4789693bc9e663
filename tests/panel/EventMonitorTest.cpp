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

    // A window with an editor and a handler that takes every key but A while it handles keys.
    struct Panel {
        QWidget window;
        QLineEdit* editor = new QLineEdit(&window);
        PanelKeyboardMonitor monitor {&window};
        QList<int> keys;
        bool handles = true;
        int menuTriggers = 0;

        Panel()
        {
            monitor.onKeyDown = [this](QKeyEvent* event) {
                keys << event->key();
                return handles && event->key() != Qt::Key_A;
            };
            auto* action = new QAction(&window);
            action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
            window.addAction(action);
            QObject::connect(action, &QAction::triggered, [this] { ++menuTriggers; });
            window.show();
        }
    };

private Q_SLOTS:
    void keysAreDecidedOnceByTheirOwnWindowsHandler()
    {
        Panel first;
        Panel second;
        QApplication::setActiveWindow(&first.window);
        first.editor->setFocus();
        QTest::keyClick(first.editor, Qt::Key_Space);
        QTest::keyClick(first.editor, Qt::Key_A);
        QTest::keyClick(first.editor, Qt::Key_J, Qt::ControlModifier);
        QCOMPARE(first.keys, QList<int>({Qt::Key_Space, Qt::Key_A, Qt::Key_Control, Qt::Key_J}));
        QCOMPARE(first.editor->text(), QStringLiteral("a")); // the handled space was swallowed
        QCOMPARE(first.menuTriggers, 0); // a handled key never reaches the menus
        QCOMPARE(second.keys, QList<int>());

        // Unhandled, a key the editor ignores is offered to its parents; the handler hears it once.
        first.handles = false;
        first.keys.clear();
        QTest::keyClick(first.editor, Qt::Key_F5);
        QTest::keyClick(first.editor, Qt::Key_J, Qt::ControlModifier);
        QCOMPARE(first.keys, QList<int>({Qt::Key_F5, Qt::Key_Control, Qt::Key_J}));
        QCOMPARE(first.menuTriggers, 1);
    }

    void onlyTheShownTabOfAWindowHearsItsKeys()
    {
        QWidget window;
        auto* tabs = new QStackedWidget;
        (new QVBoxLayout(&window))->addWidget(tabs);
        QLineEdit* pages[] = {new QLineEdit, new QLineEdit};
        int heard[] = {0, 0};
        std::unique_ptr<PanelKeyboardMonitor> monitors[2];
        for (int i : {0, 1}) {
            tabs->addWidget(pages[i]);
            monitors[i] = std::make_unique<PanelKeyboardMonitor>(pages[i]);
            monitors[i]->onKeyDown = [&heard, i](QKeyEvent*) { return ++heard[i], true; };
        }
        window.show();
        for (int i : {0, 1}) {
            tabs->setCurrentIndex(i);
            pages[i]->setFocus();
            QTest::keyClick(pages[i], Qt::Key_Space);
            QCOMPARE(heard[0], 1);
            QCOMPARE(heard[1], i);
        }
    }

    void rightPressesInsideTheViewAreReportedAndPassOn()
    {
        QWidget window;
        auto* list = new QWidget(&window);
        list->setGeometry(0, 0, 300, 200);
        auto* outside = new QWidget(&window);
        outside->setGeometry(0, 200, 300, 100);
        window.resize(300, 300);
        window.show();
        struct Catcher : QObject {
            int presses = 0;
            bool eventFilter(QObject*, QEvent* e) override
            {
                presses += e->type() == QEvent::MouseButtonPress;
                return false;
            }
        } catcher;
        list->installEventFilter(&catcher);
        QList<QPoint> reported;
        auto* monitor = new TaskRowContextTargetMonitor(list);
        monitor->onContextMenuPress = [&](QPoint p) { reported << p; };

        QTest::mousePress(list, Qt::RightButton, {}, QPoint(40, 50));
        QCOMPARE(catcher.presses, 1); // not consumed
        QTest::mousePress(list, Qt::LeftButton, {}, QPoint(40, 60));
        QTest::mousePress(outside, Qt::RightButton, {}, QPoint(10, 10));
        delete monitor;
        QTest::mousePress(list, Qt::RightButton, {}, QPoint(40, 50));
        QCOMPARE(reported, QList<QPoint>({QPoint(40, 50)}));
    }
};

QTEST_MAIN(EventMonitorTest)
#include "EventMonitorTest.moc"
