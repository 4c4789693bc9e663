#include "session/TaskLinks.h"
#include "session/LinkDetector.h"
#include "session/LinkPattern.h"
#include "session/TaskDisplayText.h"

#include <QObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

namespace {

QStringList detectedTexts(const QString& text)
{
    QStringList texts;
    for (const LinkRange& link : LinkDetector::detect(text))
        texts << text.mid(link.start, link.length);
    return texts;
}

// The matches a regex engine finds for the documented expression, as [start, label, url] triples.
QList<QStringList> regexMatches(const QString& text)
{
    static const QRegularExpression expression(LinkPattern::expression.toString());
    QList<QStringList> matches;
    auto iterator = expression.globalMatch(text);
    while (iterator.hasNext()) {
        const QRegularExpressionMatch match = iterator.next();
        matches << QStringList {QString::number(match.capturedStart()), match.captured(1), match.captured(2),
            QString::number(match.capturedLength())};
    }
    return matches;
}

QList<QStringList> scannerMatches(const QString& text)
{
    QList<QStringList> matches;
    for (const LinkPattern::Match& match : LinkPattern::findAll(text))
        matches << QStringList {QString::number(match.start), match.label(text).toString(),
            match.urlText(text).toString(), QString::number(match.length)};
    return matches;
}

} // namespace

class TaskLinksTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void displayTextShowsLabelsAndLinksWebURLsOnly_data()
    {
        // Title, shown text, each link as "shown text -> URL", and the URL opened first ("" for none).
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QString>("first");
        const auto row
            = [](const char* name, const QString& title, const QString& shown, const QStringList& links,
                  const QString& first) { QTest::newRow(name) << title << shown << links << first; };
        row("markup", "[the plan](https://example.com/plan?x=1)", "the plan",
            {"the plan -> https://example.com/plan?x=1"}, "https://example.com/plan?x=1");
        row("text around and between", "Read [one](http://a.example/1) and [two](https://b.example/2) today",
            "Read one and two today", {"one -> http://a.example/1", "two -> https://b.example/2"},
            "http://a.example/1");
        // The URL stops at the first ")", the label at the first "]"; whitespace breaks the markup.
        row("first closing parenthesis", "[wiki](https://w.example/Foo_(bar)) end", "wiki) end",
            {"wiki -> https://w.example/Foo_(bar"}, "https://w.example/Foo_(bar");
        row("first closing bracket", "[a]b](http://x.example)", "[a]b](http://x.example)",
            {"http://x.example -> http://x.example"}, "http://x.example");
        row("space in URL", "[a](http://x.example/a b)", "[a](http://x.example/a b)",
            {"http://x.example/a -> http://x.example/a"}, "http://x.example/a");
        for (const char* other : {"[click](javascript:alert(1))", "[f](file:///etc/passwd)",
                 "[m](mailto:a@b.example)", "[s](ftp://host.example/x)", "no links [here] (either)", ""})
            row(other, other, other, {}, "");
        // The markup scheme is case-sensitive, the detector's is not.
        row("upper-case scheme", "[x](HTTP://in.example)", "[x](HTTP://in.example)",
            {"HTTP://in.example -> http://in.example"}, "http://in.example");
        row("bare URL in brackets", "[x](see http://in.example)", "[x](see http://in.example)",
            {"http://in.example -> http://in.example"}, "http://in.example");
        // The markup matches but its URL has no host or a control character: no link; the detector
        // stops at a forbidden character and what comes before it still opens.
        row("no host", "[a](http:///nohost)", "a", {}, "");
        row("encoded line break", "[a](https://x.example/%0D%0Aevil)", "a", {}, "");
        row("control character", "[a](https://x.example/\x01z)", "a", {}, "https://x.example/");
        row("bidi override", QStringView(u"[a](https://x.example/\u202Etxt.exe)").toString(), "a", {},
            "https://x.example/");
        row("bare links as typed", "Call re: https://ex.example/a_(b)?q=1#top, then www.docs.example.",
            "Call re: https://ex.example/a_(b)?q=1#top, then www.docs.example.",
            {"https://ex.example/a_(b)?q=1#top -> https://ex.example/a_(b)?q=1#top",
                "www.docs.example -> http://www.docs.example"},
            "https://ex.example/a_(b)?q=1#top");
        row("URL inside a label", "x [see https://a.example](https://b.example) y",
            "x see https://a.example y", {"see https://a.example -> https://b.example"}, "https://b.example");
        row("label URL never beats its target", "[https://l.example](https://t.example)", "https://l.example",
            {"https://l.example -> https://t.example"}, "https://t.example");
        // Ranges count UTF-16 units: the emoji before the links counts two.
        row("UTF-16 ranges", QStringView(u"\U0001F600 [é](https://a.example) www.b.example").toString(),
            QStringView(u"\U0001F600 é www.b.example").toString(),
            {"é -> https://a.example", "www.b.example -> http://www.b.example"}, "https://a.example");
        row("markup first", "[m](https://m.example) then https://bare.example", "m then https://bare.example",
            {"m -> https://m.example", "https://bare.example -> https://bare.example"}, "https://m.example");
        row("bare first", "www.w.example or [m](https://m.example)", "www.w.example or m",
            {"www.w.example -> http://www.w.example", "m -> https://m.example"}, "http://www.w.example");
        // A control in a label stays in force after it.
        row("override in a label", QStringView(u"[\u202Ex](https://a.example) https://b.example").toString(),
            QStringView(u"\u202Ex https://b.example").toString(),
            {QStringView(u"\u202Ex -> https://a.example").toString()}, "https://a.example");
        // Only the first markup link is considered for opening; a later bare link still counts.
        row("bad markup, then good", "[a](http:///bad) [b](https://b.example)", "a b",
            {"b -> https://b.example"}, "https://b.example");
    }

    void displayTextShowsLabelsAndLinksWebURLsOnly()
    {
        QFETCH(QString, title);
        QFETCH(QStringList, links);
        QFETCH(QString, first);
        const TaskDisplayText display = buildDisplayText(title);
        QTEST(display.text, "shown");
        QStringList shownLinks;
        for (const LinkRange& link : display.links)
            shownLinks << display.text.mid(link.start, link.length) + " -> " + link.url.toString();
        QStringList expectedLinks;
        for (const QString& link : links) // compare URLs as parsed, e.g. with a lower-case scheme
            expectedLinks << link.section(" -> ", 0, 0) + " -> " + QUrl(link.section(" -> ", 1)).toString();
        QCOMPARE(shownLinks, expectedLinks);
        QCOMPARE(firstLinkURL(title), first.isEmpty() ? std::nullopt : std::optional(QUrl(first)));
    }

    void detectorFindsWebLinksOnly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("urls");
        // The text, each link as found in it, and the URL each one opens.
        const auto row = [](const char* name, const QString& text, const QStringList& links,
                             const QStringList& urls) { QTest::newRow(name) << text << links << urls; };
        row("schemes any case", "HTTPS://A.example/X and http://b.example",
            {"HTTPS://A.example/X", "http://b.example"}, {"https://a.example/X", "http://b.example"});
        row("www opens as http", "go to WWW.Example.org/path?a=b!", {"WWW.Example.org/path?a=b"},
            {"http://www.example.org/path?a=b"});
        row("port and fragment", "(http://localhost:8080/x#y)", {"http://localhost:8080/x#y"},
            {"http://localhost:8080/x#y"});
        row("angle brackets and quotes", "<https://a.example/p> \"http://b.example\"",
            {"https://a.example/p", "http://b.example"}, {"https://a.example/p", "http://b.example"});
        row("trailing punctuation", "see http://a.example/x.; www.b.example/y)",
            {"http://a.example/x", "www.b.example/y"}, {"http://a.example/x", "http://www.b.example/y"});
        const QString international = QStringView(u"http://bücher.example/Köln").toString();
        row("international", international, {international}, {international});
        row("not at word start", "xhttp://a.example a.www.b.example me@www.c.example", {}, {});
        row("www without a domain", "www.example www. www..a.example", {}, {});
        row("other schemes", "file:///etc/passwd javascript:alert(1) mailto:a@b.example ftp://f.example", {},
            {});
        row("no host", "http:// https:///x http://.example", {}, {});
        row("control character ends a link", QString("http://a.example/x\x01y"), {"http://a.example/x"},
            {"http://a.example/x"});
        row("user information", "https://user@example.com/x, (https://user:pw@a.example/)",
            {"https://user@example.com/x", "https://user:pw@a.example/"},
            {"https://user@example.com/x", "https://user:pw@a.example/"});
        row("IPv6 hosts", "https://[::1]/x and http://[2001:db8::7]:8080.",
            {"https://[::1]/x", "http://[2001:db8::7]:8080"},
            {"https://[::1]/x", "http://[2001:db8::7]:8080"});
        // Closing punctuation of any script ends a link; a bracket partnered inside it does not.
        const QString scripts
            = QStringView(u"\u898B\u3066 https://a.example/x\u3002 \u00ABhttps://b.example/y\u00BB "
                          u"\u201Chttps://c.example/z\u201D https://d.example/w\u2026 "
                          u"\uFF08https://e.example/a\uFF08b\uFF09\uFF09")
                  .toString();
        const QStringList scriptLinks {"https://a.example/x", "https://b.example/y", "https://c.example/z",
            "https://d.example/w", QStringView(u"https://e.example/a\uFF08b\uFF09").toString()};
        row("punctuation of any script", scripts, scriptLinks, scriptLinks);
        // A control ends a link; one in force before a link's start (until popped) means no link.
        row("bidirectional controls",
            QStringView(
                u"https://a.example/x\u202Etxt.exe\u202C \u202Ehttps://b.example/ \u202C https://c.example "
                u"\u2067https://d.example\u2069 https://e.example/\u202A")
                .toString(),
            {"https://a.example/x", "https://c.example", "https://e.example/"},
            {"https://a.example/x", "https://c.example", "https://e.example/"});
        // One URL with an encoded line break; the URL in its path is part of it.
        row("rejected URL is not split", "http://a.example/%0A/http://b.example/ ok www.c.example",
            {"www.c.example"}, {"http://www.c.example"});
    }

    void detectorFindsWebLinksOnly()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, links);
        QFETCH(QStringList, urls);
        QCOMPARE(detectedTexts(text), links);
        QList<QUrl> detectedURLs, expectedURLs;
        for (const LinkRange& link : LinkDetector::detect(text))
            detectedURLs << link.url;
        for (const QString& url : urls)
            expectedURLs << QUrl(url);
        QCOMPARE(detectedURLs, expectedURLs);
    }

    void scannerAgreesWithTheRegularExpression()
    {
        // Random texts built from the pieces the expression cares about.
        const QStringList pieces {"[", "]", "(", ")", "http", "https", "://", "s", "a", "b", " ", "\t", "x)",
            "HTTP", "[a](http://b)", "]("};
        QRandomGenerator random(20261206);
        int textsWithMatches = 0;
        for (int round = 0; round < 20000; ++round) {
            QString text;
            const int count = int(random.bounded(1, 24));
            for (int i = 0; i < count; ++i)
                text += pieces.at(random.bounded(int(pieces.size())));
            const QList<QStringList> expected = regexMatches(text);
            if (!expected.isEmpty())
                ++textsWithMatches;
            QCOMPARE(scannerMatches(text), expected);
            const auto first = LinkPattern::findFirst(text);
            QCOMPARE(first.has_value(), !expected.isEmpty());
            if (first)
                QCOMPARE(QString::number(first->start), expected.first().first());
        }
        QVERIFY(textsWithMatches > 1000);
    }

    void pathologicalTitlesGiveCorrectResults()
    {
        const int size = 100 * 1024;
        const QString brackets = QString("[[[[(((").repeated(size / 7);
        QVERIFY(LinkPattern::findAll(brackets).isEmpty());
        QCOMPARE(buildDisplayText(brackets).text, brackets);
        QVERIFY(!firstLinkURL(brackets));

        // The first "[" owns the only "]": the label is everything before it.
        const QString openers = QString(size, u'[');
        const QString oneLinkAtTheEnd = openers + "a](https://end.example)";
        const QList<LinkPattern::Match> matches = LinkPattern::findAll(oneLinkAtTheEnd);
        QCOMPARE(matches.size(), 1);
        QCOMPARE(matches[0].start, 0);
        QCOMPARE(matches[0].labelLength, size);
        QCOMPARE(buildDisplayText(oneLinkAtTheEnd).text, openers.mid(1) + "a");
        QCOMPARE(firstLinkURL(oneLinkAtTheEnd), QUrl("https://end.example"));

        // Many "]" each followed by a URL that never closes.
        const QString unclosed = QString("[a](http://x]").repeated(size / 13);
        QVERIFY(LinkPattern::findAll(unclosed).isEmpty());
        QCOMPARE(firstLinkURL(unclosed), QUrl("http://x"));

        const QString parentheses = QString("](https://").repeated(size / 10) + ")";
        QVERIFY(LinkPattern::findAll(parentheses).isEmpty());

        // Detector stress: runs of link beginnings, dots and closers.
        // "http://http" is a link with host "http"; the "://" after it is text.
        const QStringList schemes = detectedTexts(QString("http://").repeated(size / 7 / 2 * 2));
        QCOMPARE(schemes.size(), size / 7 / 2);
        QCOMPARE(schemes.count("http://http"), schemes.size());
        const QString hosts = QString("www.").repeated(size / 4);
        QCOMPARE(detectedTexts(hosts), QStringList {hosts.chopped(1)});
        const QString closers = "http://a.example/" + QString(size, u')');
        QCOMPARE(detectedTexts(closers), QStringList {"http://a.example/"});
        const QString deep = "http://a.example/" + QString(size, u'(') + QString(size, u')') + ".";
        QCOMPARE(LinkDetector::detect(deep).first().length, deep.size() - 1);
        QCOMPARE(buildDisplayText(QString(size, u'w')).links.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TaskLinksTest)
#include "TaskLinksTest.moc"
