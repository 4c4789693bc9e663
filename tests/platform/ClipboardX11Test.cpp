#include "platform/gui/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

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
