#include "shortcuts/HotKeyCenter.h"

#include "shortcuts/HotKey.h"
#include "shortcuts/MenuKeyWatcher.h"
#include "shortcuts/Notifier.h"
#include "shortcuts/Shortcut.h"

#include <vector>

namespace {
std::unique_ptr<HotKeyBackend>& chosenBackend()
{
    static std::unique_ptr<HotKeyBackend> backend;
    return backend;
}
bool sharedCreated = false;
} // namespace

HotKeyCenter& HotKeyCenter::shared()
{
    // Never destroyed: hot keys held by process-wide state may outlive any static destructor.
    static HotKeyCenter* center = [] {
        sharedCreated = true;
        auto backend = std::move(chosenBackend());
        return new HotKeyCenter(backend ? std::move(backend) : HotKeyBackend::createDefault());
    }();
    return *center;
}

void HotKeyCenter::useBackend(std::unique_ptr<HotKeyBackend> backend)
{
    Q_ASSERT_X(!sharedCreated, "HotKeyCenter::useBackend", "the shared center already exists");
    chosenBackend() = std::move(backend);
}

HotKeyCenter::HotKeyCenter(std::unique_ptr<HotKeyBackend> backend) : m_backend(std::move(backend))
{
    // The backend is the center's own, so the connections end with both.
    QObject::connect(m_backend.get(), &HotKeyBackend::hotKeyEvent, m_backend.get(),
        [this](quint32 id, bool pressed) { handleHotKeyEvent(id, pressed); });
    QObject::connect(m_backend.get(), &HotKeyBackend::registrationLost, m_backend.get(),
        [this](HotKeyBackend::Handle handle) { handleRegistrationLost(handle); });
    QObject::connect(m_backend.get(), &HotKeyBackend::desktopTriggersChanged, m_backend.get(),
        [] { Q_EMIT GlobalShortcuts::Notifier::shared().desktopTriggersDidChange(); });
    m_menuWatcher = MenuKeyWatcher::create(*this);
}

HotKeyCenter::~HotKeyCenter()
{
    m_menuWatcher.reset();
    for (const auto& [id, weak] : m_hotKeys) {
        if (const auto hotKey = weak.lock(); hotKey && hotKey->eventHotKeyRef) {
            m_backend->unregisterHotKey(*hotKey->eventHotKeyRef);
            hotKey->eventHotKeyRef.reset();
        }
    }
}

bool HotKeyCenter::registerHotKey(const std::shared_ptr<HotKey>& hotKey)
{
    const auto handle = m_backend->registerHotKey(*hotKey);
    if (!handle)
        return false;
    hotKey->eventHotKeyRef = handle;
    m_hotKeys[hotKey->id] = hotKey;
    if (!m_eventHandlerInstalled)
        m_eventHandlerInstalled = m_backend->installEventHandler();
    applyMode();
    return true;
}

void HotKeyCenter::hotKeyDestroyed(HotKey& hotKey)
{
    if (hotKey.eventHotKeyRef) {
        m_backend->unregisterHotKey(*hotKey.eventHotKeyRef);
        hotKey.eventHotKeyRef.reset();
    }
    m_hotKeys.erase(hotKey.id);
    if (m_rawPressedHotKeyId == hotKey.id)
        m_rawPressedKeyCode.reset();
}

void HotKeyCenter::setEnabled(bool enabled)
{
    m_isEnabled = enabled;
    updateMode();
}

void HotKeyCenter::setMenuOpen(bool open)
{
    m_isMenuOpen = open;
    updateMode();
}

void HotKeyCenter::updateMode()
{
    const Mode mode = !m_isEnabled ? Mode::disabled : m_isMenuOpen ? Mode::menuOpen : Mode::normal;
    if (mode == m_mode)
        return;
    m_mode = mode;
    if (m_eventHandlerInstalled)
        applyMode();
}

void HotKeyCenter::applyMode()
{
    // Ids are copied: a failed registration may destroy hot keys and so change the map.
    std::vector<quint32> ids;
    for (const auto& [id, weak] : m_hotKeys)
        ids.push_back(id);

    for (const quint32 id : ids) {
        const std::shared_ptr<HotKey> hotKey = liveHotKey(id);
        if (!hotKey)
            continue;
        if (m_mode == Mode::normal) {
            if (hotKey->eventHotKeyRef)
                continue;
            if (const auto handle = m_backend->registerHotKey(*hotKey)) {
                hotKey->eventHotKeyRef = handle;
            } else {
                m_hotKeys.erase(id);
                if (hotKey->onRegistrationFailed)
                    hotKey->onRegistrationFailed();
            }
        } else if (hotKey->eventHotKeyRef) {
            m_backend->unregisterHotKey(*hotKey->eventHotKeyRef);
            hotKey->eventHotKeyRef.reset();
        }
    }

    m_isHotKeyEventHandlingEnabled = m_mode == Mode::normal;
    m_backend->setHotKeyEventsEnabled(m_isHotKeyEventHandlingEnabled);
    m_isRawKeyEventHandlingEnabled = m_mode == Mode::menuOpen;
    if (!m_isRawKeyEventHandlingEnabled)
        m_rawPressedKeyCode.reset();
}

std::shared_ptr<HotKey> HotKeyCenter::liveHotKey(quint32 id) const
{
    const auto found = m_hotKeys.find(id);
    return found == m_hotKeys.end() ? nullptr : found->second.lock();
}

void HotKeyCenter::handleHotKeyEvent(quint32 id, bool pressed)
{
    if (!m_isHotKeyEventHandlingEnabled)
        return;
    const std::shared_ptr<HotKey> hotKey = liveHotKey(id);
    if (!hotKey)
        return;
    const auto& action = pressed ? hotKey->onKeyDown : hotKey->onKeyUp;
    if (action)
        action();
}

void HotKeyCenter::handleRegistrationLost(HotKeyBackend::Handle handle)
{
    for (const auto& [id, weak] : m_hotKeys) {
        const std::shared_ptr<HotKey> hotKey = weak.lock();
        if (!hotKey || hotKey->eventHotKeyRef != handle)
            continue;
        hotKey->eventHotKeyRef.reset();
        m_hotKeys.erase(hotKey->id);
        if (hotKey->onRegistrationFailed)
            hotKey->onRegistrationFailed();
        return;
    }
}

int HotKeyCenter::modifiersInUse() const
{
    int modifiers = 0;
    for (const auto& [id, weak] : m_hotKeys) {
        if (const auto hotKey = weak.lock())
            modifiers |= hotKey->carbonModifiers;
    }
    return modifiers;
}

bool HotKeyCenter::handleRawKeyEvent(int keyCode, int modifiers, bool pressed, bool isAutoRepeat)
{
    if (!m_isRawKeyEventHandlingEnabled)
        return false;

    if (!pressed) {
        if (m_rawPressedKeyCode != keyCode)
            return false;
        m_rawPressedKeyCode.reset();
        // Modifiers are often let go before the key itself.
        if (const auto hotKey = liveHotKey(m_rawPressedHotKeyId); hotKey && hotKey->onKeyUp)
            hotKey->onKeyUp();
        return true;
    }

    if (isAutoRepeat)
        return m_rawPressedKeyCode == keyCode;

    const Shortcut shortcut(keyCode, modifiers);
    for (const auto& [id, weak] : m_hotKeys) {
        const std::shared_ptr<HotKey> hotKey = weak.lock();
        if (!hotKey || hotKey->carbonKeyCode != shortcut.carbonKeyCode
            || hotKey->carbonModifiers != shortcut.carbonModifiers)
            continue;
        m_rawPressedKeyCode = keyCode;
        m_rawPressedHotKeyId = id;
        if (hotKey->onKeyDown)
            hotKey->onKeyDown();
        return true;
    }
    return false;
}
