#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QKeyEvent;

// Hands every key press addressed to its view's window to onKeyDown before normal dispatch; a
// press the callback handles is swallowed, so neither the focused editor nor a menu shortcut sees
// it. Keys typed into other windows are left alone.
class PanelKeyboardMonitor : public QObject {
    Q_OBJECT

public:
    explicit PanelKeyboardMonitor(QWidget* view, QObject* parent = nullptr);
    ~PanelKeyboardMonitor() override;

    // Watches view's window (a view of nullptr detaches). Attaching to the same view again does
    // nothing.
    void attach(QWidget* view);
    void detach();

    std::function<bool(QKeyEvent*)> onKeyDown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool belongsToOurWindow(QObject* receiver) const;

    QPointer<QWidget> m_view;
    bool m_installed = false;
    // A key decided while Qt asked whether it overrides shortcuts; its press follows at once.
    int m_decidedKey = 0;
    Qt::KeyboardModifiers m_decidedModifiers;
    bool m_decidedHandled = false;
};
