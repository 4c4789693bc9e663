// Shows the welcome window and the keyboard controls reference side by side and photographs the
// screen: windows-preview OUTPUT.png [--dark]. Run it on a virtual display (tests/support/with-xvfb)
// to refresh the pictures in docs/.
#include "shortcuts/GlobalShortcuts.h"
#include "windows/KeyboardControlsPanelController.h"
#include "windows/WelcomeWindowController.h"

#include <QApplication>
#include <QMainWindow>
#include <QProcess>
#include <QStyleFactory>
#include <QTimer>

namespace {
QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(40, 40, 43));
    palette.setColor(QPalette::WindowText, QColor(235, 235, 235));
    palette.setColor(QPalette::Base, QColor(30, 30, 32));
    palette.setColor(QPalette::Text, QColor(235, 235, 235));
    palette.setColor(QPalette::Button, QColor(60, 60, 64));
    palette.setColor(QPalette::ButtonText, QColor(235, 235, 235));
    palette.setColor(QPalette::Highlight, QColor(42, 110, 230));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QStringList args = QApplication::arguments();
    if (args.size() < 2)
        return 2;
    if (args.contains(QStringLiteral("--dark")))
        QApplication::setPalette(darkPalette());

    WelcomeWindowController welcome({}, {});
    welcome.show();
    welcome.window()->move(40, 40);
    KeyboardControlsPanelController reference(GlobalShortcuts::Name::togglePanel());
    reference.show();
    reference.panel()->move(600, 40);

    QTimer::singleShot(800, &app, [&] {
        const int status = QProcess::execute(QStringLiteral("import"),
            {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
                QStringLiteral("1040x680+20+20"), args.at(1)});
        QApplication::exit(status);
    });
    return app.exec();
}
