#include "panel/TaskListAccessibility.h"

#include "panel/PanelStatusLine.h"
#include "panel/TaskItemAccessible.h"
#include "panel/TaskLinkAccessible.h"
#include "panel/TaskListAccessible.h"
#include "panel/TaskListView.h"
#include "panel/TaskSectionAccessible.h"
#include "session/SessionController.h"

#include <QAccessibleWidget>
#include <QSet>

namespace {

// More new rows than this at once (a reload, an import) are announced as one change of the list.
constexpr qsizetype announcedInsertions = 8;

// Qt's own flag stays false without a platform bridge (the offscreen platform of the tests), while
// QAccessible::setActive still reaches observers.
class ListeningObserver : public QAccessible::ActivationObserver {
public:
    void accessibilityActiveChanged(bool active) override { listening = active; }
    bool listening = false;
};

ListeningObserver& listeningObserver()
{
    static ListeningObserver* observer = [] {
        auto* created = new ListeningObserver;
        QAccessible::installActivationObserver(created);
        return created;
    }();
    return *observer;
}

QAccessibleInterface* panelAccessibleFactory(const QString&, QObject* object)
{
    if (auto* list = qobject_cast<TaskListView*>(object))
        return new TaskListAccessible(list);
    if (auto* status = qobject_cast<PanelStatusLine*>(object))
        return new QAccessibleWidget(status, QAccessible::StatusBar);
    return nullptr;
}

void send(QAccessibleInterface* iface, QAccessible::Event type)
{
    if (!iface)
        return;
    QAccessibleEvent event(iface, type);
    TaskListAccessibility::sendEvent(&event);
}

void sendState(QAccessibleInterface* iface, QAccessible::State changed)
{
    if (!iface)
        return;
    QAccessibleStateChangeEvent event(iface, changed);
    TaskListAccessibility::sendEvent(&event);
}

} // namespace

TaskListAccessibility::TaskListAccessibility(TaskListView* view) : QObject(view), m_view(view)
{
    m_selected = view->session()->selection().taskID();
}

TaskListAccessibility::~TaskListAccessibility()
{
    for (const QUuid& id : m_items.keys())
        releaseItem(id);
    for (QAccessible::Id id : m_sections)
        release(id);
}

void TaskListAccessibility::installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(panelAccessibleFactory);
        listeningObserver();
        return true;
    }();
    Q_UNUSED(installed);
}

bool TaskListAccessibility::isListening()
{
    return QAccessible::isActive() || listeningObserver().listening;
}

void TaskListAccessibility::release(QAccessible::Id id)
{
    // The cache may have let the interface go already, when the application ends.
    if (id && QAccessible::accessibleInterface(id))
        QAccessible::deleteAccessibleInterface(id);
}

void TaskListAccessibility::releaseLinks(const QUuid& id)
{
    for (QAccessible::Id link : m_links.take(id))
        release(link);
}

void TaskListAccessibility::releaseItem(const QUuid& id)
{
    releaseLinks(id);
    release(m_items.take(id));
}

// --- Rows ---

void TaskListAccessibility::ensureRows()
{
    m_read = true;
    if (!m_stale)
        return;
    m_stale = false;
    m_rows.clear();
    m_index.clear();
    const QList<RenderedRow> rendered = m_view->session()->renderedRows();
    for (TaskSection section : allTaskSections) {
        m_sectionStart[size_t(section)] = m_rows.size();
        for (const RenderedRow& row : rendered) {
            if (row.kind == RenderedRow::Kind::task && row.section == section) {
                m_index.insert(row.itemID, m_rows.size());
                m_rows << row;
            }
        }
    }
    m_sectionStart[3] = m_rows.size();
}

qsizetype TaskListAccessibility::taskCount(TaskSection section)
{
    ensureRows();
    return m_sectionStart[size_t(section) + 1] - m_sectionStart[size_t(section)];
}

const RenderedRow* TaskListAccessibility::row(const QUuid& id)
{
    ensureRows();
    const auto found = m_index.constFind(id);
    return found == m_index.constEnd() ? nullptr : &m_rows.at(*found);
}

qsizetype TaskListAccessibility::indexInSection(const QUuid& id)
{
    const RenderedRow* found = row(id);
    return found ? m_index.value(id) - m_sectionStart[size_t(found->section)] : -1;
}

// --- Interfaces ---

QAccessibleInterface* TaskListAccessibility::sectionInterface(TaskSection section)
{
    QAccessible::Id& id = m_sections[size_t(section)];
    if (!id)
        id = QAccessible::registerAccessibleInterface(new TaskSectionAccessible(this, section));
    return QAccessible::accessibleInterface(id);
}

QAccessibleInterface* TaskListAccessibility::itemInterface(TaskSection section, qsizetype index)
{
    if (index < 0 || index >= taskCount(section))
        return nullptr;
    return itemInterface(m_rows.at(m_sectionStart[size_t(section)] + index).itemID);
}

QAccessibleInterface* TaskListAccessibility::itemInterface(const QUuid& id)
{
    if (const auto found = m_items.constFind(id); found != m_items.constEnd())
        return QAccessible::accessibleInterface(*found);
    const RenderedRow* shown = row(id);
    if (!shown)
        return nullptr;
    const QAccessible::Id created
        = QAccessible::registerAccessibleInterface(new TaskItemAccessible(this, id, *shown));
    m_items.insert(id, created);
    return QAccessible::accessibleInterface(created);
}

QAccessibleInterface* TaskListAccessibility::linkInterface(const QUuid& id, int index)
{
    QList<QAccessible::Id>& links = m_links[id];
    while (links.size() <= index)
        links << QAccessible::registerAccessibleInterface(
            new TaskLinkAccessible(this, id, int(links.size())));
    return QAccessible::accessibleInterface(links.at(index));
}

// --- Events ---

void TaskListAccessibility::noteChange(bool rowsChanged)
{
    if (rowsChanged)
        m_stale = true;
    if (!isListening()) {
        m_selected = m_view->session()->selection().taskID();
        return;
    }
    if (rowsChanged)
        sendRowEvents();
    sendSelectionEvents();
}

void TaskListAccessibility::sendRowEvents()
{
    // Rows nobody has read need no news.
    if (!m_read)
        return;
    QSet<QUuid> before;
    before.reserve(m_rows.size());
    for (const RenderedRow& row : std::as_const(m_rows))
        before.insert(row.itemID);
    ensureRows();

    std::array<bool, 3> reordered {};
    for (const QUuid& id : m_items.keys()) {
        auto* item = static_cast<TaskItemAccessible*>(QAccessible::accessibleInterface(m_items.value(id)));
        const RenderedRow* shown = row(id);
        if (!item || !shown) {
            send(item, QAccessible::ObjectDestroyed);
            releaseItem(id);
            continue;
        }
        const TaskSection left = item->section();
        const TaskItemAccessible::Changes changes = item->update(*shown);
        if (changes.name) {
            releaseLinks(id);
            send(item, QAccessible::NameChanged);
        }
        if (changes.description)
            send(item, QAccessible::DescriptionChanged);
        if (changes.checked) {
            QAccessible::State checked;
            checked.checked = true;
            sendState(item, checked);
        }
        if (changes.section)
            reordered[size_t(left)] = reordered[size_t(shown->section)] = true;
    }

    QList<QUuid> inserted;
    for (const RenderedRow& row : std::as_const(m_rows))
        if (!before.contains(row.itemID))
            inserted << row.itemID;
    if (inserted.size() > announcedInsertions) {
        send(QAccessible::queryAccessibleInterface(m_view), QAccessible::ObjectReorder);
        return;
    }
    for (const QUuid& id : std::as_const(inserted))
        send(itemInterface(id), QAccessible::ObjectCreated);
    for (TaskSection section : allTaskSections)
        if (reordered[size_t(section)])
            send(sectionInterface(section), QAccessible::ObjectReorder);
}

void TaskListAccessibility::sendSelectionEvents()
{
    const std::optional<QUuid> selected = m_view->session()->selection().taskID();
    if (selected == m_selected)
        return;
    QAccessible::State moved;
    moved.selected = true;
    moved.focused = true;
    if (m_selected && m_items.contains(*m_selected) && row(*m_selected))
        sendState(itemInterface(*m_selected), moved);
    m_selected = selected;
    if (!selected)
        return;
    QAccessibleInterface* item = itemInterface(*selected);
    sendState(item, moved);
    send(item, QAccessible::Selection);
    noteFocus();
}

void TaskListAccessibility::noteFocus()
{
    const std::optional<QUuid> selected = m_view->session()->selection().taskID();
    if (selected && m_view->hasFocus())
        send(itemInterface(*selected), QAccessible::Focus);
}
