#include "DocumentService.h"
#include "DocumentFormat.h"
#include "ScriptedDialogPresenter.h"
#include "UnprivilegedChild.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList temporaryFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden | QDir::System);
}

int chmod(const QString& path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode);
}

} // namespace

class DocumentServiceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_path;
    const DocumentService m_service {};

    QString file(const QString& name) const { return m_folder->filePath(name); }

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_path = file(QStringLiteral("list.vesk"));
    }

    // Task files open as they are; other text is imported only when the user agrees, and bytes
    // that are not UTF-8 are refused without a question. A refusal leaves the file untouched.
    void openingReadsTaskFilesAndAsksBeforeImporting_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("imported");
        QTest::addColumn<QString>("failure");
        const QString declined = QStringLiteral("The selected file was not imported into Vesk.");
        const QString invalid
            = QStringLiteral("The file “list.vesk” couldn’t be opened because it isn’t valid UTF-8 text.");
        // Not in normalised form: CR LF endings, blank lines, a note without its space.
        QTest::newRow("task file") << QByteArray(
            "  Write report\r\n>Outline first\r\n\r\n---\r\nBuy stamps\r\n---\r\n")
                                   << QList<int> {} << QStringList() << QString();
        QTest::newRow("empty file") << QByteArray() << QList<int> {0} << QStringList() << QString();
        QTest::newRow("one separator") << QByteArray("Milk\n---\n  Eggs  \n\n") << QList<int> {0}
                                       << QStringList {"Milk", "Eggs"} << QString();
        QTest::newRow("quoted lines") << QByteArray("# Shopping\n> bread\n") << QList<int> {0}
                                      << QStringList {"# Shopping", "> bread"} << QString();
        QTest::newRow("cancelled") << QByteArray("keep me\n") << QList<int> {1} << QStringList() << declined;
        QTest::newRow("closed") << QByteArray("keep me\n") << QList<int> {} << QStringList() << declined;
        QTest::newRow("Latin-1") << QByteArray("Caf\xe9\n---\n---\n") << QList<int> {0} << QStringList()
                                 << invalid;
        QTest::newRow("cut-off sequence")
            << QByteArray("Caf\n---\n---\n\xc3") << QList<int> {0} << QStringList() << invalid;
        QTest::newRow("overlong encoding")
            << QByteArray("\xc0\xaf\n---\n---\n") << QList<int> {0} << QStringList() << invalid;
    }

    void openingReadsTaskFilesAndAsksBeforeImporting()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, imported);
        QFETCH(QString, failure);
        writeBytes(m_path, bytes);
        ScriptedDialogPresenter dialogs;
        dialogs.alertAnswers = answers;
        DocumentContents contents;
        const auto result = m_service.readDocument(m_path, dialogs, contents);
        const bool isTaskFile = isVeskDocument(QString::fromUtf8(bytes));
        QCOMPARE(dialogs.alerts.size(), isTaskFile ? 0 : 1);
        for (const auto& alert : dialogs.alerts) {
            QCOMPARE(alert.message, QStringLiteral("Import as Vesk file?"));
            QCOMPARE(alert.informativeText,
                QStringLiteral(
                    "Vesk will treat the existing non-empty lines as inbox items and normalize the "
                    "file when it saves."));
            QCOMPARE(alert.buttons, (QStringList {"Import", "Cancel"}));
        }
        QCOMPARE(result ? describeFailure(*result) : QString(), failure);
        if (result || isTaskFile) {
            QCOMPARE(readBytes(m_path), bytes);
            if (!result) {
                QCOMPARE(contents.text, QString::fromUtf8(bytes));
                QCOMPARE(contents.document, parseDocument(contents.text));
            }
            return;
        }
        VeskDocument expected;
        for (const QString& title : imported)
            expected.inboxItems.append({title, std::nullopt});
        QCOMPARE(contents.document, expected);
        QCOMPARE(contents.text, serializeDocument(expected));
        QCOMPARE(readBytes(m_path), contents.text.toUtf8());
        QVERIFY(temporaryFiles(m_folder->path()).isEmpty());
    }

    void newFilesStartFromATemplate()
    {
        DocumentContents contents;
        QVERIFY(!m_service.makeNewFileContents(contents));
        QFile resource(DocumentService::bundledTemplatePath());
        QVERIFY(resource.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(resource.readAll());
        QVERIFY(isVeskDocument(text));
        QCOMPARE(contents.text, text);
        QVERIFY(!contents.document.workingItems.isEmpty() && !contents.document.inboxItems.isEmpty());
        // The template reads back as written, so a new file is not rewritten by its first save.
        QCOMPARE(contents.document, parseDocument(text));
        QCOMPARE(parseDocument(serializeDocument(contents.document)), contents.document);

        // A template that is no task file is imported without asking.
        writeBytes(m_path, "  first\n\nsecond\n");
        QVERIFY(!m_service.makeNewFileContents(contents, m_path));
        QCOMPARE(contents.text, QStringLiteral("\n---\nfirst\nsecond\n---\n"));
        QCOMPARE(contents.document, parseDocument(contents.text));
    }

    void missingFilesAndWhatIsNoFileAreReported()
    {
        ScriptedDialogPresenter dialogs;
        DocumentContents contents;
        const auto failure = m_service.readDocument(file(QStringLiteral("gone.vesk")), dialogs, contents);
        QVERIFY(failure);
        QVERIFY(std::get<FileSystemError>(*failure).isNoSuchFile());
        QCOMPARE(describeFailure(*failure),
            QStringLiteral("The file “gone.vesk” couldn’t be opened because there is no such file."));

        // A device, FIFO or socket is refused like a folder, and never opened.
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("folder.vesk")));
        QCOMPARE(::mkfifo(QFile::encodeName(file("pipe.vesk")).constData(), 0600), 0);
        const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray socketPath = QFile::encodeName(file("socket.vesk"));
        std::strncpy(address.sun_path, socketPath.constData(), sizeof(address.sun_path) - 1);
        QCOMPARE(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        const QString notAFile
            = QStringLiteral("The file “%1” couldn’t be opened because it isn’t a regular file.");
        const QList<std::pair<QString, QString>> cases {
            {file("folder.vesk"),
                QStringLiteral("The file “folder.vesk” couldn’t be opened because it is a folder.")},
            {QStringLiteral("/dev/zero"), notAFile.arg("zero")},
            {file("pipe.vesk"), notAFile.arg("pipe.vesk")},
            {file("socket.vesk"), notAFile.arg("socket.vesk")},
        };
        for (const auto& [path, description] : cases) {
            const auto refused = m_service.readDocument(path, dialogs, contents);
            QVERIFY2(refused, qPrintable(path));
            QCOMPARE(describeFailure(*refused), description);
        }
        ::close(listening);
        QVERIFY(dialogs.alerts.isEmpty());
        const auto noTemplate
            = m_service.makeNewFileContents(contents, QStringLiteral(":/no-such-template.vesk"));
        QVERIFY(noTemplate);
        QCOMPARE(std::get<DocumentError>(*noTemplate), DocumentError::missingBundledTemplate);
    }

    void writingReplacesTheFileKeepingItsModeAndOwner()
    {
        QVERIFY(!m_service.writeContents(QStringLiteral("Tâche\n---\n---\n"), m_path));
        QCOMPARE(readBytes(m_path), QStringLiteral("Tâche\n---\n---\n").toUtf8());
        for (const mode_t mode : {0600, 0640, 0750}) {
            QCOMPARE(chmod(m_path, mode), 0);
            const QByteArray text = QByteArray::number(mode, 8) + "\n---\n---\n";
            QVERIFY(!m_service.writeContents(QString::fromUtf8(text), m_path));
            QCOMPARE(readBytes(m_path), text);
            struct stat info { };
            QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &info), 0);
            QCOMPARE(info.st_mode & 07777, mode);
        }
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList {"list.vesk"});

        // Only root may give a file to another owner and group; the save keeps both.
        if (::geteuid() != 0)
            return;
        QCOMPARE(::chown(QFile::encodeName(m_path).constData(), 65534, 65534), 0);
        QVERIFY(!m_service.writeContents(QStringLiteral("new\n---\n---\n"), m_path));
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &info), 0);
        QCOMPARE(info.st_uid, uid_t(65534));
        QCOMPARE(info.st_gid, gid_t(65534));
    }

    void symbolicLinksAreFollowedAndStayLinks()
    {
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("real")));
        const QString target = file(QStringLiteral("real/list.vesk"));
        writeBytes(target, "old\n---\n---\n");
        const QStringList links {file("absolute.vesk"), file("relative.vesk"), file("chained.vesk")};
        QVERIFY(QFile::link(target, links[0]));
        QCOMPARE(::symlink("real/list.vesk", QFile::encodeName(links[1]).constData()), 0);
        QCOMPARE(::symlink("relative.vesk", QFile::encodeName(links[2]).constData()), 0);
        for (const QString& link : links) {
            const QByteArray text = QFileInfo(link).fileName().toUtf8() + "\n---\n---\n";
            QVERIFY(!m_service.writeContents(QString::fromUtf8(text), link));
            QVERIFY2(QFileInfo(link).isSymLink(), qPrintable(link));
            QCOMPARE(readBytes(target), text);
        }
        QVERIFY(temporaryFiles(file("real")).isEmpty() && temporaryFiles(m_folder->path()).isEmpty());

        // A dangling link gets its target created.
        QCOMPARE(::symlink("made.vesk", QFile::encodeName(m_path).constData()), 0);
        QVERIFY(!m_service.writeContents(QStringLiteral("x\n---\n---\n"), m_path));
        QVERIFY(QFileInfo(m_path).isSymLink());
        QCOMPARE(readBytes(file("made.vesk")), QByteArray("x\n---\n---\n"));
    }

    void failedWritesAreNeverReportedAsSuccess()
    {
        // Every write to /dev/full fails for lack of space, the way a full disk fails a save.
        if (QFileInfo::exists(QStringLiteral("/dev/full"))) {
            const auto error
                = m_service.writeContents(QStringLiteral("a\n---\n---\n"), QStringLiteral("/dev/full"));
            QVERIFY(error);
            QCOMPARE(error->code, ENOSPC);
            QCOMPARE(error->description(),
                QStringLiteral("The file “full” couldn’t be saved because there isn’t enough space."));
        }
        // A FIFO in the file's place fails instead of hanging.
        QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        QVERIFY(m_service.writeContents(QStringLiteral("a\n---\n---\n"), m_path));
        QString text;
        QVERIFY(m_service.readText(m_path, text));
    }

    void permissionsAreRespectedForAnUnprivilegedUser()
    {
        if (runAsUnprivilegedChild())
            return;
        const QString locked = file(QStringLiteral("locked"));
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("locked")));
        const QString path = locked + QStringLiteral("/list.vesk");
        writeBytes(path, "old\n---\n---\n");
        QCOMPARE(chmod(locked, 0555), 0);
        // No temporary file may be created there: the save falls back to writing the file in place.
        auto error = m_service.writeContents(QStringLiteral("new\n---\n---\n"), path);
        QVERIFY2(!error, error ? qPrintable(error->description()) : "");
        QCOMPARE(readBytes(path), QByteArray("new\n---\n---\n"));
        QVERIFY(temporaryFiles(locked).isEmpty());

        QCOMPARE(chmod(path, 0444), 0);
        error = m_service.writeContents(QStringLiteral("newer\n---\n---\n"), path);
        chmod(locked, 0755);
        QVERIFY(error);
        QCOMPARE(error->code, EACCES);
        QCOMPARE(error->description(),
            QStringLiteral("You don’t have permission to save the file “list.vesk” in the folder “locked”."));
        QCOMPARE(readBytes(path), QByteArray("new\n---\n---\n"));

        QCOMPARE(chmod(path, 0200), 0);
        QString text;
        error = m_service.readText(path, text);
        QVERIFY(error);
        QCOMPARE(error->description(),
            QStringLiteral(
                "The file “list.vesk” couldn’t be opened because you don’t have permission to view it."));
    }

    void leftoversOfInterruptedSavesAreRemovedButLiveOnesKept()
    {
        writeBytes(m_path, "a\n---\n---\n");
        const QString stale = file(QStringLiteral(".0b6c1a52-8f3e-4c1e-9a57-3f1a2b4c5d6e.tmp"));
        const QString live = file(QStringLiteral(".7d2e4f60-1a2b-4c3d-8e9f-0a1b2c3d4e5f.tmp"));
        const QString foreign = file(QStringLiteral(".notes.txt.tmp"));
        for (const QString& path : {stale, live, foreign})
            writeBytes(path, "partial");
        // A save in progress holds the lock on its temporary file.
        const int liveFd = ::open(QFile::encodeName(live).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(liveFd >= 0);
        QCOMPARE(::flock(liveFd, LOCK_EX), 0);
        QVERIFY(!m_service.writeContents(QStringLiteral("b\n---\n---\n"), m_path));
        QVERIFY(!QFileInfo::exists(stale) && QFileInfo::exists(live) && QFileInfo::exists(foreign));
        ::close(liveFd);

        // Opening a file clears them as well.
        ScriptedDialogPresenter dialogs;
        DocumentContents contents;
        QVERIFY(!m_service.readDocument(m_path, dialogs, contents));
        QVERIFY(!QFileInfo::exists(live) && QFileInfo::exists(foreign));
    }

    void guardedWriteRefusesAFileChangedAfterItsCheck()
    {
        writeBytes(m_path, "mine\n---\n---\n");
        DocumentService::GuardedWriteOutcome outcome;
        const auto guardedWrite = [&](const FileSnapshot& checked) {
            QVERIFY(
                !m_service.writeContents(QStringLiteral("session\n---\n---\n"), m_path, checked, outcome));
        };
        FileSnapshot checked;
        QVERIFY(!m_service.readSnapshot(m_path, checked));
        QCOMPARE(checked.text(), QStringLiteral("mine\n---\n---\n"));
        writeBytes(m_path, "mine\n---\n---\ntheirs\n");
        guardedWrite(checked);
        QCOMPARE(outcome, DocumentService::GuardedWriteOutcome::fileChangedFirst);
        QCOMPARE(readBytes(m_path), QByteArray("mine\n---\n---\ntheirs\n"));

        // A file replaced by another one under the same name is no longer the file that was checked.
        QVERIFY(!m_service.readSnapshot(m_path, checked));
        QVERIFY(!m_service.writeContents(QStringLiteral("replacement\n---\n---\n"), m_path));
        guardedWrite(checked);
        QCOMPARE(outcome, DocumentService::GuardedWriteOutcome::fileChangedFirst);
        QCOMPARE(readBytes(m_path), QByteArray("replacement\n---\n---\n"));

        QVERIFY(!m_service.readSnapshot(m_path, checked));
        guardedWrite(checked);
        QCOMPARE(outcome, DocumentService::GuardedWriteOutcome::written);
        QCOMPARE(readBytes(m_path), QByteArray("session\n---\n---\n"));
    }
};

QTEST_GUILESS_MAIN(DocumentServiceTest)
#include "DocumentServiceTest.moc"
