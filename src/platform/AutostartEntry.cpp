#include "platform/AutostartEntry.h"

#include "platform/ProgramLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

Q_LOGGING_CATEGORY(lcAutostart, "vesk.autostart", QtWarningMsg)

namespace {
const QString programName = QStringLiteral("vesk");

// Characters that make an argument of an Exec line need quotes.
bool isReserved(QChar c)
{
    return QStringView(u" \t\n\"'\\><~|&;$*?#()`").contains(c);
}

bool hasControlCharacters(const QString& text)
{
    return std::any_of(
        text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c == QChar(0x7f); });
}

// The escapes of a desktop entry's string values.
QString escapedValue(QString value)
{
    return value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
}
} // namespace

// The application runs as a private program; the entry names the command that starts it.
AutostartEntry::AutostartEntry()
    : AutostartEntry(userFilePath(), ProgramLocation::command(QCoreApplication::applicationFilePath()))
{ }

AutostartEntry::AutostartEntry(QString filePath, QString program)
    : m_filePath(std::move(filePath)), m_program(std::move(program))
{ }

QString AutostartEntry::userFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/vesk.desktop");
}

bool AutostartEntry::isEnabled() const
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (inMainGroup && equals > 0 && line.left(equals).trimmed() == "Hidden"
            && line.mid(equals + 1).trimmed() == "true")
            return false;
    }
    return true;
}

bool AutostartEntry::setEnabled(bool enabled, QString* error)
{
    QString failure;
    if (!enabled) {
        QFile file(m_filePath);
        if (file.exists() && !file.remove())
            failure = file.errorString();
    } else if (!QDir().mkpath(QFileInfo(m_filePath).absolutePath())) {
        failure = QStringLiteral("Cannot create the folder %1").arg(QFileInfo(m_filePath).absolutePath());
    } else {
        QSaveFile file(m_filePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(text().toUtf8()) < 0 || !file.commit())
            failure = file.errorString();
    }
    if (failure.isEmpty())
        return true;
    qCWarning(lcAutostart) << "Could not" << (enabled ? "write" : "remove") << m_filePath << ":" << failure;
    if (error)
        *error = failure;
    return false;
}

QString AutostartEntry::text() const
{
    const QString command = AutostartEntry::command(m_program);
    // TryExec: an entry left behind after Vesk was removed starts nothing.
    const QString tryExec = command == programName ? programName : escapedValue(m_program);
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vesk\n"
                          "Comment=Start Vesk in the background at login, ready for its global shortcut\n"
                          "Exec=%1 --background\n"
                          "TryExec=%2\n"
                          "Icon=vesk\n"
                          "Terminal=false\n")
        .arg(command, tryExec);
}

QString AutostartEntry::command(const QString& program)
{
    const QString canonical = QFileInfo(program).canonicalFilePath();
    const QString found = QStandardPaths::findExecutable(programName);
    // A path no desktop entry can hold: the program by name is the best left.
    if (program.isEmpty() || hasControlCharacters(program)
        || (!found.isEmpty() && QFileInfo(found).canonicalFilePath() == canonical))
        return programName;
    const QString path = QFileInfo(program).absoluteFilePath();
    QString quoted;
    bool needsQuotes = false;
    for (const QChar c : path) {
        if (isReserved(c))
            needsQuotes = true;
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    if (needsQuotes)
        quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    // The quoting is read after the string escapes are undone, so its backslashes are escaped again.
    return escapedValue(quoted);
}
