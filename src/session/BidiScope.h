#pragma once

#include <QChar>
#include <QStringView>
#include <QVarLengthArray>

// Follows the explicit embeddings, overrides and isolates (U+202A–U+202E, U+2066–U+2069) of a text
// read left to right, as the bidirectional algorithm pairs them: a pop closes the latest opener
// of its kind, a pop of an isolate also closes the embeddings opened inside it, and a paragraph
// separator closes everything. While one is open, the characters that follow may be shown in
// another order than they are written.
class BidiScope {
public:
    void feed(QChar c)
    {
        // The controls and the paragraph separators lie in these few ranges.
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x85 || (u >= 0x2029 && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            feedControl(c);
    }
    void feed(QStringView text)
    {
        for (QChar c : text)
            feed(c);
    }
    bool isOpen() const { return m_embeddings.size() > 1 || m_embeddings.first() > 0; }

private:
    void feedControl(QChar c);

    // Embeddings and overrides open at each isolate level, outermost first.
    QVarLengthArray<qsizetype, 4> m_embeddings {0};
};
