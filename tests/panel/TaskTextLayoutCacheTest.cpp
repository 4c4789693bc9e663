#include "TaskTextLayoutCache.h"
#include "ManualScheduler.h"
#include "TaskTextLayout.h"

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

private Q_SLOTS:
    void twoRequestsWithinTheDelayRunOneComputationAndTheFirstCompletion()
    {
        ManualScheduler scheduler;
        TaskTextLayoutCache cache(&scheduler);
        const LinkLayoutKey key = TaskTextLayoutCache::linkLayoutKey("see docs", testFont(), 200, 1);
        int computations = 0;
        QStringList completions;
        const QList<LinkHoverOverlay::Region> result {{QRectF(4, 0, 30, 16), "https://example.com"}};
        cache.requestLinkRegions(
            key,
            [&] {
                ++computations;
                return result;
            },
            [&] { completions << "first"; });
        scheduler.advance(0.1);
        cache.requestLinkRegions(
            key,
            [&] {
                ++computations;
                return result;
            },
            [&] { completions << "second"; });
        QVERIFY(cache.isPending(key));
        QCOMPARE(cache.linkRegions(key), nullptr);
        scheduler.advance(0.019);
        QCOMPARE(computations, 0); // not before 0.12 s
        scheduler.advance(0.002);
        QCOMPARE(computations, 1);
        QCOMPARE(completions, QStringList({"first"}));
        QVERIFY(!cache.isPending(key));
        QVERIFY(cache.linkRegions(key));
        QCOMPARE(*cache.linkRegions(key), result);

        // Stored keys answer at once and call nothing.
        cache.requestLinkRegions(
            key,
            [&] {
                ++computations;
                return result;
            },
            [&] { completions << "third"; });
        scheduler.advance(1);
        QCOMPARE(computations, 1);
        QCOMPARE(completions.size(), 1);

        // An empty result is stored too.
        const LinkLayoutKey plain = TaskTextLayoutCache::linkLayoutKey("no links", testFont(), 200, 1);
        cache.requestLinkRegions(
            plain, [] { return QList<LinkHoverOverlay::Region>(); }, nullptr);
        scheduler.advance(0.12);
        QVERIFY(cache.linkRegions(plain));
        QVERIFY(cache.linkRegions(plain)->isEmpty());
    }

    void aDestroyedCacheDropsItsPendingWork()
    {
        ManualScheduler scheduler;
        int computations = 0;
        {
            TaskTextLayoutCache cache(&scheduler);
            cache.requestLinkRegions(
                TaskTextLayoutCache::linkLayoutKey("x", testFont(), 10, {}),
                [&] {
                    ++computations;
                    return QList<LinkHoverOverlay::Region>();
                },
                nullptr);
        }
        scheduler.advance(1);
        QCOMPARE(computations, 0);
    }

    void keysFollowWidthBitsFontAndLineLimit()
    {
        const QFont font = testFont();
        const LinkLayoutKey a = TaskTextLayoutCache::linkLayoutKey("t", font, 200, 1);
        QVERIFY(a == TaskTextLayoutCache::linkLayoutKey("t", font, 200, 1));
        QCOMPARE(qHash(a, 7), qHash(TaskTextLayoutCache::linkLayoutKey("t", font, 200, 1), 7));
        QVERIFY(!(a == TaskTextLayoutCache::linkLayoutKey("t", font, std::nextafter(200.0, 201.0), 1)));
        QVERIFY(!(a == TaskTextLayoutCache::linkLayoutKey("t", font, 200, std::nullopt)));
        QVERIFY(!(a == TaskTextLayoutCache::linkLayoutKey("t", font, 200, 2)));
        QFont bold = font;
        bold.setBold(true);
        QVERIFY(!(a == TaskTextLayoutCache::linkLayoutKey("t", bold, 200, 1)));

        // Sizes compare as numbers; negative zero hashes like zero.
        TextHeightKey zero {"t", 1, "f", 0.0};
        TextHeightKey negativeZero {"t", 1, "f", -0.0};
        QVERIFY(zero == negativeZero);
        QCOMPARE(qHash(zero, 3), qHash(negativeZero, 3));

        // Widths compare by their bits: 0 and -0 are different layouts.
        QVERIFY(!(TaskTextLayoutCache::textHeightKey("t", font, 0.0)
            == TaskTextLayoutCache::textHeightKey("t", font, -0.0)));
    }

    void heightsAreMeasuredOncePerKeyAndAnyWidthChangeIsANewKey()
    {
        TaskTextLayoutCache cache;
        const QFont font = testFont();
        const QString text = "A task title long enough to wrap over several lines at a narrow width";
        const double narrow = cache.textHeight(text, font, 120);
        const double wide = cache.textHeight(text, font, 2000);
        QCOMPARE(cache.textHeightCount(), 2);
        QVERIFY(narrow > wide);
        QCOMPARE(cache.textHeight(text, font, 120), narrow);
        QCOMPARE(cache.textHeightCount(), 2);
        cache.textHeight(text, font, 120.25);
        QCOMPARE(cache.textHeightCount(), 3);
        QCOMPARE(narrow, std::ceil(narrow)); // whole points

        // A title and a note with the same text share one display text.
        cache.displayText("same");
        cache.displayText("same");
        QCOMPARE(cache.displayTextCount(), 2); // "same" and the long title
    }

    void anEmptyTextMeasuresOneLine()
    {
        TaskTextLayoutCache cache;
        const QFont font = testFont();
        QCOMPARE(cache.textHeight(QString(), font, 300), std::ceil(QFontMetricsF(font).height()));
        QCOMPARE(cache.textHeight("x", font, 300), std::ceil(QFontMetricsF(font).height()));
    }

    void markupIsMeasuredByItsLabel()
    {
        TaskTextLayoutCache cache;
        const QFont font = testFont();
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
        QCOMPARE(text.text, QStringLiteral("Look at the plan for the whole week"));
        // Wide enough for "Look at the plan for" only.
        const double width = metrics.horizontalAdvance("Look at the plan for ") + 2;
        const auto regions = computeLinkRegions(text, width, font, std::nullopt);
        QCOMPARE(regions.size(), 2);
        QCOMPARE(regions[0].tooltip, QStringLiteral("https://example.com/plan"));
        QCOMPARE(regions[1].tooltip, QStringLiteral("https://example.com/plan"));
        QVERIFY(regions[1].rect.top() >= regions[0].rect.bottom() - 1);
        const double linkStart = metrics.horizontalAdvance("Look at ");
        QVERIFY(std::abs(regions[0].rect.left() - std::floor(linkStart)) <= 1);
        QCOMPARE(regions[1].rect.left(), 0.0);
        for (const auto& region : regions) {
            QCOMPARE(region.rect.left(), std::floor(region.rect.left()));
            QCOMPARE(region.rect.bottom(), std::floor(region.rect.bottom()));
            QVERIFY(region.rect.right() <= std::ceil(width));
        }

        // Under a one-line limit the link is cut to the visible line; nothing past it counts.
        const auto limited = computeLinkRegions(text, width, font, 1);
        QCOMPARE(limited.size(), 1);
        QCOMPARE(limited[0].rect.top(), 0.0);
        const TaskDisplayText late = cache.displayText("A long first part of the title before any link "
                                                       "https://example.com/late");
        QCOMPARE(late.links.size(), 1);
        QVERIFY(computeLinkRegions(late, width, font, 1).isEmpty());
        QCOMPARE(computeLinkRegions(late, 4000, font, 1).size(), 1);
    }
};

QTEST_MAIN(TaskTextLayoutCacheTest)
#include "TaskTextLayoutCacheTest.moc"
