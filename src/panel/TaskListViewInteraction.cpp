// The task list's editors, selection presentation (focus, delayed expansion, reveal), pointer
// handling, link hovering and context menus.
#include "panel/GrowingTextView.h"
#include "panel/PanelStyle.h"
#include "panel/TaskActions.h"
#include "panel/TaskListAccessibility.h"
#include "panel/TaskListView.h"
#include "panel/TaskRowContextMenu.h"
#include "panel/TaskTextLayout.h"
#include "panel/TaskTextLayoutCache.h"
#include "platform/Scheduler.h"
#include "session/SessionController.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>
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
                m_inputEditorHeight = height;
                relayout();
            });
            m_inputEditor->show();
        }
        m_inputEditor->setText(m_session->inputDraft());
        m_inputEditor->setEditable(m_inputEditable);
        m_inputEditor->setTextColor(
            m_session->selection().isInput() ? selectedTextColor() : primaryTextColor());
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
    const Block* editedBlock = nullptr;
    if (edit) {
        for (const Block& block : m_blocks) {
            if (block.kind == Block::Kind::task && m_rows[block.row].itemID == edit->itemID) {
                editedBlock = &block;
                break;
            }
        }
    }
    if (edit && editedBlock) {
        const RenderedRow& row = m_rows[editedBlock->row];
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
                m_editEditorHeights.insert(id, height);
                relayout();
            });
            m_inlineEditor->show();
        }
        m_inlineEditor->setEditorFont(PanelStyle::titleFont(row.section == TaskSection::working));
        m_inlineEditor->setText(edit->draftText);
        m_inlineEditor->setEditable(!m_session->editingBlocked());
        m_inlineEditor->setTextColor(selectedTextColor());
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
    const TextGeometry geometry = textGeometry();
    for (const Block& block : m_blocks) {
        GrowingTextView* editor = nullptr;
        double height = 0;
        if (block.kind == Block::Kind::input && m_inputEditor) {
            editor = m_inputEditor;
            height = m_inputEditorHeight;
        } else if (block.kind == Block::Kind::task && m_inlineEditor
            && m_rows[block.row].itemID == m_inlineEditor->property("itemID").toUuid()) {
            editor = m_inlineEditor;
            height = block.height - 2 * rowPadding;
        }
        if (!editor)
            continue;
        editor->setGeometry(
            QRectF(geometry.textX, block.top + rowPadding - offset, geometry.textWidth, std::max(height, 1.0))
                .toAlignedRect());
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

    const std::optional<QUuid> previous = m_expandedSelectionTaskID;
    if (edit) {
        m_expandedSelectionTaskID = edit->itemID;
        if (previous != m_expandedSelectionTaskID) {
            applyExpansion(previous, m_expandedSelectionTaskID);
            Q_EMIT expandedSelectionTaskIDChanged();
        }
        return;
    }
    const std::optional<QUuid> selected = m_session->selection().taskID();
    if (m_expandedSelectionTaskID == selected)
        return;
    m_expandedSelectionTaskID = std::nullopt;
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
            || self->m_expandedSelectionTaskID == target)
            return;
        const std::optional<QUuid> before = self->m_expandedSelectionTaskID;
        self->m_expandedSelectionTaskID = target;
        self->applyExpansion(before, target);
        Q_EMIT self->expandedSelectionTaskIDChanged();
    });
}

void TaskListView::applyExpansion(const std::optional<QUuid>& previous, const std::optional<QUuid>& next)
{
    const RenderedRow* nextRow = nullptr;
    for (const RenderedRow& row : std::as_const(m_rows)) {
        if (next && row.kind == RenderedRow::Kind::task && row.itemID == *next)
            nextRow = &row;
    }
    if (previous && previous != next) {
        // Collapsing is immediate, also for a row that meanwhile became a shell, changed section or
        // was filtered out: no expanded look may outlive the selection.
        m_selectionPresentationStates.remove(*previous);
        if (m_animatingID == previous && m_heightAnimation)
            m_heightAnimation->stop();
    }
    if (next && nextRow) {
        SelectionPresentationState& state = m_selectionPresentationStates[*next];
        const double from = state.animatedHeight.value_or(collapsedTextHeight(nextRow->section));
        state.visibleExpanded = true;
        const bool editing = m_session->inlineEditState() && m_session->inlineEditState()->itemID == *next;
        const double target = expandedTextHeight(*nextRow);
        if (m_animationsEnabled && !editing && std::abs(target - from) > 2) {
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
                            m_selectionPresentationStates[*m_animatingID].animatedHeight = value.toDouble();
                        relayout();
                    });
                // Once grown, the row takes its natural height, measured afresh at every width.
                connect(m_heightAnimation, &QVariantAnimation::finished, this, [this] {
                    const std::optional<QUuid> id = std::exchange(m_animatingID, std::nullopt);
                    if (auto state = m_selectionPresentationStates.find(id.value_or(QUuid()));
                        state != m_selectionPresentationStates.end())
                        state->animatedHeight = std::nullopt;
                    relayout();
                });
            }
            m_heightAnimation->stop();
            state.animatedHeight = from;
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
    for (const RenderedRow& row : std::as_const(m_rows)) {
        if (row.kind == RenderedRow::Kind::task && row.itemID == *m_animatingID) {
            m_heightAnimation->setEndValue(expandedTextHeight(row));
            return;
        }
    }
}

void TaskListView::scrollSelectionIntoView()
{
    const SessionSelection selection = m_session->selection();
    QString rowID;
    if (selection.isInput()) {
        rowID = QStringLiteral("input");
    } else if (const auto id = selection.taskID()) {
        const auto section = m_session->sectionOf(*id);
        if (!section)
            return;
        rowID = QStringLiteral("task-") + taskSectionRawValue(*section) + QLatin1Char('-')
            + canonicalUuidText(*id);
    } else {
        return;
    }
    const QRectF rect = rowRect(rowID);
    if (!rect.isEmpty())
        adjustScroll(rect, 0, false);
}

void TaskListView::revealSelection(bool)
{
    const int generation = ++m_revealGeneration;
    const double now = m_scheduler->now();
    const bool immediate = now < m_keyboardNavigationBurstUntil;
    const bool animate = !immediate && (m_lastRevealTimestamp == 0 || now - m_lastRevealTimestamp > 0.16);
    m_lastRevealTimestamp = now;
    QPointer<TaskListView> self(this);
    const auto adjust = [self, generation](bool animated) {
        if (!self || self->m_revealGeneration != generation)
            return;
        const SessionSelection selection = self->m_session->selection();
        QString rowID;
        if (selection.isInput())
            rowID = QStringLiteral("input");
        else if (const auto id = selection.taskID(); id && self->m_session->sectionOf(*id))
            rowID = QStringLiteral("task-") + taskSectionRawValue(*self->m_session->sectionOf(*id))
                + QLatin1Char('-') + canonicalUuidText(*id);
        const QRectF rect = self->rowRect(rowID);
        if (!rect.isEmpty())
            self->adjustScroll(rect, revealBottomPadding, animated);
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
    target = std::clamp(target, 0.0, std::max(m_contentHeight - visibleHeight, 0.0));
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

// --- Pointer ---

void TaskListView::tap(const QUuid& id, bool doubleClick)
{
    clearContextMenuTarget();
    if (resignSearchFieldFocus)
        resignSearchFieldFocus();
    if (m_session->inlineEditState() && m_session->inlineEditState()->itemID != id)
        m_session->cancelInlineEdit();
    m_session->setSelection(SessionSelection::task(id));
    if (doubleClick)
        m_session->beginEditingItem(id);
    if (!m_session->inlineEditState())
        setFocus(Qt::MouseFocusReason);
}

void TaskListView::tapInput()
{
    if (resignSearchFieldFocus)
        resignSearchFieldFocus();
    m_session->setSelection(SessionSelection::input());
}

void TaskListView::mousePressEvent(QMouseEvent* event)
{
    // Ctrl+click opens a link, as in editors; a plain click only selects its row.
    const bool ctrlClick = event->button() == Qt::LeftButton && event->modifiers() & Qt::ControlModifier;
    QUuid linkItemID;
    if (const auto link = ctrlClick ? linkRegionAt(event->position().toPoint(), &linkItemID) : std::nullopt) {
        m_session->openLinkInItem(linkItemID, link->tooltip);
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QString rowID = rowIDAt(event->position().toPoint());
    if (rowID == QLatin1String("input")) {
        tapInput();
    } else if (const auto id = taskAt(event->position().toPoint())) {
        // Tapped on release, so that dragging a row leaves the selection alone.
        m_pressedTaskID = *id;
        m_pressPosition = event->position().toPoint();
    } else {
        setFocus(Qt::MouseFocusReason);
    }
    event->accept();
}

void TaskListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The first press opened the link; the second neither opens it again nor edits the row.
    if (event->button() == Qt::LeftButton && event->modifiers() & Qt::ControlModifier
        && linkRegionAt(event->position().toPoint())) {
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        if (const auto id = taskAt(event->position().toPoint())) {
            tap(*id, true);
            event->accept();
            return;
        }
    }
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

std::optional<LinkLayoutKey> TaskListView::linkKeyFor(const Block& block, QRectF* textRect)
{
    if (block.kind != Block::Kind::task)
        return std::nullopt;
    const RenderedRow& row = m_rows[block.row];
    if (m_session->inlineEditState() && m_session->inlineEditState()->itemID == row.itemID)
        return std::nullopt;
    const TaskDisplayText display = m_cache->displayText(row.title);
    if (display.links.isEmpty())
        return std::nullopt;
    const TextGeometry geometry = textGeometry();
    const std::optional<int> lineLimit = isExpandedRow(row.itemID) ? std::nullopt : std::optional<int>(1);
    if (textRect)
        *textRect = QRectF(
            geometry.textX, block.top + rowPadding, geometry.textWidth, block.height - 2 * rowPadding);
    return TaskTextLayoutCache::linkLayoutKey(display.text,
        PanelStyle::titleFont(row.section == TaskSection::working), geometry.textWidth, lineLimit);
}

std::optional<LinkHoverOverlay::Region> TaskListView::linkRegionAt(QPoint viewportPoint, QUuid* itemID)
{
    const QPointF content(viewportPoint.x(), viewportPoint.y() + scrollOffset());
    const Block* block = blockAtContentY(content.y());
    QRectF textRect;
    const auto key = block ? linkKeyFor(*block, &textRect) : std::nullopt;
    const auto* regions = key ? m_cache->linkRegions(*key) : nullptr;
    if (!regions || !textRect.contains(content))
        return std::nullopt;
    LinkHoverOverlay overlay;
    overlay.setRegions(*regions);
    overlay.setOrigin(textRect.topLeft());
    const LinkHoverOverlay::Region* hit = overlay.regionAt(content);
    if (!hit)
        return std::nullopt;
    if (itemID)
        *itemID = m_rows[block->row].itemID;
    return *hit;
}

bool TaskListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::ToolTip) {
        const QPoint point = event->type() == QEvent::ToolTip
            ? static_cast<QHelpEvent*>(event)->pos()
            : static_cast<QMouseEvent*>(event)->position().toPoint();
        const std::optional<LinkHoverOverlay::Region> hit = linkRegionAt(point);
        if (event->type() == QEvent::ToolTip) {
            if (hit)
                QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                    hit->tooltip + QStringLiteral("\nCtrl+click to open"), viewport());
            else
                QToolTip::hideText();
            return true;
        }
        viewport()->setCursor(hit ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// --- Context menus ---

void TaskListView::noteContextMenuPress(const QUuid& id)
{
    if (m_session->selection() == SessionSelection::task(id))
        return;
    if (m_contextMenuTargetItemID == id)
        return;
    m_contextMenuTargetItemID = id;
    Q_EMIT contextMenuTargetItemIDChanged();
    viewport()->update();
}

void TaskListView::clearContextMenuTarget()
{
    if (!m_contextMenuTargetItemID)
        return;
    m_contextMenuTargetItemID = std::nullopt;
    Q_EMIT contextMenuTargetItemIDChanged();
    viewport()->update();
}

QList<ContextMenuItem> TaskListView::contextMenuItems(const QUuid& id)
{
    QPointer<TaskListView> self(this);
    // Every action first drops the outline and takes the focus from the search field.
    return TaskRowContextMenu::items(TaskActions::of(m_session), id, [self] {
        if (!self)
            return;
        self->clearContextMenuTarget();
        if (self->resignSearchFieldFocus)
            self->resignSearchFieldFocus();
    });
}

void TaskListView::contextMenuEvent(QContextMenuEvent* event)
{
    QPoint point = event->pos();
    std::optional<QUuid> id = taskAt(point);
    // The Menu key opens the selected row's menu.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        id = m_session->selection().taskID();
        const QRectF rect = id
            ? rowRect(QStringLiteral("task-")
                + taskSectionRawValue(m_session->sectionOf(*id).value_or(TaskSection::working))
                + QLatin1Char('-') + canonicalUuidText(*id))
            : QRectF();
        if (rect.isEmpty())
            return;
        point = QPoint(int(rect.left() + 40), int(rect.top() - scrollOffset() + rect.height() / 2));
    }
    if (!id)
        return;
    noteContextMenuPress(*id);
    TaskRowContextMenu menu(contextMenuItems(*id), this);
    connect(&menu, &QMenu::aboutToHide, this, [this] { clearContextMenuTarget(); });
    menu.exec(viewport()->mapToGlobal(point));
    clearContextMenuTarget();
}
