#pragma once

#include "panel/LinkHoverOverlay.h"
#include "panel/LinkLayoutKey.h"
#include "panel/TextHeightKey.h"
#include "session/TaskDisplayText.h"

#include <QFont>
#include <QHash>
#include <QObject>
#include <QSet>

#include <functional>

class Scheduler;

// Memoises, for the life of the process, the three things every row derives from its text alone:
// the display text, the laid-out height and the link areas. Nothing is evicted; a changed text,
// width or font is simply a new key. Link areas are computed once per layout, a moment after a
// row first asks for them, so a burst of repaints (typing, scrolling, resizing) costs one layout.
// Main thread only.
class TaskTextLayoutCache : public QObject {
    Q_OBJECT

public:
    static constexpr double linkRegionsDelay = 0.12;

    // The one cache shared by every panel, created on first use.
    static TaskTextLayoutCache& shared();

    explicit TaskTextLayoutCache(Scheduler* scheduler = nullptr, QObject* parent = nullptr);

    // Tests drive the deferred work of the shared cache through their own scheduler.
    void setScheduler(Scheduler* scheduler);

    // The display text of a raw title (markup links replaced by their labels, links marked).
    TaskDisplayText displayText(const QString& raw);

    // The height of raw text laid out with word wrapping at width in font, rounded up to a whole
    // point and never less than one line of the font. Markup links count by their labels.
    double textHeight(const QString& raw, const QFont& font, double width);

    // The stored link areas for key, or null while they are not computed.
    const QList<LinkHoverOverlay::Region>* linkRegions(const LinkLayoutKey& key) const;

    // Computes the link areas for key linkRegionsDelay seconds from now, once: a request for a key
    // that is stored or already pending does nothing (the later request's actions are dropped).
    // The completion runs after the result is stored.
    void requestLinkRegions(const LinkLayoutKey& key,
        std::function<QList<LinkHoverOverlay::Region>()> computation, std::function<void()> completion);

    static QString fontName(const QFont& font);
    static double fontSize(const QFont& font);
    static TextHeightKey textHeightKey(const QString& raw, const QFont& font, double width);
    static LinkLayoutKey linkLayoutKey(
        const QString& displayText, const QFont& font, double width, std::optional<int> lineLimit);

    // Store sizes, for inspection.
    qsizetype displayTextCount() const { return m_attributedTextCache.size(); }
    qsizetype textHeightCount() const { return m_textHeightCache.size(); }
    qsizetype linkRegionsCount() const { return m_linkRegionsCache.size(); }
    bool isPending(const LinkLayoutKey& key) const { return m_pendingLinkRegionKeys.contains(key); }

private:
    Scheduler* m_scheduler;
    QHash<QString, TaskDisplayText> m_attributedTextCache;
    QHash<LinkLayoutKey, QList<LinkHoverOverlay::Region>> m_linkRegionsCache;
    QHash<TextHeightKey, double> m_textHeightCache;
    QSet<LinkLayoutKey> m_pendingLinkRegionKeys;
};
