#include "document/DocumentFormat.h"
#include "document/Utf8TaskReader.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <numeric>
#include <thread>

namespace {

using Note = std::optional<QString>;

QList<VeskTask> VeskDocument::*const kSections[]
    = {&VeskDocument::workingItems, &VeskDocument::inboxItems, &VeskDocument::completedItems};

// Readable failures: control and non-ASCII characters escaped, each task on its own line.
QString describeText(const QString& text)
{
    QString out;
    for (QChar c : text) {
        const bool plain = c.unicode() >= 0x20 && c.unicode() < 0x7F;
        out += plain ? QString(c) : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace

char* toString(const VeskDocument& document)
{
    QString out;
    for (auto section : kSections) {
        out += QStringLiteral("\n  section:");
        for (const VeskTask& task : document.*section)
            out += "\n    \"" + describeText(task.title)
                + (task.note ? "\" note \"" + describeText(*task.note) : "") + '"';
    }
    return qstrdup(out.toUtf8().constData());
}

namespace {

// Tasks written "title" or "title|note".
QList<VeskTask> tasks(const QStringList& specs)
{
    QList<VeskTask> list;
    for (const QString& spec : specs) {
        const qsizetype bar = spec.indexOf(u'|');
        list.append(bar < 0 ? VeskTask {spec, std::nullopt} : VeskTask {spec.left(bar), spec.mid(bar + 1)});
    }
    return list;
}

VeskDocument doc(const QStringList& working, const QStringList& inbox = {}, const QStringList& completed = {})
{
    return {tasks(working), tasks(inbox), tasks(completed)};
}

const QString kWorkedExample = QStringLiteral(
    "Write report\n> Outline first\n> then draft\nPay rent\n---\nBuy stamps\n---\nBook flights");
const VeskDocument kWorkedExampleDocument
    = doc({"Write report|Outline first\nthen draft", "Pay rent"}, {"Buy stamps"}, {"Book flights"});

// The title a task should have once written and read back: trimmed of tabs and Zs, line breaks
// as spaces; one that would vanish or read as a separator is marked by a leading zero-width space.
QString expectedTitle(const QString& title)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QString s = QString(title).replace(lineBreak, QStringLiteral(" "));
    auto blank = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    while (!s.isEmpty() && blank(s.front()))
        s.remove(0, 1);
    while (!s.isEmpty() && blank(s.back()))
        s.chop(1);
    return s.isEmpty() || s == QLatin1String("---") ? QStringLiteral("\u200B") + s : s;
}

// The note read back: line breaks at its ends dropped, CR+LF and CR read as LF; nothing left
// means no note.
Note expectedNote(const Note& note)
{
    static const QRegularExpression ends(QStringLiteral("^[\\x{0A}-\\x{0D}\\x{85}\\x{2028}\\x{2029}]+|"
                                                        "[\\x{0A}-\\x{0D}\\x{85}\\x{2028}\\x{2029}]+\\z"));
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r"));
    const QString inner = note ? QString(*note).remove(ends).replace(lineBreak, QStringLiteral("\n")) : "";
    return inner.isEmpty() ? Note() : Note(inner);
}

// The UTF-8 bytes written straight from a document, and from its tasks handed over one by one, are
// exactly those of its text.
void checkBytes(const VeskDocument& document, const QString& text)
{
    const auto section = [](const QList<VeskTask>& tasks) -> SectionTasks {
        return [&tasks](const TaskVisitor& visit) {
            for (const VeskTask& task : tasks)
                visit(task.title, task.note);
        };
    };
    const QByteArray expected = text.toUtf8();
    QCOMPARE(serializeDocumentUtf8(document), expected);
    // From no room at all, from a close guess and from far too much.
    for (const qsizetype expectedSize : {qsizetype(0), expected.size() - 1, 4 * expected.size() + 100})
        QCOMPARE(serializeDocumentUtf8(section(document.workingItems), section(document.inboxItems),
                     section(document.completedItems), expectedSize),
            expected);
    // And a piece at a time: the pieces end wherever the room does, between any two characters.
    QByteArray joined;
    QCOMPARE(writeDocumentUtf8(section(document.workingItems), section(document.inboxItems),
                 section(document.completedItems),
                 [&](QByteArrayView piece) {
                     joined += piece;
                     return 0;
                 }),
        0);
    QCOMPARE(joined, expected);
}

// Every text of a read document is a string like any other: it ends in '\0' where its size says.
void checkTerminated(const VeskDocument& document)
{
    for (auto section : kSections) {
        for (const VeskTask& task : document.*section) {
            QVERIFY2(task.title.utf16()[task.title.size()] == 0, qPrintable(describeText(task.title)));
            if (task.note)
                QVERIFY2(task.note->utf16()[task.note->size()] == 0, qPrintable(describeText(*task.note)));
        }
    }
}

// Writing keeps every task in place, gives exactly two separators, and what is read back is
// written again unchanged.
void checkWriting(const VeskDocument& document, const VeskDocument& expected)
{
    const QString text = serializeDocument(document);
    checkBytes(document, text);
    const VeskDocument readBack = parseDocument(text);
    if (!(readBack == expected))
        qWarning("written as \"%s\"", qPrintable(describeText(text)));
    QCOMPARE(readBack, expected);
    QCOMPARE(splitLines(text).count(QStringLiteral("---")), 2);
    const QString rewritten = serializeDocument(readBack);
    QCOMPARE(serializeDocument(parseDocument(rewritten)), rewritten);
}

const QStringList kFragments {"", "a", "Task", " ", "\t", "\u00A0", "\u3000", "\u2002", "---", "-", ">", "> ",
    ">>", " >", "\n", "\r", "\r\n", "\n\r", "\u2028", "\u2029", "\u0085", "\v", "\f", "\u200B", "\u00E9",
    "e\u0301", "\U0001F600", "\uFFFD", "x y", "\n---\n", "\n> "};

QString randomText(QRandomGenerator& random, int maxFragments)
{
    QString text;
    for (int i = random.bounded(maxFragments + 1); i > 0; --i)
        text += kFragments[random.bounded(int(kFragments.size()))];
    return text;
}

const QStringList kPieces {"---", "---", " --- ", "---\t", ">", "> ", ">>", " \t>", "\u00A0>", "\n", "\n",
    "\r", "\r\n", "\n\r", "\u2028", "\u2029", "\u0085", "\v", "\f", " ", "\t", "\u00A0", "\u3000", "\u200B",
    "a", "word ", "\u00E9", "e\u0301", "\uFFFD", "\U0001F600", "\n---\n", "\n> "};

// Text as a hand-edited or damaged file might hold: structure-like pieces, control characters,
// lone surrogates, arbitrary code units, and bytes that are not valid UTF-8.
QString randomInput(QRandomGenerator& random)
{
    if (random.bounded(8) == 0) {
        QByteArray bytes;
        const char likely[] = {'\n', '\r', '-', '-', '-', '>', ' ', '\t', 'a'};
        for (int i = random.bounded(200); i > 0; --i)
            bytes
                += random.bounded(2) ? likely[random.bounded(int(sizeof likely))] : char(random.bounded(256));
        return QString::fromUtf8(bytes);
    }
    QString text;
    for (int i = random.bounded(80); i > 0; --i) {
        const int kind = random.bounded(6);
        text += kind == 0 ? QString(QChar(char16_t(random.bounded(0x20))))
            : kind == 1   ? QString(QChar(char16_t(random.bounded(0x10000))))
                          : kPieces[random.bounded(int(kPieces.size()))];
    }
    return text;
}

// The tasks of a and b are the same unit for unit (not merely canonically equivalent), and their
// notes are there alike.
bool sameExactly(const VeskDocument& a, const VeskDocument& b)
{
    for (auto section : kSections) {
        const QList<VeskTask>& x = a.*section;
        const QList<VeskTask>& y = b.*section;
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i) {
            if (x[i].title != y[i].title || x[i].note.has_value() != y[i].note.has_value())
                return false;
            if (x[i].note && (*x[i].note != *y[i].note || x[i].note->isNull() != y[i].note->isNull()))
                return false;
        }
    }
    return true;
}

// Read straight from bytes, a file gives exactly what its text, decoded as the file reader
// decodes it, gives.
void checkBytesReadAsText(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    const VeskDocument fromBytes = parseDocumentUtf8(bytes);
    if (!sameExactly(fromBytes, parseDocument(text))) {
        qWarning(
            "bytes \"%s\"", qPrintable(describeText(QString::fromLatin1(bytes.toPercentEncoding(" >-")))));
        QCOMPARE(fromBytes, parseDocument(text));
        QFAIL("texts differ in their units");
    }
    checkTerminated(fromBytes);
    const std::optional<VeskDocument> taskFile = parseTaskFileUtf8(bytes);
    QCOMPARE(taskFile.has_value(), isVeskDocument(text));
    if (taskFile)
        QVERIFY(sameExactly(*taskFile, fromBytes));
    // Read for an opening that could be dropped (a text that is not UTF-8 is then decoded a piece
    // at a time): the same.
    const std::atomic<bool> neverStopped {false};
    const std::optional<VeskDocument> stoppable = parseTaskFileUtf8(bytes, &neverStopped);
    QCOMPARE(stoppable.has_value(), taskFile.has_value());
    if (stoppable)
        QVERIFY(sameExactly(*stoppable, fromBytes));
}

// Reads, writes, reads and writes again. The first write fixes the text: later rounds reproduce
// it exactly, and writing never moves a task to another section or changes its title.
void checkRoundTrips(const QString& input)
{
    const VeskDocument document = parseDocument(input);
    const QString written = serializeDocument(document);
    checkBytes(document, written);
    QVERIFY(isVeskDocument(written));
    const VeskDocument readBack = parseDocument(written);
    for (auto section : kSections) {
        QCOMPARE((readBack.*section).size(), (document.*section).size());
        for (qsizetype i = 0; i < (document.*section).size(); ++i)
            QCOMPARE((readBack.*section)[i].title, (document.*section)[i].title);
    }
    QCOMPARE(serializeDocument(readBack), written);
    // An import reads back exactly from its own file text.
    const VeskDocument imported = importPlainText(input);
    QCOMPARE(parseDocument(serializeDocument(imported)), imported);
}

} // namespace

class DocumentFormatTest : public QObject {
    Q_OBJECT

private slots:
    void splitsAtEveryKindOfFileLineEnding_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QString() << QStringList {""};
        QTest::newRow("final line feed") << "a\n" << QStringList {"a", ""};
        QTest::newRow("mixed") << "a\r\nb\rc\nd" << QStringList {"a", "b", "c", "d"};
        QTest::newRow("LF then CR is two breaks") << "\n\r" << QStringList {"", "", ""};
        QTest::newRow("CR CR LF") << "x\r\r\ny" << QStringList {"x", "", "y"};
        QTest::newRow("other breaks stay inside lines")
            << "a\u2028b\u2029c\u0085d\ve\ff" << QStringList {QStringLiteral("a\u2028b\u2029c\u0085d\ve\ff")};
        // Lines of every length up to past two blocks of 64 units (the reader looks at blocks),
        // so that breaks fall at every place in a block and CR+LF across blocks.
        QStringList growing;
        for (int length = 0; length < 140; ++length)
            growing.append(QString(length, u'x'));
        QTest::newRow("lines of growing length, CR+LF") << growing.join("\r\n") << growing;
        QTest::newRow("lines of growing length, CR") << growing.join(u'\r') << growing;
    }

    void splitsAtEveryKindOfFileLineEnding()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(splitLines(text), lines);
    }

    void recognisesTaskFilesByTwoExactSeparators_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isTaskFile");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("one separator") << "a\n---\nb" << false;
        QTest::newRow("two separators") << "---\n---" << true;
        QTest::newRow("CRLF separators") << "a\r\n---\r\nb\r\n---\r\n" << true;
        QTest::newRow("trailing space") << "--- \n--- " << false;
        QTest::newRow("leading tab") << "\t---\n---" << false;
        QTest::newRow("four hyphens") << "----\n---" << false;
    }

    void recognisesTaskFilesByTwoExactSeparators()
    {
        QFETCH(QString, text);
        QFETCH(bool, isTaskFile);
        QCOMPARE(isVeskDocument(text), isTaskFile);
    }

    void workedExampleVariantsReadAsTheSameDocument_data()
    {
        QTest::addColumn<QString>("text");
        const QStringList lines = kWorkedExample.split(u'\n');
        QTest::newRow("as written") << kWorkedExample;
        QTest::newRow("CRLF with final CRLF") << lines.join("\r\n") + "\r\n";
        QTest::newRow("lone CR") << lines.join("\r");
        // A blank line before, between and after all eight lines, in every blank form.
        QTest::newRow("blank lines") << "\n" + lines.join("\n\n") + "\n\n";
        QTest::newRow("blank-only lines") << " \t\n" + lines.join("\n  \n\t\n") + "\n \u00A0\u3000\n";
        QTest::newRow("whitespace after titles") << "Write report \t\n> Outline first\n> then draft\nPay "
                                                    "rent\u00A0\n---\nBuy stamps\u3000\n---\nBook flights  ";
        QTest::newRow("stray separators with blanks")
            << "Write report\n --- \n> Outline first\n> then draft\nPay rent\n---\nBuy "
               "stamps\n---\t\n---\nBook flights";
        // Line endings, blanks, notes without their space and a third separator together.
        QTest::newRow("all at once")
            << "\r\n  Write report\r\n\r\n\t>Outline first\r\n  > then draft\r\n\r\nPay rent \r\n---\r\n\r\n "
               "Buy stamps\r\n---\r\nBook flights\r\n---\r\n";
    }

    void workedExampleVariantsReadAsTheSameDocument()
    {
        QFETCH(QString, text);
        QVERIFY(isVeskDocument(text));
        const VeskDocument document = parseDocument(text);
        QCOMPARE(document, kWorkedExampleDocument);
        QCOMPARE(serializeDocument(document), kWorkedExample);
    }

    void sectionsAndTasksFollowTheirReadingRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<VeskDocument>("document");
        QTest::newRow("no separator") << "a\nb" << doc({});
        QTest::newRow("one separator") << "---\na\nb" << doc({}, {"a", "b"});
        QTest::newRow("separators first and last") << "---\na\n---\n" << doc({}, {"a"});
        // Later separators are stray lines of the completed section, and never end a task there.
        QTest::newRow("third separator")
            << "w\n---\ni\n---\nc\n> n1\n---\n> n2\n---\nd" << doc({"w"}, {"i"}, {"c|n1\nn2", "d"});
        QTest::newRow("padded separator") << "a\n --- \nb\n---\nc\n---\nd" << doc({"a", "b"}, {"c"}, {"d"});
        // A task never continues across a separator: a note line right after one is an orphan.
        QTest::newRow("note prefixes") << "t\n>   x\n> \n>y\n---\n---" << doc({"t|  x\n\ny"});
        QTest::newRow("orphan after separator") << "a\n---\n> n\n---\n" << doc({"a"}, {"> n"});
        QTest::newRow("section lines")
            << "---\n\n>  first orphan \n  Title one  \n\n> a\n   \n\t>b\n --- \n> c\n\u00A0> not a "
               "note\nx\u2028y\n---"
            << doc({}, {">  first orphan", "Title one|a\nb\nc", "> not a note", "x\u2028y"});
    }

    void sectionsAndTasksFollowTheirReadingRules()
    {
        QFETCH(QString, text);
        QFETCH(VeskDocument, document);
        const VeskDocument read = parseDocument(text);
        QCOMPARE(read, document);
        checkTerminated(read);
        const QStringList lines = splitLines(text);
        const QList<QStringView> views(lines.begin(), lines.end());
        QCOMPARE(parseSection(views), parseSection(lines));
    }

    void writesExactText_data()
    {
        QTest::addColumn<VeskDocument>("document");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty document") << doc({}) << "\n---\n\n---\n";
        QTest::newRow("notes keep empty lines and spaces")
            << doc({"t|one\n\ntwo\n  indented \n\u2028inner\u2029stay"})
            << "t\n> one\n> \n> two\n>   indented \n> \u2028inner\u2029stay\n---\n\n---\n";
        QTest::newRow("empty note") << doc({}, {"a|", "b"}) << "\n---\na\nb\n---\n";
        QTest::newRow("line-break-only note")
            << doc({}, {"a|\r\n\u2028\u0085\v\f\u2029", "b"}) << "\n---\na\nb\n---\n";
        QTest::newRow("multi-byte text") << doc({"Caf\u00E9 \u2615|\U0001F600\r\nzwei"}, {}, {"\u00DF"})
                                         << "Caf\u00E9 \u2615\n> \U0001F600\n> zwei\n---\n\n---\n\u00DF";
        const QString lone = QString(QChar(0xDC00)) + "a" + QChar(0xD800);
        QTest::newRow("lone surrogates")
            << doc({lone + "|" + lone}, {lone}) << lone + "\n> " + lone + "\n---\n" + lone + "\n---\n";
    }

    void writesExactText()
    {
        QFETCH(VeskDocument, document);
        QFETCH(QString, text);
        QCOMPARE(serializeDocument(document), text);
        QVERIFY(isVeskDocument(text));
        checkBytes(document, text);
    }

    void titlesThatLookLikeStructureStayInPlace_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("readBack");
        const auto row = [](const char* name, const QString& title, const QString& readBack) {
            QTest::newRow(name) << title << readBack;
        };
        row("separator", "---", "\u200B---");
        row("separator with blanks", " --- ", "\u200B---");
        row("separator with Zs", "\t---\u00A0\u3000", "\u200B---");
        row("separator between breaks", "\n---\r\n", "\u200B---");
        row("empty", QString(), "\u200B");
        row("blanks", " \t ", "\u200B");
        row("Zs only", "\u00A0\u2002\u3000", "\u200B");
        row("line feeds only", "\n\n", "\u200B");
        row("quote", ">", ">");
        row("quoted", "> quoted", "> quoted");
        row("quoted after blanks", " \t> x ", "> x");
        row("quoted after no-break space", "\u00A0>x", ">x");
        row("quote after line feed", "\n> x", "> x");
        row("CRLF", "a\r\nb", "a b");
        row("CR", "a\rb\r", "a b");
        row("separator inside", "a\n---\nb", "a --- b");
        row("other breaks", "a\u2028b\u0085\f\u2029", "a\u2028b\u0085\f\u2029");
        row("zero-width space", "\u200B", "\u200B");
        row("four hyphens", "----", "----");
    }

    // Each title sits first and between ordinary tasks in every section, with and without a note,
    // so a title that broke the structure would move or merge its neighbours.
    void titlesThatLookLikeStructureStayInPlace()
    {
        QFETCH(QString, title);
        QFETCH(QString, readBack);
        QCOMPARE(expectedTitle(title), readBack);
        for (auto section : kSections) {
            for (const Note& note : {Note(), Note("n1\nn2")}) {
                VeskDocument document = doc({"w|wn"}, {"i"}, {"c|cn"});
                (document.*section).prepend({title, note});
                (document.*section).append({{title, note}, {"last", std::nullopt}});
                VeskDocument expected = document;
                for (VeskTask& task : expected.*section)
                    task.title = task.title == title ? readBack : task.title;
                checkWriting(document, expected);
            }
        }
    }

    void notesWithLineBreaksNeverBecomeTasksOrSeparators_data()
    {
        QTest::addColumn<QString>("note");
        QTest::addColumn<Note>("readBack");
        QTest::newRow("CRLF") << "a\r\nb" << Note("a\nb");
        QTest::newRow("LF CR") << "a\n\rb" << Note("a\n\nb");
        QTest::newRow("separator after CR") << "x\r---\ry" << Note("x\n---\ny");
        QTest::newRow("separator after LF") << "x\n---\ny" << Note("x\n---\ny");
        QTest::newRow("title-like after CR") << "x\rNew task" << Note("x\nNew task");
        QTest::newRow("quote after CR") << "x\r> y" << Note("x\n> y");
        QTest::newRow("blank lines") << "x\n  \n\t" << Note("x\n  \n\t");
        QTest::newRow("ends") << "\r\n\u2028x\ry\r\r\n\n" << Note("x\ny");
        QTest::newRow("other breaks") << "a\u2028---\u2029b\vc" << Note("a\u2028---\u2029b\vc");
        QTest::newRow("only CRs") << "\r\r" << Note();
        QTest::newRow("empty") << QString() << Note();
    }

    void notesWithLineBreaksNeverBecomeTasksOrSeparators()
    {
        QFETCH(QString, note);
        QFETCH(Note, readBack);
        QCOMPARE(expectedNote(note), readBack);
        for (auto section : kSections) {
            VeskDocument document = doc({"w"}, {"i"}, {"c"});
            (document.*section).prepend({"with note", note});
            VeskDocument expected = document;
            (expected.*section).front().note = readBack;
            checkWriting(document, expected);
        }
    }

    // Any document at all reads back with every task in its section and place, titles and notes
    // as the rules above make them.
    void anyDocumentKeepsEveryTaskInPlace()
    {
        QRandomGenerator random(7);
        for (int round = 0; round < 4000 && !QTest::currentTestFailed(); ++round) {
            VeskDocument document;
            VeskDocument expected;
            for (auto section : kSections) {
                for (int i = random.bounded(5); i > 0; --i) {
                    const VeskTask task {
                        randomText(random, 4), random.bounded(2) ? Note(randomText(random, 6)) : Note()};
                    (document.*section).append(task);
                    (expected.*section).append({expectedTitle(task.title), expectedNote(task.note)});
                }
            }
            checkWriting(document, expected);
        }
        const VeskDocument longTask = doc({},
            {QStringLiteral("long \u00E9 title ").repeated(50000).trimmed() + "|"
                    + QStringLiteral("line of a long note\n").repeated(50000).chopped(1),
                "after"});
        checkWriting(longTask, longTask);
    }

    void randomInputsReachAFixedPointAfterTheFirstWrite()
    {
        QRandomGenerator random(424242);
        int taskFiles = 0;
        for (int round = 0; round < 6000; ++round) {
            QString input = randomInput(random);
            // Most inputs should exercise the section reader, so give many of them two separators.
            if (round % 2 == 0) {
                input.insert(random.bounded(input.size() + 1), QStringLiteral("\n---\n"));
                input.insert(random.bounded(input.size() + 1), QStringLiteral("\r\n---\r\n"));
            }
            taskFiles += isVeskDocument(input);
            // Read in one pass, a task file gives what recognising and then parsing it gives.
            const std::optional<VeskDocument> taskFile = parseTaskFile(input);
            QCOMPARE(taskFile.has_value(), isVeskDocument(input));
            if (taskFile)
                QCOMPARE(*taskFile, parseDocument(input));
            checkRoundTrips(input);
            if (QTest::currentTestFailed()) {
                qWarning("round %d input \"%s\"", round, qPrintable(describeText(input)));
                return;
            }
        }
        QVERIFY(taskFiles > 3000);
    }

    // A long list's text is handed out in pieces of a fixed size, never whole, and a piece the
    // receiver refuses (a full disk) ends the writing with its error.
    void aLongTextIsWrittenInPiecesUntilOneIsRefused()
    {
        VeskDocument document;
        for (int i = 0; i < 60000; ++i)
            document.inboxItems.append(VeskTask {QStringLiteral("Tâche %1").arg(i), std::nullopt});
        document.completedItems.append(VeskTask {QString(300000, QChar(u'é')), QStringLiteral("long")});
        const QByteArray whole = serializeDocumentUtf8(document);
        const auto section = [](const QList<VeskTask>& tasks) -> SectionTasks {
            return [&tasks](const TaskVisitor& visit) {
                for (const VeskTask& task : tasks)
                    visit(task.title, task.note);
            };
        };
        const auto write = [&](int refused, QList<qsizetype>& sizes) {
            return writeDocumentUtf8(section(document.workingItems), section(document.inboxItems),
                section(document.completedItems), [&](QByteArrayView piece) {
                    sizes.append(piece.size());
                    return sizes.size() == refused ? ENOSPC : 0;
                });
        };
        QList<qsizetype> sizes;
        QCOMPARE(write(0, sizes), 0);
        QCOMPARE(std::accumulate(sizes.begin(), sizes.end(), qsizetype(0)), whole.size());
        // No piece is much longer than the first, but for the one that holds the long title.
        QVERIFY(sizes.size() > 4 && sizes.first() < whole.size() / 4);
        QCOMPARE(std::count_if(
                     sizes.begin(), sizes.end(), [&](qsizetype size) { return size > 2 * sizes.first(); }),
            1);

        sizes.clear();
        QCOMPARE(write(2, sizes), ENOSPC);
        QCOMPARE(sizes.size(), 2);
    }

    void largeAndDegenerateInputs_data()
    {
        QTest::addColumn<QString>("input");
        QRandomGenerator random(99);
        QString noisyLine;
        while (noisyLine.size() < (1 << 20)) {
            const char16_t c = char16_t(random.bounded(0x10000));
            noisyLine += (c == u'\n' || c == u'\r') ? QChar(u'x') : QChar(c);
        }
        QByteArray invalid;
        for (int i = 0; i < (1 << 18); ++i)
            invalid += char(0x80 | random.bounded(0x80));
        QTest::newRow("1 MB line") << noisyLine;
        QTest::newRow("1 MB line in a task file") << "---\n" + noisyLine + "\n---\n";
        QTest::newRow("1 MB note line") << "t\n> " + noisyLine + "\n---\n---";
        QTest::newRow("only separators") << QString("---\r").repeated(250000);
        QTest::newRow("only CRLFs") << QString("\r\n").repeated(1 << 19);
        QTest::newRow("only line separators") << QString(1 << 20, QChar(0x2028));
        QTest::newRow("only NULs") << QString(1 << 16, QChar(0));
        QTest::newRow("many notes") << "t\n---\n---\n" + QStringLiteral("> n\n").repeated(50000);
        QTest::newRow("many orphans") << "---\n" + QStringLiteral(">\n").repeated(50000);
        QTest::newRow("invalid UTF-8") << "---\n---\n" + QString::fromUtf8(invalid);
    }

    void largeAndDegenerateInputs()
    {
        QFETCH(QString, input);
        checkRoundTrips(input);
        checkBytesReadAsText(input.toUtf8());
    }

    // Files as a person, another program or a damaged disk might leave them, read from their bytes:
    // every line ending, blanks and spaces around structure, characters of two to four bytes,
    // byte order marks, bytes that are not UTF-8, and lines and notes of lengths around those a
    // shared block holds, so that texts begin, grow and end at every place in a block.
    void bytesReadAsTheirDecodedText()
    {
        QList<QByteArray> pieces;
        for (const QString& piece : kPieces)
            pieces.append(piece.toUtf8());
        pieces += {"\xEF\xBB\xBF", "\xFF", "\xC3", "\xE2\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC0\xAF",
            "\xE0\x80\xAF", "\xF0\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBE", "\0"};
        const QByteArray noteLines[] = {"\n> ", "\n>", "\n  > ", "\r\n> ", "\r>\t"};
        QRandomGenerator random(1717);
        int invalid = 0;
        for (int round = 0; round < 5000 && !QTest::currentTestFailed(); ++round) {
            QByteArray bytes = random.bounded(10) == 0 ? "\xEF\xBB\xBF" : "";
            for (int i = random.bounded(60); i > 0; --i) {
                const int kind = random.bounded(12);
                if (kind == 0) {
                    bytes += char(random.bounded(256));
                } else if (kind == 1) {
                    // A run of a length near what a block, or what a text sharing one, may hold.
                    const int lengths[] = {400, 511, 512, 513, 1000, 2040, 2047, 2048, 2100, 5000};
                    const QByteArray units[] = {"x", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
                    const int length
                        = lengths[random.bounded(int(std::size(lengths)))] + random.bounded(-3, 4);
                    bytes += units[random.bounded(int(std::size(units)))].repeated(std::max(1, length / 2));
                } else if (kind <= 4) {
                    bytes += noteLines[random.bounded(int(std::size(noteLines)))];
                    bytes += QByteArray("note ").repeated(random.bounded(30));
                } else {
                    bytes += pieces[random.bounded(int(pieces.size()))];
                }
            }
            if (round % 2 == 0) {
                bytes.insert(random.bounded(bytes.size() + 1), "\n---\n");
                bytes.insert(random.bounded(bytes.size() + 1), "\r\n---\r\n");
            }
            invalid += !bytes.isValidUtf8();
            checkBytesReadAsText(bytes);
        }
        QVERIFY(invalid > 500 && invalid < 4500);
        // Many tasks with notes, in blocks one after another.
        QByteArray many = "---\n";
        for (int i = 0; i < 20000; ++i)
            many += "t\xC3\xA4sk " + QByteArray::number(i) + QByteArray("\n> note line").repeated(i % 4)
                + '\n';
        checkBytesReadAsText(many + "\n---\n");
        checkBytesReadAsText("");
        checkBytesReadAsText("\xEF\xBB\xBF---\n---");
        checkBytesReadAsText("\xEF\xBB\xBF\xEF\xBB\xBF---\n---\n\xEF\xBB\xBFx");
    }

    // A list being read for nobody (its opening dropped) gives up part way, and what it read so
    // far is never handed out as the list.
    void aStoppedReadGivesUpAndHandsOutNothing()
    {
        QByteArray bytes = "Today\n---\n";
        const int tasks = 5 * Utf8TaskReader::linesBetweenStopChecks;
        for (int i = 0; i < tasks; ++i)
            bytes += "task " + QByteArray::number(i) + (i % 5 == 0 ? "\n> its note\n" : "\n");
        bytes += "---\nDone\n";
        std::atomic<bool> stop {false};
        const std::optional<VeskDocument> whole = parseTaskFileUtf8(bytes, &stop);
        QVERIFY(whole);
        QCOMPARE(whole->inboxItems.size(), tasks);
        QCOMPARE(*whole, *parseTaskFileUtf8(bytes));

        stop = true;
        VeskDocument part;
        QCOMPARE(Utf8TaskReader::read(bytes, part, &stop), Utf8TaskReader::stopped);
        QVERIFY(part.inboxItems.size() < Utf8TaskReader::linesBetweenStopChecks);
        QVERIFY(!parseTaskFileUtf8(bytes, &stop));
        // Nor is a text that is not UTF-8 decoded and read instead.
        QVERIFY(!parseTaskFileUtf8(bytes + "\xFF", &stop));
        QVERIFY(parseTaskFileUtf8(bytes + "\xFF"));

        // Stopped from another thread while it reads: the list whole, or nothing.
        for (int round = 0; round < 20; ++round) {
            std::atomic<bool> dropped {false};
            std::optional<VeskDocument> read;
            std::thread reader([&] { read = parseTaskFileUtf8(bytes, &dropped); });
            for (int spin = 0; spin < round * 2000; ++spin)
                QVERIFY(!dropped.load());
            dropped = true;
            reader.join();
            QVERIFY(!read || *read == *whole);
        }
        // The same for a text that is not UTF-8, decoded and read as text.
        const QByteArray notUtf8 = "\xFF" + bytes;
        const std::optional<VeskDocument> wholeText = parseTaskFileUtf8(notUtf8);
        QVERIFY(wholeText);
        for (int round = 0; round < 20; ++round) {
            std::atomic<bool> dropped {false};
            std::optional<VeskDocument> read;
            std::thread reader([&] { read = parseTaskFileUtf8(notUtf8, &dropped); });
            for (int spin = 0; spin < round * 2000; ++spin)
                QVERIFY(!dropped.load());
            dropped = true;
            reader.join();
            QVERIFY(!read || *read == *wholeText);
        }
    }

    // A long text that is not UTF-8, read for an opening that could be dropped, is decoded a
    // megabyte or so at a time: it reads as the whole text decoded at once does, wherever the
    // pieces end (each line begins with a byte order mark, which counts as text there, holds
    // characters of two to four bytes, and half of them end in a sequence cut short).
    void aLongTextNotUtf8ReadsAsWholeWhereverItsPiecesEnd()
    {
        for (const QByteArray shift : {"", "a", "ab", "abc"}) {
            QByteArray bytes = "\xEF\xBB\xBF" + shift + "\xFF\n---\n";
            for (int i = 0; bytes.size() < 3 * 1024 * 1024 + 4096; ++i)
                bytes += "\xEF\xBB\xBFt\xC3\xA4sk \xF0\x9F\x98\x80\xF0\x9F\x98\x81\xE2\x82\xAC "
                    + QByteArray::number(i)
                    + (i % 2 ? "\xE2\x82"
                               "a\n"
                             : "\xE2\x82\n");
            bytes += "---\n";
            checkBytesReadAsText(bytes);
        }
    }

    // Read texts share blocks; each still changes alone, and a changed one allocates about its own
    // size, not the size of what it was read with.
    void readTextsChangeAloneAndStaySmall()
    {
        QByteArray bytes = "---\n";
        for (int i = 0; i < 10000; ++i)
            bytes
                += "t\xC3\xA4sk " + QByteArray::number(i) + (i % 3 == 0 ? "\r\n> note\r\n>  two\r\n" : "\n");
        bytes += "---\n";
        std::optional<VeskDocument> read = parseTaskFile(QString::fromUtf8(bytes));
        QVERIFY(read);
        QCOMPARE(read->inboxItems.size(), 10000);
        checkTerminated(*read);

        const QString suffix(100, u'!');
        QList<VeskTask>& tasks = read->inboxItems;
        for (const qsizetype at : {qsizetype(0), qsizetype(4321), qsizetype(9999)}) {
            const QString title = tasks.at(at).title;
            QString changed = tasks.at(at).title;
            changed += suffix;
            QVERIFY2(changed.data_ptr().constAllocatedCapacity() <= 2 * (4096 + changed.size()),
                qPrintable(QString::number(changed.data_ptr().constAllocatedCapacity())));
            QString folded = tasks.at(at).title + QLatin1Char('\n') + *tasks.at(at - at % 3).note;
            QVERIFY(folded.data_ptr().constAllocatedCapacity() <= 2 * (4096 + folded.size()));
            tasks[at].title.prepend(suffix);
            QCOMPARE(tasks.at(at).title, suffix + title);
            QCOMPARE(changed, title + suffix);
        }
        QCOMPARE(tasks.at(1).title, QStringLiteral("t\u00E4sk 1"));
        QCOMPARE(tasks.at(4320).note, Note(QStringLiteral("note\n two")));
        QCOMPARE(tasks.at(9998).title, QStringLiteral("t\u00E4sk 9998"));

        // Texts outlive their document.
        const QString last = tasks.at(9998).title;
        const Note note = tasks.at(9999).note;
        read.reset();
        QCOMPARE(last, QStringLiteral("t\u00E4sk 9998"));
        QCOMPARE(note, Note(QStringLiteral("note\n two")));
    }

    void importTakesTrimmedNonEmptyLinesIntoTheInbox()
    {
        const VeskDocument imported
            = importPlainText(QStringLiteral("  milk \r\n\r\n---\n > quoted\r\t\u00A0 \n --- \neggs\u3000"));
        QCOMPARE(imported, doc({}, {"milk", "> quoted", "eggs"}));
        QCOMPARE(parseDocument(serializeDocument(imported)), imported);
        QCOMPARE(importPlainText(QStringLiteral("---\n  ---\n\n---\t")), VeskDocument::empty());
    }

    void equalityIsCanonicalEquivalence()
    {
        const struct {
            VeskTask a, b;
            bool equal;
        } cases[] = {
            {{"caf\u00E9", {}}, {"cafe\u0301", {}}, true},
            {{"a", "\u00C5ngstr\u00F6m"}, {"a", "A\u030Angstro\u0308m"}, true},
            {{"a", {}}, {"A", {}}, false},
            {{"a ", {}}, {"a", {}}, false},
            {{"a\nb", {}}, {"a\rb", {}}, false},
            {{"\u00E9", {}}, {"e", {}}, false},
            {{"a", ""}, {"a", {}}, false},
            {{"a", "x"}, {"a", "y"}, false},
            {{"\uFB01", {}}, {"fi", {}}, false}, // compatibility forms are not folded
            {{"\u00A0", {}}, {" ", {}}, false},
        };
        for (const auto& c : cases)
            QVERIFY2((c.a == c.b) == c.equal, qPrintable(describeText(c.a.title + u'/' + c.b.title)));
        QCOMPARE(doc({}, {}, {"r\u00E9sum\u00E9"}), doc({}, {}, {"re\u0301sume\u0301"}));
        QVERIFY(!(doc({}, {}, {"x"}) == doc({}, {"x"})));
        QVERIFY(!(doc({"x"}) == doc({"x", "x"})));
    }
};

QTEST_GUILESS_MAIN(DocumentFormatTest)
#include "DocumentFormatTest.moc"
