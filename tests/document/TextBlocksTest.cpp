#include "document/TextBlocks.h"

#include <QTest>

#include <vector>

namespace {

// The units the allocation behind a string holds, whatever part of it the string uses.
qsizetype allocationOf(QString& text)
{
    return text.data_ptr().constAllocatedCapacity();
}

int holdersOf(QString& text)
{
    return text.data_ptr().d_ptr()->ref_.loadRelaxed();
}

bool sameBlock(QString& a, QString& b)
{
    return a.data_ptr().d_ptr() == b.data_ptr().d_ptr();
}

bool terminated(const QString& text)
{
    return text.utf16()[text.size()] == 0;
}

// Texts until the first one that no longer fits the first block: the block then holds every text
// but the last, and the one before the last sits at its far end.
std::vector<QString> fillOneBlock(TextBlocks& blocks)
{
    std::vector<QString> texts;
    while (texts.size() < 2 || sameBlock(texts.front(), texts.back()))
        texts.push_back(blocks.text(QStringLiteral("t\u00E4sk %1 of a full block").arg(texts.size())));
    return texts;
}

} // namespace

class TextBlocksTest : public QObject {
    Q_OBJECT

private slots:
    void textsAreCopiesThatEndWhereTheirSizeSays()
    {
        const QString longText(TextBlocks::longestShared + 1, u'x');
        std::vector<QString> expected;
        std::vector<QString> texts;
        {
            TextBlocks blocks;
            for (int i = 0; i < 3000; ++i) {
                const QString source = QStringLiteral("%1 \U0001F600 caf\u00E9").arg(i);
                expected.push_back(source);
                texts.push_back(blocks.text(source));
            }
            expected.push_back(longText);
            texts.push_back(blocks.text(longText));
            const std::vector<QStringView> lines {u"first", u"", u"> third"};
            expected.push_back(QStringLiteral("first\n\n> third"));
            texts.push_back(blocks.joinedLines(lines));
            const std::vector<QStringView> blankLines {u"", u""};
            expected.push_back(QStringLiteral("\n"));
            texts.push_back(blocks.joinedLines(blankLines));
            expected.push_back(QStringLiteral(""));
            texts.push_back(blocks.text(u""));
        }
        // The texts outlive what made them.
        for (size_t i = 0; i < texts.size(); ++i) {
            QCOMPARE(texts[i], expected[i]);
            QVERIFY(terminated(texts[i]));
        }
        QVERIFY(!texts.back().isNull());
        QVERIFY(!sameBlock(texts.front(), texts[2999])); // more than one block was used
        // A long text has an allocation of its own.
        QVERIFY(texts[3000].isDetached());
        QVERIFY(!sameBlock(texts[3000], texts[2999]) && !sameBlock(texts[3000], texts[3001]));
    }

    // Each text holds one reference to its block, and the block is freed with the last of them.
    void aBlockIsHeldByItsTextsAlone()
    {
        std::vector<QString> texts;
        {
            TextBlocks blocks;
            texts = fillOneBlock(blocks);
        }
        const int inFirstBlock = int(texts.size()) - 1;
        QCOMPARE(holdersOf(texts.front()), inFirstBlock);
        QCOMPARE(holdersOf(texts.back()), 1);
        QString copy = texts.front();
        QCOMPARE(holdersOf(texts.front()), inFirstBlock + 1);
        copy = QString();
        texts.resize(1);
        QCOMPARE(holdersOf(texts.front()), 1);
        QVERIFY(texts.front().isDetached());
    }

    // A string grown from a text takes a capacity reaching back over its block, so the block must
    // stay small: a changed text never allocates much more than a block beyond its own units.
    void aChangedTextAllocatesAtMostABlockMore()
    {
        TextBlocks blocks;
        std::vector<QString> texts = fillOneBlock(blocks);
        QString& farEnd = texts[texts.size() - 2];
        const QString original = farEnd;
        const QString suffix(100, u'!');
        // A few kilobytes, however many texts were made before.
        const qsizetype bound = 2 * (2048 + original.size() + suffix.size());

        QString appended = farEnd;
        appended += suffix;
        QString prepended = farEnd;
        prepended.prepend(suffix);
        QString inserted = farEnd;
        inserted.insert(3, suffix);
        QString replaced = farEnd;
        replaced.replace(0, 1, suffix);
        QString resized = farEnd;
        resized.resize(farEnd.size() + suffix.size(), u'!');
        for (QString* changed : {&appended, &prepended, &inserted, &replaced, &resized}) {
            QVERIFY2(allocationOf(*changed) <= bound,
                qPrintable(
                    QStringLiteral("%1 units for %2").arg(allocationOf(*changed)).arg(changed->size())));
            QVERIFY(terminated(*changed));
        }
        QCOMPARE(appended, original + suffix);
        QCOMPARE(prepended, suffix + original);
        QCOMPARE(inserted, original.left(3) + suffix + original.mid(3));
        QCOMPARE(replaced, suffix + original.mid(1));
        QCOMPARE(resized, original + suffix);

        // Changing a text in place changes no other text of its block.
        const QString neighbourBefore = texts[texts.size() - 3];
        farEnd[0] = u'T';
        farEnd.append(suffix);
        QCOMPARE(farEnd, QStringLiteral("T") + original.mid(1) + suffix);
        QCOMPARE(texts[texts.size() - 3], neighbourBefore);
        QCOMPARE(texts.back(), QStringLiteral("t\u00E4sk %1 of a full block").arg(texts.size() - 1));
    }

    // Once the last holder of its block, a text may change in place over what other texts held.
    void theLastHolderChangesInPlace()
    {
        std::vector<QString> texts;
        {
            TextBlocks blocks;
            texts = fillOneBlock(blocks);
        }
        QString first = texts.front();
        texts.clear();
        QVERIFY(first.isDetached());
        first += QString(200, u'y');
        first.prepend(u'>');
        QCOMPARE(first, QStringLiteral(">t\u00E4sk 0 of a full block") + QString(200, u'y'));
        QVERIFY(terminated(first));
        first.chop(200);
        QCOMPARE(first, QStringLiteral(">t\u00E4sk 0 of a full block"));
        QVERIFY(terminated(first));
    }
};

QTEST_GUILESS_MAIN(TextBlocksTest)
#include "TextBlocksTest.moc"
