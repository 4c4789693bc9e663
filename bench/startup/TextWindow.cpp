// The second baseline of the start-up benchmark: a Qt Widgets window that draws one line of text in
// the font of the list's task titles (the application font at 1.25 times its size, semibold).
#include "app/StartupProbe.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    StartupProbe::installIfRequested();
    QMainWindow window;
    auto* line = new QLabel(QStringLiteral("Task number 0 with a title of ordinary length"), &window);
    QFont font = QApplication::font();
    font.setPointSizeF((font.pointSizeF() > 0 ? font.pointSizeF() : 10) * 1.25);
    font.setWeight(QFont::DemiBold);
    line->setFont(font);
    line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    line->setMargin(16);
    window.setCentralWidget(line);
    window.resize(490, 610);
    window.show();
    return app.exec();
}
