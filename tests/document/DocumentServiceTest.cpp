#include "DocumentService.h"
#include "DocumentFormat.h"
#include "ScriptedDialogPresenter.h"
#include "UnprivilegedChild.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList temporaryFiles(const QString& folder)
{
    QStringList found;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (name.endsWith(QStringLiteral(".tmp")))
            found.append(name);
    return found;
}

mode_t permissions(const QString& path)
{
    struct stat info { };
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

const QString importMessage = QStringLiteral("Import as Vesk file?");
const QString importInformative = QStringLiteral(
    "Vesk will treat the existing non-empty lines as inbox items and normalize the file when it saves.");

} // namespace

class DocumentServiceTest : public QObject {
    Q_OBJECT

private slots:
    void readingATaskFileNeverAsksAndKeepsItsText()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        // Not in normalised form: CR LF endings, blank lines, a note without its space.
        const QByteArray bytes = "  Write report\r\n>Outline first\r\n\r\n---\r\nBuy stamps\r\n---\r\n";
        writeBytes(path, bytes);
        ScriptedDialogPresenter dialogs;
        DocumentContents contents;
        QVERIFY(!DocumentService().readDocument(path, dialogs, contents));
        QVERIFY(dialogs.alerts.isEmpty());
        QCOMPARE(contents.text, QString::fromUtf8(bytes));
        QCOMPARE(contents.document, parseDocument(QString::fromUtf8(bytes)));
        QCOMPARE(readBytes(path), bytes);
    }

    void importingAsksFirstAndRewritesTheFile_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QStringList>("inbox");
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("one separator")
            << QByteArray("Milk\n---\n  Eggs  \n\n") << QStringList {"Milk", "Eggs"};
        QTest::newRow("plain notes") << QByteArray("# Shopping\n> bread\n")
                                     << QStringList {"# Shopping", "> bread"};
    }

    void importingAsksFirstAndRewritesTheFile()
    {
        QFETCH(QByteArray, original);
        QFETCH(QStringList, inbox);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("notes.txt"));
        writeBytes(path, original);
        ScriptedDialogPresenter dialogs;
        dialogs.alertAnswers = {0};
        DocumentContents contents;
        QVERIFY(!DocumentService().readDocument(path, dialogs, contents));
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts[0].message, importMessage);
        QCOMPARE(dialogs.alerts[0].informativeText, importInformative);
        QCOMPARE(dialogs.alerts[0].buttons, (QStringList {"Import", "Cancel"}));
        QStringList titles;
        for (const VeskTask& task : contents.document.inboxItems)
            titles.append(task.title);
        QCOMPARE(titles, inbox);
        QVERIFY(contents.document.workingItems.isEmpty() && contents.document.completedItems.isEmpty());
        QCOMPARE(contents.text, serializeDocument(contents.document));
        QCOMPARE(readBytes(path), contents.text.toUtf8());
        QVERIFY(temporaryFiles(folder.path()).isEmpty());
    }

    void decliningAnImportLeavesTheFileAlone_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::newRow("cancel") << QList<int> {1};
        QTest::newRow("closed") << QList<int> {};
    }

    void decliningAnImportLeavesTheFileAlone()
    {
        QFETCH(QList<int>, answers);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("notes.txt"));
        writeBytes(path, "keep me\nas I am\n");
        ScriptedDialogPresenter dialogs;
        dialogs.alertAnswers = answers;
        DocumentContents contents;
        const auto failure = DocumentService().readDocument(path, dialogs, contents);
        QVERIFY(failure);
        QCOMPARE(describeFailure(*failure), QStringLiteral("The selected file was not imported into Vesk."));
        QCOMPARE(readBytes(path), QByteArray("keep me\nas I am\n"));
    }

    void invalidUtf8IsAClearErrorAndNothingIsWritten_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Latin-1") << QByteArray("Caf\xe9\n---\n---\n");
        QTest::newRow("cut-off sequence at the end") << QByteArray("Caf\n---\n---\n\xc3");
        QTest::newRow("overlong encoding") << QByteArray("\xc0\xaf\n---\n---\n");
    }

    void invalidUtf8IsAClearErrorAndNothingIsWritten()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("old.txt"));
        writeBytes(path, bytes);
        ScriptedDialogPresenter dialogs;
        dialogs.alertAnswers = {0};
        DocumentContents contents;
        const auto failure = DocumentService().readDocument(path, dialogs, contents);
        QVERIFY(failure);
        QCOMPARE(describeFailure(*failure),
            QStringLiteral("The file “old.txt” couldn’t be opened because it isn’t valid UTF-8 text."));
        QVERIFY(dialogs.alerts.isEmpty());
        QCOMPARE(readBytes(path), bytes);
    }

    void missingFileIsAReadError()
    {
        QTemporaryDir folder;
        ScriptedDialogPresenter dialogs;
        DocumentContents contents;
        const auto failure
            = DocumentService().readDocument(folder.filePath(QStringLiteral("gone.vesk")), dialogs, contents);
        QVERIFY(failure);
        QVERIFY(std::get<FileSystemError>(*failure).isNoSuchFile());
        QCOMPARE(describeFailure(*failure),
            QStringLiteral("The file “gone.vesk” couldn’t be opened because there is no such file."));
    }

    void bundledTemplateIsATaskFileUsedUnchanged()
    {
        DocumentContents contents;
        QVERIFY(!DocumentService().makeNewFileContents(contents));
        QFile resource(DocumentService::bundledTemplatePath());
        QVERIFY(resource.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(resource.readAll());
        QVERIFY(isVeskDocument(text));
        QCOMPARE(contents.text, text);
        QCOMPARE(contents.document, parseDocument(text));
        QVERIFY(!contents.document.workingItems.isEmpty() && !contents.document.inboxItems.isEmpty());
        // The template reads back as written, so a new file is not rewritten by its first save.
        QCOMPARE(parseDocument(serializeDocument(contents.document)), contents.document);
    }

    void templateThatIsNoTaskFileIsImportedWithoutAsking()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("new.vesk"));
        writeBytes(path, "  first\n\nsecond\n");
        DocumentContents contents;
        QVERIFY(!DocumentService().makeNewFileContents(contents, path));
        QCOMPARE(contents.document, importPlainText(QStringLiteral("first\nsecond")));
        QCOMPARE(contents.text, QStringLiteral("\n---\nfirst\nsecond\n---\n"));
    }

    void missingTemplateIsReported()
    {
        DocumentContents contents;
        const auto failure
            = DocumentService().makeNewFileContents(contents, QStringLiteral(":/no-such-template.vesk"));
        QVERIFY(failure);
        QCOMPARE(std::get<DocumentError>(*failure), DocumentError::missingBundledTemplate);
    }

    void writingCreatesAndReplacesLeavingNoTemporaryFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        const DocumentService service;
        QVERIFY(!service.writeContents(QStringLiteral("Tâche\n---\n---\n"), path));
        QCOMPARE(readBytes(path), QStringLiteral("Tâche\n---\n---\n").toUtf8());
        QVERIFY(!service.writeContents(QStringLiteral("Other\n---\n---\n"), path));
        QCOMPARE(readBytes(path), QByteArray("Other\n---\n---\n"));
        QVERIFY(temporaryFiles(folder.path()).isEmpty());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"list.vesk"});
    }

    void replacedFileKeepsItsPermissions_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("private") << 0600;
        QTest::newRow("group readable") << 0640;
        QTest::newRow("executable") << 0750;
    }

    void replacedFileKeepsItsPermissions()
    {
        QFETCH(int, mode);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeBytes(path, "old\n---\n---\n");
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
        QVERIFY(!DocumentService().writeContents(QStringLiteral("new\n---\n---\n"), path));
        QCOMPARE(readBytes(path), QByteArray("new\n---\n---\n"));
        QCOMPARE(int(permissions(path)), mode);
    }

    void replacedFileKeepsItsGroupWhereTheUserMaySetIt()
    {
        if (::geteuid() != 0)
            QSKIP("choosing another owner's group needs root");
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeBytes(path, "old\n---\n---\n");
        QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        QVERIFY(!DocumentService().writeContents(QStringLiteral("new\n---\n---\n"), path));
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_uid, uid_t(65534));
        QCOMPARE(info.st_gid, gid_t(65534));
    }

    void symbolicLinksAreFollowedAndStayLinks()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("real")));
        const QString target = folder.filePath(QStringLiteral("real/list.vesk"));
        writeBytes(target, "old\n---\n---\n");
        const QString absoluteLink = folder.filePath(QStringLiteral("absolute.vesk"));
        const QString relativeLink = folder.filePath(QStringLiteral("relative.vesk"));
        const QString chainedLink = folder.filePath(QStringLiteral("chained.vesk"));
        QCOMPARE(
            ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(absoluteLink).constData()), 0);
        QCOMPARE(::symlink("real/list.vesk", QFile::encodeName(relativeLink).constData()), 0);
        QCOMPARE(::symlink("relative.vesk", QFile::encodeName(chainedLink).constData()), 0);
        const DocumentService service;
        int round = 0;
        for (const QString& link : {absoluteLink, relativeLink, chainedLink}) {
            const QByteArray text = "round " + QByteArray::number(++round) + "\n---\n---\n";
            QVERIFY(!service.writeContents(QString::fromUtf8(text), link));
            QVERIFY2(QFileInfo(link).isSymLink(), qPrintable(link));
            QCOMPARE(readBytes(target), text);
        }
        QVERIFY(temporaryFiles(folder.filePath(QStringLiteral("real"))).isEmpty());
        QVERIFY(temporaryFiles(folder.path()).isEmpty());
    }

    void danglingLinkCreatesItsTarget()
    {
        QTemporaryDir folder;
        const QString link = folder.filePath(QStringLiteral("link.vesk"));
        QCOMPARE(::symlink("made.vesk", QFile::encodeName(link).constData()), 0);
        QVERIFY(!DocumentService().writeContents(QStringLiteral("x\n---\n---\n"), link));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readBytes(folder.filePath(QStringLiteral("made.vesk"))), QByteArray("x\n---\n---\n"));
    }

    void failedWriteIsNeverReportedAsSuccess()
    {
        // Every write to /dev/full fails for lack of space, the way a full disk fails a save.
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("this system has no /dev/full");
        const auto error
            = DocumentService().writeContents(QStringLiteral("a\n---\n---\n"), QStringLiteral("/dev/full"));
        QVERIFY(error);
        QCOMPARE(error->code, ENOSPC);
        QCOMPARE(error->description(),
            QStringLiteral("The file “full” couldn’t be saved because there isn’t enough space."));
    }

    void fifoInTheFilesPlaceFailsInsteadOfHanging()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QVERIFY(DocumentService().writeContents(QStringLiteral("a\n---\n---\n"), path));
        QString text;
        QVERIFY(DocumentService().readText(path, text));
    }

    void writingWhereNoFileMayBeCreatedFallsBackToADirectWrite()
    {
        if (runAsUnprivilegedChild())
            return;
        QTemporaryDir folder;
        const QString locked = folder.filePath(QStringLiteral("locked"));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("locked")));
        const QString path = locked + QStringLiteral("/list.vesk");
        writeBytes(path, "old\n---\n---\n");
        QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0555), 0);
        const auto error = DocumentService().writeContents(QStringLiteral("new\n---\n---\n"), path);
        ::chmod(QFile::encodeName(locked).constData(), 0755);
        QVERIFY2(!error, error ? qPrintable(error->description()) : "");
        QCOMPARE(readBytes(path), QByteArray("new\n---\n---\n"));
        QVERIFY(temporaryFiles(locked).isEmpty());
    }

    void writingAReadOnlyFileInALockedFolderFails()
    {
        if (runAsUnprivilegedChild())
            return;
        QTemporaryDir folder;
        const QString locked = folder.filePath(QStringLiteral("locked"));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("locked")));
        const QString path = locked + QStringLiteral("/list.vesk");
        writeBytes(path, "old\n---\n---\n");
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
        QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0555), 0);
        const auto error = DocumentService().writeContents(QStringLiteral("new\n---\n---\n"), path);
        ::chmod(QFile::encodeName(locked).constData(), 0755);
        QVERIFY(error);
        QCOMPARE(error->code, EACCES);
        QCOMPARE(error->description(),
            QStringLiteral("You don’t have permission to save the file “list.vesk” in the folder “locked”."));
        QCOMPARE(readBytes(path), QByteArray("old\n---\n---\n"));
    }

    void unreadableFileIsAReadError()
    {
        if (runAsUnprivilegedChild())
            return;
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("secret.vesk"));
        writeBytes(path, "a\n---\n---\n");
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0200), 0);
        QString text;
        const auto error = DocumentService().readText(path, text);
        QVERIFY(error);
        QCOMPARE(error->description(),
            QStringLiteral(
                "The file “secret.vesk” couldn’t be opened because you don’t have permission to view it."));
    }

    void leftoversOfInterruptedSavesAreRemovedButLiveOnesKept()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeBytes(path, "a\n---\n---\n");
        const QString stale = folder.filePath(QStringLiteral(".0b6c1a52-8f3e-4c1e-9a57-3f1a2b4c5d6e.tmp"));
        const QString live = folder.filePath(QStringLiteral(".7d2e4f60-1a2b-4c3d-8e9f-0a1b2c3d4e5f.tmp"));
        const QString foreign = folder.filePath(QStringLiteral(".notes.txt.tmp"));
        writeBytes(stale, "half a sa");
        writeBytes(live, "being written");
        writeBytes(foreign, "someone else's");
        // A save in progress holds the lock on its temporary file.
        const int liveFd = ::open(QFile::encodeName(live).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(liveFd >= 0);
        QCOMPARE(::flock(liveFd, LOCK_EX), 0);

        QVERIFY(!DocumentService().writeContents(QStringLiteral("b\n---\n---\n"), path));
        QVERIFY(!QFileInfo::exists(stale));
        QVERIFY(QFileInfo::exists(live));
        QVERIFY(QFileInfo::exists(foreign));
        ::close(liveFd);

        // Opening a file clears them as well.
        ScriptedDialogPresenter dialogs;
        DocumentContents contents;
        QVERIFY(!DocumentService().readDocument(path, dialogs, contents));
        QVERIFY(!QFileInfo::exists(live));
        QVERIFY(QFileInfo::exists(foreign));
    }

    void guardedWriteRefusesAFileChangedAfterItsCheck()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeBytes(path, "mine\n---\n---\n");
        const DocumentService service;
        FileSnapshot checked;
        QVERIFY(!service.readSnapshot(path, checked));
        QCOMPARE(checked.text(), QStringLiteral("mine\n---\n---\n"));
        QFile other(path);
        QVERIFY(other.open(QIODevice::Append));
        other.write("theirs\n");
        other.close();
        DocumentService::GuardedWriteOutcome outcome;
        QVERIFY(!service.writeContents(QStringLiteral("session\n---\n---\n"), path, checked, outcome));
        QCOMPARE(outcome, DocumentService::GuardedWriteOutcome::fileChangedFirst);
        QCOMPARE(readBytes(path), QByteArray("mine\n---\n---\ntheirs\n"));

        // A file replaced by another one under the same name is no longer the file that was checked.
        FileSnapshot again;
        QVERIFY(!service.readSnapshot(path, again));
        QVERIFY(!service.writeContents(QStringLiteral("replacement\n---\n---\n"), path));
        QVERIFY(!service.writeContents(QStringLiteral("session\n---\n---\n"), path, again, outcome));
        QCOMPARE(outcome, DocumentService::GuardedWriteOutcome::fileChangedFirst);
        QCOMPARE(readBytes(path), QByteArray("replacement\n---\n---\n"));

        FileSnapshot current;
        QVERIFY(!service.readSnapshot(path, current));
        QVERIFY(!service.writeContents(QStringLiteral("session\n---\n---\n"), path, current, outcome));
        QCOMPARE(outcome, DocumentService::GuardedWriteOutcome::written);
        QCOMPARE(readBytes(path), QByteArray("session\n---\n---\n"));
    }
};

QTEST_GUILESS_MAIN(DocumentServiceTest)
#include "DocumentServiceTest.moc"
