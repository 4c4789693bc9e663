#pragma once

#include "shortcuts/Name.h"
#include "windows/WindowKeys.h"

#include <QObject>
#include <QPointer>

#include "windows/KeyboardControlsPanel.h"
class KeyboardControlsView;

// Owns the keyboard controls reference, a small floating window listing the application's keys.
// The window is built on the first show and then kept: closing it only hides it.
class KeyboardControlsPanelController : public QObject {
    Q_OBJECT

public:
    // globalShortcutName is the slot whose shortcut the first row shows (the panels' show/hide
    // shortcut).
    explicit KeyboardControlsPanelController(
        GlobalShortcuts::Name globalShortcutName, QObject* parent = nullptr);
    ~KeyboardControlsPanelController() override;

    // Builds the panel if needed, refreshes its content with the shortcut stored now, and brings it
    // to the front, active.
    void show();
    // Hides a visible panel; otherwise shows it.
    void toggle();
    void hide();

    // None before the first show.
    KeyboardControlsPanel* panel() const { return m_panel; }
    KeyboardControlsView* view() const;
    bool isVisible() const;

    // The display text of the slot's shortcut (where the desktop chooses the keys, the keys it
    // reports), or "Not set".
    QString globalHotKeyDisplayName() const;

    // An application command (Quit) that works in the panel, which has no menu bar.
    void addApplicationAction(QAction* action) { m_windowKeys.addApplicationAction(action); }

private:
    KeyboardControlsPanel* makePanel();

    GlobalShortcuts::Name m_globalShortcutName;
    QPointer<KeyboardControlsPanel> m_panel;
    WindowKeys m_windowKeys;
};
