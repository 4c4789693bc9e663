#include "session/SessionController.h"

#include "session/TaskDisplayText.h"
#include "session/TaskLinks.h"

void SessionController::setPasteboard(std::shared_ptr<Pasteboard> pasteboard)
{
    m_pasteboard = std::move(pasteboard);
}

void SessionController::setUrlOpener(std::shared_ptr<UrlOpener> urlOpener)
{
    m_urlOpener = std::move(urlOpener);
}

// --- Copy and paste ---

bool SessionController::canCopySelectedItem() const
{
    const std::optional<QUuid> id = m_state.selectedTaskID();
    return id && canCopyItem(*id);
}

void SessionController::copySelectedItem()
{
    if (!m_pasteboard || !canCopySelectedItem())
        return;
    m_pasteboard->writeString(editableText(*m_state.item(*m_state.selectedTaskID())));
}

bool SessionController::canPasteItem() const
{
    if (!m_pasteboard || m_state.editingBlocked() || isTextEditingActive() || isTransitionInProgress())
        return false;
    return parseTaskText(m_pasteboard->readString()).has_value();
}

void SessionController::pasteItem()
{
    // The same conditions as canPasteItem, reading the pasteboard once: its content may change
    // between two reads.
    if (!m_pasteboard || m_state.editingBlocked() || isTextEditingActive() || isTransitionInProgress())
        return;
    const std::optional<ParsedTaskText> parsed = parseTaskText(m_pasteboard->readString());
    if (!parsed)
        return;

    SessionState::Scope scope(m_state);
    recordUndoStep();
    const QUuid id = QUuid::createUuid();
    m_state.itemsForChange().insert(id, SessionItem {id, parsed->title, parsed->note});
    TaskSection section = TaskSection::inbox;
    qsizetype index = 0;
    if (const auto selected = m_state.selectedTaskWithSection()) {
        const qsizetype selectedIndex = itemIDs(selected->second).indexOf(selected->first);
        if (selectedIndex >= 0) {
            section = selected->second;
            index = selectedIndex + 1;
        }
    }
    m_state.insertItemID(section, index, id);
    m_state.assignSelection(SessionSelection::task(id));
    m_state.reveal();
    m_state.commit();
}

// --- Links ---

std::optional<QUrl> SessionController::firstLinkOfItem(const QUuid& id) const
{
    const SessionItem* found = m_state.item(id);
    if (!found)
        return std::nullopt;
    return firstLinkURL(editableText(*found));
}

bool SessionController::canOpenLinkInSelectedItem() const
{
    const std::optional<QUuid> id = m_state.selectedTaskID();
    return id && canOpenLinkInItem(*id);
}

void SessionController::openFirstLinkInSelectedItem()
{
    const std::optional<QUuid> id = m_state.selectedTaskID();
    if (!m_urlOpener || !id || m_state.taskAnimations().contains(*id))
        return;
    if (const std::optional<QUrl> url = firstLinkOfItem(*id))
        m_urlOpener->openUrl(*url);
}

void SessionController::openLinkInItem(const QUuid& id, const QString& address)
{
    const SessionItem* found = m_state.item(id);
    if (!m_urlOpener || !found || m_state.taskAnimations().contains(id))
        return;
    for (const LinkRange& link : buildDisplayText(found->title).links) {
        if (link.url.toString(QUrl::FullyEncoded) == address) {
            m_urlOpener->openUrl(link.url);
            return;
        }
    }
}
