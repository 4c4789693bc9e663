#include "DocumentFormat.h"
#include "DocumentTestPrinting.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

QList<VeskTask> VeskDocument::*const kSections[]
    = {&VeskDocument::workingItems, &VeskDocument::inboxItems, &VeskDocument::completedItems};

const QStringList kPieces {"---", "---", " --- ", "---\t", ">", "> ", ">>", " \t>", "\u00A0>", "\n", "\n",
    "\r", "\r\n", "\n\r", "\u2028", "\u2029", "\u0085", "\v", "\f", " ", "\t", "\u00A0", "\u3000", "\u200B",
    "a", "word ", "\u00E9", "e\u0301", "\uFFFD", "\U0001F600", "\n---\n", "\n> "};

// Text as a hand-edited or damaged file might hold: structure-like pieces, control characters,
// lone surrogates, arbitrary code units, and bytes that are not valid UTF-8.
QString randomInput(QRandomGenerator& random)
{
    if (random.bounded(8) == 0) {
        QByteArray bytes;
        const int count = random.bounded(200);
        const char likely[] = {'\n', '\r', '-', '-', '-', '>', ' ', '\t', 'a'};
        for (int i = 0; i < count; ++i) {
            bytes
                += random.bounded(2) ? likely[random.bounded(int(sizeof likely))] : char(random.bounded(256));
        }
        return QString::fromUtf8(bytes);
    }
    QString text;
    const int count = random.bounded(80);
    for (int i = 0; i < count; ++i) {
        switch (random.bounded(6)) {
        case 0:
            text += QChar(char16_t(random.bounded(0x20)));
            break;
        case 1:
            text += QChar(char16_t(random.bounded(0x10000)));
            break;
        default:
            text += kPieces[random.bounded(int(kPieces.size()))];
        }
    }
    return text;
}

// Reads, writes, reads and writes again. The first write fixes the text: later rounds reproduce
// it exactly, and writing never moves a task to another section or changes its title.
void checkRoundTrips(const QString& input)
{
    const VeskDocument document = parseDocument(input);

    const QString written = serializeDocument(document);
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

class DocumentRobustnessTest : public QObject {
    Q_OBJECT

private slots:
    void randomInputsReachAFixedPointAfterTheFirstWrite();
    void largeAndDegenerateInputs_data();
    void largeAndDegenerateInputs();
    void longTitlesAndNotesSurviveIntact();
};

void DocumentRobustnessTest::randomInputsReachAFixedPointAfterTheFirstWrite()
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
        checkRoundTrips(input);
        if (QTest::currentTestFailed()) {
            qWarning("round %d input \"%s\"", round, qPrintable(describeText(input)));
            return;
        }
    }
    QVERIFY(taskFiles > 3000);
}

void DocumentRobustnessTest::largeAndDegenerateInputs_data()
{
    QTest::addColumn<QString>("input");
    QRandomGenerator random(99);
    QString noisyLine;
    noisyLine.reserve(1 << 20);
    while (noisyLine.size() < (1 << 20)) {
        const char16_t c = char16_t(random.bounded(0x10000));
        noisyLine += (c == u'\n' || c == u'\r') ? QChar(u'x') : QChar(c);
    }
    QTest::newRow("1 MB line without line feeds") << noisyLine;
    QTest::newRow("1 MB line in a task file")
        << QStringLiteral("---\n") + noisyLine + QStringLiteral("\n---\n");
    QTest::newRow("1 MB note line") << QStringLiteral("t\n> ") + noisyLine + QStringLiteral("\n---\n---");
    QTest::newRow("only separators") << QStringLiteral("---\n").repeated(250000);
    QTest::newRow("only separators with CRs") << QStringLiteral("---\r").repeated(250000);
    QTest::newRow("only line feeds") << QString(1 << 20, u'\n');
    QTest::newRow("only CRs") << QString(1 << 20, u'\r');
    QTest::newRow("only CRLFs") << QStringLiteral("\r\n").repeated(1 << 19);
    QTest::newRow("only line separators") << QString(1 << 20, QChar(0x2028));
    QTest::newRow("only NULs") << QString(1 << 16, QChar(0));
    QTest::newRow("many notes") << QStringLiteral("t\n---\n---\n") + QStringLiteral("> n\n").repeated(50000);
    QTest::newRow("many orphans") << QStringLiteral("---\n") + QStringLiteral("> n\n").repeated(50000);
    QTest::newRow("many blank notes")
        << QStringLiteral("t\n---\n---\n") + QStringLiteral(">\n").repeated(50000);
    QByteArray invalid;
    for (int i = 0; i < (1 << 18); ++i)
        invalid += char(0x80 | random.bounded(0x80));
    QTest::newRow("invalid UTF-8") << QStringLiteral("---\n---\n") + QString::fromUtf8(invalid);
}

void DocumentRobustnessTest::largeAndDegenerateInputs()
{
    QFETCH(QString, input);
    checkRoundTrips(input);
}

void DocumentRobustnessTest::longTitlesAndNotesSurviveIntact()
{
    const QString title = QStringLiteral("long \u00E9 title ").repeated(50000).trimmed();
    const QString note = QStringLiteral("line of a long note\n").repeated(50000).chopped(1);
    VeskDocument document;
    document.inboxItems = {{title, note}, {"after", std::nullopt}};
    const VeskDocument readBack = parseDocument(serializeDocument(document));
    QCOMPARE(readBack, document);
}

QTEST_GUILESS_MAIN(DocumentRobustnessTest)
#include "DocumentRobustnessTest.moc"
