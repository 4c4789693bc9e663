#pragma once

#include "shortcuts/ConflictPolicy.h"
#include "shortcuts/KeyCommand.h"
#include "shortcuts/Name.h"
#include "shortcuts/Shortcut.h"
#include "shortcuts/ValidationResult.h"

#include <QLineEdit>
#include <QList>

#include <functional>
#include <optional>

class DialogPresenter;
class QAction;
class QKeyEvent;
class Scheduler;

// The control with which the user records a global shortcut: a small search-field-like line
// showing the current shortcut. Focusing it starts recording; the next acceptable key combination
// becomes the shortcut. While it records, every global shortcut is paused. The shortcut is either
// the stored one of a slot (name mode) or a plain value the owner keeps (binding mode).
class RecorderField : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(bool canBecomeKey READ canBecomeKey NOTIFY canBecomeKeyChanged)
    Q_PROPERTY(std::optional<Shortcut> bindingShortcut READ bindingShortcut WRITE setBindingShortcut NOTIFY
            bindingShortcutChanged)

public:
    enum class StorageMode { name, binding };

    // The narrowest the field gets; it is wider where the longest text it can show needs more.
    static constexpr int minimumWidth = 130;
    // The margin around the field within which a click does not end recording.
    static constexpr int clickSlop = 3;

    // Records the stored shortcut of name. Alerts about conflicts go through dialogs, which must
    // outlive the field.
    RecorderField(const GlobalShortcuts::Name& name, DialogPresenter& dialogs, QWidget* parent = nullptr);
    // Records a value of its own, initially shortcut.
    RecorderField(std::optional<Shortcut> shortcut, DialogPresenter& dialogs, QWidget* parent = nullptr);
    ~RecorderField() override;

    StorageMode storageMode() const { return m_storageMode; }
    const GlobalShortcuts::Name& shortcutName() const { return m_shortcutName; }
    // The shortcut the field shows: the slot's in name mode, the value in binding mode.
    std::optional<Shortcut> shortcut() const;

    std::optional<Shortcut> bindingShortcut() const { return m_bindingShortcut; }
    void setBindingShortcut(const std::optional<Shortcut>& shortcut);

    bool isRecording() const { return m_isRecording; }
    // Whether Tab (and window activation) may move the focus into the field.
    bool canBecomeKey() const { return m_canBecomeKey; }
    // The shortcut when the current recording started.
    std::optional<Shortcut> shortcutBeforeRecording() const { return m_shortcutBeforeRecording; }
    // The clear button, visible only while there is text.
    QAction* clearAction() const { return m_clearAction; }

    // Told about every change made through the field (none when it was cleared).
    std::function<void(const std::optional<Shortcut>&)> onChange;
    // The owner's own check of a candidate, run after the conflict checks.
    std::function<GlobalShortcuts::ValidationResult(const Shortcut&)> validateShortcut;
    ConflictPolicy conflictPolicy;
    // The menu items a candidate must not collide with; the application's menu bars by default.
    std::function<QList<QAction*>()> menuActions;
    // The key commands outside the menus a candidate must not take either, refused as a menu
    // item's shortcut is; the application's by default.
    std::function<QList<KeyCommand>()> keyCommands;
    // Sounds when a key cannot be a shortcut; the desktop's bell by default.
    std::function<void()> beep;

    // Runs the field's next-turn work (the window's key changes); the Qt event loop by default.
    void setScheduler(Scheduler* scheduler) { m_scheduler = scheduler; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void isRecordingChanged(bool isRecording);
    void canBecomeKeyChanged(bool canBecomeKey);
    void bindingShortcutChanged(const std::optional<Shortcut>& shortcut);

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    RecorderField(StorageMode mode, const GlobalShortcuts::Name& name, std::optional<Shortcut> binding,
        DialogPresenter& dialogs, QWidget* parent);

    void setRecording(bool recording);
    void startRecording();
    void endRecording();
    // Sets the accessible description, which screen readers say when it changes.
    void announce(const QString& description);
    // Ends recording by giving up the focus, as a finished recording does.
    void resignFocus();
    void setCanBecomeKey(bool canBecomeKey);
    void placedInWindow();
    void windowBecameKey();
    void windowResignedKey();
    void refreshText();
    // The width of the longest text the field can show in its font: any key of the key table with
    // every modifier the recorder takes, or a placeholder.
    int widestTextWidth() const;
    void updateClearButton();
    void clearFromField();

    // The recording steps for one key press; true when the key was used up.
    bool recordKey(QKeyEvent* event);
    // false when the candidate must not be used.
    bool passesChecks(const Shortcut& candidate);
    bool applyConflictBehavior(
        ConflictBehavior behavior, const QString& message, const QString& informativeText);
    // Shows an alert outside recording and resumes recording afterwards; the chosen button's index.
    int showAlert(const QString& message, const QString& informativeText, const QStringList& buttons);
    void accept(const Shortcut& candidate);

    StorageMode m_storageMode;
    GlobalShortcuts::Name m_shortcutName;
    std::optional<Shortcut> m_bindingShortcut;
    DialogPresenter& m_dialogs;
    Scheduler* m_scheduler;
    QAction* m_clearAction = nullptr;
    bool m_isRecording = false;
    bool m_canBecomeKey = false;
    std::optional<Shortcut> m_shortcutBeforeRecording;
    // Window activations not yet settled; the field stays out of the focus chain until none is left.
    int m_pendingActivations = 0;
    // widestTextWidth() for the current font; measured when first needed.
    mutable int m_widestTextWidth = -1;
};
