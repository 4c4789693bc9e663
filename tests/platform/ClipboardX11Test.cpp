#include "platform/gui/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <xcb/xcb.h>

#include <functional>

namespace {

// How many requests this process sent to the X server while work ran.
unsigned xRequestsDuring(const std::function<void()>& work)
{
    xcb_connection_t* connection
        = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const unsigned before = xcb_no_operation(connection).sequence;
    work();
    return xcb_no_operation(connection).sequence - before - 1;
}

} // namespace

// The clipboard as other X11 programs see it, through xclip.
class ClipboardX11Test : public QObject {
    Q_OBJECT

    const QString m_text = QStringView(u"Größe prüfen\n> not a note marker\n\tindented ✓").toString();

private slots:
    void otherProgramsReadWhatVeskCopies()
    {
        QtPasteboard pasteboard;
        pasteboard.writeString(m_text);
        // xclip asks this process for the text, so the event loop must run while it waits.
        QProcess xclip;
        QSignalSpy finished(&xclip, &QProcess::finished);
        xclip.start("xclip", {"-selection", "clipboard", "-out"});
        QVERIFY(finished.wait(10000));
        QCOMPARE(xclip.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(xclip.readAllStandardOutput()), m_text);
    }

    void veskReadsWhatOtherProgramsCopy()
    {
        QtPasteboard pasteboard;
        QSignalSpy changes(&pasteboard, &Pasteboard::changed);
        // In the foreground, xclip serves the clipboard until another program takes it.
        QProcess xclip;
        xclip.start("xclip", {"-selection", "clipboard", "-in", "-quiet"});
        QVERIFY(xclip.waitForStarted());
        xclip.write(m_text.toUtf8());
        xclip.closeWriteChannel();
        QTRY_COMPARE_WITH_TIMEOUT(pasteboard.readString(), m_text, 10000);
        // Another program's copy is announced, and so is Vesk's own.
        QVERIFY(changes.count() > 0 || changes.wait(10000));
        const qsizetype announced = changes.count();
        // Until the next change, the text once read costs no more requests, in later turns of the
        // event loop too.
        QCOMPARE(pasteboard.readString(), m_text);
        QCoreApplication::processEvents();
        QCOMPARE(xRequestsDuring([&] { QCOMPARE(pasteboard.readString(), m_text); }), 0u);

        pasteboard.writeString("mine");
        QCOMPARE(pasteboard.readString(), QString("mine"));
        QCOMPARE(changes.count(), announced + 1);
        xclip.kill();
        QVERIFY(xclip.waitForFinished());

        // Content without a plain-text form reads as no text.
        auto* rich = new QMimeData;
        rich->setHtml("<b>bold</b>");
        rich->setData("application/x-other", "bytes");
        QGuiApplication::clipboard()->setMimeData(rich);
        QCOMPARE(pasteboard.readString(), QString());
        QGuiApplication::clipboard()->clear();
        QCOMPARE(pasteboard.readString(), QString());
    }
};

QTEST_MAIN(ClipboardX11Test)
#include "ClipboardX11Test.moc"
