#include "DesktopUrlOpener.h"
#include "ManualScheduler.h"
#include "QtPasteboard.h"
#include "SessionController.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMimeData>
#include <QObject>
#include <QTest>

// Receives the URLs QDesktopServices would otherwise hand to the desktop.
class UrlSink : public QObject {
    Q_OBJECT

public:
    QList<QUrl> received;

public slots:
    void handle(const QUrl& url) { received.append(url); }
};

class DesktopBackendsTest : public QObject {
    Q_OBJECT

    // Every scheme a task could name is caught here, so a URL slipping past the gate would be
    // recorded instead of launching a program.
    const QStringList m_schemes {
        "http", "https", "file", "javascript", "vesk-helper", "ftp", "mailto", "data"};
    UrlSink m_sink;

private slots:
    void initTestCase()
    {
        for (const QString& scheme : m_schemes)
            QDesktopServices::setUrlHandler(scheme, &m_sink, "handle");
    }

    void cleanupTestCase()
    {
        for (const QString& scheme : m_schemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void init() { m_sink.received.clear(); }

    void theOpenerHandsOnlyWebURLsToTheDesktop()
    {
        DesktopUrlOpener opener;
        for (const char* unsafe : {"file:///etc/passwd", "javascript:alert(1)", "vesk-helper://run",
                 "ftp://f.example/", "mailto:a@b.example", "data:text/html,x", "http:///nohost"})
            QVERIFY2(!opener.openUrl(QUrl(unsafe)), unsafe);
        QVERIFY(!opener.openUrl(QUrl::fromEncoded("https://a.example/%0D%0Ainjected")));
        QVERIFY(m_sink.received.isEmpty());

        QVERIFY(opener.openUrl(QUrl("https://a.example/path?q=1")));
        QCOMPARE(m_sink.received, QList<QUrl> {QUrl("https://a.example/path?q=1")});
    }

    void theClipboardCarriesPlainText()
    {
        QtPasteboard pasteboard;
        const QString text = QStringView(u"Tâsk one\nits note").toString();
        pasteboard.writeString(text);
        QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Clipboard), text);
        QCOMPARE(pasteboard.readString(), text);

        // Content without a plain-text form reads as no text.
        auto* rich = new QMimeData;
        rich->setHtml("<b>bold</b>");
        rich->setData("application/x-other", "bytes");
        QGuiApplication::clipboard()->setMimeData(rich, QClipboard::Clipboard);
        QCOMPARE(pasteboard.readString(), QString());
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        QCOMPARE(pasteboard.readString(), QString());
    }

    void aSessionWiredToTheDesktopCopiesPastesAndOpensLinks()
    {
        ManualScheduler scheduler;
        SessionController session(&scheduler);
        session.setPasteboard(std::make_shared<QtPasteboard>());
        session.setUrlOpener(std::make_shared<DesktopUrlOpener>());
        session.loadDocument(
            VeskDocument {{VeskTask {"Plan [doc](https://doc.example/p)", QString("details")}},
                {VeskTask {"[bad](javascript:alert(1)) file:///etc/passwd", std::nullopt}}, {}});
        const QUuid planned = session.workingItemIDs().first();
        const QUuid hostile = session.inboxItemIDs().first();

        session.setSelection(SessionSelection::task(planned));
        session.copySelectedItem();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("Plan [doc](https://doc.example/p)\ndetails"));
        QVERIFY(session.canPasteItem());
        session.pasteItem();
        QCOMPARE(session.workingItemIDs().size(), 2);
        const SessionItem pasted = session.itemsByID().value(session.workingItemIDs().at(1));
        QCOMPARE(pasted.title, QString("Plan [doc](https://doc.example/p)"));
        QCOMPARE(pasted.note, std::optional<QString>("details"));

        session.openFirstLinkInSelectedItem();
        session.setSelection(SessionSelection::task(hostile));
        session.openFirstLinkInSelectedItem();
        QCOMPARE(m_sink.received, QList<QUrl> {QUrl("https://doc.example/p")});
    }
};

QTEST_MAIN(DesktopBackendsTest)
#include "DesktopBackendsTest.moc"
