#include "app/AppController.h"
#include "app/DeferredIconStyle.h"
#include "app/DeferredStartup.h"
#include "app/FileDropFilter.h"
#include "app/GraphicalSession.h"
#include "app/MainMenu.h"
#include "app/SingleInstance.h"
#include "app/StartupProbe.h"
#include "app/TerminationSignals.h"
#include "app/VeskAppDelegate.h"
#include "cli/AppCommandLine.h"
#include "panel/PanelKeyCommand.h"
#include "platform/Scheduler.h"
#include "platform/SettingsStore.h"
#include "platform/gui/DesktopFileRevealer.h"
#include "platform/gui/DesktopUrlOpener.h"
#include "platform/gui/QtDialogPresenter.h"
#include "platform/gui/QtPasteboard.h"
#include "shortcuts/MenuShortcuts.h"
#include "windows/AppIcon.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <malloc.h>
#include <sys/prctl.h>

int main(int argc, char* argv[])
{
    // glibc's defaults, fixed: left to adapt, the thresholds rise after the first multi-megabyte
    // buffer of a save or a load is freed, and every later one of a long list's saves then stays
    // in the heap, which keeps growing with each edit instead of giving the memory back.
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    ::mallopt(M_TRIM_THRESHOLD, 128 * 1024);

    // The vesk command has answered --help, --version and the terminal commands, and hands the rest
    // over with its arguments unchanged. This process is still "vesk" to ps, pgrep and killall.
    ::prctl(PR_SET_NAME, "vesk", 0, 0, 0);

    QApplication::setOrganizationName(QStringLiteral("Vesk"));
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setApplicationVersion(QStringLiteral(VESK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("vesk"));

    // The command line is read again before the application connects to a display: started on its
    // own, this program answers as the command does.
    AppCommandLine commandLine;
    if (const std::optional<int> status = commandLine.read(argc, argv))
        return *status;
    const QList<QUrl> requestedFiles
        = VeskAppDelegate::urlsForPaths(commandLine.files(), QDir::currentPath());

    const std::unique_ptr<QApplication> app = GraphicalSession::start(argc, argv);
    QApplication::setStyle(new DeferredIconStyle(QApplication::style()->name()));

    // One Vesk per user: a later launch hands its request to the running one and ends.
    SingleInstance instance;
    switch (instance.start()) {
    case SingleInstance::Role::secondary: {
        // Already running, and asked for no window: nothing to hand over.
        if (commandLine.background() && !commandLine.toggle() && commandLine.files().isEmpty())
            return 0;
        const bool delivered
            = commandLine.toggle() ? instance.sendToggle() : instance.sendOpenRequest(commandLine.files());
        if (!delivered)
            std::fprintf(
                stderr, "vesk: the running Vesk did not answer: %s\n", qPrintable(instance.errorString()));
        return delivered ? 0 : 1;
    }
    case SingleInstance::Role::unavailable:
        std::fprintf(stderr, "vesk: %s; a second launch will start another Vesk\n",
            qPrintable(instance.errorString()));
        break;
    default:
        break;
    }
    // Vesk keeps running with no window open: the global shortcut and a second launch bring it back.
    QApplication::setQuitOnLastWindowClosed(false);
    // Title bars and task lists show the small sizes, which the first frame carries. Decoding the
    // large ones and handing them to the window system is most of what the icon costs, so they
    // follow once the window is on screen (below).
    QApplication::setWindowIcon(AppIcon::icon(64));
    // The panel's own keys stay free of the global shortcut, as the menus' keys do.
    QList<KeyCommand> keyCommands;
    for (const PanelKeyCommand& command : PanelKeyCommand::all())
        keyCommands.append({command.title, command.keys});
    MenuShortcuts::setApplicationKeyCommands(keyCommands);

    QtDialogPresenter dialogs;
    VeskAppDelegate delegate;
    // Files named on the command line wait for the application controller.
    if (!requestedFiles.isEmpty())
        delegate.handleOpenRequest(requestedFiles);

    // What the first frame does not need waits until it is drawn.
    DeferredStartup startup(Scheduler::system());
    startup.defer([] { QApplication::setWindowIcon(AppIcon::icon()); });
    AppController::Services services;
    services.startup = &startup;
    services.dialogs = &dialogs;
    services.pasteboard = std::make_shared<QtPasteboard>();
    services.urlOpener = std::make_shared<DesktopUrlOpener>();
    services.fileRevealer = std::make_shared<DesktopFileRevealer>();
    AppController controller(SettingsStore::shared(), services);

    MainMenu menu(&controller, dialogs);
    FileDropFilter drops;
    QObject::connect(&drops, &FileDropFilter::filesDropped, &delegate, &VeskAppDelegate::handleOpenRequest);
    QObject::connect(&controller, &AppController::windowNeedsMenuBar, &menu, &MainMenu::installMenuBar);
    QObject::connect(&controller, &AppController::windowNeedsMenuBar, &drops, &FileDropFilter::watch);
    controller.startShell(!requestedFiles.isEmpty(), commandLine.background());
    // A start in the background draws nothing; a window that is never exposed should not hold the
    // global shortcut back for long either.
    startup.releaseAfterFirstFrame(commandLine.background() ? 0 : 1);
    // Installed last, so that it sees the first paint before the work that waits for it and ends
    // the measurement before that work runs.
    StartupProbe::installIfRequested();

    QObject::connect(&instance, &SingleInstance::openRequested, &controller,
        [&delegate, &controller](const QStringList& paths) {
            if (paths.isEmpty())
                controller.comeForward();
            else
                delegate.handleOpenRequest(VeskAppDelegate::urlsForPaths(paths, QDir::currentPath()));
        });
    QObject::connect(&instance, &SingleInstance::toggleRequested, &controller,
        [&controller] { controller.togglePanels(); });

    // Ended by the session or a terminal, Vesk ends as it does when the session ends it without
    // asking: nothing still landing or being written is lost, and the open lists are reopened next
    // time (not QCoreApplication::quit(), which would close their windows first).
    TerminationSignals termination;
    QObject::connect(
        &termination, &TerminationSignals::received, app.get(), [] { QCoreApplication::exit(0); });

    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    return app->exec();
}
