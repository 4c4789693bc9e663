#include "platform/ProgramLocation.h"

#include "platform/ProgramPaths.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString decoded(bool found, const ProgramPaths::Buffer& path)
{
    return found ? QFile::decodeName(path) : QString();
}

} // namespace

QString ProgramLocation::application(const QString& command)
{
    ProgramPaths::Buffer path;
    const QByteArray from = QFile::encodeName(QFileInfo(command).absoluteFilePath());
    return decoded(ProgramPaths::started(from.constData(), ProgramPaths::applicationName, path), path);
}

QString ProgramLocation::command(const QString& application)
{
    ProgramPaths::Buffer path;
    const QByteArray from = QFile::encodeName(QFileInfo(application).absoluteFilePath());
    return decoded(ProgramPaths::command(from.constData(), path), path);
}
