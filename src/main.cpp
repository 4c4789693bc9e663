#include "AppController.h"
#include "AppIcon.h"
#include "CommandLineTool.h"
#include "DesktopFileRevealer.h"
#include "DesktopUrlOpener.h"
#include "FileDropFilter.h"
#include "GraphicalSession.h"
#include "MainMenu.h"
#include "MenuShortcuts.h"
#include "PanelKeyCommand.h"
#include "QtDialogPresenter.h"
#include "QtPasteboard.h"
#include "SettingsStore.h"
#include "SingleInstance.h"
#include "StartupProbe.h"
#include "VeskAppDelegate.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    // "vesk add FILE TITLE" and the other terminal commands end here, without a display.
    if (CommandLineTool::handles(argc, argv))
        return CommandLineTool::run(argc, argv);

    QApplication::setOrganizationName(QStringLiteral("Vesk"));
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setApplicationVersion(QStringLiteral(VESK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("vesk"));

    // The command line is read before the application connects to a display, so that --help and
    // --version answer anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Vesk keeps to-do lists in plain-text files and works them from the keyboard.\n"
                       "'vesk help' lists the commands that change a list from the terminal (vesk add,\n"
                       "vesk list, vesk done, ...); a file named like one of them opens as ./NAME."));
    // Not addHelpOption(): its --help-all lists Qt's own options, which this command line refuses.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
        QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption toggle(QStringLiteral("toggle"),
        QStringLiteral("Hide or show the lists of the running Vesk, as the global shortcut does."));
    parser.addOption(toggle);
    const QCommandLineOption background(QStringLiteral("background"),
        QStringLiteral("Start without showing a window, ready for the global shortcut (as at login)."));
    parser.addOption(background);
    parser.addPositionalArgument(
        QStringLiteral("files"), QStringLiteral("Task files to open."), QStringLiteral("[FILE...]"));
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "vesk: %s\nTry 'vesk --help'.\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText().replace(
                       QStringLiteral("<executable_name>"), QStringLiteral("vesk"))),
            stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("vesk %s\n", VESK_VERSION);
        return 0;
    }
    if (parser.isSet(toggle) && !parser.positionalArguments().isEmpty()) {
        std::fputs("vesk: --toggle opens no files; open them with 'vesk FILE...'\n"
                   "Try 'vesk --help'.\n",
            stderr);
        return 2;
    }
    const QList<QUrl> requestedFiles
        = VeskAppDelegate::urlsForPaths(parser.positionalArguments(), QDir::currentPath());

    const std::unique_ptr<QApplication> app = GraphicalSession::start(argc, argv);

    // One Vesk per user: a later launch hands its request to the running one and ends.
    SingleInstance instance;
    switch (instance.start()) {
    case SingleInstance::Role::secondary: {
        // Already running, and asked for no window: nothing to hand over.
        if (parser.isSet(background) && !parser.isSet(toggle) && parser.positionalArguments().isEmpty())
            return 0;
        const bool delivered = parser.isSet(toggle) ? instance.sendToggle()
                                                    : instance.sendOpenRequest(parser.positionalArguments());
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
    QApplication::setWindowIcon(AppIcon::icon());
    StartupProbe::installIfRequested();
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

    AppController::Services services;
    services.dialogs = &dialogs;
    services.pasteboard = std::make_shared<QtPasteboard>();
    services.urlOpener = std::make_shared<DesktopUrlOpener>();
    services.fileRevealer = std::make_shared<DesktopFileRevealer>();
    AppController controller(SettingsStore::shared(), services);

    MainMenu menu(&controller, &dialogs);
    FileDropFilter drops([&delegate](const QList<QUrl>& urls) { delegate.handleOpenRequest(urls); });
    controller.onWindowNeedsMenuBar = [&menu, &drops](QWidget* window) {
        menu.installMenuBar(window);
        drops.watch(window);
    };
    controller.startShell(!requestedFiles.isEmpty(), parser.isSet(background));

    QObject::connect(&instance, &SingleInstance::openRequested, &controller,
        [&delegate, &controller](const QStringList& paths) {
            if (paths.isEmpty())
                controller.comeForward();
            else
                delegate.handleOpenRequest(VeskAppDelegate::urlsForPaths(paths, QDir::currentPath()));
        });
    QObject::connect(&instance, &SingleInstance::toggleRequested, &controller,
        [&controller] { controller.togglePanels(); });

    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    return app->exec();
}
