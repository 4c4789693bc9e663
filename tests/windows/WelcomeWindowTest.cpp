#include "AppIcon.h"
#include "WelcomeView.h"
#include "WelcomeWindowController.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <memory>

namespace {
QPalette paletteWithWindow(const QColor& window, const QColor& text)
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    return palette;
}

bool near(double a, double b)
{
    return qAbs(a - b) < 0.005;
}

QStringList labelTexts(QWidget* widget)
{
    QStringList texts;
    for (QLabel* label : widget->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}
} // namespace

class WelcomeWindowTest : public QObject {
    Q_OBJECT

private:
    int m_newFileCount = 0;
    int m_openFileCount = 0;

    std::unique_ptr<WelcomeWindowController> makeController()
    {
        return std::make_unique<WelcomeWindowController>(
            [this] { ++m_newFileCount; }, [this] { ++m_openFileCount; });
    }

private Q_SLOTS:
    void init()
    {
        m_newFileCount = 0;
        m_openFileCount = 0;
    }

    void theIconIsCompiledIntoTheProgram()
    {
        const QList<QSize> sizes = AppIcon::icon().availableSizes();
        for (int side : {16, 32, 48, 64, 128, 256})
            QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
        const QPixmap sharp = AppIcon::pixmap(80, 2);
        QVERIFY(!sharp.isNull());
        QCOMPARE(sharp.size(), QSize(160, 160));
        QCOMPARE(sharp.deviceIndependentSize(), QSizeF(80, 80));
        // The corners of the tile are transparent and its middle is opaque.
        const QImage image = sharp.toImage();
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(80, 80)), 255);
    }

    void theWindowIsBuiltOnceAndReusedAfterClosing()
    {
        auto controller = makeController();
        int builtCount = 0;
        controller->onWindowBuilt = [&](QMainWindow*) { ++builtCount; };
        QVERIFY(!controller->window());
        QVERIFY(!controller->isVisible());

        controller->show();
        QPointer<QMainWindow> window = controller->window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Welcome to Vesk"));

        controller->show();
        QCOMPARE(controller->window(), window.data());

        // The close button only hides it.
        QVERIFY(window->close());
        QCoreApplication::processEvents();
        QVERIFY(window);
        QVERIFY(!controller->isVisible());
        controller->show();
        QCOMPARE(controller->window(), window.data());
        QVERIFY(window->isVisible());
        QCOMPARE(builtCount, 1);
    }

    void theWindowHasAFixedSizeAndOnlyACloseButton()
    {
        auto controller = makeController();
        controller->show();
        QMainWindow* window = controller->window();
        QCOMPARE(controller->view()->size(), QSize(490, 610));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QCOMPARE(window->size(), QSize(490, 610));
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));

        // A menu bar added for the application's menus makes the window taller, never the content
        // smaller.
        auto controllerWithMenu = makeController();
        controllerWithMenu->onWindowBuilt
            = [](QMainWindow* w) { w->menuBar()->addMenu(QStringLiteral("File")); };
        controllerWithMenu->show();
        QCOMPARE(controllerWithMenu->view()->size(), QSize(490, 610));
        QCOMPARE(controllerWithMenu->window()->minimumSize(), controllerWithMenu->window()->maximumSize());
        QVERIFY(controllerWithMenu->window()->height() > 610);
    }

    void toggleHidesAVisibleWindowAndShowsOtherwise()
    {
        auto controller = makeController();
        controller->toggle();
        QVERIFY(controller->window());
        QVERIFY(controller->isVisible());
        QMainWindow* window = controller->window();
        controller->toggle();
        QVERIFY(!controller->isVisible());
        controller->toggle();
        QVERIFY(controller->isVisible());
        QCOMPARE(controller->window(), window);
        controller->hide();
        QVERIFY(!window->isVisible());
    }

    void theButtonsRunTheirCallbacksAfterEveryShow()
    {
        auto controller = makeController();
        controller->show();
        QCOMPARE(controller->view()->newFileButton()->text(), QStringLiteral("New File"));
        QCOMPARE(controller->view()->openFileButton()->text(), QStringLiteral("Open..."));
        QTest::mouseClick(controller->view()->newFileButton(), Qt::LeftButton);
        QCOMPARE(m_newFileCount, 1);
        QCOMPARE(m_openFileCount, 0);
        QTest::mouseClick(controller->view()->openFileButton(), Qt::LeftButton);
        QCOMPARE(m_openFileCount, 1);

        controller->hide();
        controller->show();
        QTest::mouseClick(controller->view()->newFileButton(), Qt::LeftButton);
        QTest::mouseClick(controller->view()->openFileButton(), Qt::LeftButton);
        QCOMPARE(m_newFileCount, 2);
        QCOMPARE(m_openFileCount, 2);
        QVERIFY(controller->view()->newFileButton()->isDefault());

        // Controllers made without actions ignore the buttons.
        WelcomeWindowController empty({}, {});
        empty.show();
        QTest::mouseClick(empty.view()->newFileButton(), Qt::LeftButton);
        QTest::mouseClick(empty.view()->openFileButton(), Qt::LeftButton);
    }

    void theViewShowsTheTaglineAndTheHint()
    {
        auto controller = makeController();
        controller->show();
        QStringList plain;
        for (const QString& text : labelTexts(controller->view())) {
            QTextDocument document;
            document.setHtml(text);
            plain << document.toPlainText();
        }
        QVERIFY2(plain.contains(QStringLiteral("Vesk is a todo app with no features")),
            qPrintable(plain.join('|')));
        QVERIFY(plain.contains(QStringLiteral("Start a new file for helpful tips")));
    }

    void theIconShadowFollowsTheAppearance()
    {
        auto controller = makeController();
        controller->show();
        QMainWindow* window = controller->window();
        window->setPalette(paletteWithWindow(QColor(30, 30, 30), Qt::white));
        QVERIFY(near(controller->view()->iconShadowOpacity(), 0.28));
        window->setPalette(paletteWithWindow(QColor(240, 240, 240), Qt::black));
        QVERIFY(near(controller->view()->iconShadowOpacity(), 0.12));

        // A fresh view built while the window is dark starts dark.
        window->setPalette(paletteWithWindow(QColor(30, 30, 30), Qt::white));
        controller->hide();
        controller->show();
        QVERIFY(near(controller->view()->iconShadowOpacity(), 0.28));
    }
};

QTEST_MAIN(WelcomeWindowTest)
#include "WelcomeWindowTest.moc"
