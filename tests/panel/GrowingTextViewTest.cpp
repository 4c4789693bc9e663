#include "panel/GrowingTextView.h"
#include "platform/ManualScheduler.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

class GrowingTextViewTest : public QObject {
    Q_OBJECT

    struct Editor {
        ManualScheduler scheduler;
        QWidget window;
        GrowingTextView* view = new GrowingTextView(&window, &scheduler);
        QSignalSpy edits {view, &GrowingTextView::textEdited};
        int submits = 0;
        int cancels = 0;

        explicit Editor(const QString& text = QString())
        {
            view->setGeometry(0, 0, 300, 40);
            view->onSubmit = [this] { ++submits; };
            view->onCancel = [this] { ++cancels; };
            window.resize(320, 60);
            window.show();
            view->setFocus();
            view->setText(text);
        }
        void select(int from, int to)
        {
            QTextCursor cursor = view->textCursor();
            cursor.setPosition(from);
            cursor.setPosition(to, QTextCursor::KeepAnchor);
            view->setTextCursor(cursor);
        }
    };

private Q_SLOTS:
    void returnSubmitsShiftReturnBreaksTheLineEscapeCancels()
    {
        Editor e;
        QTest::keyClicks(e.view, "milk");
        QTest::keyClick(e.view, Qt::Key_Return);
        QTest::keyClick(e.view, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(e.view, "eggs");
        QCOMPARE(e.submits, 1);
        QCOMPARE(e.edits.last().first().toString(), QStringLiteral("milk\neggs"));
        QTest::keyClick(e.view, Qt::Key_Enter);
        QTest::keyClick(e.view, Qt::Key_Escape);
        QCOMPARE(e.submits, 2);
        QCOMPARE(e.cancels, 1);
        QCOMPARE(e.view->text(), QStringLiteral("milk\neggs"));
    }

    void hostUpdatesWithTheSameTextKeepTheCaret()
    {
        Editor e("buy bread");
        e.select(4, 9);
        e.view->setText("buy bread");
        QCOMPARE(e.view->textCursor().selectionStart(), 4);
        QCOMPARE(e.view->textCursor().selectionEnd(), 9);
        e.view->setText("buy rolls");
        QCOMPARE(e.view->text(), QStringLiteral("buy rolls"));
        QCOMPARE(e.edits.count(), 0); // host updates are not edits
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
        QVERIFY(oneLine >= QFontMetricsF(e.view->font()).height());
        e.view->updateMeasuredHeight(); // same text, same width
        e.scheduler.runDueJobs();
        QCOMPARE(heights.count(), 1);
        e.view->setText("one\ntwo\nthree");
        e.scheduler.runDueJobs();
        QCOMPARE(heights.count(), 2);
        QVERIFY(e.view->measuredHeight() > 2.5 * oneLine);
        // Nothing is reported before the editor has a width.
        e.view->resize(1, 30);
        e.view->setText("something");
        e.view->updateMeasuredHeight();
        e.scheduler.runDueJobs();
        QCOMPARE(heights.count(), 2);
    }

    // A URL pasted over a selection links it; anything else pastes as usual.
    void paste_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");
        QTest::newRow("link") << 5 << 13 << "  https://example.com/a?b=1 \n"
                              << "read [the docs](https://example.com/a?b=1) today";
        QTest::newRow("upper-case scheme, as pasted") << 5 << 13 << "HTTPS://EXAMPLE.COM"
                                                      << "read [the docs](HTTPS://EXAMPLE.COM) today";
        QTest::newRow("no selection") << 5 << 5 << "https://example.com"
                                      << "read https://example.comthe docs today";
        QTest::newRow("other scheme") << 5 << 13 << "ftp://example.com"
                                      << "read ftp://example.com today";
        QTest::newRow("inner blank") << 5 << 13 << "https://example.com two"
                                     << "read https://example.com two today";
        QTest::newRow("not a url") << 5 << 13 << "hello"
                                   << "read hello today";
    }
    void paste()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);
        Editor e("read the docs today");
        e.select(from, to);
        QApplication::clipboard()->setText(pasted);
        e.view->paste();
        QCOMPARE(e.view->text(), expected);
        QCOMPARE(e.edits.last().first().toString(), expected);
        QCOMPARE(e.view->textCursor().position(), int(expected.size()) - (19 - to)); // after the paste
        QVERIFY(!e.view->textCursor().hasSelection());
    }

    // A clipboard whose owner has quit offers data without formats; one with only other formats
    // has no text either. Every way of pasting leaves the text alone.
    void pastingWithoutTextChangesNothing_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("no format") << QString();
        QTest::newRow("an image only") << "image/png";
    }
    void pastingWithoutTextChangesNothing()
    {
        QFETCH(QString, format);
        Editor e("keep");
        auto* data = new QMimeData;
        if (!format.isEmpty())
            data->setData(format, QByteArray("\x89PNG"));
        QApplication::clipboard()->setMimeData(data);
        QVERIFY(!e.view->canPaste());
        e.view->paste();
        QVERIFY(QMetaObject::invokeMethod(e.view, "paste")); // as the key handler and the menus do
        QTest::keyClick(e.view, Qt::Key_V, Qt::ControlModifier);
        e.view->selectAll();
        e.view->paste();
        QCOMPARE(e.view->text(), QStringLiteral("keep"));
        QCOMPARE(e.edits.count(), 0);
    }

    void aReadOnlyEditorConsumesTheLinkPasteWithoutChanging()
    {
        Editor e("docs");
        e.view->setEditable(false);
        e.view->selectAll();
        QVERIFY(e.view->handleSmartPaste("https://example.com"));
        QTest::keyClicks(e.view, "x");
        QCOMPARE(e.view->text(), QStringLiteral("docs"));
    }

    // A shown editor takes the focus at once, so keys already waiting reach it; one not shown yet
    // takes it on the next turn, once shown.
    void focusIsTakenAtOnceOrOnceShown()
    {
        Editor e;
        auto* other = new QLineEdit(&e.window);
        other->show();
        QApplication::setActiveWindow(&e.window);
        other->setFocus();
        e.view->setFocused(true);
        QVERIFY(e.view->hasFocus());
        other->setFocus();
        e.view->setFocused(false);
        e.view->hide();
        e.view->setFocused(true);
        e.view->show();
        QVERIFY(!e.view->hasFocus());
        e.scheduler.runDueJobs();
        QVERIFY(e.view->hasFocus());
    }
};

QTEST_MAIN(GrowingTextViewTest)
#include "GrowingTextViewTest.moc"
