#include "panel/PanelKeyboardMonitor.h"
#include "panel/TaskRowContextTargetMonitor.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QVBoxLayout>

class EventMonitorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
