// The task list's editors and the presentation of its selection: focus, the delayed expansion of
// the selected row, and scrolling it into view.
#include "panel/GrowingTextView.h"
#include "panel/PanelStyle.h"
#include "panel/TaskListAccessibility.h"
#include "panel/TaskListView.h"
#include "platform/Scheduler.h"
#include "session/SessionController.h"

#include <QVariantAnimation>

#include <cmath>
#include <utility>

// --- Editors ---

void TaskListView::syncEditors()
{
    // The input row's editor exists while the input row does.
    if (m_session->isCreatingNewItem()) {
        if (!m_inputEditor) {
            m_inputEditor = new GrowingTextView(viewport(), m_scheduler);
            m_inputEditor->setObjectName(QStringLiteral("inputEditor"));
            m_inputEditor->setAccessibleName(QStringLiteral("New task"));
            m_inputEditor->setEditorFont(PanelStyle::font(PanelStyle::TextStyle::title3));
            m_inputEditor->setText(m_session->inputDraft());
            QPointer<TaskListView> self(this);
            m_inputEditor->onSubmit = [self] {
                if (self)
                    self->m_session->commitNewItem();
            };
            m_inputEditor->onCancel = [self] {
                if (self)
                    self->m_session->cancelNewItem();
            };
            connect(m_inputEditor, &GrowingTextView::textEdited, this,
                [this](const QString& text) { m_session->setInputDraft(text); });
            connect(m_inputEditor, &GrowingTextView::measuredHeightChanged, this, [this](double height) {
                m_layout.setInputEditorHeight(height);
                relayout();
            });
            m_inputEditor->show();
        }
        m_inputEditor->setText(m_session->inputDraft());
        m_inputEditor->setEditable(m_inputEditable);
        m_inputEditor->setTextColor(
            m_session->selection().isInput() ? colors().selectedText() : colors().primaryText());
        m_inputEditor->setFocused(m_panelFocus == PanelFocus::input());
    } else if (m_inputEditor) {
        const bool hadFocus = m_inputEditor->hasFocus();
        m_inputEditor->hide();
        m_inputEditor->deleteLater();
        m_inputEditor = nullptr;
        // Hiding the focused editor would hand the focus on to the next widget (the search field).
        if (hadFocus)
            setFocus(Qt::OtherFocusReason);
    }

    // The inline editor exists while the session edits a task that has a row.
    const auto& edit = m_session->inlineEditState();
    const std::optional<Block> editedBlock = edit ? m_layout.taskBlock(edit->itemID) : std::nullopt;
    if (edit && editedBlock) {
        const RenderedRow& row = m_layout.rows()[editedBlock->row];
        if (m_inlineEditor && m_inlineEditor->property("itemID").toUuid() != edit->itemID) {
            m_inlineEditor->hide();
            m_inlineEditor->deleteLater();
            m_inlineEditor = nullptr;
        }
        if (!m_inlineEditor) {
            m_inlineEditor = new GrowingTextView(viewport(), m_scheduler);
            m_inlineEditor->setObjectName(QStringLiteral("inline-edit-") + canonicalUuidText(edit->itemID));
            m_inlineEditor->setProperty("itemID", edit->itemID);
            m_inlineEditor->setAccessibleName(QStringLiteral("Edit task"));
            m_inlineEditor->setText(edit->draftText);
            QPointer<TaskListView> self(this);
            m_inlineEditor->onSubmit = [self] {
                if (self)
                    self->m_session->commitInlineEdit();
            };
            m_inlineEditor->onCancel = [self] {
                if (self && !self->m_session->editingBlocked())
                    self->m_session->cancelInlineEdit();
            };
            connect(m_inlineEditor, &GrowingTextView::textEdited, this,
                [this](const QString& text) { m_session->updateInlineEditDraft(text); });
            const QUuid id = edit->itemID;
            connect(m_inlineEditor, &GrowingTextView::measuredHeightChanged, this, [this, id](double height) {
                m_layout.setEditorHeight(id, height);
                relayout();
            });
            m_inlineEditor->show();
        }
        m_inlineEditor->setEditorFont(PanelStyle::titleFont(row.section == TaskSection::working));
        m_inlineEditor->setText(edit->draftText);
        m_inlineEditor->setEditable(!m_session->editingBlocked());
        m_inlineEditor->setTextColor(colors().selectedText());
        m_inlineEditor->setFocused(m_panelFocus == PanelFocus::edit(edit->itemID));
    } else if (m_inlineEditor) {
        const bool hadFocus = m_inlineEditor->hasFocus();
        m_inlineEditor->hide();
        m_inlineEditor->deleteLater();
        m_inlineEditor = nullptr;
        // Keys keep reaching the panel once the editor is gone.
        if (hadFocus)
            setFocus(Qt::OtherFocusReason);
    }
    placeEditors();
}

GrowingTextView* TaskListView::editorWantingFocus() const
{
    for (GrowingTextView* editor : {m_inlineEditor.data(), m_inputEditor.data()}) {
        if (editor && editor->isFocused() && editor->isEditable() && !editor->isHidden())
            return editor;
    }
    return nullptr;
}

void TaskListView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    // While an editor is open the list passes the keyboard on to it, whatever gave the list the
    // focus (a click on a header or between rows, the focus chain): keys typed then reach the
    // editor, and Return and Escape still close it.
    if (GrowingTextView* editor = editorWantingFocus())
        editor->setFocus(Qt::OtherFocusReason);
    else if (TaskListAccessibility::isListening())
        accessibility()->noteFocus();
}

void TaskListView::placeEditors()
{
    const double offset = scrollOffset();
    const auto place = [&](GrowingTextView* editor, const std::optional<Block>& block, double height) {
        if (!editor || !block)
            return;
        QRectF rect = m_layout.textRect(*block).translated(0, -offset);
        rect.setHeight(std::max(height, 1.0));
        editor->setGeometry(rect.toAlignedRect());
    };
    place(m_inputEditor, m_inputEditor ? m_layout.inputBlock() : std::nullopt, m_layout.inputEditorHeight());
    if (m_inlineEditor) {
        const std::optional<Block> block = m_layout.taskBlock(m_inlineEditor->property("itemID").toUuid());
        place(m_inlineEditor, block, block ? block->height - 2 * TaskRowLayout::rowPadding : 0);
    }
}

// --- Focus, expansion and reveal ---

void TaskListView::onSelectionChanged()
{
    clearContextMenuTarget();
    synchroniseFocusAndExpansion();
    // A new selection alone (a click) is not a reveal: the row stays where it is, and a reveal still
    // pending for the previous row is dropped. The session asks for reveals through its revision.
    ++m_revealGeneration;
    syncEditors();
}

void TaskListView::onInlineEditChanged()
{
    synchroniseFocusAndExpansion();
    syncEditors();
}

void TaskListView::onRevealRevisionChanged()
{
    const int revision = m_session->selectionRevealRevision();
    if (revision == m_lastRevealRevision)
        return;
    m_lastRevealRevision = revision;
    // While a row is dragged, each live move asks for a reveal; the list follows the pointer instead.
    if (m_draggedTaskID)
        return;
    scrollSelectionIntoView();
    if (m_session->selection().isTask() || m_session->selection().isInput())
        revealSelection(true);
}

void TaskListView::synchroniseFocusAndExpansion()
{
    const auto& edit = m_session->inlineEditState();
    const std::optional<PanelFocus> focus = edit ? PanelFocus::edit(edit->itemID) : PanelFocus::input();
    if (focus != m_panelFocus) {
        m_panelFocus = focus;
        Q_EMIT panelFocusChanged();
    }

    const std::optional<QUuid> previous = m_layout.expandedTaskID();
    if (edit) {
        m_layout.setExpandedTaskID(edit->itemID);
        if (previous != edit->itemID) {
            applyExpansion(previous, edit->itemID);
            Q_EMIT expandedSelectionTaskIDChanged();
        }
        return;
    }
    const std::optional<QUuid> selected = m_session->selection().taskID();
    if (previous == selected)
        return;
    m_layout.setExpandedTaskID(std::nullopt);
    if (previous) {
        applyExpansion(previous, std::nullopt);
        Q_EMIT expandedSelectionTaskIDChanged();
    }
    if (!selected)
        return;
    const double delay
        = m_scheduler->now() < m_keyboardNavigationBurstUntil ? burstExpansionDelay : expansionDelay;
    QPointer<TaskListView> self(this);
    const QUuid target = *selected;
    // Earlier schedules are not cancelled; each checks the state when it runs.
    m_scheduler->schedule(delay, this, [self, target] {
        if (!self || self->m_session->inlineEditState()
            || self->m_session->selection() != SessionSelection::task(target)
            || self->m_layout.expandedTaskID() == target)
            return;
        const std::optional<QUuid> before = self->m_layout.expandedTaskID();
        self->m_layout.setExpandedTaskID(target);
        self->applyExpansion(before, target);
        Q_EMIT self->expandedSelectionTaskIDChanged();
    });
}

void TaskListView::applyExpansion(const std::optional<QUuid>& previous, const std::optional<QUuid>& next)
{
    const std::optional<Block> nextBlock = next ? m_layout.taskBlock(*next) : std::nullopt;
    const std::optional<RenderedRow> nextRow
        = nextBlock ? std::optional<RenderedRow>(m_layout.rows()[nextBlock->row]) : std::nullopt;
    if (previous && previous != next) {
        // Collapsing is immediate, also for a row that meanwhile became a shell, changed section or
        // was filtered out: no expanded look may outlive the selection.
        m_layout.removePresentationState(*previous);
        if (m_animatingID == previous && m_heightAnimation)
            m_heightAnimation->stop();
    }
    if (next && nextRow) {
        SelectionPresentationState& state = m_layout.presentationState(*next);
        const double from = state.animatedHeight.value_or(m_layout.collapsedTextHeight(nextRow->section));
        state.visibleExpanded = true;
        const bool editing = m_session->inlineEditState() && m_session->inlineEditState()->itemID == *next;
        const double target = m_layout.expandedTextHeight(*nextRow);
        // Closer than this, the row takes its height at once.
        constexpr double animatedChange = 2;
        if (m_animationsEnabled && !editing && std::abs(target - from) > animatedChange) {
            if (!m_heightAnimation) {
                m_heightAnimation = new QVariantAnimation(this);
                // A short, slightly bouncy growth in place of a spring.
                m_heightAnimation->setDuration(180);
                QEasingCurve curve(QEasingCurve::OutBack);
                curve.setOvershoot(0.6);
                m_heightAnimation->setEasingCurve(curve);
                connect(
                    m_heightAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
                        if (m_animatingID)
                            m_layout.presentationState(*m_animatingID).animatedHeight = value.toDouble();
                        relayout();
                    });
                // Once grown, the row takes its natural height, measured afresh at every width.
                connect(m_heightAnimation, &QVariantAnimation::finished, this, [this] {
                    const std::optional<QUuid> id = std::exchange(m_animatingID, std::nullopt);
                    if (id && m_layout.presentationStates().contains(*id))
                        m_layout.presentationState(*id).animatedHeight = std::nullopt;
                    relayout();
                });
            }
            m_heightAnimation->stop();
            m_layout.presentationState(*next).animatedHeight = from;
            m_animatingID = *next;
            m_heightAnimation->setStartValue(from);
            m_heightAnimation->setEndValue(target);
            m_heightAnimation->start();
        } else {
            state.animatedHeight = std::nullopt;
        }
    }
    relayout();
}

void TaskListView::retargetExpansion()
{
    // A growing row aims at its height at the new width; a grown one is measured at layout.
    if (!m_animatingID || !m_heightAnimation || m_heightAnimation->state() != QAbstractAnimation::Running)
        return;
    if (const std::optional<Block> block = m_layout.taskBlock(*m_animatingID))
        m_heightAnimation->setEndValue(m_layout.expandedTextHeight(m_layout.rows()[block->row]));
}

QRectF TaskListView::selectedRowRect() const
{
    const SessionSelection selection = m_session->selection();
    std::optional<Block> block;
    if (selection.isInput())
        block = m_layout.inputBlock();
    else if (const auto id = selection.taskID(); id && m_session->sectionOf(*id))
        block = m_layout.taskBlock(*id);
    return block ? blockRect(*block) : QRectF();
}

void TaskListView::scrollSelectionIntoView()
{
    const QRectF rect = selectedRowRect();
    if (!rect.isEmpty())
        adjustScroll(rect, 0, false);
}

void TaskListView::revealSelection(bool)
{
    const int generation = ++m_revealGeneration;
    const double now = m_scheduler->now();
    const bool immediate = now < m_keyboardNavigationBurstUntil;
    // Reveals closer together than this jump instead of gliding.
    constexpr double glideInterval = 0.16;
    const bool animate
        = !immediate && (m_lastRevealTimestamp == 0 || now - m_lastRevealTimestamp > glideInterval);
    m_lastRevealTimestamp = now;
    QPointer<TaskListView> self(this);
    const auto adjust = [self, generation](bool animated) {
        if (!self || self->m_revealGeneration != generation)
            return;
        const QRectF rect = self->selectedRowRect();
        if (!rect.isEmpty())
            self->adjustScroll(rect, TaskRowLayout::revealBottomPadding, animated);
    };
    m_scheduler->schedule(0, this, [adjust] { adjust(false); });
    // Once the delayed expansion has grown the row, bring all of it into view.
    m_scheduler->schedule(0.18, this, [adjust, animate] { adjust(animate); });
}

void TaskListView::adjustScroll(const QRectF& rect, double bottomPadding, bool animated)
{
    const double visibleTop = scrollOffset();
    const double visibleHeight = viewport()->height();
    double target;
    if (rect.top() < visibleTop)
        target = rect.top();
    else if (rect.bottom() > visibleTop + visibleHeight - bottomPadding)
        target = rect.bottom() + bottomPadding - visibleHeight;
    else
        return;
    target = std::clamp(target, 0.0, std::max(m_layout.contentHeight() - visibleHeight, 0.0));
    if (std::abs(target - visibleTop) <= 0.5)
        return;
    updateScrollRange();
    if (!animated || !m_animationsEnabled) {
        if (m_scrollAnimation)
            m_scrollAnimation->stop();
        setScrollOffset(target);
        return;
    }
    if (!m_scrollAnimation) {
        m_scrollAnimation = new QVariantAnimation(this);
        m_scrollAnimation->setDuration(120);
        m_scrollAnimation->setEasingCurve(QEasingCurve::InOutQuad);
        connect(m_scrollAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setScrollOffset(value.toDouble()); });
    }
    m_scrollAnimation->stop();
    m_scrollAnimation->setStartValue(visibleTop);
    m_scrollAnimation->setEndValue(target);
    m_scrollAnimation->start();
}
