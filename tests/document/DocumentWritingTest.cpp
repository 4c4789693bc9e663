#include "DocumentFormat.h"
#include "DocumentTestPrinting.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

namespace {

const QString kZeroWidthSpace = QStringLiteral("\u200B");

QList<VeskTask> VeskDocument::*const kSections[]
    = {&VeskDocument::workingItems, &VeskDocument::inboxItems, &VeskDocument::completedItems};

// Whitespace as the file format defines it: tab and the space separators (Zs).
QString trimmedWhitespace(QString s)
{
    auto isWhitespace = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    while (!s.isEmpty() && isWhitespace(s.front()))
        s.remove(0, 1);
    while (!s.isEmpty() && isWhitespace(s.back()))
        s.chop(1);
    return s;
}

// The title a task should have after its document is written and read back: its trimmed form,
// with line breaks turned into spaces; one that would vanish or read as a separator is marked by
// a leading zero-width space.
QString expectedTitle(const QString& title)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    const QString trimmed = trimmedWhitespace(QString(title).replace(lineBreak, QStringLiteral(" ")));
    if (trimmed.isEmpty() || trimmed == QLatin1String("---"))
        return kZeroWidthSpace + trimmed;
    return trimmed;
}

// The note read back: line breaks at its ends dropped, CR+LF and CR read as LF; nothing left
// means no note.
std::optional<QString> expectedNote(const std::optional<QString>& note)
{
    if (!note)
        return std::nullopt;
    static const QRegularExpression ends(QStringLiteral("^[\\x{0A}-\\x{0D}\\x{85}\\x{2028}\\x{2029}]+|"
                                                        "[\\x{0A}-\\x{0D}\\x{85}\\x{2028}\\x{2029}]+\\z"));
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r"));
    const QString inner = QString(*note).remove(ends).replace(lineBreak, QStringLiteral("\n"));
    if (inner.isEmpty())
        return std::nullopt;
    return inner;
}

// Texts that mean something to the reader, to build hostile titles and notes from.
const QStringList kFragments {"", "a", "Task", " ", "\t", "\u00A0", "\u3000", "\u2002", "---", "-", ">", "> ",
    ">>", " >", "\n", "\r", "\r\n", "\n\r", "\u2028", "\u2029", "\u0085", "\v", "\f", "\u200B", "\u00E9",
    "e\u0301", "\U0001F600", "\uFFFD", "x y", "\n---\n", "\n> "};

QString randomText(QRandomGenerator& random, int maxFragments)
{
    QString text;
    const int count = random.bounded(maxFragments + 1);
    for (int i = 0; i < count; ++i)
        text += kFragments[random.bounded(int(kFragments.size()))];
    return text;
}

VeskDocument randomDocument(QRandomGenerator& random)
{
    VeskDocument document;
    for (auto section : kSections) {
        const int count = random.bounded(5);
        for (int i = 0; i < count; ++i) {
            VeskTask task {randomText(random, 4), std::nullopt};
            if (random.bounded(2))
                task.note = randomText(random, 6);
            (document.*section).append(task);
        }
    }
    return document;
}

// The writer as the file format describes it for ordinary documents.
QString plainSerialization(const VeskDocument& document)
{
    QStringList sections;
    for (auto section : kSections) {
        QStringList blocks;
        for (const VeskTask& task : document.*section) {
            QString block = task.title;
            if (task.note)
                for (const QString& piece : task.note->split(u'\n'))
                    block += QStringLiteral("\n> ") + piece;
            blocks.append(block);
        }
        sections.append(blocks.join(u'\n'));
    }
    return sections.join(QStringLiteral("\n---\n"));
}

} // namespace

class DocumentWritingTest : public QObject {
    Q_OBJECT

private slots:
    void titlesThatLookLikeStructureStayInPlace_data();
    void titlesThatLookLikeStructureStayInPlace();
    void notesWithLineBreaksNeverBecomeTasksOrSeparators_data();
    void notesWithLineBreaksNeverBecomeTasksOrSeparators();
    void ordinaryDocumentsAreWrittenPlainlyAndReadBackEqual();
    void anyDocumentKeepsEveryTaskInPlace();
};

void DocumentWritingTest::titlesThatLookLikeStructureStayInPlace_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("separator") << QStringLiteral("---") << QStringLiteral("\u200B---");
    QTest::newRow("separator with blanks") << QStringLiteral(" --- ") << QStringLiteral("\u200B---");
    QTest::newRow("separator with Zs") << QStringLiteral("\t---\u00A0\u3000") << QStringLiteral("\u200B---");
    QTest::newRow("separator between breaks") << QStringLiteral("\n---\r\n") << QStringLiteral("\u200B---");
    QTest::newRow("empty") << QString() << QStringLiteral("\u200B");
    QTest::newRow("blanks") << QStringLiteral(" \t ") << QStringLiteral("\u200B");
    QTest::newRow("Zs only") << QStringLiteral("\u00A0\u2002\u3000") << QStringLiteral("\u200B");
    QTest::newRow("line feeds only") << QStringLiteral("\n\n") << QStringLiteral("\u200B");
    QTest::newRow("quote") << QStringLiteral(">") << QStringLiteral(">");
    QTest::newRow("quoted") << QStringLiteral("> quoted") << QStringLiteral("> quoted");
    QTest::newRow("quoted without space") << QStringLiteral(">x") << QStringLiteral(">x");
    QTest::newRow("quoted after blanks") << QStringLiteral(" \t> x ") << QStringLiteral("> x");
    QTest::newRow("quoted after no-break space") << QStringLiteral("\u00A0>x") << QStringLiteral(">x");
    QTest::newRow("quote after line feed") << QStringLiteral("\n> x") << QStringLiteral("> x");
    QTest::newRow("LF") << QStringLiteral("a\nb") << QStringLiteral("a b");
    QTest::newRow("CRLF") << QStringLiteral("a\r\nb") << QStringLiteral("a b");
    QTest::newRow("CR") << QStringLiteral("a\rb\r") << QStringLiteral("a b");
    QTest::newRow("separator inside") << QStringLiteral("a\n---\nb") << QStringLiteral("a --- b");
    QTest::newRow("line separator") << QStringLiteral("a\u2028b") << QStringLiteral("a\u2028b");
    QTest::newRow("paragraph separator") << QStringLiteral("\u2029") << QStringLiteral("\u2029");
    QTest::newRow("next line and form feed") << QStringLiteral("a\u0085\fb") << QStringLiteral("a\u0085\fb");
    QTest::newRow("padded") << QStringLiteral("  a  ") << QStringLiteral("a");
    QTest::newRow("zero-width space") << QStringLiteral("\u200B") << QStringLiteral("\u200B");
    QTest::newRow("four hyphens") << QStringLiteral("----") << QStringLiteral("----");
}

// Each title sits between two ordinary tasks in every section, with a note, so any title that
// broke the structure would move or merge its neighbours.
void DocumentWritingTest::titlesThatLookLikeStructureStayInPlace()
{
    QFETCH(QString, title);
    QFETCH(QString, readBack);
    QCOMPARE(expectedTitle(title), readBack);

    for (auto section : kSections) {
        for (const std::optional<QString>& note :
            {std::optional<QString>(), std::optional<QString>("n1\nn2")}) {
            VeskDocument document;
            document.workingItems = {{"w", QString("wn")}};
            document.inboxItems = {{"i", std::nullopt}};
            document.completedItems = {{"c", QString("cn")}};
            (document.*section).prepend({title, note});
            (document.*section).append({title, note});
            (document.*section).append({"last", std::nullopt});

            const QString text = serializeDocument(document);
            const VeskDocument readDocument = parseDocument(text);
            VeskDocument expected = document;
            for (VeskTask& task : expected.*section) {
                if (task.title == title)
                    task.title = readBack;
            }
            QCOMPARE(readDocument, expected);
            // Exactly the two separators, and nothing in the text that reading would skip.
            QCOMPARE(splitLines(text).count(QStringLiteral("---")), 2);
            QCOMPARE(serializeDocument(readDocument),
                serializeDocument(parseDocument(serializeDocument(readDocument))));
        }
    }
}

void DocumentWritingTest::notesWithLineBreaksNeverBecomeTasksOrSeparators_data()
{
    QTest::addColumn<QString>("note");
    QTest::addColumn<std::optional<QString>>("readBack");
    QTest::newRow("CR") << QStringLiteral("a\rb") << std::optional<QString>("a\nb");
    QTest::newRow("CRLF") << QStringLiteral("a\r\nb") << std::optional<QString>("a\nb");
    QTest::newRow("LF CR") << QStringLiteral("a\n\rb") << std::optional<QString>("a\n\nb");
    QTest::newRow("separator after CR") << QStringLiteral("x\r---\ry") << std::optional<QString>("x\n---\ny");
    QTest::newRow("separator after LF") << QStringLiteral("x\n---\ny") << std::optional<QString>("x\n---\ny");
    QTest::newRow("title-like after CR")
        << QStringLiteral("x\rNew task") << std::optional<QString>("x\nNew task");
    QTest::newRow("quote after CR") << QStringLiteral("x\r> y") << std::optional<QString>("x\n> y");
    QTest::newRow("blank lines") << QStringLiteral("x\n  \n\t") << std::optional<QString>("x\n  \n\t");
    QTest::newRow("ends") << QStringLiteral("\r\n\rx\r\r\n") << std::optional<QString>("x");
    QTest::newRow("other breaks") << QStringLiteral("a\u2028---\u2029b\vc")
                                  << std::optional<QString>("a\u2028---\u2029b\vc");
    QTest::newRow("only CRs") << QStringLiteral("\r\r") << std::optional<QString>();
}

void DocumentWritingTest::notesWithLineBreaksNeverBecomeTasksOrSeparators()
{
    QFETCH(QString, note);
    QFETCH(std::optional<QString>, readBack);
    QCOMPARE(expectedNote(note), readBack);

    for (auto section : kSections) {
        VeskDocument document;
        document.workingItems = {{"w", std::nullopt}};
        document.inboxItems = {{"i", std::nullopt}};
        document.completedItems = {{"c", std::nullopt}};
        (document.*section).prepend({"with note", note});

        VeskDocument expected = document;
        (expected.*section).front().note = readBack;
        const QString text = serializeDocument(document);
        QCOMPARE(parseDocument(text), expected);
        QCOMPARE(splitLines(text).count(QStringLiteral("---")), 2);
    }
}

void DocumentWritingTest::ordinaryDocumentsAreWrittenPlainlyAndReadBackEqual()
{
    // Titles and notes as an editing session makes them: trimmed one-line titles, notes without
    // carriage returns or line breaks at their ends. Some begin with whitespace-free text that
    // merely resembles structure ("-->", "x ---").
    const QStringList titles {"Buy milk", "\u00C9t\u00E9", "x ---", "--", "-->", "a > b",
        "[link](https://e.x)", "\U0001F600 emoji", "tab\tinside", "\u2028", "\u200B---"};
    const QStringList notes {"one", "two\nlines", " indented", "trailing  ", "a\n\nb", ">", "> quoted", "---",
        "  ---  ", "\u00A0", "x\u2028y"};
    QRandomGenerator random(20261206);
    for (int round = 0; round < 500; ++round) {
        VeskDocument document;
        for (auto section : kSections) {
            const int count = random.bounded(6);
            for (int i = 0; i < count; ++i) {
                VeskTask task {titles[random.bounded(int(titles.size()))], std::nullopt};
                if (random.bounded(3) == 0)
                    task.note = notes[random.bounded(int(notes.size()))];
                (document.*section).append(task);
            }
        }
        const QString text = serializeDocument(document);
        QCOMPARE(text, plainSerialization(document));
        QCOMPARE(parseDocument(text), document);
    }
}

// For any document at all, reading back what was written keeps every task in its section and
// position, each title in its trimmed form where one exists, and the text is then stable.
void DocumentWritingTest::anyDocumentKeepsEveryTaskInPlace()
{
    QRandomGenerator random(7);
    for (int round = 0; round < 4000; ++round) {
        const VeskDocument document = randomDocument(random);
        const QString text = serializeDocument(document);
        const VeskDocument readDocument = parseDocument(text);

        VeskDocument expected;
        for (auto section : kSections) {
            for (const VeskTask& task : document.*section)
                (expected.*section).append({expectedTitle(task.title), expectedNote(task.note)});
        }
        if (!(readDocument == expected)) {
            qWarning("written as \"%s\"", qPrintable(describeText(text)));
            QCOMPARE(readDocument, expected);
        }
        QCOMPARE(splitLines(text).count(QStringLiteral("---")), 2);
        const QString rewritten = serializeDocument(readDocument);
        QCOMPARE(parseDocument(rewritten), readDocument);
        QCOMPARE(serializeDocument(parseDocument(rewritten)), rewritten);
    }
}

QTEST_GUILESS_MAIN(DocumentWritingTest)
#include "DocumentWritingTest.moc"
