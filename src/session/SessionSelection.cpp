#include "session/SessionSelection.h"

QString SessionSelection::description() const
{
    switch (m_kind) {
    case Kind::task:
        return QStringLiteral("task(%1)").arg(m_id.toString(QUuid::WithoutBraces).toUpper());
    case Kind::none:
        return QStringLiteral("none");
    case Kind::input:
        return QStringLiteral("input");
    }
    return {};
}
