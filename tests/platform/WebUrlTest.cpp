#include "platform/WebUrl.h"
#include "RecordingUrlOpener.h"

#include <QObject>
#include <QTest>

class WebUrlTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void webLinksAreAccepted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        const auto row = [](const char* name, const QString& text, const QString& encoded) {
            QTest::newRow(name) << text << encoded;
        };
        row("https", "https://example.com/a?b=c#d", "https://example.com/a?b=c#d");
        row("scheme in capitals", "HTTP://Example.COM/Path", "http://example.com/Path");
        row("port and user", "http://me@localhost:8080/", "http://me@localhost:8080/");
        row("international", QStringView(u"https://bücher.example/Köln").toString(),
            "https://xn--bcher-kva.example/K%C3%B6ln");
        row("encoded space", "https://example.com/a%20b", "https://example.com/a%20b");
    }

    void webLinksAreAccepted()
    {
        QFETCH(QString, text);
        QFETCH(QString, encoded);
        const std::optional<QUrl> url = webURLFromText(text);
        QVERIFY(url);
        QVERIFY(isSafeWebURL(*url));
        QCOMPARE(QString::fromLatin1(url->toEncoded()), encoded);
    }

    void everythingElseIsRejected_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("file") << "file:///etc/passwd";
        QTest::newRow("javascript") << "javascript:alert(1)";
        QTest::newRow("custom scheme") << "vesk-helper://run?cmd=rm";
        QTest::newRow("data") << "data:text/html,<script>x</script>";
        QTest::newRow("no host") << "http:///etc/passwd";
        QTest::newRow("scheme only") << "https:";
        QTest::newRow("bad port") << "http://example.com:99999/";
        QTest::newRow("space") << "http://example.com/a b";
        QTest::newRow("line feed") << "http://example.com/\nb";
        QTest::newRow("nul") << QString("http://example.com/") + QChar(0) + "b";
        QTest::newRow("delete") << "http://example.com/\x7f";
        QTest::newRow("C1 control") << QStringView(u"http://example.com/\u0085").toString();
        QTest::newRow("bidi override") << QStringView(u"http://example.com/\u202Egnp.exe").toString();
        QTest::newRow("no-break space") << QStringView(u"http://example.com/\u00A0").toString();
        QTest::newRow("encoded line break") << "http://example.com/a%0D%0ASet-Cookie:x";
        QTest::newRow("encoded escape in fragment") << "http://example.com/#%1B";
        QTest::newRow("encoded control in user") << "http://a%0Ab@example.com/";
    }

    void everythingElseIsRejected()
    {
        QFETCH(QString, text);
        QVERIFY(!webURLFromText(text));
        // Built directly, bypassing the text check, such a URL still fails the gate, unless the
        // only fault was raw whitespace or a format character, which the URL now holds encoded.
        const QUrl url(text, QUrl::TolerantMode);
        const bool encodedHarmlessly = QTest::currentDataTag() == QByteArray("space")
            || QTest::currentDataTag() == QByteArray("bidi override")
            || QTest::currentDataTag() == QByteArray("no-break space");
        QCOMPARE(isSafeWebURL(url), encodedHarmlessly);
        if (encodedHarmlessly)
            QVERIFY(url.toEncoded().contains('%'));
    }

    void theOpenerPassesOnlySafeWebURLs()
    {
        RecordingUrlOpener opener;
        for (const QUrl& url : {QUrl("file:///etc/passwd"), QUrl("javascript:alert(1)"),
                 QUrl::fromEncoded("http://example.com/%0Aevil"), QUrl()})
            QVERIFY2(!opener.openUrl(url), url.toEncoded().constData());
        QVERIFY(opener.opened.isEmpty());
        QVERIFY(opener.openUrl(QUrl("https://example.com/ok")));
        QCOMPARE(opener.opened, QList<QUrl> {QUrl("https://example.com/ok")});
    }
};

QTEST_GUILESS_MAIN(WebUrlTest)
#include "WebUrlTest.moc"
