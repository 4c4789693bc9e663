#include "shortcuts/RecorderField.h"

#include "platform/DialogPresenter.h"
#include "platform/Scheduler.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/HotKeyBackend.h"
#include "shortcuts/HotKeyCenter.h"
#include "shortcuts/KeyMap.h"
#include "shortcuts/MenuShortcuts.h"
#include "shortcuts/Notifier.h"
#include "shortcuts/RecorderTexts.h"
#include "shortcuts/SystemShortcuts.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionFrame>

using GlobalShortcuts::Name;

namespace {

// Keys that only modify others: pressing one is the start of a combination, not a shortcut.
bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

} // namespace

RecorderField::RecorderField(const Name& name, DialogPresenter& dialogs, QWidget* parent)
    : RecorderField(StorageMode::name, name, std::nullopt, dialogs, parent)
{ }

RecorderField::RecorderField(std::optional<Shortcut> shortcut, DialogPresenter& dialogs, QWidget* parent)
    : RecorderField(StorageMode::binding, Name(), shortcut, dialogs, parent)
{ }

RecorderField::RecorderField(StorageMode mode, const Name& name, std::optional<Shortcut> binding,
    DialogPresenter& dialogs, QWidget* parent)
    : QLineEdit(parent),
      menuActions(&MenuShortcuts::applicationMenuActions),
      keyCommands(&MenuShortcuts::applicationKeyCommands),
      beep([] { QApplication::beep(); }),
      m_storageMode(mode),
      m_shortcutName(name),
      m_bindingShortcut(binding),
      m_dialogs(dialogs),
      m_scheduler(Scheduler::system())
{
    // Nothing is typed into the field: keys are recorded, and the text only ever shows a shortcut.
    setReadOnly(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAlignment(Qt::AlignCenter);
    setPlaceholderText(RecorderTexts::text("record_shortcut"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::ClickFocus);

    m_clearAction
        = addAction(style()->standardIcon(QStyle::SP_LineEditClearButton), QLineEdit::TrailingPosition);
    m_clearAction->setText(tr("Clear"));
    connect(m_clearAction, &QAction::triggered, this, &RecorderField::clearFromField);
    connect(this, &QLineEdit::textChanged, this, &RecorderField::updateClearButton);

    if (m_storageMode == StorageMode::name) {
        connect(&GlobalShortcuts::Notifier::shared(), &GlobalShortcuts::Notifier::shortcutByNameDidChange,
            this, [this](const Name& changed) {
                if (changed == m_shortcutName)
                    refreshText();
            });
    }
    refreshText();
    updateClearButton();
    placedInWindow();
}

RecorderField::~RecorderField()
{
    // The hot keys must not stay paused after the field is gone.
    endRecording();
}

std::optional<Shortcut> RecorderField::shortcut() const
{
    if (m_storageMode == StorageMode::binding)
        return m_bindingShortcut;
    return GlobalShortcuts::getShortcut(m_shortcutName);
}

void RecorderField::setBindingShortcut(const std::optional<Shortcut>& shortcut)
{
    m_bindingShortcut = shortcut;
    Q_EMIT bindingShortcutChanged(m_bindingShortcut);
    if (m_storageMode == StorageMode::binding)
        refreshText();
}

QSize RecorderField::sizeHint() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QMargins margins = textMargins();
    // The text is centred beside the clear button (a small icon with its margins), and the line
    // edit keeps a margin of two pixels on each side.
    const int clearButton = (fontMetrics().height() < 34 ? 16 : 32) + 10;
    const int text = widestTextWidth() + 2 * 2 + 2 * clearButton + margins.left() + margins.right();
    const QSize contents(text, QLineEdit::sizeHint().height());
    const int width = style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, this).width();
    return {std::max(int(minimumWidth), width), QLineEdit::sizeHint().height()};
}

QSize RecorderField::minimumSizeHint() const
{
    return {sizeHint().width(), QLineEdit::minimumSizeHint().height()};
}

int RecorderField::widestTextWidth() const
{
    if (m_widestTextWidth >= 0)
        return m_widestTextWidth;
    const QFontMetrics metrics = fontMetrics();
    const int modifiers = Shortcut::control | Shortcut::option | Shortcut::shift | Shortcut::command;
    int widest = 0;
    for (const KeyMap::Entry& entry : KeyMap::entries())
        widest
            = std::max(widest, metrics.horizontalAdvance(Shortcut(entry.keyCode, modifiers).description()));
    for (const char* key : {"record_shortcut", "press_shortcut"})
        widest = std::max(widest, metrics.horizontalAdvance(RecorderTexts::text(key)));
    return m_widestTextWidth = widest;
}

void RecorderField::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_widestTextWidth = -1;
        updateGeometry();
    }
    QLineEdit::changeEvent(event);
}

void RecorderField::setRecording(bool recording)
{
    m_isRecording = recording;
    Q_EMIT isRecordingChanged(m_isRecording);
}

void RecorderField::setCanBecomeKey(bool canBecomeKey)
{
    m_canBecomeKey = canBecomeKey;
    setFocusPolicy(canBecomeKey ? Qt::StrongFocus : Qt::ClickFocus);
    Q_EMIT canBecomeKeyChanged(m_canBecomeKey);
}

void RecorderField::refreshText()
{
    const auto current = shortcut();
    setText(current ? current->description() : QString());
}

void RecorderField::updateClearButton()
{
    m_clearAction->setVisible(!text().isEmpty());
}

void RecorderField::startRecording()
{
    if (m_isRecording)
        return;
    setPlaceholderText(RecorderTexts::text("press_shortcut"));
    updateClearButton();
    m_shortcutBeforeRecording = shortcut();
    GlobalShortcuts::setPaused(true);
    setRecording(true);
    // The placeholder is not read out; the description is, when it changes and with the field.
    announce(RecorderTexts::text("recording"));
    Q_EMIT GlobalShortcuts::Notifier::shared().recorderActiveStatusDidChange(true);
    // Mouse releases anywhere in the application: a click outside the field ends recording.
    qApp->installEventFilter(this);
}

void RecorderField::endRecording()
{
    if (!m_isRecording)
        return;
    qApp->removeEventFilter(this);
    setPlaceholderText(RecorderTexts::text("record_shortcut"));
    updateClearButton();
    m_shortcutBeforeRecording.reset();
    GlobalShortcuts::setPaused(false);
    setRecording(false);
    // A recorded shortcut's announcement stays until the next recording.
    if (accessibleDescription() == RecorderTexts::text("recording"))
        announce(QString());
    Q_EMIT GlobalShortcuts::Notifier::shared().recorderActiveStatusDidChange(false);
}

void RecorderField::announce(const QString& description)
{
    setAccessibleDescription(description);
    // Qt does not tell assistive technologies of a new description by itself.
    QAccessibleEvent event(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

void RecorderField::resignFocus()
{
    // Also forgets the field as its window's focus widget, so that the window becoming active
    // again does not start recording by itself.
    clearFocus();
    endRecording();
}

void RecorderField::placedInWindow()
{
    setCanBecomeKey(false);
    m_scheduler->schedule(0, this, [this] {
        if (m_pendingActivations == 0)
            setCanBecomeKey(true);
    });
}

void RecorderField::windowBecameKey()
{
    // Qt gives an activated window's first focusable widget the focus right after this event, which
    // would start recording whenever the window comes to the front; for two turns the field is no
    // candidate.
    ++m_pendingActivations;
    setCanBecomeKey(false);
    m_scheduler->schedule(0, this, [this] {
        setCanBecomeKey(false);
        m_scheduler->schedule(0, this, [this] {
            if (--m_pendingActivations == 0)
                setCanBecomeKey(true);
        });
    });
}

void RecorderField::windowResignedKey()
{
    m_scheduler->schedule(0, this, [this] { resignFocus(); });
}

void RecorderField::clearFromField()
{
    setText(QString());
    if (m_storageMode == StorageMode::binding)
        setBindingShortcut(std::nullopt);
    else
        GlobalShortcuts::setShortcut(std::nullopt, m_shortcutName);
    QPointer<RecorderField> self(this);
    if (onChange)
        onChange(std::nullopt);
    if (!self)
        return;
    updateClearButton();
    setFocus(Qt::OtherFocusReason);
}

bool RecorderField::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // While recording, every combination comes here as a key press, none triggers a menu item.
        if (m_isRecording) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (m_isRecording && recordKey(static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        break;
    case QEvent::WindowActivate:
        windowBecameKey();
        break;
    case QEvent::WindowDeactivate:
        windowResignedKey();
        break;
    case QEvent::ParentChange:
        resignFocus();
        placedInWindow();
        break;
    default:
        break;
    }
    return QLineEdit::event(event);
}

bool RecorderField::eventFilter(QObject* watched, QEvent* event)
{
    if (m_isRecording && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton || mouse->button() == Qt::RightButton) {
            const QRect frame = QRect(mapToGlobal(QPoint(0, 0)), size())
                                    .adjusted(-clickSlop, -clickSlop, clickSlop, clickSlop);
            if (!frame.contains(mouse->globalPosition().toPoint()))
                resignFocus();
        }
    }
    return QLineEdit::eventFilter(watched, event);
}

void RecorderField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    deselect();
    startRecording();
}

void RecorderField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    endRecording();
}

void RecorderField::hideEvent(QHideEvent* event)
{
    QLineEdit::hideEvent(event);
    resignFocus();
}

void RecorderField::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    // A centred line edit hides its placeholder while focused, which is exactly when "press a
    // shortcut" must show.
    if (!hasFocus() || !text().isEmpty() || placeholderText().isEmpty())
        return;
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents
        = style()->subElementRect(QStyle::SE_LineEditContents, &option, this).marginsRemoved(textMargins());
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(contents, Qt::AlignCenter,
        fontMetrics().elidedText(placeholderText(), Qt::ElideRight, contents.width()));
}

bool RecorderField::recordKey(QKeyEvent* event)
{
    const int key = event->key();
    if (isModifierKey(key))
        return true;

    const Qt::KeyboardModifiers modifiers
        = event->modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
    if (modifiers == Qt::NoModifier) {
        switch (key) {
        case Qt::Key_Tab:
            return false;
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            clearFromField();
            return true;
        case Qt::Key_Escape:
            resignFocus();
            return true;
        default:
            break;
        }
    }

    // Without Ctrl, Alt or Super only function keys are left alone by ordinary typing elsewhere.
    const bool hasCommandModifier = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!hasCommandModifier && !(key >= Qt::Key_F1 && key <= Qt::Key_F35)) {
        beep();
        return true;
    }

    // A key that the stored numbering cannot name (F21 and above, keys of other layouts' extra
    // rows) could never be grabbed again after a restart.
    const auto keyCode = HotKeyCenter::shared().backend().keyCodeForKeyEvent(*event);
    if (!keyCode) {
        beep();
        return true;
    }
    const Shortcut candidate = Shortcut::fromQt(*keyCode, modifiers);

    QPointer<RecorderField> self(this);
    if (passesChecks(candidate) && self)
        accept(candidate);
    return true;
}

bool RecorderField::passesChecks(const Shortcut& candidate)
{
    QPointer<RecorderField> self(this);

    const QList<QAction*> actions = menuActions ? menuActions() : QList<QAction*>();
    const Name slot = m_storageMode == StorageMode::name ? m_shortcutName : Name();
    if (const QAction* item = MenuShortcuts::findConflict(actions, candidate, slot)) {
        const QString message = RecorderTexts::usedByMenuItem(MenuShortcuts::displayTitle(*item));
        if (!applyConflictBehavior(conflictPolicy.menuItem, message, QString()) || !self)
            return false;
    }

    const QList<KeyCommand> commands = keyCommands ? keyCommands() : QList<KeyCommand>();
    if (const KeyCommand* command = MenuShortcuts::findConflict(commands, candidate)) {
        const QString message = RecorderTexts::usedByKeyCommand(command->title);
        if (!applyConflictBehavior(conflictPolicy.menuItem, message, QString()) || !self)
            return false;
    }

    if (SystemShortcuts::contains(candidate)) {
        if (!applyConflictBehavior(conflictPolicy.systemShortcut,
                RecorderTexts::text("keyboard_shortcut_used_by_system"),
                RecorderTexts::text("keyboard_shortcuts_can_be_changed"))
            || !self)
            return false;
    }

    if (validateShortcut) {
        const GlobalShortcuts::ValidationResult result = validateShortcut(candidate);
        if (!self)
            return false;
        if (!result.allowed) {
            if (result.reason.isEmpty())
                beep();
            else
                showAlert(result.reason, QString(), QStringList());
            return false;
        }
    }
    return true;
}

bool RecorderField::applyConflictBehavior(
    ConflictBehavior behavior, const QString& message, const QString& informativeText)
{
    switch (behavior) {
    case ConflictBehavior::block:
        showAlert(message, informativeText, QStringList());
        return false;
    case ConflictBehavior::warn:
        return showAlert(message, informativeText,
                   {RecorderTexts::text("ok"), RecorderTexts::text("force_use_shortcut")})
            == 1;
    case ConflictBehavior::allow:
        return true;
    }
    return false;
}

int RecorderField::showAlert(
    const QString& message, const QString& informativeText, const QStringList& buttons)
{
    resignFocus();
    QPointer<RecorderField> self(this);
    // A sheet of the field's window when it has one, as the settings window's own alert.
    const int answer = window() != this
        ? m_dialogs.runWindowAlert(window(), message, informativeText, buttons)
        : m_dialogs.runAlert(message, informativeText, buttons);
    if (self)
        setFocus(Qt::OtherFocusReason);
    return answer;
}

void RecorderField::accept(const Shortcut& candidate)
{
    setText(candidate.description());
    updateClearButton();
    // Said while the field still has the focus.
    announce(RecorderTexts::text("recorded_shortcut").arg(candidate.description()));
    if (m_storageMode == StorageMode::binding)
        setBindingShortcut(candidate);
    else
        GlobalShortcuts::setShortcut(candidate, m_shortcutName);
    QPointer<RecorderField> self(this);
    if (onChange)
        onChange(candidate);
    if (self)
        resignFocus();
}
