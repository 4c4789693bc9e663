#include "session/BidiScope.h"

void BidiScope::feedControl(QChar c)
{
    switch (c.unicode()) {
    case 0x202A: // left-to-right embedding
    case 0x202B: // right-to-left embedding
    case 0x202D: // left-to-right override
    case 0x202E: // right-to-left override
        ++m_embeddings.last();
        return;
    case 0x202C: // pop directional formatting
        if (m_embeddings.last() > 0)
            --m_embeddings.last();
        return;
    case 0x2066: // left-to-right isolate
    case 0x2067: // right-to-left isolate
    case 0x2068: // first strong isolate
        m_embeddings.append(0);
        return;
    case 0x2069: // pop directional isolate
        if (m_embeddings.size() > 1)
            m_embeddings.removeLast();
        return;
    default:
        if (c.direction() == QChar::DirB)
            m_embeddings = {0};
        return;
    }
}
