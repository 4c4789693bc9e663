#include "panel/TaskListAccessibility.h"

#include "panel/PanelStatusLine.h"
#include "panel/TaskItemAccessible.h"
#include "panel/TaskLinkAccessible.h"
#include "panel/TaskListAccessible.h"
#include "panel/TaskListView.h"
#include "panel/TaskSectionAccessible.h"
#include "session/SessionController.h"

#include <QAccessibleWidget>
#include <algorithm>
#include <utility>

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
    if (m_read)
        return;
    m_read = true;
    m_places.reset(m_view->layout().rows());
}

qsizetype TaskListAccessibility::taskCount(TaskSection section)
{
    ensureRows();
    return m_places.taskCount(section);
}

const RenderedRow* TaskListAccessibility::row(const QUuid& id)
{
    ensureRows();
    const qsizetype at = m_view->layout().rowIndex(id, RenderedRow::Kind::task);
    return at >= 0 ? &m_view->layout().rows()[at] : nullptr;
}

RenderedRow::Text TaskListAccessibility::text(const RenderedRow& row) const
{
    return m_view ? m_view->layout().text(row) : RenderedRow::Text();
}

qsizetype TaskListAccessibility::indexInSection(const QUuid& id)
{
    ensureRows();
    const qsizetype at = m_view->layout().rowIndex(id, RenderedRow::Kind::task);
    return at >= 0 ? m_places.taskIndex(m_view->layout().rows()[at].section, at) : -1;
}

void TaskListAccessibility::noteSplices(const ChunkedList<RenderedRow>& rows, const QList<RowSplice>& splices)
{
    // Rows nobody has read need no news; they are read afresh when first asked for.
    if (!m_read)
        return;
    m_places.apply(rows, splices, m_touched);
    constexpr qsizetype touchedBound = 4096;
    if (m_touched.removed.size() + m_touched.inserted.size() > touchedBound) {
        m_touched.clear();
        m_touchedMany = true;
    }
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
    ensureRows();
    const qsizetype at = m_places.rowOfTask(section, index);
    return at >= 0 ? itemInterface(m_view->layout().rows()[at].itemID) : nullptr;
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
    if (!m_read)
        return;
    const TaskRowSections::Touched touched = std::exchange(m_touched, {});
    const bool many = std::exchange(m_touchedMany, false);
    // The items made for rows that changed, moved or left; after many changes, every item made.
    QList<QUuid> items;
    if (many) {
        items = m_items.keys();
    } else {
        for (const auto* ids : {&touched.removed, &touched.inserted}) {
            for (auto it = ids->keyBegin(); it != ids->keyEnd(); ++it) {
                if (m_items.contains(*it) && !items.contains(*it))
                    items << *it;
            }
        }
    }

    std::array<bool, 3> reordered {};
    for (const QUuid& id : std::as_const(items)) {
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

    // Rows that arrived; a row that left one place for another within its section reorders it.
    QList<QUuid> inserted;
    for (auto it = touched.inserted.cbegin(); it != touched.inserted.cend(); ++it) {
        const RenderedRow* shown = row(it.key());
        if (!shown)
            continue;
        const auto was = touched.removed.constFind(it.key());
        if (was == touched.removed.constEnd())
            inserted << it.key();
        else if (was->splice != it->splice || was->offset != it->offset)
            reordered[size_t(shown->section)] = true;
    }
    if (many || inserted.size() > announcedInsertions) {
        send(QAccessible::queryAccessibleInterface(m_view), QAccessible::ObjectReorder);
        return;
    }
    std::sort(inserted.begin(), inserted.end(), [this](const QUuid& a, const QUuid& b) {
        return m_view->layout().rowIndex(a, RenderedRow::Kind::task)
            < m_view->layout().rowIndex(b, RenderedRow::Kind::task);
    });
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
