#include "sync/FileAccessError.h"

QString FileAccessError::description() const
{
    if (kind == Kind::unreadableAsVesk)
        return QStringLiteral("The backing file changed and Vesk can no longer read it as a Vesk document.");
    return message;
}

FileAccessError FileAccessError::conflict()
{
    return {Kind::conflict,
        QStringLiteral("This file changed outside Vesk, and Vesk won’t overwrite those external changes.")};
}

FileAccessError FileAccessError::missing()
{
    return {Kind::unavailable, QStringLiteral("The backing file is no longer available.")};
}

FileAccessError FileAccessError::unreadable()
{
    return {Kind::unavailable, QStringLiteral("The backing file can no longer be read.")};
}

FileAccessError FileAccessError::unwritable()
{
    return {Kind::unwritable, QStringLiteral("You don’t have permission to save this file anymore.")};
}

FileAccessError FileAccessError::unreadableAsVesk()
{
    return {Kind::unreadableAsVesk, QString()};
}
