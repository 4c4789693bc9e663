#include "panel/PanelKeyHandler.h"

#include "kit/TextEditCommand.h"
#include "panel/TaskActions.h"
#include "panel/TaskListView.h"
#include "platform/Scheduler.h"
#include "session/SessionController.h"

#include <QKeyEvent>
#include <QWidget>

namespace {

constexpr Qt::KeyboardModifiers commandModifiers
    = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

bool isShiftOnly(const QKeyEvent* event)
{
    return (event->modifiers() & commandModifiers) == Qt::ShiftModifier;
}

} // namespace

PanelKeyHandler::PanelKeyHandler(
    SessionController* session, Scheduler* scheduler, QWidget* view, QObject* parent)
    : QObject(parent),
      m_session(session),
      m_scheduler(scheduler ? scheduler : Scheduler::system()),
      m_view(view)
{ }

QString PanelKeyHandler::charactersIgnoringModifiers(const QKeyEvent* event)
{
    const int key = event->key();
    // Qt names printable keys by their (upper-case) character and everything else above this.
    if (key > 0 && key < Qt::Key_Escape) {
        const char32_t character = char32_t(key);
        return QString::fromUcs4(&character, 1).toLower();
    }
    if (key == 0 || key == Qt::Key_unknown)
        return event->text().toLower();
    return QString();
}

bool PanelKeyHandler::handleKeyDown(QKeyEvent* event)
{
    if (!m_session)
        return false;
    if (isSearchFieldFocused && isSearchFieldFocused())
        return false;

    // An editor that holds the focus takes its keys, whatever the selection says: a selection that
    // moved on without the focus must not turn the typing into list commands.
    const QWidget* focus = m_view && m_view->window() ? m_view->window()->focusWidget() : nullptr;
    const bool inputFocused = focus && m_list && focus == m_list->inputEditor();
    const bool inlineFocused = focus && m_list && focus == m_list->inlineEditor();
    const bool inputSelected = m_session->selection().isInput() || inputFocused;
    const bool inlineEditing = m_session->inlineEditState().has_value() || inlineFocused;
    const bool editingText = inputSelected || inlineEditing;
    const bool command = event->modifiers() & Qt::ControlModifier;
    const QString character = charactersIgnoringModifiers(event);

    if (command && editingText && sendTextCommand(character, event->modifiers() & Qt::ShiftModifier))
        return true;
    if (command)
        return handleCommandKey(event, editingText);

    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (editingText)
            return false;
        actions()->run(TaskAction::remove);
        return true;
    case Qt::Key_Down:
    case Qt::Key_Up:
        if (editingText)
            return false;
        navigate(event->key() == Qt::Key_Down ? 1 : -1, event->isAutoRepeat());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (editingText)
            return false;
        actions()->run(TaskAction::edit);
        return true;
    case Qt::Key_Space:
        if (editingText)
            return false;
        // The session's own toggle (complete, or send a completed task back), not the menu's item:
        // that one also waits for a landed task's transition to end.
        m_session->toggleSelectedItemCompletion();
        return true;
    case Qt::Key_Escape:
        return false;
    default:
        break;
    }

    if (inlineEditing || inputSelected || character.isEmpty())
        return false;
    if (isShiftOnly(event) && event->text() == QLatin1String("?")) {
        Q_EMIT keyboardControlsToggleRequested();
        return true;
    }
    if (character.size() != 1)
        return false;
    switch (character.at(0).unicode()) {
    case '/':
        Q_EMIT searchFieldFocusRequested();
        return true;
    case 'h':
        Q_EMIT previousTabRequested();
        return true;
    case 'j':
        navigate(1, event->isAutoRepeat());
        return true;
    case 'k':
        navigate(-1, event->isAutoRepeat());
        return true;
    case 'l':
        if (event->modifiers() & Qt::ShiftModifier)
            actions()->run(TaskAction::openLink);
        else
            Q_EMIT nextTabRequested();
        return true;
    case 'n':
        actions()->run(TaskAction::newItem);
        return true;
    case 't':
        if (const std::optional<TaskAction> move = actions()->moveOnT(); move && actions()->isEnabled(*move))
            actions()->run(*move);
        return true;
    default:
        return false;
    }
}

bool PanelKeyHandler::sendTextCommand(const QString& character, bool shift)
{
    const char* action = nullptr;
    if (character == QLatin1String("a"))
        action = "selectAll";
    else if (character == QLatin1String("z"))
        action = shift ? "redo" : "undo";
    else if (character == QLatin1String("x"))
        action = "cut";
    else if (character == QLatin1String("c"))
        action = "copy";
    else if (character == QLatin1String("v"))
        action = "paste";
    if (!action || !m_view || !m_view->window())
        return false;
    // Anything but a text editor with the focus lets the key go on.
    return TextEditCommand::sendTo(m_view->window()->focusWidget(), action);
}

bool PanelKeyHandler::handleCommandKey(const QKeyEvent* event, bool editingText)
{
    const QString character = charactersIgnoringModifiers(event);
    if (character == QLatin1String("f")) {
        Q_EMIT searchFieldFocusRequested();
        return true;
    }
    if (character == QLatin1String("z") && !editingText) {
        actions()->run(event->modifiers() & Qt::ShiftModifier ? TaskAction::redo : TaskAction::undo);
        return true;
    }
    int offset = 0;
    if (character == QLatin1String("k") || (character != QLatin1String("z") && event->key() == Qt::Key_Up))
        offset = -1;
    else if (character == QLatin1String("j")
        || (character != QLatin1String("z") && event->key() == Qt::Key_Down))
        offset = 1;
    if (offset == 0)
        return false;
    // Consumed even when the move is refused, so no menu command sees the key.
    actions()->run(offset < 0 ? TaskAction::moveUp : TaskAction::moveDown);
    return true;
}

TaskActions* PanelKeyHandler::actions() const
{
    return TaskActions::of(m_session);
}

void PanelKeyHandler::navigate(int offset, bool isRepeat)
{
    updateBurst(isRepeat);
    m_session->moveSelection(offset);
}

void PanelKeyHandler::updateBurst(bool isRepeat)
{
    if (!m_list)
        return;
    const double now = m_scheduler->now();
    const double last = m_list->lastKeyboardNavigationTimestamp();
    const bool burst = isRepeat || (last != 0 && now - last <= keyboardNavigationBurstInterval);
    m_list->setLastKeyboardNavigationTimestamp(now);
    m_list->setKeyboardNavigationBurstUntil(burst ? now + keyboardNavigationBurstInterval : now);
}
