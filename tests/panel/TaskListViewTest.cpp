#include "panel/TaskListView.h"
#include "PanelFixture.h"
#include "document/DocumentFormat.h"
#include "panel/DocumentColorShades.h"
#include "panel/GrowingTextView.h"
#include "panel/PanelStyle.h"

#include <QHelpEvent>
#include <QToolTip>

namespace {

VeskDocument sampleDocument()
{
    return parseDocument("Write the report\n> Two pages\n> with a summary\nCall the plumber\n---\n"
                         "Read [the plan](https://example.com/plan) soon\n---\nBuy milk");
}

VeskDocument bigDocument(int count)
{
    VeskDocument document;
    for (int i = 0; i < count; ++i)
        document.inboxItems << VeskTask {QStringLiteral("Task number %1").arg(i), std::nullopt};
    document.completedItems << VeskTask {QStringLiteral("The last one"), std::nullopt};
    return document;
}

} // namespace

class TaskListViewTest : public QObject {
    Q_OBJECT

    struct Fixture : ListFixture {
        explicit Fixture(const VeskDocument& document = sampleDocument(), QSize size = QSize(490, 610))
            : ListFixture(document, size)
        { }
        QUuid id(TaskSection section, int index) const { return session.itemIDs(section).at(index); }
        QRectF rect(TaskSection section, int index) const
        {
            return view.rowRect(rowIDOf(session, id(section, index)));
        }
        QPoint centre(TaskSection section, int index) const
        {
            return rect(section, index).center().toPoint() - QPoint(0, int(view.scrollOffset()));
        }
        void click(TaskSection section, int index, Qt::MouseButton button = Qt::LeftButton)
        {
            QTest::mouseClick(view.viewport(), button, {}, centre(section, index));
        }
        void hover(QPoint point)
        {
            QMouseEvent move(QEvent::MouseMove, point, view.viewport()->mapToGlobal(point), Qt::NoButton,
                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(view.viewport(), &move);
        }
    };

private Q_SLOTS:
    // Points of the viewport map to the rows drawn there; the input row brings its editor.
    void rowsAreFoundWhereTheyAreDrawn()
    {
        Fixture f;
        QCOMPARE(
            f.view.rowIDAt(f.centre(TaskSection::inbox, 0)), rowIDOf(f.session, f.id(TaskSection::inbox, 0)));
        QCOMPARE(f.view.taskAt(f.centre(TaskSection::working, 1)), f.id(TaskSection::working, 1));
        f.session.beginCreatingNewItem();
        QVERIFY(f.view.inputEditor() && f.view.inputEditor()->isVisible());
        QCOMPARE(f.view.inputEditor()->geometry().top(),
            int(f.view.rowRect("input").top() + TaskRowLayout::rowPadding - f.view.scrollOffset()));
    }

    void tapSelectsAndDoubleClickEdits()
    {
        Fixture f;
        int resigned = 0;
        f.view.resignSearchFieldFocus = [&] { ++resigned; };
        const QUuid plumber = f.id(TaskSection::working, 1);
        f.click(TaskSection::working, 1);
        QCOMPARE(f.session.selection(), SessionSelection::task(plumber));
        QCOMPARE(resigned, 1);
        QVERIFY(!f.session.inlineEditState());

        QTest::mouseDClick(f.view.viewport(), Qt::LeftButton, {}, f.centre(TaskSection::working, 1));
        f.scheduler.runDueJobs();
        QCOMPARE(f.view.inlineEditor()->text(), QStringLiteral("Call the plumber"));
        QCOMPARE(f.view.panelFocus(), PanelFocus::edit(plumber));
        QCOMPARE(f.view.expandedSelectionTaskID(), plumber);

        // A click on another task while an editor is open cancels that editor.
        f.session.beginEditingItem(f.id(TaskSection::working, 0));
        f.click(TaskSection::completed, 0);
        QVERIFY(!f.session.inlineEditState());
        QCOMPARE(f.session.selection(), SessionSelection::task(f.id(TaskSection::completed, 0)));
    }

    void theSelectedRowExpandsAfterADelay()
    {
        Fixture f;
        const QUuid id = f.id(TaskSection::working, 0);
        const double collapsed = f.rect(TaskSection::working, 0).height();
        f.session.setSelection(SessionSelection::task(id));
        f.scheduler.advance(0.13);
        QCOMPARE(f.view.expandedSelectionTaskID(), std::nullopt);
        f.scheduler.advance(0.02);
        QCOMPARE(f.view.expandedSelectionTaskID(), id);
        QVERIFY(f.rect(TaskSection::working, 0).height() > collapsed + 10); // title and two note lines

        // The previous row collapses at once when the selection moves on.
        f.session.setSelection(SessionSelection::task(f.id(TaskSection::working, 1)));
        QCOMPARE(f.rect(TaskSection::working, 0).height(), collapsed);
        // A stale schedule does not expand a row that is no longer selected.
        f.session.setSelection(SessionSelection::task(id));
        f.session.setSelection(SessionSelection::none());
        f.scheduler.advance(1);
        QCOMPARE(f.view.expandedSelectionTaskID(), std::nullopt);
    }

    // However the expanded row loses the selection, it collapses, and selecting it again expands it
    // after the usual delay.
    void theExpansionFollowsTheSelection_data()
    {
        QTest::addColumn<QString>("way");
        for (const char* way : {"completed", "t", "Move to Pending", "filtered out"})
            QTest::newRow(way) << QString(way);
    }
    void theExpansionFollowsTheSelection()
    {
        QFETCH(QString, way);
        Fixture f;
        const QUuid report = f.id(TaskSection::working, 0);
        f.session.setSelection(SessionSelection::task(report));
        f.scheduler.advance(TaskListView::expansionDelay);
        if (way == "completed")
            f.session.toggleSelectedItemCompletion();
        else if (way == "t")
            f.session.toggleSelectedItemToday();
        else if (way == "Move to Pending")
            f.view.contextMenuItems(report).first().action();
        else
            f.session.setFilterQuery("milk");
        f.scheduler.advance(1);
        f.session.setFilterQuery("");
        QVERIFY(f.session.selection() != SessionSelection::task(report));
        // A row of the same section that was never expanded.
        const TaskSection section = *f.session.sectionOf(report);
        const double collapsed
            = f.rect(section, f.session.itemIDs(section).indexOf(report) == 0 ? 1 : 0).height();
        const auto height = [&] { return f.view.rowRect(rowIDOf(f.session, report)).height(); };
        QCOMPARE(height(), collapsed);
        f.session.setSelection(SessionSelection::task(report));
        QCOMPARE(height(), collapsed);
        f.scheduler.advance(TaskListView::expansionDelay);
        QVERIFY(height() > collapsed + 10);
    }

    // Each entry's title, "-" when disabled, "|" for a divider; with an empty and a full pasteboard.
    void contextMenusOfferTheMovesOfTheirSection_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<QString>("pasteboard");
        QTest::addColumn<QString>("items");
        const QString rest = ",|,Cut,Copy,Paste%1,|,Edit,Delete";
        QTest::newRow("working") << int(TaskSection::working) << ""
                                 << "Move to Pending,Move to Done,|,Open Link-" + rest.arg("-");
        QTest::newRow("inbox, a link") << int(TaskSection::inbox) << "x"
                                       << "Move to Next,Move to Done,|,Open Link" + rest.arg("");
        QTest::newRow("done") << int(TaskSection::completed) << "x"
                              << "Move to Next,Move to Pending,|,Open Link-" + rest.arg("");
    }
    void contextMenusOfferTheMovesOfTheirSection()
    {
        QFETCH(int, section);
        QFETCH(QString, pasteboard);
        QFETCH(QString, items);
        Fixture f;
        f.pasteboard->content = pasteboard;
        QStringList seen;
        for (const ContextMenuItem& item : f.view.contextMenuItems(f.id(TaskSection(section), 0)))
            seen << (item.isDivider() ? "|" : item.title + (item.enabled ? "" : "-"));
        QCOMPARE(seen.join(','), items);

        // Actions run on the row under the pointer and give the selection back.
        const QUuid selected = f.id(TaskSection::working, 1);
        f.session.setSelection(SessionSelection::task(selected));
        const QUuid target = f.id(TaskSection(section), 0);
        const QList<ContextMenuItem> menu = f.view.contextMenuItems(target);
        for (const ContextMenuItem& item : menu)
            if (item.title == "Copy")
                item.action();
        menu.first().action(); // the first move
        QCOMPARE(f.session.selection(), SessionSelection::task(selected));
        f.scheduler.advance(2);
        QVERIFY(f.pasteboard->content.startsWith(f.session.itemsByID().value(target).title));
        QCOMPARE(f.session.sectionOf(target),
            TaskSection(section) == TaskSection::working ? TaskSection::inbox : TaskSection::working);
        for (const ContextMenuItem& item : f.view.contextMenuItems(target))
            if (item.title == "Edit")
                item.action();
        QCOMPARE(f.session.inlineEditState()->itemID, target);
    }

    void aRightClickOutlinesAnUnselectedRowUntilTheSelectionChanges()
    {
        Fixture f;
        f.session.setSelection(SessionSelection::task(f.id(TaskSection::working, 0)));
        QTest::mousePress(f.view.viewport(), Qt::RightButton, {}, f.centre(TaskSection::working, 0));
        QCOMPARE(f.view.contextMenuTargetItemID(), std::nullopt);
        QTest::mousePress(f.view.viewport(), Qt::RightButton, {}, f.centre(TaskSection::inbox, 0));
        QCOMPARE(f.view.contextMenuTargetItemID(), f.id(TaskSection::inbox, 0));
        f.session.setSelection(SessionSelection::task(f.id(TaskSection::working, 1)));
        QCOMPARE(f.view.contextMenuTargetItemID(), std::nullopt);
    }

    void theSelectionIsRevealedWithRoomBelow()
    {
        Fixture f(bigDocument(200), QSize(400, 300));
        // Moves onto the row from its neighbour, as the arrow keys do.
        const auto select = [&](TaskSection section, int index, int from) {
            f.session.setSelection(SessionSelection::task(f.session.itemIDs(TaskSection::inbox).at(from)));
            f.session.moveSelection(section == TaskSection::inbox && index < from ? -1 : 1);
            f.scheduler.runDueJobs();
            f.scheduler.advance(index == 30 ? 0 : 0.5);
            return f.view.scrollOffset();
        };
        const double height = f.view.viewport()->height();
        QCOMPARE(select(TaskSection::inbox, 30, 29),
            std::round(f.rect(TaskSection::inbox, 30).bottom() + 16 - height));
        const double before = f.view.scrollOffset();
        QCOMPARE(select(TaskSection::inbox, 28, 29), before); // already in view
        // Going up reveals the row's top; the last row never scrolls past the content.
        QCOMPARE(select(TaskSection::inbox, 0, 1), std::round(f.rect(TaskSection::inbox, 0).top()));
        QCOMPARE(select(TaskSection::completed, 0, 199), std::ceil(f.view.layout().contentHeight()) - height);

        // A click is not a reveal: a half-visible row is selected where it is.
        const QRectF row = f.rect(TaskSection::inbox, 190);
        f.view.setScrollOffset(row.center().y() - height);
        const double offset = f.view.scrollOffset();
        QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, QPoint(100, int(row.top() - offset) + 4));
        f.scheduler.advance(0.5);
        QCOMPARE(f.session.selection(), SessionSelection::task(f.id(TaskSection::inbox, 190)));
        QCOMPARE(f.view.scrollOffset(), offset);
    }

    void anExpandedRowFollowsTheWidth()
    {
        Fixture f(parseDocument("A title long enough to wrap onto more lines as the panel narrows and onto "
                                "fewer lines as it widens again, which is what this row is here to show\n"
                                "> With a note\nShort\n---\n---\n"));
        const QUuid id = f.id(TaskSection::working, 0);
        const auto height = [&] { return f.rect(TaskSection::working, 0).height(); };
        f.session.setSelection(SessionSelection::task(id));
        f.scheduler.advance(TaskListView::expansionDelay);
        QList<double> heights;
        for (int width : {260, 700, 490}) {
            f.view.resize(width, 610);
            heights << height();
            // The height a fresh expansion gets at this width.
            f.session.setSelection(SessionSelection::task(f.id(TaskSection::working, 1)));
            f.session.setSelection(SessionSelection::task(id));
            f.scheduler.advance(TaskListView::expansionDelay);
            QCOMPARE(heights.last(), height());
        }
        QVERIFY(heights[0] > heights[2] && heights[2] > heights[1]);
    }

    void onlyVisibleRowsArePainted()
    {
        Fixture f(bigDocument(10000), QSize(490, 610));
        QVERIFY(f.view.layout().contentHeight() > 10000 * 40);
        for (double offset : {0, 200000}) {
            f.view.setScrollOffset(offset);
            f.view.viewport()->grab();
            QVERIFY(f.view.lastPaintedRowCount() > 5 && f.view.lastPaintedRowCount() < 20);
        }
        QVERIFY(f.view.rowIDAt(QPoint(100, 300)).startsWith("task-inbox-"));
    }

    void theInputRowTakesTypingOnlyWhileEditable()
    {
        Fixture f;
        f.session.beginCreatingNewItem();
        f.scheduler.runDueJobs();
        GrowingTextView* editor = f.view.inputEditor();
        editor->setFocus();
        QTest::keyClicks(editor, "New thing");
        f.view.setInputEditable(false);
        QTest::keyClicks(editor, "!");
        QCOMPARE(f.session.inputDraft(), QStringLiteral("New thing"));
        f.view.setInputEditable(true);
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(titlesOf(f.session, TaskSection::inbox).first(), QStringLiteral("New thing"));
    }

    // A selected row's text, and the insertion point of an editor on a coloured row (drawn in the row's
    // text colour), stand out from the row's fill as painted, in light, dark and high-contrast
    // appearance and for every document colour.
    void theSelectionAndInsertionPointStandOutOnTheirRow_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<DocumentColor>("color");
        QTest::addColumn<QString>("row");
        QPalette highContrast(Qt::black);
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            highContrast.setColor(role, Qt::white);
        const QList<std::pair<const char*, QPalette>> palettes = {{"light", QPalette(QColor(239, 239, 239))},
            {"dark", QPalette(QColor(40, 40, 44))}, {"contrast", highContrast}};
        for (const auto& [name, palette] : palettes) {
            for (DocumentColor color : documentColorPalette) {
                for (const char* row : {"edit", "input", "selected"})
                    QTest::addRow("%s %d %s", name, int(color), row) << palette << color << QString(row);
            }
        }
    }
    void theSelectionAndInsertionPointStandOutOnTheirRow()
    {
        QFETCH(QPalette, palette);
        QFETCH(DocumentColor, color);
        QFETCH(QString, row);
        Fixture f;
        f.view.setPalette(palette);
        f.view.setDocumentColor(DocumentColorShades::color(color, PanelStyle::isDark(palette)));
        QApplication::setActiveWindow(&f.view);
        f.session.setSelection(SessionSelection::task(f.id(TaskSection::working, 0)));
        if (row == "edit")
            f.session.beginEditingSelectedItem();
        else if (row == "input")
            f.session.beginCreatingNewItem();
        f.scheduler.runDueJobs();
        const QRectF rect = row == "input" ? f.view.rowRect("input") : f.rect(TaskSection::working, 0);
        const QImage image = f.view.grab().toImage();
        const QColor fillPixel
            = image.pixelColor(QPoint(int(rect.center().x()), int(rect.top() + 4 - f.view.scrollOffset())));
        if (row == "selected") {
            // The most contrasting pixel of the title is a fully covered one, in the text colour.
            double contrast = 0;
            const QRect text = rect.translated(0, -f.view.scrollOffset()).toRect().adjusted(40, 2, -8, -2);
            for (int y = text.top(); y <= text.bottom(); ++y) {
                for (int x = text.left(); x <= text.right(); ++x)
                    contrast
                        = std::max(contrast, PanelStyle::contrastRatio(image.pixelColor(x, y), fillPixel));
            }
            QVERIFY2(contrast >= 4.5, qPrintable(QString::number(contrast)));
            return;
        }
        GrowingTextView* editor = row == "edit" ? f.view.inlineEditor() : f.view.inputEditor();
        editor->setFocus();
        QVERIFY(editor->hasFocus());
        const QImage edited = f.view.grab().toImage();
        const QRect caret = editor->cursorRect();
        const QColor caretPixel
            = edited.pixelColor(editor->viewport()->mapTo(&f.view, QPoint(caret.left(), caret.center().y())));
        QCOMPARE(caretPixel.rgb(), editor->textColor().rgb());
        const QColor editedFill
            = edited.pixelColor(QPoint(int(rect.center().x()), int(rect.top() + 4 - f.view.scrollOffset())));
        QVERIFY2(PanelStyle::contrastRatio(caretPixel, editedFill) >= 4.5,
            qPrintable(QString::number(PanelStyle::contrastRatio(caretPixel, editedFill))));
    }

    void linksShowTheirURLAndAPointingHand()
    {
        Fixture f;
        auto urls = std::make_shared<RecordingUrlOpener>();
        f.session.setUrlOpener(urls);
        f.view.viewport()->grab(); // a shown row with a link asks for its link areas
        f.scheduler.advance(TaskTextLayoutCache::linkRegionsDelay);
        const QRectF row = f.rect(TaskSection::inbox, 0);
        // Probe along the row's text line for the label "the plan".
        QString tip;
        QPoint point;
        for (int x = int(row.left()) + 30; x < int(row.right()) && tip.isEmpty(); x += 3) {
            point = QPoint(x, int(row.top() + TaskRowLayout::rowPadding + 6 - f.view.scrollOffset()));
            f.hover(point);
            if (f.view.viewport()->cursor().shape() == Qt::PointingHandCursor) {
                QHelpEvent help(QEvent::ToolTip, point, f.view.viewport()->mapToGlobal(point));
                QApplication::sendEvent(f.view.viewport(), &help);
                tip = QToolTip::text();
            }
        }
        QCOMPARE(tip, QStringLiteral("https://example.com/plan\nCtrl+click to open"));
        // A click selects the row; Ctrl+click opens the link and leaves the selection alone.
        QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, point);
        QCOMPARE(f.session.selection(), SessionSelection::task(f.id(TaskSection::inbox, 0)));
        QVERIFY(urls->opened.isEmpty());
        f.session.setSelection(SessionSelection::task(f.id(TaskSection::working, 0)));
        QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::ControlModifier, point);
        QTest::mouseDClick(f.view.viewport(), Qt::LeftButton, Qt::ControlModifier, point);
        QCOMPARE(urls->opened, QList<QUrl> {QUrl("https://example.com/plan")});
        QCOMPARE(f.session.selection(), SessionSelection::task(f.id(TaskSection::working, 0)));
        QVERIFY(!f.session.inlineEditState());
        f.hover(QPoint(int(row.left()) + 35, f.centre(TaskSection::working, 1).y()));
        QCOMPARE(f.view.viewport()->cursor().shape(), Qt::ArrowCursor);
    }
};

QTEST_MAIN(TaskListViewTest)
#include "TaskListViewTest.moc"
