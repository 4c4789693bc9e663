#pragma once

#include "app/DocumentContext.h"
#include "app/RecentFileEntry.h"
#include "app/UserInputCounter.h"
#include "platform/Scheduler.h"
#include "sync/VeskDocumentController.h"

#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class DeferredStartup;
class DialogPresenter;
class FileRevealer;
class KeyboardControlsPanelController;
class Pasteboard;
class SettingsStore;
class UrlOpener;
class VeskPanelController;
class WelcomeWindowController;
class QWidget;

// The one application-level object: owns every open document with its panel, knows the active one,
// opens and creates documents, joins their windows as tabs, remembers open and recent files across
// runs, and hides or shows all panels on the global shortcut. Main thread only.
class AppController : public QObject {
    Q_OBJECT
    Q_PROPERTY(VeskDocumentController* activeDocumentController READ activeDocumentController NOTIFY
            activeDocumentControllerChanged)
    Q_PROPERTY(QList<RecentFileEntry> recentFiles READ recentFiles NOTIFY recentFilesChanged)

public:
    static QString openDocumentsKey() { return QStringLiteral("openDocumentBookmarks"); }
    static QString recentDocumentsKey() { return QStringLiteral("recentDocumentBookmarks"); }
    // The open document that was active, so that it is active again after a relaunch.
    static QString activeDocumentKey() { return QStringLiteral("activeDocumentBookmark"); }
    static QString legacyHotKeyKey() { return QStringLiteral("globalHotKey"); }
    static QString recentFileGoneMessage()
    {
        return QStringLiteral("That recent file is no longer available.");
    }
    static constexpr int maxRecentFiles = 10;

    // What the application controller works with besides the settings; the defaults are the desktop's.
    struct Services {
        DialogPresenter* dialogs = nullptr;
        Scheduler* scheduler = Scheduler::system();
        std::shared_ptr<Pasteboard> pasteboard;
        std::shared_ptr<UrlOpener> urlOpener;
        std::shared_ptr<FileRevealer> fileRevealer;
        // Where a launch puts what its first frame does not need (the global shortcut, settings
        // writes); none does it at once.
        DeferredStartup* startup = nullptr;
    };

    // settings and services.dialogs must outlive the controller. Migrates the legacy shortcut
    // setting and loads the recent files; publishes the controller as shared().
    AppController(SettingsStore& settings, Services services, QObject* parent = nullptr);
    ~AppController() override;

    // The controller of this run, none before it is made or after it is gone.
    static AppController* shared();

    // --- Published fields ---
    VeskDocumentController* activeDocumentController() const { return m_activeDocumentController; }
    const QList<RecentFileEntry>& recentFiles() const { return m_recentFiles; }

    // --- Internal state, readable for inspection ---
    SettingsStore& settings() const { return m_settings; }
    bool hasStartedShell() const { return m_hasStartedShell; }
    const QHash<QUuid, DocumentContext>& documentContexts() const { return m_documentContexts; }
    const QList<QUuid>& documentContextOrder() const { return m_documentContextOrder; }
    bool isRestoringOpenDocuments() const { return m_isRestoringOpenDocuments; }
    const QList<QUrl>& lastPersistedOpenDocumentURLs() const { return m_lastPersistedOpenDocumentURLs; }
    // Both are made on first use.
    WelcomeWindowController* welcomeWindowController();
    KeyboardControlsPanelController* keyboardControlsPanelController();
    DialogPresenter* dialogs() const { return m_services.dialogs; }
    Pasteboard* pasteboard() const { return m_services.pasteboard.get(); }

    // Ends the run once quitting is settled; tests put a stand-in here.
    std::function<void()> exitApplication;

    // --- Operations ---
    // openRequestsWaiting: files given with the launch open right after; the welcome window then
    // waits for showWelcomeWindowIfNothingIsOpen instead of flashing up first. inBackground (a
    // start at login): the documents are restored and the shortcut registered, but no window shows
    // until the shortcut, a file or a later launch asks for one.
    void startShell(bool openRequestsWaiting = false, bool inBackground = false);
    void showWelcomeWindowIfNothingIsOpen();
    // The context of a new document, or of documentController (one opened on its own) when given.
    DocumentContext makeDocumentContext(VeskDocumentController* documentController = nullptr);
    // Files the user picks (open panel, command line, drops) pass offerImport: a plain-text one
    // may be imported. Done when it returns: for the files of a launch, which no window waits for.
    bool openDocumentAtURL(const QUrl& url, bool alreadyAccessing = false,
        VeskDocumentController::PlainText plainText = VeskDocumentController::PlainText::refuse);
    // openDocumentAtURL for a running Vesk: a long list is read and made ready on a thread of its
    // own while the windows stay responsive (the pointer shows that Vesk is busy), and its tab comes
    // when it is ready. A file already open comes forward at once; one already being opened, once it
    // is. Failures are shown as openDocumentAtURL shows them.
    void openDocumentInBackground(const QUrl& url, bool alreadyAccessing = false,
        VeskDocumentController::PlainText plainText = VeskDocumentController::PlainText::refuse);
    // True while a file is being opened in the background.
    bool isOpeningDocuments() const { return !m_openingDocuments.isEmpty(); }
    // Blocks until every file being opened in the background is open or has failed.
    void finishOpeningDocuments();
    // Adds the list as the last tab of the latest window, which comes forward unless told to stay
    // where it is. Whether it joined one: there is none when it is the only list open.
    bool attachAsTabToLatestWindow(const DocumentContext& context, bool bringsWindowForward = true);
    void newDocumentFile();
    void chooseFileToOpen();
    // Where the open and save panels start: the active document's folder, else the folder of the
    // file bound or chosen last, else empty (the home folder).
    QString dialogFolder() const;
    void openRecentFile(const RecentFileEntry& entry);
    void clearRecentFiles();
    void showInFileManager();
    // Closes the document unconditionally.
    void closeDocument(const QUuid& id);
    // Closing as the user asks for it (Close, the window's close button): running transitions land
    // and are written first, and changes its file does not hold are not dropped without asking.
    // True when the document closed.
    bool requestCloseDocument(const QUuid& id);
    // Before the application quits: every document lands and writes its transitions, then each one
    // holding changes its file does not have is shown and asked about in turn. False when the user
    // kept one open, which cancels the quit.
    bool prepareToQuit();
    // Quits (exitApplication, or the event loop's exit) unless prepareToQuit is cancelled.
    void quit();
    // Lands and writes every document's running transitions, without asking (the session ends).
    void finishPendingWork();
    void togglePanels();
    void showDocumentPanel(VeskPanelController* panelController);
    // A launch without files while Vesk runs: every panel comes forward with the active one key,
    // or the welcome window when no document is open.
    void comeForward();
    void addRecentFile(const QUrl& url);
    void removeRecentFile(const RecentFileEntry& entry);
    void persistOpenDocumentsIfChanged();
    bool hasActiveFile() const;
    // Makes the document active (or none).
    void setActiveDocumentController(VeskDocumentController* controller);

    QList<DocumentContext> orderedContexts() const;
    QList<DocumentContext> contextsActiveLast() const;
    std::optional<DocumentContext> contextForFile(const QUrl& url) const;
    std::optional<DocumentContext> contextForDocument(const VeskDocumentController* controller) const;
    QList<QUrl> currentOpenDocumentURLs() const;

    // Runs job once the launch's first frame is drawn (at once without a DeferredStartup).
    void runAfterFirstFrame(std::function<void()> job);

    // Shows the "Vesk hit a file problem" alert.
    void presentFileProblem(const QString& description);

signals:
    void activeDocumentControllerChanged();
    void recentFilesChanged();
    // The menus re-evaluate: the active document, its session or its file changed.
    void changed();
    // Every top-level window that shows documents or the welcome content, so that it gets the menu
    // bar; may name a window more than once.
    void windowNeedsMenuBar(QWidget* window);

private:
    void announceChange();
    void setRecentFiles(const QList<RecentFileEntry>& files);
    void migrateLegacyGlobalHotKey();
    void loadRecentFiles();
    void persistRecentFiles();
    void persistOpenDocuments(const QList<QUrl>& urls, const QUrl& activeURL);
    // True when the settings are written after the first frame instead; the latest state is then.
    bool postponeSettingsWrite();
    // Writes the settings file now, or at the end of the batch under way: each write waits for the
    // disk, several milliseconds on the interface thread.
    void syncSettings();
    void endSettingsBatch();
    void writePostponedSettings();
    // The file of the active document, when it is one of urls.
    QUrl activeDocumentURL(const QList<QUrl>& urls) const;
    bool restoreOpenDocuments(bool showWindows);
    void handleSelectedFileURLChange(VeskDocumentController* controller);
    // The answer of openDocumentInBackground.
    void finishOpeningDocument(VeskDocumentController* document, const QUrl& url, quint64 inputWhenAsked,
        const std::optional<DocumentControllerFailure>& failure);
    // The document opening url in the background, none when there is none.
    VeskDocumentController* documentOpening(const QUrl& url) const;
    // Drops the files being opened in the background (Vesk quits), panels' own openings included.
    void cancelOpeningDocuments();
    // The pointer shows that Vesk is busy while any list is being opened.
    void updateBusyPointer();
    // Lands and writes every open document's running transitions.
    void finishDocumentsWork();
    void persistIfOpenDocumentsMoved();
    void handleDocumentBecameKey(VeskDocumentController* controller);
    // Shows the panel and gives its window the menu bar.
    void showPanel(VeskPanelController* panelController);
    void hidePanelWindow(VeskPanelController* panelController);
    // A stored list of file references; none unless it is a list of non-empty texts.
    std::optional<QStringList> storedPaths(const QString& key) const;
    // The reference of a file, none when it cannot be made.
    static std::optional<QString> storedPathForURL(const QUrl& url);
    // The file a reference stands for, none when it does not resolve to an existing file.
    static std::optional<QUrl> resolveStoredPath(const QString& path);

    SettingsStore& m_settings;
    Services m_services;
    QPointer<KeyboardControlsPanelController> m_keyboardControlsPanelController;
    QPointer<WelcomeWindowController> m_welcomeWindowController;
    bool m_hasStartedShell = false;
    bool m_startedInBackground = false;
    QHash<QUuid, DocumentContext> m_documentContexts;
    QList<QUuid> m_documentContextOrder;
    // Documents reading their file in the background: not contexts (no window, no tab) until loaded.
    QList<QPointer<VeskDocumentController>> m_openingDocuments;
    bool m_showsBusyPointer = false;
    // Whether the user has pressed anything since a list was asked for: then it is not brought
    // forward when it is ready, which would send the keys still being typed to it.
    UserInputCounter m_userInput;
    QHash<QUuid, QMetaObject::Connection> m_sessionChangeCancellables;
    QList<QMetaObject::Connection> m_appLifecycleCancellables;
    bool m_isRestoringOpenDocuments = false;
    QList<QUrl> m_lastPersistedOpenDocumentURLs;
    QUrl m_lastPersistedActiveURL;
    QPointer<VeskDocumentController> m_activeDocumentController;
    QString m_lastDialogFolder;
    QList<RecentFileEntry> m_recentFiles;
    bool m_settingsWritePostponed = false;
    bool m_recentFilesUnwritten = false;
    bool m_openDocumentsUnwritten = false;
    // Settings writes asked for while a batch is under way (such as taking in an opened list, which
    // changes both the open lists and the recent files) are made once, at its end.
    int m_settingsBatches = 0;
    bool m_settingsUnsynced = false;
};
