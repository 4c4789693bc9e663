#pragma once

#include "FakePasteboard.h"
#include "RecordingUrlOpener.h"
#include "ScriptedDialogPresenter.h"
#include "panel/TaskListView.h"
#include "panel/TaskTextLayoutCache.h"
#include "panel/VeskPanelRootView.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"
#include "sync/VeskDocumentController.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

// One clock for a whole test program: the shared layout cache keeps its pending work across tests.
inline ManualScheduler& testClock()
{
    static ManualScheduler scheduler;
    TaskTextLayoutCache::shared().setScheduler(&scheduler);
    return scheduler;
}

inline QString writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return path;
}

inline QUuid taskNamed(const SessionController& session, const QString& title)
{
    for (const SessionItem& item : session.itemsByID())
        if (item.title == title)
            return item.id;
    return {};
}

inline QStringList titlesOf(const SessionController& session, TaskSection section)
{
    QStringList titles;
    for (const QUuid& id : session.itemIDs(section))
        titles << session.itemsByID().value(id).title;
    return titles;
}

inline QString rowIDOf(const SessionController& session, const QUuid& id)
{
    return QStringLiteral("task-") + taskSectionRawValue(*session.sectionOf(id)) + "-"
        + canonicalUuidText(id);
}

// A bare task list over a document, shown, without animations unless asked.
struct ListFixture {
    ManualScheduler& scheduler = testClock();
    SessionController session {&scheduler};
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    TaskListView view {&session, &scheduler};

    ListFixture(const VeskDocument& document, QSize size, bool animated = false)
    {
        session.setPasteboard(pasteboard);
        session.loadDocument(document);
        view.setAnimationsEnabled(animated);
        view.setWindowActive(true);
        view.resize(size);
        view.show();
        scheduler.runDueJobs();
    }
};

// A real panel over a real file: a document controller, its root view, and a search field above it
// in one window, as the panel window lays them out, with menu shortcuts a consumed key must not reach.
struct PanelFixture {
    static constexpr const char* sampleText = "Write the report\n> Two pages\nCall the plumber\n---\n"
                                              "Read [the plan](https://example.com/plan) soon\n"
                                              "Water the plants\n---\nBuy milk\n";
    ManualScheduler& scheduler = testClock();
    ScriptedDialogPresenter dialogs;
    QTemporaryDir folder;
    VeskDocumentController controller {&dialogs, &scheduler};
    std::shared_ptr<RecordingUrlOpener> urls = std::make_shared<RecordingUrlOpener>();
    QWidget window;
    QLineEdit* search = new QLineEdit;
    VeskPanelRootView* root = nullptr;
    QStringList hooks; // tab, help and menu calls, in order
    std::optional<bool> consumed; // the key handler's last answer
    QList<int> decided; // every key the handler was asked about

    PanelFixture()
    {
        controller.openDocument(QUrl::fromLocalFile(writeFile(folder.filePath("list.vesk"), sampleText)));
        session()->setUrlOpener(urls);
        root = new VeskPanelRootView(&controller, nullptr, &scheduler);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(search);
        layout->addWidget(root, 1);
        root->setSearchField(search);
        QObject::connect(
            root, &VeskPanelRootView::focusSearchFieldRequested, search, [this] { search->setFocus(); });
        QObject::connect(root, &VeskPanelRootView::resignSearchFieldFocusRequested, root,
            &VeskPanelRootView::focusContent);
        QObject::connect(
            root, &VeskPanelRootView::previousTabRequested, root, [this] { hooks << "previous"; });
        QObject::connect(root, &VeskPanelRootView::nextTabRequested, root, [this] { hooks << "next"; });
        QObject::connect(
            root, &VeskPanelRootView::keyboardControlsToggleRequested, root, [this] { hooks << "help"; });
        root->onKeyDown = [this, handle = root->onKeyDown](QKeyEvent* event) {
            decided << event->key();
            consumed = handle(event);
            return *consumed;
        };
        list()->setAnimationsEnabled(false);
        for (const char* keys : {"Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+J", "Ctrl+K", "Ctrl+F"}) {
            auto* action = new QAction(&window);
            action->setShortcut(QKeySequence(keys));
            window.addAction(action);
            QObject::connect(action, &QAction::triggered, &window, [this, keys] { hooks << keys; });
        }
        window.resize(480, 640);
        window.show();
        QApplication::setActiveWindow(&window);
        root->focusContent();
        settle();
    }

    SessionController* session() const { return controller.sessionController(); }
    TaskListView* list() const { return root->listView(); }
    QUuid task(const QString& title) const { return taskNamed(*session(), title); }
    void select(const QString& title)
    {
        session()->setSelection(SessionSelection::task(task(title)));
        settle();
    }
    // Runs the work posted for the next turn (focus requests, reveals).
    void settle()
    {
        scheduler.runDueJobs();
        QCoreApplication::processEvents();
        scheduler.runDueJobs();
    }
    QWidget* focus() { return window.focusWidget() ? window.focusWidget() : &window; }
    void press(QKeyCombination key)
    {
        QTest::keyClick(focus(), key.key(), key.keyboardModifiers());
        settle();
    }
    void type(char character, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(focus(), character, modifiers);
        settle();
    }
};
