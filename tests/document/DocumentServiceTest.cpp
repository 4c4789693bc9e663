#include "document/DocumentService.h"
#include "FileBytes.h"
#include "ScriptedDialogPresenter.h"
#include "SmallTmpfs.h"
#include "UnprivilegedChild.h"
#include "document/ContentMarker.h"
#include "document/DocumentFormat.h"
#include "document/ReplacedFileWatcher.h"
#include "document/TemporaryFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QStringList temporaryFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden | QDir::System);
}

int chmod(const QString& path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode);
}

struct stat statOf(const QString& path)
{
    struct stat info { };
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

// A task file of exactly size bytes.
QByteArray taskFileOfSize(qsizetype size, char version)
{
    QByteArray text;
    for (int task = 0; text.size() + 60 < size; ++task)
        text += "Task " + QByteArray::number(task) + " of version " + version + "\n";
    text += "---\n---\n";
    return text + QByteArray(size - text.size() - 1, 'x') + "\n";
}

// An access control list as Linux stores it: the owner, group and others entries of mode 0640,
// and read and write for the user nobody.
QByteArray accessControlListGrantingNobody()
{
    QByteArray acl;
    const auto add = [&acl](quint16 tag, quint16 permissions, quint32 id) {
        acl.append(reinterpret_cast<const char*>(&tag), 2);
        acl.append(reinterpret_cast<const char*>(&permissions), 2);
        acl.append(reinterpret_cast<const char*>(&id), 4);
    };
    const quint32 version = 2;
    acl.append(reinterpret_cast<const char*>(&version), 4);
    const quint32 undefined = quint32(-1);
    add(0x01, 6, undefined); // owner
    add(0x02, 6, 65534); // the user nobody
    add(0x04, 4, undefined); // group
    add(0x10, 6, undefined); // mask
    add(0x20, 0, undefined); // others
    return acl;
}

QByteArray attribute(const QString& path, const char* name)
{
    QByteArray value(256, '\0');
    const ssize_t size
        = ::getxattr(QFile::encodeName(path).constData(), name, value.data(), size_t(value.size()));
    return size < 0 ? QByteArray("<none>") : value.left(size);
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
        const auto result = m_service.readDocument(m_path, dialogs.alertCallback(), contents);
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
                QCOMPARE(contents.document, parseDocument(QString::fromUtf8(bytes)));
                QCOMPARE(contents.mark, ContentMark::of(bytes));
            }
            return;
        }
        VeskDocument expected;
        for (const QString& title : imported)
            expected.inboxItems.append({title, std::nullopt});
        QCOMPARE(contents.document, expected);
        QCOMPARE(contents.text, serializeDocument(expected));
        QCOMPARE(readBytes(m_path), contents.text.toUtf8());
        QCOMPARE(contents.mark, ContentMark::of(contents.text.toUtf8()));
        QVERIFY(temporaryFiles(m_folder->path()).isEmpty());
    }

    // What another program writes while the user is asked whether to import is kept: the import,
    // made from what was read before, is not written over it.
    void aFileChangedDuringTheImportQuestionIsNotWrittenOver()
    {
        writeBytes(m_path, QByteArray("first line\nsecond line\n"));
        const QByteArray meanwhile("first line\nsecond line\nadded meanwhile\n");
        const auto changeThenImport = [&](const QString&, const QString&, const QStringList&) {
            writeBytes(m_path, meanwhile);
            return 0;
        };
        DocumentContents contents;
        const auto result = m_service.readDocument(m_path, changeThenImport, contents);
        QVERIFY(result);
        QCOMPARE(describeFailure(*result), documentErrorDescription(DocumentError::changedBeforeImport));
        QCOMPARE(readBytes(m_path), meanwhile);
        QVERIFY(temporaryFiles(m_folder->path()).isEmpty());
    }

    // A mark tells the marked content from any other, also from one of the same length, whether it
    // keeps the bytes or only their digest; an addition at the end still shows the marked content.
    void contentMarksTellContentsApart_data()
    {
        QTest::addColumn<QByteArray>("other");
        QTest::addColumn<bool>("same");
        QTest::addColumn<bool>("prefix");
        const QByteArray marked = "Write report\n---\nBuy stamps\n---\n";
        QTest::newRow("same bytes") << QByteArray(marked.constData(), marked.size()) << true << true;
        QTest::newRow("first byte") << QByteArray(marked).replace(0, 1, "w") << false << false;
        QTest::newRow("last byte") << QByteArray(marked).replace(marked.size() - 1, 1, " ") << false << false;
        QTest::newRow("a byte within") << QByteArray(marked).replace(15, 1, "x") << false << false;
        QTest::newRow("added") << marked + "Book flights\n" << false << true;
        QTest::newRow("cut short") << marked.chopped(1) << false << false;
        QTest::newRow("nothing") << QByteArray() << false << false;
    }

    void contentMarksTellContentsApart()
    {
        QFETCH(QByteArray, other);
        QFETCH(bool, same);
        QFETCH(bool, prefix);
        const QByteArray marked = "Write report\n---\nBuy stamps\n---\n";
        for (const qsizetype keepUpTo : {ContentMark::keptBytesLimit, qsizetype(10), qsizetype(0)}) {
            const ContentMark mark = ContentMark::of(marked, keepUpTo);
            QCOMPARE(mark.matches(other), same);
            QCOMPARE(mark.isPrefixOf(other), prefix);
            QCOMPARE(mark == ContentMark::of(other, keepUpTo), same);
            // Marked as it is read, a few bytes at a time, it is marked the same, also when the marked
            // content was expected; when expected as its bytes kept beyond the marker's limit, the same
            // content gives back that very mark.
            const ContentMark held = ContentMark::of(marked, std::numeric_limits<qsizetype>::max());
            for (const ContentMark* expected : {static_cast<const ContentMark*>(nullptr), &mark, &held}) {
                ContentMarker marker(keepUpTo);
                if (expected)
                    marker.expect(*expected);
                marker.reserve(other.size());
                for (qsizetype at = 0; at < other.size(); at += 7)
                    marker.add(QByteArrayView(other).sliced(at, std::min<qsizetype>(7, other.size() - at)));
                QCOMPARE(
                    marker.finish(), expected == &held && same ? held : ContentMark::of(other, keepUpTo));
            }
        }
    }

    // Read for its mark only, a file is read piece by piece and never held whole; it is refused and
    // marked exactly as when it is read whole, also where a character or a fault straddles two pieces.
    void markOnlyReadsAgreeWithWholeReads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // Well beyond what a mark keeps, in three-byte characters, so that pieces end inside characters.
        const QByteArray cup = "\xe2\x98\x95";
        const QByteArray longList
            = "Tea\n> " + cup.repeated(ContentMark::keptBytesLimit / 3 + 70000) + "\n---\n---\n";
        QTest::newRow("short") << QByteArray("Caf\xc3\xa9\n---\n---\n");
        QTest::newRow("short, not UTF-8") << QByteArray("Caf\xe9\n---\n---\n");
        QTest::newRow("long") << longList;
        QTest::newRow("long, a stray continuation byte")
            << QByteArray(longList).replace(5 * 65536 + 1, 1, "\x98");
        QTest::newRow("long, an overlong form across two pieces")
            << QByteArray(longList).replace(65535, 2, "\xc0\x80");
        QTest::newRow("long, cut off inside a character") << longList.left(longList.size() - 10);
        QTest::newRow("long, five continuation bytes") << QByteArray(longList).replace(65534, 2, "\x98\x95");
    }

    void markOnlyReadsAgreeWithWholeReads()
    {
        QFETCH(QByteArray, bytes);
        writeBytes(m_path, bytes);
        FileSnapshot whole;
        FileSnapshot marked;
        const auto wholeError = m_service.readSnapshot(m_path, whole);
        const auto markError
            = m_service.readSnapshot(m_path, marked, DocumentService::SnapshotContent::markOnly);
        QCOMPARE(markError.has_value(), !bytes.isValidUtf8());
        QCOMPARE(wholeError.has_value(), !bytes.isValidUtf8());
        if (markError)
            return;
        QVERIFY(!marked.hasBytes());
        QCOMPARE(marked.mark(), ContentMark::of(bytes));
        QCOMPARE(whole.mark(), marked.mark());

        // Replaced by a save and written by no one any more, the file needs no keeping only while it
        // still holds what was marked: not after one byte was changed in place, its length kept.
        QVERIFY(ReplacedFileWatcher::needsNoKeeping(marked));
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.write("L") == 1);
        file.close();
        QVERIFY(!ReplacedFileWatcher::needsNoKeeping(marked));

        // Leased before it was read, the file is known untouched while the lease holds: not once
        // another program has tried to open it for writing.
        for (const bool opened : {false, true}) {
            FileSnapshot leased;
            QVERIFY(!m_service.readSnapshot(
                m_path, leased, DocumentService::SnapshotContent::markOnly, nullptr, true));
            if (!leased.isLeased())
                QSKIP("the file system of the temporary folder grants no leases");
            if (opened) {
                const int fd
                    = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                QCOMPARE(fd, -1);
                QCOMPARE(errno, EWOULDBLOCK);
            }
            QCOMPARE(leased.releaseLease(), !opened);
        }
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
        const auto failure
            = m_service.readDocument(file(QStringLiteral("gone.vesk")), dialogs.alertCallback(), contents);
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
            const auto refused = m_service.readDocument(path, dialogs.alertCallback(), contents);
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

    // Only a leftover that is provably Vesk's own goes: named for this list with Vesk's mark, holding
    // a whole task file, not locked by a save still running, and older than the cleanup.
    void onlyVeskOwnLeftoversAreRemoved_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("fresh");
        QTest::addColumn<bool>("removed");
        const QString own = QStringLiteral(".list.vesk.vesk-save.7d2e4f60-1a2b-4c3d-8e9f-0a1b2c3d4e5f.tmp");
        const QByteArray task = "a\n---\n---\n";
        QTest::newRow("interrupted save") << own << task << false << false << true;
        QTest::newRow("running save") << own << task << true << false << false;
        QTest::newRow("newer than the save") << own << task << false << true << false;
        QTest::newRow("not a task file") << own << QByteArray("someone else data") << false << false << false;
        QTest::newRow("another program's") << QStringLiteral(".0f8fad5b-d9cb-469f-a165-70867728950e.tmp")
                                           << QByteArray("someone else data") << false << false << false;
        QTest::newRow("a neighbouring list's")
            << QStringLiteral(".other.vesk.vesk-save.0f8fad5b-d9cb-469f-a165-70867728950e.tmp") << task
            << false << false << false;
        QTest::newRow("not a UUID") << QStringLiteral(
            ".list.vesk.vesk-save.0f8fad5b-d9cb-469f-a165-70867728950X.tmp")
                                    << task << false << false << false;
    }

    void onlyVeskOwnLeftoversAreRemoved()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, locked);
        QFETCH(bool, fresh);
        QFETCH(bool, removed);
        writeBytes(m_path, "a\n---\n---\n");
        const QString leftover = file(name);
        writeBytes(leftover, bytes);
        // Left by an earlier run, unless it is fresh.
        const struct timespec earlier[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 60, 0}};
        const struct timespec later[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 60, 0}};
        QCOMPARE(
            ::utimensat(AT_FDCWD, QFile::encodeName(leftover).constData(), fresh ? later : earlier, 0), 0);
        const int fd = ::open(QFile::encodeName(leftover).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        if (locked)
            QCOMPARE(::flock(fd, LOCK_EX), 0);
        // Saving and opening a neighbouring list never touches this list's files.
        const QString neighbour = file(QStringLiteral("neighbour.vesk"));
        QVERIFY(!m_service.writeContents(QStringLiteral("n\n---\n---\n"), neighbour));
        ScriptedDialogPresenter dialogs;
        DocumentContents contents;
        QVERIFY(!m_service.readDocument(neighbour, dialogs.alertCallback(), contents));
        QVERIFY(QFileInfo::exists(leftover));

        // Saving never lists the folder (it may hold thousands of files): leftovers go when the list
        // is opened.
        QVERIFY(!m_service.writeContents(QStringLiteral("b\n---\n---\n"), m_path));
        QVERIFY(QFileInfo::exists(leftover));
        QVERIFY(!m_service.readDocument(m_path, dialogs.alertCallback(), contents));
        QCOMPARE(!QFileInfo::exists(leftover), removed);
        ::close(fd);
        if (!removed)
            QCOMPARE(readBytes(leftover), bytes);
    }

    // Another Vesk cleaning the folder at any moment of a save never takes the save's temporary
    // file: it is locked before it has a name, or, where the file system has no unnamed files, empty
    // until it is locked.
    void cleanupDuringASaveKeepsItsTemporaryFile_data()
    {
        QTest::addColumn<bool>("unnamed");
        QTest::newRow("unnamed until locked") << true;
        QTest::newRow("named at once") << false;
    }

    void cleanupDuringASaveKeepsItsTemporaryFile()
    {
        QFETCH(bool, unnamed);
        TemporaryFile::useUnnamedFiles = unnamed;
        writeBytes(m_path, "old\n---\n---\n");
        const ino_t before = statOf(m_path).st_ino;
        QByteArray named;
        bool survived = false;
        TemporaryFile::onNamed = [&](const QByteArray& path) {
            named = path;
            DocumentService().removeStaleTemporaryFiles(m_path);
            survived = QFile::exists(QFile::decodeName(path));
        };
        const auto error = m_service.writeContents(QStringLiteral("new\n---\n---\n"), m_path);
        TemporaryFile::onNamed = nullptr;
        TemporaryFile::useUnnamedFiles = true;
        QVERIFY(!error);
        QVERIFY(!named.isEmpty());
        QVERIFY2(survived, named.constData());
        QCOMPARE(readBytes(m_path), QByteArray("new\n---\n---\n"));
        // Replaced by the temporary file, not written over in place.
        QVERIFY(statOf(m_path).st_ino != before);
        QVERIFY(temporaryFiles(m_folder->path()).isEmpty());
    }

    // A save that does not fit on the disk fails and leaves the old text whole, whether it goes
    // through a temporary file or, for a file with two names, writes in place; once there is room
    // the next save succeeds.
    void aSaveThatDoesNotFitKeepsTheOldText_data()
    {
        QTest::addColumn<bool>("hardLinked");
        QTest::newRow("temporary file") << false;
        QTest::newRow("in place") << true;
    }

    void aSaveThatDoesNotFitKeepsTheOldText()
    {
        QFETCH(bool, hardLinked);
        SmallTmpfs disk(4);
        SKIP_UNLESS_MOUNTED(disk);
        const QString path = disk.filePath(QStringLiteral("list.vesk"));
        const QString other = disk.filePath(QStringLiteral("other name.vesk"));
        const QByteArray old = taskFileOfSize(3950, 'A');
        writeBytes(path, old);
        if (hardLinked)
            QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()), 0);
        const QByteArray longer = taskFileOfSize(5000, 'B');
        const auto error = m_service.writeContents(QString::fromUtf8(longer), path);
        QVERIFY(error);
        QCOMPARE(error->code, ENOSPC);
        QCOMPARE(readBytes(path), old);
        if (hardLinked)
            QCOMPARE(readBytes(other), old);
        QCOMPARE(
            QDir(disk.filePath(QString())).entryList(QDir::Files | QDir::Hidden).size(), hardLinked ? 2 : 1);

        QVERIFY(disk.resize(64));
        QVERIFY(!m_service.writeContents(QString::fromUtf8(longer), path));
        QCOMPARE(readBytes(path), longer);
        if (hardLinked)
            QCOMPARE(readBytes(other), longer);
    }

    // A save keeps what the file carries besides its text: all its names, its extended attributes
    // and its access control list.
    void savingKeepsLinksAttributesAndAccessLists()
    {
        writeBytes(m_path, "old\n---\n---\n");
        const QString other = file(QStringLiteral("other name.vesk"));
        QCOMPARE(::link(QFile::encodeName(m_path).constData(), QFile::encodeName(other).constData()), 0);
        const QByteArray encoded = QFile::encodeName(m_path);
        const bool attributes = ::setxattr(encoded.constData(), "user.vesk.test", "kept", 4, 0) == 0;
        const QByteArray acl = accessControlListGrantingNobody();
        const bool acls = ::setxattr(encoded.constData(), "system.posix_acl_access", acl.constData(),
                              size_t(acl.size()), 0)
            == 0;
        QStringList notKept {QStringLiteral("stale")};
        for (const QByteArray& text :
            {QByteArray("longer text than before\n---\n---\n"), QByteArray("short\n---\n---\n")}) {
            QVERIFY(!m_service.writeContents(QString::fromUtf8(text), m_path, &notKept));
            QCOMPARE(readBytes(m_path), text);
            QCOMPARE(readBytes(other), text);
            QCOMPARE(statOf(m_path).st_nlink, nlink_t(2));
            QCOMPARE(notKept, QStringList());
        }

        // With one name left the file is replaced again; the copy keeps the rest.
        QVERIFY(QFile::remove(other));
        const ino_t before = statOf(m_path).st_ino;
        QVERIFY(!m_service.writeContents(QStringLiteral("replaced\n---\n---\n"), m_path, &notKept));
        QVERIFY(statOf(m_path).st_ino != before);
        QCOMPARE(notKept, QStringList());
        if (!attributes)
            QSKIP("the test folder's file system has no user extended attributes");
        QCOMPARE(attribute(m_path, "user.vesk.test"), QByteArray("kept"));
        if (!acls)
            QSKIP("the test folder's file system has no access control lists");
        QCOMPARE(attribute(m_path, "system.posix_acl_access"), acl);
        QCOMPARE(statOf(m_path).st_mode & 07777, mode_t(0660));
    }

    void guardedWriteRefusesAFileChangedAfterItsCheck()
    {
        writeBytes(m_path, "mine\n---\n---\n");
        DocumentService::GuardedWriteOutcome outcome;
        const auto guardedWrite = [&](const FileSnapshot& checked) {
            QVERIFY(
                !m_service.writeContents(QByteArrayLiteral("session\n---\n---\n"), m_path, checked, outcome));
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
