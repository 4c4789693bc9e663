#pragma once

#include "platform/AutostartEntry.h"

#include <QWidget>

class DesktopHotKeyField;
class DialogPresenter;
class QCheckBox;
class QFormLayout;
class QLabel;
class RecorderField;

// The application's settings: one section "Settings" with a single row, the recorder of the
// global shortcut that shows and hides the panels. Recording stores the shortcut and re-registers
// it at once, so nothing here has to act on a change. Where the desktop chooses the keys (the
// desktop portal on Wayland) the row shows the desktop's keys and a button to change them instead;
// on Wayland without the portal a note says how to bind the keys in the desktop's settings.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    // The usual size; the window grows where its content needs more (larger fonts).
    static constexpr int width = 280;
    static constexpr int height = 140;

    // The window's alerts (the recorder's, a failed start-at-login change) go through dialogs, which
    // the application gives and which must outlive the window.
    explicit SettingsWindow(DialogPresenter& dialogs, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // None where the desktop chooses the keys.
    RecorderField* hotKeyRecorder() const { return m_hotKeyRecorder; }
    // Under the recorder, shown while another program holds the recorded keys: the shortcut then
    // does nothing, and no alert says why.
    QLabel* takenNotice() const { return m_takenNotice; }
    // The desktop's keys and the button that changes them, where the desktop chooses the keys.
    DesktopHotKeyField* desktopHotKey() const { return m_desktopHotKey; }
    // On Wayland without the desktop portal: how to bind "vesk --toggle" in the desktop's settings.
    QLabel* desktopBindingNotice() const { return m_desktopBindingNotice; }
    // Checked while the user's autostart entry starts Vesk at login; read again whenever the window
    // shows, as the user may have removed the entry by hand.
    QCheckBox* startAtLoginBox() const { return m_startAtLoginBox; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void addTakenNotice(QFormLayout& form);
    void addDesktopBindingNotice(QFormLayout& form);
    void updateTakenNotice();
    void updateStartAtLoginBox();
    void setStartAtLogin(bool enabled);

    RecorderField* m_hotKeyRecorder = nullptr;
    QLabel* m_takenNotice = nullptr;
    DesktopHotKeyField* m_desktopHotKey = nullptr;
    QLabel* m_desktopBindingNotice = nullptr;
    DialogPresenter& m_dialogs;
    AutostartEntry m_autostartEntry;
    QCheckBox* m_startAtLoginBox = nullptr;
};
