#pragma once

#include "panel/TaskRowSections.h"
#include "session/RenderedRow.h"
#include "session/TaskSection.h"

#include <QAccessible>
#include <QHash>
#include <QList>
#include <QObject>
#include <QUuid>

#include <array>
#include <optional>

class TaskItemAccessible;
class TaskListView;

// What assistive technologies (screen readers, through AT-SPI) see of a task list: the list, one
// group per section, one item per task row and one link per link in a title. The list paints its
// rows itself, so their interfaces are made here, only for the rows an assistive technology asks
// for, kept by task id while the task stays in the list, and released with the list. The rows are
// read from the list view's own; the splices that change them tell what to announce, so a change
// costs what changed, whatever the length of the list.
class TaskListAccessibility : public QObject {
    Q_OBJECT

public:
    explicit TaskListAccessibility(TaskListView* view);
    ~TaskListAccessibility() override;

    // Lets Qt ask for the interfaces of the task list and the status line; runs once per process.
    static void installFactory();
    // Whether an assistive technology listens (for tests, also after QAccessible::setActive(true)).
    static bool isListening();
    // Where the list's events go: Qt, which hands them to the platform's bridge. Tests listen here,
    // as Qt drops events on platforms without a bridge.
    static inline void (*sendEvent)(QAccessibleEvent* event) = QAccessible::updateAccessibility;

    TaskListView* view() const { return m_view; }

    // The task rows shown in a section, in order.
    qsizetype taskCount(TaskSection section);
    // The shown row of a task, or nullptr when its row is not in the list.
    const RenderedRow* row(const QUuid& id);
    // The title and note a row shows.
    RenderedRow::Text text(const RenderedRow& row) const;
    // The place of a task in its section, or -1.
    qsizetype indexInSection(const QUuid& id);

    QAccessibleInterface* sectionInterface(TaskSection section);
    QAccessibleInterface* itemInterface(TaskSection section, qsizetype index);
    // The interface of a shown task, or nullptr.
    QAccessibleInterface* itemInterface(const QUuid& id);
    QAccessibleInterface* linkInterface(const QUuid& id, int index);
    // The item interfaces made so far (made on demand, so a long list makes few).
    qsizetype itemInterfaceCount() const { return m_items.size(); }

    // The list view is about to apply splices to its rows.
    void noteSplices(const ChunkedList<RenderedRow>& rows, const QList<RowSplice>& splices);
    // After each change of the session: the rows (when rowsChanged) or the selection may have moved.
    void noteChange(bool rowsChanged);
    // The list took the keyboard focus: the selected task is the focused object.
    void noteFocus();

private:
    void ensureRows();
    void sendRowEvents();
    void sendSelectionEvents();
    void releaseItem(const QUuid& id);
    void releaseLinks(const QUuid& id);
    static void release(QAccessible::Id id);

    TaskListView* m_view;
    // Where the view's task rows lie, section by section, from when rows were first read.
    TaskRowSections m_places;
    // Whether an assistive technology has read rows (the places are followed from then on).
    bool m_read = false;
    // The task rows that came and went since the last announcement; past a bound, only that many did.
    TaskRowSections::Touched m_touched;
    bool m_touchedMany = false;
    std::array<QAccessible::Id, 3> m_sections {};
    QHash<QUuid, QAccessible::Id> m_items;
    QHash<QUuid, QList<QAccessible::Id>> m_links;
    std::optional<QUuid> m_selected;
};
