#include "DesktopUrlOpener.h"
#include "ManualScheduler.h"
#include "QtPasteboard.h"
#include "SessionController.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
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

        // Only the web link reaches the desktop; the task with unsafe links opens nothing.
        session.openFirstLinkInSelectedItem();
        session.setSelection(SessionSelection::task(hostile));
        session.openFirstLinkInSelectedItem();
        QCOMPARE(m_sink.received, QList<QUrl> {QUrl("https://doc.example/p")});
    }
};

QTEST_MAIN(DesktopBackendsTest)
#include "DesktopBackendsTest.moc"
