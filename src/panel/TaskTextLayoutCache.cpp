#include "panel/TaskTextLayoutCache.h"

#include "panel/TaskTextLayout.h"
#include "platform/Scheduler.h"

#include <QFontMetricsF>
#include <QPointer>

#include <cmath>

TaskTextLayoutCache& TaskTextLayoutCache::shared()
{
    static TaskTextLayoutCache* cache = new TaskTextLayoutCache;
    return *cache;
}

TaskTextLayoutCache::TaskTextLayoutCache(Scheduler* scheduler, QObject* parent)
    : QObject(parent), m_scheduler(scheduler ? scheduler : Scheduler::system())
{ }

void TaskTextLayoutCache::setScheduler(Scheduler* scheduler)
{
    m_scheduler = scheduler ? scheduler : Scheduler::system();
}

TaskDisplayText TaskTextLayoutCache::displayText(const QString& raw)
{
    auto found = m_attributedTextCache.constFind(raw);
    if (found != m_attributedTextCache.constEnd())
        return *found;
    TaskDisplayText built = buildDisplayText(raw);
    m_attributedTextCache.insert(raw, built);
    return built;
}

QString TaskTextLayoutCache::fontName(const QFont& font)
{
    QString name = font.family();
    name += QLatin1Char('-') + QString::number(font.weight());
    if (font.italic())
        name += QLatin1String("-italic");
    if (font.pointSizeF() <= 0)
        name += QLatin1String("-px");
    return name;
}

double TaskTextLayoutCache::fontSize(const QFont& font)
{
    return font.pointSizeF() > 0 ? font.pointSizeF() : double(font.pixelSize());
}

TextHeightKey TaskTextLayoutCache::textHeightKey(const QString& raw, const QFont& font, double width)
{
    return TextHeightKey {raw, TextHeightKey::bitsOf(width), fontName(font), fontSize(font)};
}

LinkLayoutKey TaskTextLayoutCache::linkLayoutKey(
    const QString& displayText, const QFont& font, double width, std::optional<int> lineLimit)
{
    return LinkLayoutKey {
        displayText, TextHeightKey::bitsOf(width), fontName(font), fontSize(font), lineLimit};
}

double TaskTextLayoutCache::textHeight(const QString& raw, const QFont& font, double width)
{
    TextHeightKey key = textHeightKey(raw, font, width);
    auto found = m_textHeightCache.constFind(key);
    if (found != m_textHeightCache.constEnd())
        return *found;
    TaskDisplayText plain = displayText(raw);
    plain.links.clear();
    const TaskTextLayout layout(plain, font, width);
    const double height = std::max(std::ceil(layout.usedHeight()), std::ceil(QFontMetricsF(font).height()));
    m_textHeightCache.insert(std::move(key), height);
    return height;
}

const QList<LinkHoverOverlay::Region>* TaskTextLayoutCache::linkRegions(const LinkLayoutKey& key) const
{
    auto found = m_linkRegionsCache.constFind(key);
    return found == m_linkRegionsCache.constEnd() ? nullptr : &*found;
}

void TaskTextLayoutCache::requestLinkRegions(const LinkLayoutKey& key,
    std::function<QList<LinkHoverOverlay::Region>()> computation, std::function<void()> completion)
{
    if (m_linkRegionsCache.contains(key) || m_pendingLinkRegionKeys.contains(key))
        return;
    m_pendingLinkRegionKeys.insert(key);
    QPointer<TaskTextLayoutCache> self(this);
    m_scheduler->schedule(linkRegionsDelay, this,
        [self, key, computation = std::move(computation), completion = std::move(completion)] {
            if (!self)
                return;
            self->m_pendingLinkRegionKeys.remove(key);
            if (self->m_linkRegionsCache.contains(key))
                return;
            self->m_linkRegionsCache.insert(
                key, computation ? computation() : QList<LinkHoverOverlay::Region>());
            if (completion)
                completion();
        });
}
