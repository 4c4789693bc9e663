#include "DocumentFormat.h"

#include <QTest>

namespace {

VeskTask task(const QString& title, std::optional<QString> note = std::nullopt)
{
    return VeskTask {title, std::move(note)};
}

const QString kWorkedExample = QStringLiteral("Write report\n"
                                              "> Outline first\n"
                                              "> then draft\n"
                                              "Pay rent\n"
                                              "---\n"
                                              "Buy stamps\n"
                                              "---\n"
                                              "Book flights");

VeskDocument workedExampleDocument()
{
    VeskDocument document;
    document.workingItems
        = {task("Write report", QStringLiteral("Outline first\nthen draft")), task("Pay rent")};
    document.inboxItems = {task("Buy stamps")};
    document.completedItems = {task("Book flights")};
    return document;
}

} // namespace

class DocumentFormatTest : public QObject {
    Q_OBJECT

private slots:
    void splitsAtEveryKindOfFileLineEnding_data();
    void splitsAtEveryKindOfFileLineEnding();
    void recognisesTaskFilesByTwoExactSeparators_data();
    void recognisesTaskFilesByTwoExactSeparators();
    void readsNoteLineContent_data();
    void readsNoteLineContent();

    void workedExampleIsWrittenAsEightLines();
    void workedExampleVariantsReadAsTheSameDocument_data();
    void workedExampleVariantsReadAsTheSameDocument();

    void separatorsDivideSectionsOnlyTwice();
    void sectionLinesFollowTheirReadingRules();
    void parseSectionAcceptsStringsAndViews();
    void notesKeepInnerEmptyLinesAndExtraSpaces();
    void emptyAndLineBreakOnlyNotesWriteNothing();
    void emptyDocumentIsFiveLinesWhenWritten();
    void importTakesTrimmedNonEmptyLinesIntoTheInbox();
    void equalityIsCanonicalEquivalence();
};

void DocumentFormatTest::splitsAtEveryKindOfFileLineEnding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty") << QString() << QStringList {""};
    QTest::newRow("final line feed") << QStringLiteral("a\n") << QStringList {"a", ""};
    QTest::newRow("mixed") << QStringLiteral("a\r\nb\rc\nd") << QStringList {"a", "b", "c", "d"};
    QTest::newRow("LF then CR is two breaks") << QStringLiteral("\n\r") << QStringList {"", "", ""};
    QTest::newRow("CR CR LF") << QStringLiteral("x\r\r\ny") << QStringList {"x", "", "y"};
    QTest::newRow("other breaks stay inside lines") << QStringLiteral(
        "a\u2028b\u2029c\u0085d\ve\ff") << QStringList {QStringLiteral("a\u2028b\u2029c\u0085d\ve\ff")};
}

void DocumentFormatTest::splitsAtEveryKindOfFileLineEnding()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(splitLines(text), lines);
}

void DocumentFormatTest::recognisesTaskFilesByTwoExactSeparators_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isTaskFile");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("one separator") << QStringLiteral("a\n---\nb") << false;
    QTest::newRow("two separators") << QStringLiteral("---\n---") << true;
    QTest::newRow("CRLF separators") << QStringLiteral("a\r\n---\r\nb\r\n---\r\n") << true;
    QTest::newRow("trailing space") << QStringLiteral("--- \n--- ") << false;
    QTest::newRow("leading tab") << QStringLiteral("\t---\n---") << false;
    QTest::newRow("four hyphens") << QStringLiteral("----\n---") << false;
    QTest::newRow("plain text") << QStringLiteral("milk\neggs\n") << false;
}

void DocumentFormatTest::recognisesTaskFilesByTwoExactSeparators()
{
    QFETCH(QString, text);
    QFETCH(bool, isTaskFile);
    QCOMPARE(isVeskDocument(text), isTaskFile);
}

void DocumentFormatTest::readsNoteLineContent_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<std::optional<QString>>("content");
    QTest::newRow("prefix") << QStringLiteral("> x") << std::optional<QString>("x");
    QTest::newRow("no space") << QStringLiteral(">x") << std::optional<QString>("x");
    QTest::newRow("one space removed") << QStringLiteral(">   x ") << std::optional<QString>("  x ");
    QTest::newRow("blanks before") << QStringLiteral(" \t > x") << std::optional<QString>("x");
    QTest::newRow("bare") << QStringLiteral(">") << std::optional<QString>("");
    QTest::newRow("bare with space") << QStringLiteral("> ") << std::optional<QString>("");
    QTest::newRow("no-break space before") << QStringLiteral("\u00A0> x") << std::optional<QString>();
    QTest::newRow("empty") << QString() << std::optional<QString>();
    QTest::newRow("blanks only") << QStringLiteral("  \t") << std::optional<QString>();
    QTest::newRow("not first") << QStringLiteral("a > b") << std::optional<QString>();
}

void DocumentFormatTest::readsNoteLineContent()
{
    QFETCH(QString, line);
    QFETCH(std::optional<QString>, content);
    QCOMPARE(noteLineContent(line), content);
}

void DocumentFormatTest::workedExampleIsWrittenAsEightLines()
{
    const QString text = serializeDocument(workedExampleDocument());
    QCOMPARE(text, kWorkedExample);
    QCOMPARE(splitLines(text).size(), 8);
    QVERIFY(isVeskDocument(text));
    QCOMPARE(parseDocument(text), workedExampleDocument());
}

void DocumentFormatTest::workedExampleVariantsReadAsTheSameDocument_data()
{
    QTest::addColumn<QString>("text");
    const QStringList lines = kWorkedExample.split(u'\n');
    QTest::newRow("as written") << kWorkedExample;
    QTest::newRow("CRLF") << lines.join("\r\n");
    QTest::newRow("CRLF with final CRLF") << lines.join("\r\n") + "\r\n";
    QTest::newRow("lone CR") << lines.join("\r");
    // A blank line before, between and after all eight lines, in every blank form.
    QTest::newRow("blank lines") << "\n" + lines.join("\n\n") + "\n\n";
    QTest::newRow("blank-only lines") << " \t\n" + lines.join("\n  \n\t\n") + "\n \u00A0\u3000\n";
    QTest::newRow("blanks before titles and notes")
        << QStringLiteral("  Write report\n\t> Outline first\n \t> then draft\n\tPay rent\n---\n   Buy "
                          "stamps\n---\n\tBook flights");
    QTest::newRow("whitespace after titles") << QStringLiteral(
        "Write report \t\n> Outline first\n> then draft\nPay rent\u00A0\n---\nBuy stamps\u3000\n---\nBook "
        "flights  ");
    QTest::newRow("notes without space") << QStringLiteral(
        "Write report\n>Outline first\n>then draft\nPay rent\n---\nBuy stamps\n---\nBook flights");
    QTest::newRow("third separator") << kWorkedExample + "\n---";
    QTest::newRow("third separator and more") << kWorkedExample + "\n---\n\n---\n";
    QTest::newRow("stray separators with blanks")
        << QStringLiteral("Write report\n --- \n> Outline first\n> then draft\nPay rent\n---\nBuy "
                          "stamps\n---\t\n---\nBook flights");
    QTest::newRow("all at once") << QStringLiteral(
        "\r\n  Write report\r\n\r\n\t>Outline first\r\n  > then "
        "draft\r\n\r\nPay rent \r\n---\r\n\r\n Buy stamps\r\n---\r\nBook "
        "flights\r\n---\r\n");
}

void DocumentFormatTest::workedExampleVariantsReadAsTheSameDocument()
{
    QFETCH(QString, text);
    QVERIFY(isVeskDocument(text));
    const VeskDocument document = parseDocument(text);
    QCOMPARE(document, workedExampleDocument());
    QCOMPARE(serializeDocument(document), kWorkedExample);
}

void DocumentFormatTest::separatorsDivideSectionsOnlyTwice()
{
    QCOMPARE(parseDocument(QStringLiteral("a\nb")), VeskDocument::empty());
    QCOMPARE(parseDocument(QString()), VeskDocument::empty());

    VeskDocument expected;
    expected.inboxItems = {task("a"), task("b")};
    QCOMPARE(parseDocument(QStringLiteral("---\na\nb")), expected);

    // First line a separator: empty working list; ending with the second separator: empty
    // completed list.
    const VeskDocument document = parseDocument(QStringLiteral("---\na\n---\n"));
    QVERIFY(document.workingItems.isEmpty());
    QCOMPARE(document.inboxItems, QList<VeskTask> {task("a")});
    QVERIFY(document.completedItems.isEmpty());

    // Later separators are stray lines of the completed section, and never end a task there.
    const VeskDocument third = parseDocument(QStringLiteral("w\n---\ni\n---\nc\n> n1\n---\n> n2\n---\nd"));
    QCOMPARE(third.completedItems, (QList<VeskTask> {task("c", QStringLiteral("n1\nn2")), task("d")}));
    // A separator with blanks around it does not divide sections.
    const VeskDocument padded = parseDocument(QStringLiteral("a\n --- \nb\n---\nc\n---\nd"));
    QCOMPARE(padded.workingItems, (QList<VeskTask> {task("a"), task("b")}));
    QCOMPARE(padded.inboxItems, QList<VeskTask> {task("c")});
    QCOMPARE(padded.completedItems, QList<VeskTask> {task("d")});
    // A task never continues across a separator: a note line right after one is an orphan.
    const VeskDocument orphan = parseDocument(QStringLiteral("a\n---\n> n\n---\n"));
    QCOMPARE(orphan.workingItems, QList<VeskTask> {task("a")});
    QCOMPARE(orphan.inboxItems, QList<VeskTask> {task("> n")});
}

void DocumentFormatTest::sectionLinesFollowTheirReadingRules()
{
    const QStringList lines {"", ">  first orphan ", "  Title one  ", "", "> a", "   ", "\t>b", " --- ",
        "> c", "\u00A0> not a note", "x\u2028y"};
    const QList<VeskTask> expected {task(">  first orphan"), task("Title one", QStringLiteral("a\nb\nc")),
        task("> not a note"), task(QStringLiteral("x\u2028y"))};
    QCOMPARE(parseSection(lines), expected);
}

void DocumentFormatTest::parseSectionAcceptsStringsAndViews()
{
    const QStringList lines {"a", "> n", "b"};
    QList<QStringView> views;
    for (const QString& line : lines)
        views.append(line);
    QCOMPARE(parseSection(views), parseSection(lines));
    QCOMPARE(parseSection(lines).size(), 2);
    QVERIFY(parseSection(QStringList {}).isEmpty());
}

void DocumentFormatTest::notesKeepInnerEmptyLinesAndExtraSpaces()
{
    VeskDocument document;
    document.workingItems
        = {task("t", QStringLiteral("one\n\ntwo\n  indented \n\u2028inner breaks\u2029stay"))};
    const QString text = serializeDocument(document);
    QCOMPARE(text,
        QStringLiteral("t\n> one\n> \n> two\n>   indented \n> \u2028inner breaks\u2029stay\n---\n\n---\n"));
    QCOMPARE(parseDocument(text), document);

    // Only one space after ">" belongs to the prefix.
    QCOMPARE(
        parseDocument(QStringLiteral("t\n>   x\n---\n---")).workingItems.front().note, QStringLiteral("  x"));
}

void DocumentFormatTest::emptyAndLineBreakOnlyNotesWriteNothing()
{
    for (const QString& note :
        {QString(), QStringLiteral("\n"), QStringLiteral("\r\n\u2028\u0085\v\f\u2029")}) {
        VeskDocument document;
        document.inboxItems = {task("a", note), task("b")};
        const QString text = serializeDocument(document);
        QCOMPARE(text, QStringLiteral("\n---\na\nb\n---\n"));
        QCOMPARE(parseDocument(text).inboxItems, (QList<VeskTask> {task("a"), task("b")}));
    }
    // Line breaks at the ends of a note are dropped, inner ones kept.
    VeskDocument document;
    document.inboxItems = {task("a", QStringLiteral("\n\u2028x\ny\n\n"))};
    QCOMPARE(parseDocument(serializeDocument(document)).inboxItems.front().note, QStringLiteral("x\ny"));
}

void DocumentFormatTest::emptyDocumentIsFiveLinesWhenWritten()
{
    const QString text = serializeDocument(VeskDocument::empty());
    QCOMPARE(text, QStringLiteral("\n---\n\n---\n"));
    QCOMPARE(splitLines(text).size(), 5);
    QVERIFY(isVeskDocument(text));
    QCOMPARE(parseDocument(text), VeskDocument::empty());
}

void DocumentFormatTest::importTakesTrimmedNonEmptyLinesIntoTheInbox()
{
    const VeskDocument imported
        = importPlainText(QStringLiteral("  milk \r\n\r\n---\n > quoted\r\t\u00A0 \n --- \neggs\u3000"));
    VeskDocument expected;
    expected.inboxItems = {task("milk"), task("> quoted"), task("eggs")};
    QCOMPARE(imported, expected);
    // The imported document reads back unchanged from its file text, ">" titles included.
    QCOMPARE(parseDocument(serializeDocument(imported)), imported);

    QCOMPARE(importPlainText(QStringLiteral("---\n  ---\n\n---\t")), VeskDocument::empty());
    QCOMPARE(importPlainText(QString()), VeskDocument::empty());
}

void DocumentFormatTest::equalityIsCanonicalEquivalence()
{
    QCOMPARE(task(QStringLiteral("caf\u00E9")), task(QStringLiteral("cafe\u0301")));
    QCOMPARE(
        task("a", QStringLiteral("\u00C5ngstr\u00F6m")), task("a", QStringLiteral("A\u030Angstro\u0308m")));
    QVERIFY(!(task("a") == task("A")));
    QVERIFY(!(task("a ") == task("a")));
    QVERIFY(!(task("a\nb") == task("a\rb")));
    QVERIFY(!(task(QStringLiteral("\u00E9")) == task(QStringLiteral("e"))));
    QVERIFY(!(task("a", QString("")) == task("a")));
    QVERIFY(!(task("a", QString("x")) == task("a", QString("y"))));
    // Compatibility forms are not folded.
    QVERIFY(!(task(QStringLiteral("\uFB01")) == task("fi")));
    QVERIFY(!canonicallyEqual(QStringLiteral("\u00A0"), QStringLiteral(" ")));

    VeskDocument a;
    a.completedItems = {task(QStringLiteral("r\u00E9sum\u00E9"))};
    VeskDocument b;
    b.completedItems = {task(QStringLiteral("re\u0301sume\u0301"))};
    QCOMPARE(a, b);
    b.completedItems.append(task("x"));
    QVERIFY(!(a == b));
    VeskDocument moved;
    moved.inboxItems = a.completedItems;
    QVERIFY(!(a == moved));
}

QTEST_GUILESS_MAIN(DocumentFormatTest)
#include "DocumentFormatTest.moc"
