#include "GrowingTextView.h"
#include "ManualScheduler.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class GrowingTextViewTest : public QObject {
    Q_OBJECT

    struct Editor {
        ManualScheduler scheduler;
        QWidget window;
        GrowingTextView* view;
        int submits = 0;
        int cancels = 0;

        Editor()
        {
            view = new GrowingTextView(&window, &scheduler);
            view->setGeometry(0, 0, 300, 40);
            view->onSubmit = [this] { ++submits; };
            view->onCancel = [this] { ++cancels; };
            window.resize(320, 60);
            window.show();
            view->setFocus();
        }
    };

private Q_SLOTS:
    void returnSubmitsShiftReturnBreaksTheLineEscapeCancels()
    {
        Editor e;
        QSignalSpy edits(e.view, &GrowingTextView::textEdited);
        QTest::keyClicks(e.view, "milk");
        QTest::keyClick(e.view, Qt::Key_Return);
        QCOMPARE(e.submits, 1);
        QCOMPARE(e.view->text(), QStringLiteral("milk"));

        QTest::keyClick(e.view, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(e.view, "eggs");
        QCOMPARE(e.submits, 1);
        QCOMPARE(e.view->text(), QStringLiteral("milk\neggs"));
        QCOMPARE(edits.last().first().toString(), QStringLiteral("milk\neggs"));

        QTest::keyClick(e.view, Qt::Key_Enter);
        QCOMPARE(e.submits, 2);
        QTest::keyClick(e.view, Qt::Key_Escape);
        QCOMPARE(e.cancels, 1);
        QCOMPARE(e.view->text(), QStringLiteral("milk\neggs"));
    }

    void hostUpdatesWithTheSameTextKeepTheCaret()
    {
        Editor e;
        e.view->setText("buy bread");
        QSignalSpy edits(e.view, &GrowingTextView::textEdited);
        QTextCursor c = e.view->textCursor();
        c.setPosition(4);
        c.setPosition(9, QTextCursor::KeepAnchor);
        e.view->setTextCursor(c);
        e.view->setText("buy bread");
        QCOMPARE(e.view->textCursor().selectionStart(), 4);
        QCOMPARE(e.view->textCursor().selectionEnd(), 9);
        e.view->setText("buy rolls");
        QCOMPARE(e.view->text(), QStringLiteral("buy rolls"));
        QCOMPARE(edits.count(), 0); // host updates are not edits
    }

    void heightIsReportedOnTheNextTurnAndOnlyForRealChanges()
    {
        Editor e;
        QSignalSpy heights(e.view, &GrowingTextView::measuredHeightChanged);
        e.view->updateMeasuredHeight();
        QCOMPARE(heights.count(), 0); // not during the update
        e.scheduler.runDueJobs();
        QCOMPARE(heights.count(), 1);
        const double oneLine = e.view->measuredHeight();
        QCOMPARE(oneLine, std::max(QFontMetricsF(e.view->font()).height(), oneLine));
        QVERIFY(oneLine >= QFontMetricsF(e.view->font()).height());

        // Same text, same width: nothing new to report.
        e.view->updateMeasuredHeight();
        e.scheduler.runDueJobs();
        QCOMPARE(heights.count(), 1);

        e.view->setText("one\ntwo\nthree");
        e.scheduler.runDueJobs();
        QCOMPARE(heights.count(), 2);
        QVERIFY(e.view->measuredHeight() > 2.5 * oneLine);
    }

    void nothingIsReportedBeforeTheEditorHasAWidth()
    {
        ManualScheduler scheduler;
        GrowingTextView view(nullptr, &scheduler);
        QSignalSpy heights(&view, &GrowingTextView::measuredHeightChanged);
        view.resize(1, 30);
        view.setText("something");
        view.updateMeasuredHeight();
        scheduler.runDueJobs();
        QCOMPARE(heights.count(), 0);
    }

    void smartPasteLinksTheSelection()
    {
        Editor e;
        e.view->setText("read the docs today");
        QSignalSpy edits(e.view, &GrowingTextView::textEdited);
        QTextCursor c = e.view->textCursor();
        c.setPosition(5);
        c.setPosition(13, QTextCursor::KeepAnchor); // "the docs"
        e.view->setTextCursor(c);
        QApplication::clipboard()->setText("  https://example.com/a?b=1 \n");
        e.view->paste();
        const QString expected = "read [the docs](https://example.com/a?b=1) today";
        QCOMPARE(e.view->text(), expected);
        QCOMPARE(e.view->textCursor().position(), int(expected.indexOf(" today")));
        QCOMPARE(e.view->textCursor().hasSelection(), false);
        QCOMPARE(edits.last().first().toString(), expected);

        // Upper-case schemes count; the URL is inserted as pasted.
        e.view->setText("docs");
        e.view->selectAll();
        QApplication::clipboard()->setText("HTTPS://EXAMPLE.COM");
        e.view->paste();
        QCOMPARE(e.view->text(), QStringLiteral("[docs](HTTPS://EXAMPLE.COM)"));
    }

    void otherPastesAreOrdinary_data()
    {
        QTest::addColumn<bool>("select");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no selection") << false << "https://example.com"
                                      << "docshttps://example.com";
        QTest::newRow("other scheme") << true << "ftp://example.com"
                                      << "ftp://example.com";
        QTest::newRow("inner blank") << true << "https://example.com two"
                                     << "https://example.com two";
        QTest::newRow("not a url") << true << "hello"
                                   << "hello";
    }

    void otherPastesAreOrdinary()
    {
        QFETCH(bool, select);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);
        Editor e;
        e.view->setText("docs");
        if (select)
            e.view->selectAll();
        QApplication::clipboard()->setText(pasted);
        e.view->paste();
        QCOMPARE(e.view->text(), expected);
    }

    void aReadOnlyEditorConsumesTheLinkPasteWithoutChanging()
    {
        Editor e;
        e.view->setText("docs");
        e.view->setEditable(false);
        e.view->selectAll();
        QVERIFY(e.view->handleSmartPaste("https://example.com"));
        QCOMPARE(e.view->text(), QStringLiteral("docs"));
        QTest::keyClicks(e.view, "x");
        QCOMPARE(e.view->text(), QStringLiteral("docs"));
    }

    void focusIsRequestedOnTheNextTurn()
    {
        Editor e;
        auto* other = new QLineEdit(&e.window);
        other->setGeometry(0, 45, 100, 10);
        other->show();
        QApplication::setActiveWindow(&e.window);
        other->setFocus();
        e.view->setFocused(true);
        QVERIFY(!e.view->hasFocus());
        e.scheduler.runDueJobs();
        QVERIFY(e.view->hasFocus());
    }
};

QTEST_MAIN(GrowingTextViewTest)
#include "GrowingTextViewTest.moc"
