#include "kit/TextEditCommand.h"

#include <QByteArray>
#include <QMetaObject>
#include <QWidget>

bool TextEditCommand::sendTo(QWidget* editor, const char* slot)
{
    if (!editor || editor->metaObject()->indexOfMethod((QByteArray(slot) + "()").constData()) < 0)
        return false;
    return QMetaObject::invokeMethod(editor, slot);
}
