// The baseline of the start-up benchmark: the smallest Qt Widgets program that shows a window.
#include "app/StartupProbe.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    StartupProbe::installIfRequested();
    QMainWindow window;
    window.resize(490, 610);
    window.show();
    return app.exec();
}
