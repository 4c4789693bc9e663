#include "panel/TaskTextLayoutCache.h"
#include "panel/TaskTextLayout.h"
#include "platform/ManualScheduler.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QTest>

#include <cmath>

class TaskTextLayoutCacheTest : public QObject {
    Q_OBJECT

    static QFont testFont()
    {
        QFont font = QApplication::font();
        font.setPointSizeF(13);
        return font;
    }
    static LinkLayoutKey key(const QString& text, double width = 200, std::optional<int> lines = 1)
    {
        return TaskTextLayoutCache::linkLayoutKey(text, testFont(), width, lines);
    }

private Q_SLOTS:
    void linkRegionsAreComputedOnceAfterTheDelay()
    {
        ManualScheduler scheduler;
        TaskTextLayoutCache cache(&scheduler);
        int computations = 0;
        QStringList completions;
        const QList<LinkHoverOverlay::Region> result {{QRectF(4, 0, 30, 16), "https://example.com"}};
        const auto request = [&](const LinkLayoutKey& key, const QString& name) {
            cache.requestLinkRegions(
                key, [&] { return ++computations, result; }, [&completions, name] { completions << name; });
        };
        // Two requests within 0.12 s: one computation, and only the first completion runs.
        request(key("see docs"), "first");
        scheduler.advance(0.1);
        request(key("see docs"), "second");
        QVERIFY(cache.isPending(key("see docs")));
        QCOMPARE(cache.linkRegions(key("see docs")), nullptr);
        scheduler.advance(0.019);
        QCOMPARE(computations, 0);
        scheduler.advance(0.002);
        QCOMPARE(computations, 1);
        QCOMPARE(completions, QStringList({"first"}));
        QVERIFY(!cache.isPending(key("see docs")));
        QCOMPARE(*cache.linkRegions(key("see docs")), result);
        // Stored keys answer at once and call nothing; another width is another key.
        request(key("see docs"), "third");
        request(key("see docs", std::nextafter(200.0, 201.0)), "wider");
        scheduler.advance(1);
        QCOMPARE(computations, 2);
        QCOMPARE(completions, QStringList({"first", "wider"}));

        // An empty result is stored too.
        cache.requestLinkRegions(
            key("no links"), [] { return QList<LinkHoverOverlay::Region>(); }, nullptr);
        scheduler.advance(0.12);
        QVERIFY(cache.linkRegions(key("no links")) && cache.linkRegions(key("no links"))->isEmpty());

        // A destroyed cache drops its pending work.
        {
            TaskTextLayoutCache doomed(&scheduler);
            doomed.requestLinkRegions(
                key("x"), [&] { return ++computations, result; }, nullptr);
        }
        scheduler.advance(1);
        QCOMPARE(computations, 2);
    }

    // A collapsed row and its expanded form must not share link regions.
    void keysTellLineLimitsAndFontsApart()
    {
        QVERIFY(!(key("t") == key("t", 200, std::nullopt)));
        QVERIFY(!(key("t") == key("t", 200, 2)));
        QFont bold = testFont();
        bold.setBold(true);
        QVERIFY(!(key("t") == TaskTextLayoutCache::linkLayoutKey("t", bold, 200, 1)));
    }

    void heightsAreMeasuredOncePerKey()
    {
        TaskTextLayoutCache cache;
        const QFont font = testFont();
        const QString text = "A task title long enough to wrap over several lines at a narrow width";
        const double narrow = cache.textHeight(text, font, 120);
        QVERIFY(narrow > cache.textHeight(text, font, 2000));
        QCOMPARE(cache.textHeight(text, font, 120), narrow);
        QCOMPARE(cache.textHeightCount(), 2);
        cache.textHeight(text, font, 120.25);
        QCOMPARE(cache.textHeightCount(), 3);
        QCOMPARE(narrow, std::ceil(narrow)); // whole points
        // An empty text measures one line.
        const double line = std::ceil(QFontMetricsF(font).height());
        QCOMPARE(cache.textHeight(QString(), font, 300), line);
        QCOMPARE(cache.textHeight("x", font, 300), line);
        // Markup is measured by its label.
        const double width = QFontMetricsF(font).horizontalAdvance("Read the plan xx");
        const QString markup
            = "[Read the plan](https://example.com/a/very/long/path/that/would/wrap/by/itself)";
        QCOMPARE(cache.displayText(markup).text, QStringLiteral("Read the plan"));
        QCOMPARE(cache.textHeight(markup, font, width), cache.textHeight("Read the plan", font, width));
        QVERIFY(cache.textHeight(QString(markup).remove('[').remove(']'), font, width)
            > cache.textHeight("Read the plan", font, width));
    }

    void aWrappedLinkHasOneRegionPerLine()
    {
        const QFont font = testFont();
        const QFontMetricsF metrics(font);
        TaskTextLayoutCache cache;
        const TaskDisplayText text
            = cache.displayText("Look at [the plan for the whole week](https://example.com/plan)");
        // Wide enough for "Look at the plan for" only.
        const double width = metrics.horizontalAdvance("Look at the plan for ") + 2;
        const auto regions = computeLinkRegions(text, width, font, std::nullopt);
        QCOMPARE(regions.size(), 2);
        QVERIFY(regions[1].rect.top() >= regions[0].rect.bottom() - 1);
        QVERIFY(std::abs(regions[0].rect.left() - std::floor(metrics.horizontalAdvance("Look at "))) <= 1);
        QCOMPARE(regions[1].rect.left(), 0.0);
        for (const auto& region : regions) {
            QCOMPARE(region.tooltip, QStringLiteral("https://example.com/plan"));
            QCOMPARE(region.rect.bottom(), std::floor(region.rect.bottom()));
            QVERIFY(region.rect.right() <= std::ceil(width));
        }
        // Under a one-line limit the link is cut to the visible line; nothing past it counts.
        const auto limited = computeLinkRegions(text, width, font, 1);
        QCOMPARE(limited.size(), 1);
        QCOMPARE(limited[0].rect.top(), 0.0);
        const TaskDisplayText late = cache.displayText(
            "A long first part of the title before any link https://me:pw@example.com/late");
        QVERIFY(computeLinkRegions(late, width, font, 1).isEmpty());
        const auto lateRegions = computeLinkRegions(late, 4000, font, 1);
        QCOMPARE(lateRegions.size(), 1);
        QCOMPARE(lateRegions[0].tooltip, QStringLiteral("https://me:pw@example.com/late")); // what opens
    }

    // A title far longer than a row shows, without a place to break it, is laid out only as far as
    // it can be seen: on one line and expanded it starts as the title does and ends in an ellipsis.
    void aVeryLongTitleIsElidedNotDropped()
    {
        const QFont font = testFont();
        QString title;
        while (title.size() < 20000)
            title += QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
        const QString link = QStringLiteral(" https://example.com/end ");
        const TaskDisplayText display = buildDisplayText(QString(title).insert(10, link));
        for (const std::optional<int> lines : {std::optional<int>(1), std::optional<int>()}) {
            TaskTextLayout layout(display, font, 300, lines);
            const QString shown = layout.layout().text();
            QVERIFY(shown.size() > 20 && shown.size() <= TaskTextLayout::maximumCharacters + 1);
            QVERIFY(display.text.startsWith(shown.chopped(1)));
            QVERIFY(shown.endsWith(QChar(0x2026)));
            QVERIFY(!layout.linkRegions().isEmpty()); // the link in the part shown still opens
        }
        // Expanded, it still shows many lines.
        TaskTextLayoutCache cache;
        QVERIFY(cache.textHeight(title, font, 300) > 20 * QFontMetricsF(font).height());
    }
};

QTEST_MAIN(TaskTextLayoutCacheTest)
#include "TaskTextLayoutCacheTest.moc"
