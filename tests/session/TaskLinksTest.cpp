#include "TaskLinks.h"
#include "LinkDetector.h"
#include "LinkPattern.h"
#include "TaskDisplayText.h"

#include <QObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

namespace {

QString linkedText(const TaskDisplayText& display, int index)
{
    const LinkRange& link = display.links.at(index);
    return display.text.mid(link.start, link.length);
}

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
    void markupLinkShowsItsLabelLinkedToItsURL()
    {
        const TaskDisplayText display = buildDisplayText(u"[the plan](https://example.com/plan?x=1)");
        QCOMPARE(display.text, QStringLiteral("the plan"));
        QCOMPARE(display.links.size(), 1);
        QCOMPARE(display.links[0].start, 0);
        QCOMPARE(display.links[0].length, 8);
        QCOMPARE(display.links[0].url, QUrl("https://example.com/plan?x=1"));
    }

    void textAroundAndBetweenMarkupLinksIsKept()
    {
        const TaskDisplayText display
            = buildDisplayText(u"Read [one](http://a.example/1) and [two](https://b.example/2) today");
        QCOMPARE(display.text, QStringLiteral("Read one and two today"));
        QCOMPARE(display.links.size(), 2);
        QCOMPARE(linkedText(display, 0), QStringLiteral("one"));
        QCOMPARE(display.links[0].url, QUrl("http://a.example/1"));
        QCOMPARE(linkedText(display, 1), QStringLiteral("two"));
        QCOMPARE(display.links[1].url, QUrl("https://b.example/2"));
    }

    void markupEndsAtTheFirstClosingBracketOrParenthesis()
    {
        // The URL stops at the first ")" (the rest stays text); a label stops at the first "]", so
        // "[a]b](...)" is no link at its first "[".
        TaskDisplayText display = buildDisplayText(u"[wiki](https://w.example/Foo_(bar)) end");
        QCOMPARE(display.text, QStringLiteral("wiki) end"));
        QCOMPARE(display.links[0].url, QUrl("https://w.example/Foo_(bar"));

        display = buildDisplayText(u"[a]b](http://x.example)");
        QCOMPARE(display.text, QStringLiteral("[a]b](http://x.example)"));
        QCOMPARE(detectedTexts(display.text), QStringList {"http://x.example"});
        QCOMPARE(display.links.size(), 1);

        // Whitespace inside the parentheses breaks the markup.
        display = buildDisplayText(u"[a](http://x.example/a b)");
        QCOMPARE(display.text, QStringLiteral("[a](http://x.example/a b)"));
    }

    void otherSchemesInMarkupStayAsTyped()
    {
        for (const QString title : {"[click](javascript:alert(1))", "[f](file:///etc/passwd)",
                 "[m](mailto:a@b.example)", "[s](ftp://host.example/x)"}) {
            const TaskDisplayText display = buildDisplayText(title);
            QCOMPARE(display.text, title);
            QVERIFY2(display.links.isEmpty(), qPrintable(title));
            QVERIFY2(!firstLinkURL(title), qPrintable(title));
        }
        // The markup scheme is case-sensitive, the detector's is not; and a bare http URL inside
        // brackets of another form is still found by the detector.
        for (const QString title : {"[x](HTTP://in.example)", "[x](see http://in.example)"}) {
            const TaskDisplayText display = buildDisplayText(title);
            QCOMPARE(display.text, title);
            QCOMPARE(display.links.size(), 1);
            QCOMPARE(linkedText(display, 0).toLower(), QStringLiteral("http://in.example"));
            QCOMPARE(firstLinkURL(title), QUrl("http://in.example"));
        }
    }

    void markupWithAnUnusableURLHidesTheMarkupWithoutALink()
    {
        // The pattern matches, but the URL has no host or carries a control character.
        const QList<std::pair<QString, std::optional<QUrl>>> cases {
            {"[a](http:///nohost)", std::nullopt},
            {"[a](https://x.example/%0D%0Aevil)", std::nullopt},
            // The detector stops at the forbidden character; what comes before it is a fine link.
            {"[a](https://x.example/\x01z)", QUrl("https://x.example/")},
            {QStringView(u"[a](https://x.example/\u202Etxt.exe)").toString(), QUrl("https://x.example/")},
        };
        for (const auto& [title, first] : cases) {
            const TaskDisplayText display = buildDisplayText(title);
            QCOMPARE(display.text, QStringLiteral("a"));
            QVERIFY2(display.links.isEmpty(), qPrintable(title));
            QCOMPARE(firstLinkURL(title), first);
        }
    }

    void bareLinksAreShownAsTypedAndLinked()
    {
        const QString title = "Call re: https://ex.example/a_(b)?q=1#top, then www.docs.example.";
        const TaskDisplayText display = buildDisplayText(title);
        QCOMPARE(display.text, title);
        QCOMPARE(display.links.size(), 2);
        QCOMPARE(linkedText(display, 0), QStringLiteral("https://ex.example/a_(b)?q=1#top"));
        QCOMPARE(display.links[0].url, QUrl("https://ex.example/a_(b)?q=1#top"));
        QCOMPARE(linkedText(display, 1), QStringLiteral("www.docs.example"));
        QCOMPARE(display.links[1].url, QUrl("http://www.docs.example"));
    }

    void aURLInsideALabelIsNotDetectedSeparately()
    {
        const TaskDisplayText display = buildDisplayText(u"x [see https://a.example](https://b.example) y");
        QCOMPARE(display.text, QStringLiteral("x see https://a.example y"));
        QCOMPARE(display.links.size(), 1);
        QCOMPARE(display.links[0].start, 2);
        QCOMPARE(display.links[0].url, QUrl("https://b.example"));
    }

    void rangesAreInUTF16UnitsOfTheDisplayText()
    {
        // An astral character before the links counts two units.
        const TaskDisplayText display = buildDisplayText(u"\U0001F600 [é](https://a.example) www.b.example");
        QCOMPARE(display.text, QStringView(u"\U0001F600 é www.b.example").toString());
        QCOMPARE(display.links.size(), 2);
        QCOMPARE(linkedText(display, 0), QStringLiteral("é"));
        QCOMPARE(linkedText(display, 1), QStringLiteral("www.b.example"));
    }

    void detectorFindsWebLinksOnly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("urls");
        QTest::newRow("schemes any case") << "HTTPS://A.example/X and http://b.example"
                                          << QStringList {"HTTPS://A.example/X", "http://b.example"}
                                          << QStringList {"https://a.example/X", "http://b.example"};
        QTest::newRow("www opens as http")
            << "go to WWW.Example.org/path?a=b!" << QStringList {"WWW.Example.org/path?a=b"}
            << QStringList {"http://www.example.org/path?a=b"};
        QTest::newRow("port and fragment")
            << "(http://localhost:8080/x#y)" << QStringList {"http://localhost:8080/x#y"}
            << QStringList {"http://localhost:8080/x#y"};
        QTest::newRow("angle brackets and quotes") << "<https://a.example/p> \"http://b.example\""
                                                   << QStringList {"https://a.example/p", "http://b.example"}
                                                   << QStringList {"https://a.example/p", "http://b.example"};
        QTest::newRow("trailing punctuation") << "see http://a.example/x.; www.b.example/y)"
                                              << QStringList {"http://a.example/x", "www.b.example/y"}
                                              << QStringList {"http://a.example/x", "http://www.b.example/y"};
        const QString international = QStringView(u"http://bücher.example/Köln").toString();
        QTest::newRow("international")
            << international << QStringList {international} << QStringList {international};
        QTest::newRow("not at word start")
            << "xhttp://a.example a.www.b.example me@www.c.example" << QStringList {} << QStringList {};
        QTest::newRow("www without a domain")
            << "www.example www. www..a.example" << QStringList {} << QStringList {};
        QTest::newRow("other schemes")
            << "file:///etc/passwd javascript:alert(1) mailto:a@b.example ftp://f.example" << QStringList {}
            << QStringList {};
        QTest::newRow("no host") << "http:// https:///x http://.example" << QStringList {} << QStringList {};
        QTest::newRow("control character ends a link")
            << QString("http://a.example/x\x01y") << QStringList {"http://a.example/x"}
            << QStringList {"http://a.example/x"};
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

    void aRejectedURLIsNotSplitIntoTheLinksWrittenInsideIt()
    {
        // The whole run is one URL with an encoded line break; the URL in its path is part of it.
        QCOMPARE(detectedTexts("http://a.example/%0A/http://b.example/ ok www.c.example"),
            QStringList {"www.c.example"});
    }

    void firstLinkIsTheEarliest()
    {
        QCOMPARE(
            firstLinkURL(u"[m](https://m.example) then https://bare.example"), QUrl("https://m.example"));
        QCOMPARE(
            firstLinkURL(u"https://bare.example then [m](https://m.example)"), QUrl("https://bare.example"));
        QCOMPARE(firstLinkURL(u"see www.w.example or [m](https://m.example)"), QUrl("http://www.w.example"));
        // A markup link's URL starts after its "[" and so never beats it.
        QCOMPARE(
            firstLinkURL(u"[https://label.example](https://target.example)"), QUrl("https://target.example"));
        // Only the first markup link is considered; a later bare link still counts.
        QCOMPARE(firstLinkURL(u"[a](http:///bad) [b](https://b.example)"), QUrl("https://b.example"));
        QCOMPARE(firstLinkURL(u"Title\nnote with https://note.example"), QUrl("https://note.example"));
        QVERIFY(!firstLinkURL(u"no links [here] (either)"));
        QVERIFY(!firstLinkURL(u""));
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
