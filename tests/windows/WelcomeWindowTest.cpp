#include "panel/PanelWelcomeView.h"
#include "windows/AppIcon.h"
#include "windows/WelcomeView.h"
#include "windows/WelcomeWindowController.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

class WelcomeWindowTest : public QObject {
    Q_OBJECT

    int m_newFileCount = 0;
    int m_openFileCount = 0;
    WelcomeWindowController m_controller {[this] { ++m_newFileCount; }, [this] { ++m_openFileCount; }};

private Q_SLOTS:
    void theIconIsCompiledIntoTheProgram()
    {
        for (int side : {16, 32, 48, 64, 128, 256})
            QVERIFY2(AppIcon::icon().availableSizes().contains(QSize(side, side)),
                qPrintable(QString::number(side)));
        const QPixmap sharp = AppIcon::pixmap(80, 2);
        QCOMPARE(sharp.size(), QSize(160, 160));
        QCOMPARE(sharp.deviceIndependentSize(), QSizeF(80, 80));
        // The corners of the tile are transparent and its middle is opaque.
        QCOMPARE(qAlpha(sharp.toImage().pixel(0, 0)), 0);
        QCOMPARE(qAlpha(sharp.toImage().pixel(80, 80)), 255);

        // The welcome block of a panel without a file shows the same icon.
        QApplication::setWindowIcon(AppIcon::icon());
        const QImage own = sharp.toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage inPanel
            = PanelWelcomeView::iconPixmap(80, 2).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(inPanel.size(), own.size());
        qint64 difference = 0;
        for (int y = 0; y < own.height(); ++y) {
            for (int x = 0; x < own.width(); ++x) {
                const QRgb a = own.pixel(x, y), b = inPanel.pixel(x, y);
                difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b))
                    + std::abs(qBlue(a) - qBlue(b)) + std::abs(qAlpha(a) - qAlpha(b));
            }
        }
        // Scaled by two routes, the images may differ by rounding, not by picture.
        QVERIFY2(difference < own.width() * own.height() * 4 * 3, qPrintable(QString::number(difference)));
    }

    void theWindowIsBuiltOnceWithAFixedSizeAndToggles()
    {
        QSignalSpy built(&m_controller, &WelcomeWindowController::windowBuilt);
        QVERIFY(!m_controller.window());
        m_controller.toggle();
        QPointer<QMainWindow> window = m_controller.window();
        QVERIFY(window && window->isVisible());
        QCOMPARE(m_controller.view()->size(), QSize(490, 610));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY((flags & Qt::WindowCloseButtonHint)
            && !(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        m_controller.show();
        m_controller.toggle();
        QVERIFY(!window->isVisible());
        m_controller.toggle();
        QVERIFY(m_controller.isVisible());
        // The close button only hides it.
        QVERIFY(window->close());
        QCoreApplication::processEvents();
        QVERIFY(window && !m_controller.isVisible());
        m_controller.show();
        QCOMPARE(m_controller.window(), window.data());
        QVERIFY(window->isVisible());
        QCOMPARE(built.size(), 1);
        m_controller.hide();
        QVERIFY(!window->isVisible());

        // A menu bar added for the application's menus makes the window taller, never the content smaller.
        WelcomeWindowController withMenu({}, {});
        connect(&withMenu, &WelcomeWindowController::windowBuilt, this,
            [](QMainWindow* w) { w->menuBar()->addMenu(QStringLiteral("File")); });
        withMenu.show();
        QCOMPARE(withMenu.view()->size(), QSize(490, 610));
        QCOMPARE(withMenu.window()->minimumSize(), withMenu.window()->maximumSize());
        QVERIFY(withMenu.window()->height() > 610);
    }

    void onTheSmallScreenUnderThePointerTheWindowFitsWithItsContentWhole_data()
    {
        QTest::addColumn<double>("pointSize");
        QTest::newRow("desktop font") << QApplication::font().pointSizeF();
        QTest::newRow("16 pt font") << 16.0;
    }
    void onTheSmallScreenUnderThePointerTheWindowFitsWithItsContentWhole()
    {
        QFETCH(double, pointSize);
        const QFont desktopFont = QApplication::font();
        QFont font = desktopFont;
        font.setPointSizeF(pointSize);
        QApplication::setFont(font);
        const QRect laptop = QGuiApplication::screenAt(QPoint(1290, 10))->availableGeometry();
        QCursor::setPos(laptop.center());
        WelcomeWindowController controller({}, {});
        connect(&controller, &WelcomeWindowController::windowBuilt, this,
            [](QMainWindow* w) { w->menuBar()->addMenu(QStringLiteral("File")); });
        for (int round = 1; round <= 2; ++round) {
            controller.show();
            QVERIFY(laptop.contains(controller.window()->frameGeometry()));
            const WelcomeView* view = controller.view();
            QVERIFY(view->size().height() < 610);
            // No text is cut off.
            for (const QWidget* child : view->findChildren<QWidget*>()) {
                QVERIFY(view->rect().contains(child->geometry()));
                if (qobject_cast<const QLabel*>(child) || qobject_cast<const QPushButton*>(child))
                    QVERIFY2(child->width() >= child->sizeHint().width(), qPrintable(child->objectName()));
            }
            controller.hide();
        }
        QCursor::setPos(10, 10);
        QApplication::setFont(desktopFont);
    }

    void atALargeFontTheTaglineWrapsInsteadOfBeingCutOff()
    {
        const QFont desktopFont = QApplication::font();
        QFont font = desktopFont;
        font.setPointSizeF(16);
        QApplication::setFont(font);
        WelcomeView view;
        view.show();
        for (const QLabel* label : view.findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue;
            const bool whole = label->hasHeightForWidth()
                ? label->heightForWidth(label->width()) <= label->height()
                : label->width() >= label->sizeHint().width();
            QVERIFY2(whole, qPrintable(label->text()));
        }
        QApplication::setFont(desktopFont);
    }

    void theViewShowsItsTextsAndItsButtonsWorkAfterEveryShow()
    {
        for (int round = 1; round <= 2; ++round) {
            m_controller.hide();
            m_controller.show();
            QVERIFY(m_controller.view()->newFileButton()->isDefault());
            QTest::mouseClick(m_controller.view()->newFileButton(), Qt::LeftButton);
            QCOMPARE(m_newFileCount, round);
            QCOMPARE(m_openFileCount, round - 1);
            QTest::mouseClick(m_controller.view()->openFileButton(), Qt::LeftButton);
            QCOMPARE(m_openFileCount, round);
        }
        QStringList plain;
        for (QLabel* label : m_controller.view()->findChildren<QLabel*>()) {
            QTextDocument document;
            document.setHtml(label->text());
            plain << document.toPlainText();
        }
        QVERIFY2(plain.contains(QStringLiteral("Vesk is a todo app with no features")),
            qPrintable(plain.join('|')));
        QVERIFY(plain.contains(QStringLiteral("Start a new file for helpful tips")));
        // Controllers made without actions ignore the buttons.
        WelcomeWindowController empty({}, {});
        empty.show();
        QTest::mouseClick(empty.view()->newFileButton(), Qt::LeftButton);
        QTest::mouseClick(empty.view()->openFileButton(), Qt::LeftButton);
    }
};

QTEST_MAIN(WelcomeWindowTest)
#include "WelcomeWindowTest.moc"
