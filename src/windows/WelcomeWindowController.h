#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

#include <QMainWindow>
class WelcomeView;

// Owns the welcome window, shown while no task file is open. The window is built on the first
// show and then kept: closing it only hides it.
class WelcomeWindowController : public QObject {
    Q_OBJECT

public:
    // No window is built yet.
    WelcomeWindowController(
        std::function<void()> onNewFile, std::function<void()> onOpenFile, QObject* parent = nullptr);
    ~WelcomeWindowController() override;

    // Builds the window if needed, gives it fresh content and brings it to the front, active.
    void show();
    // Hides a visible window; otherwise shows it.
    void toggle();
    // Hides the window if there is one (a document opened).
    void hide();

    // None before the first show.
    QMainWindow* window() const { return m_window; }
    // The content of the window, none before the first show.
    WelcomeView* view() const;
    bool isVisible() const;

signals:
    // Once with the new window before it is first shown (to give it the menu bar).
    void windowBuilt(QMainWindow* window);

private:
    QMainWindow* makeWindow();
    WelcomeView* makeView();

    std::function<void()> m_onNewFile;
    std::function<void()> m_onOpenFile;
    QPointer<QMainWindow> m_window;
    // The view's size where the designed one does not fit the screen; invalid otherwise.
    QSize m_fittedViewSize;
};
