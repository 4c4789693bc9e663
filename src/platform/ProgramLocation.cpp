#include "platform/ProgramLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <unistd.h>

namespace {

const QString applicationName = QStringLiteral("vesk-app");
const QString commandName = QStringLiteral("vesk");

bool isProgram(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// Beside the given program first (a build folder), then at the installed place relative to it.
QString find(const QString& from, const QString& name, const char* installedRelative)
{
    const QString folder = QFileInfo(from).absolutePath();
    const QString beside = folder + u'/' + name;
    const QString installed
        = QDir::cleanPath(folder + u'/' + QString::fromUtf8(installedRelative) + u'/' + name);
    if (!isProgram(installed) && isProgram(beside))
        return beside;
    return installed;
}

} // namespace

QString ProgramLocation::running()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || size_t(length) >= sizeof path)
        return QString();
    return QFile::decodeName(QByteArray(path, length));
}

QString ProgramLocation::application(const QString& command)
{
    return find(command, applicationName, VESK_APPLICATION_FROM_COMMAND);
}

QString ProgramLocation::command(const QString& application)
{
    return find(application, commandName, VESK_COMMAND_FROM_APPLICATION);
}
