#include "platform/ManualScheduler.h"
#include "platform/gui/DesktopUrlOpener.h"
#include "session/SessionController.h"

#include <QDesktopServices>
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

    void aSessionWiredToTheDesktopOpensOnlyWebLinks()
    {
        ManualScheduler scheduler;
        SessionController session(&scheduler);
        session.setUrlOpener(std::make_shared<DesktopUrlOpener>());
        session.loadDocument(VeskDocument {{VeskTask {"Plan [doc](https://doc.example/p)", std::nullopt}},
            {VeskTask {"[bad](javascript:alert(1)) file:///etc/passwd", std::nullopt}}, {}});
        for (const QUuid& id : {session.workingItemIDs().first(), session.inboxItemIDs().first()}) {
            session.setSelection(SessionSelection::task(id));
            session.openFirstLinkInSelectedItem();
        }
        QCOMPARE(m_sink.received, QList<QUrl> {QUrl("https://doc.example/p")});
    }
};

QTEST_MAIN(DesktopBackendsTest)
#include "DesktopBackendsTest.moc"
