// A second Vesk committing to the same file: save_loop_helper FILE PREFIX COUNT. Opens FILE through a
// document controller, prints "ready", waits for a line on its standard input, then adds COUNT tasks
// named PREFIX and a number, one committed change each, and prints "saved " and the title of each
// task whose save the controller reported. Recovery alerts are answered with "Reload from Disk".
#include "ScriptedDialogPresenter.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"
#include "sync/VeskDocumentController.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4)
        return 2;
    ManualScheduler scheduler;
    ScriptedDialogPresenter dialogs;
    dialogs.unscriptedAnswer = 0;
    VeskDocumentController controller(&dialogs, &scheduler);
    if (controller.openDocument(QUrl::fromLocalFile(arguments[1])))
        return 3;
    std::puts("ready");
    std::fflush(stdout);
    char go[16];
    if (!std::fgets(go, sizeof go, stdin))
        return 4;
    SessionController& session = *controller.sessionController();
    for (int index = 0, count = arguments[3].toInt(); index < count; ++index) {
        const QString title = arguments[2] + QString::number(index);
        session.beginCreatingNewItem(title);
        session.commitNewItem();
        controller.waitForWrites();
        if (controller.appStatus().startsWith(QStringLiteral("Saved ")))
            std::printf("saved %s\n", qPrintable(title));
    }
    return 0;
}
