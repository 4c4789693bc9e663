#pragma once

#include "document/TextBlocks.h"
#include "document/VeskDocument.h"

#include <QByteArrayView>
#include <QString>

#include <atomic>

// Reads a task file straight from its UTF-8 bytes, by the same rules as parseDocument reads the
// decoded text. Each line is decoded once, while its end is looked for, into the shared block its
// text then stays in (see TextBlocks): the file is never held as one decoded text, and no text is
// copied after it has been decoded.
class Utf8TaskReader {
public:
    // What read returns when the bytes are not UTF-8, or when it was stopped.
    static constexpr int notUtf8 = -1;
    static constexpr int stopped = -2;
    // Lines read between two looks at the stop flag.
    static constexpr int linesBetweenStopChecks = 4096;

    // Reads bytes (a leading byte order mark skipped, as the file reader's decoding does) into
    // document, which must be empty, and returns how many separators divided them (at most two);
    // notUtf8 when the bytes are not UTF-8, the document then holding part of them. When stop is
    // given and set, from any thread, it gives up within a few thousand lines and returns stopped,
    // the document holding part of the bytes.
    static int read(QByteArrayView bytes, VeskDocument& document, const std::atomic<bool>* stop = nullptr);

private:
    Utf8TaskReader(QByteArrayView bytes, VeskDocument& document);

    int run(const std::atomic<bool>* stop);
    // Each reads one line from m_pos, leaving m_pos at its break or at the end; false when the
    // bytes are not UTF-8.
    bool readTitleLine(const char* from);
    bool readNoteLine(const char* from);
    // Decodes the line at `from` into the current block, after the note being read; when it does not
    // fit there but would fit a block together with the `earlier` units counted before it (a note's
    // earlier pieces), once more at a new block's start, the note moved along. Returns how it went
    // (line, no room, invalid); leaves [at, out) the line's units and p at its end when it fits.
    int decodeIntoBlock(const char* from, const char*& p, char16_t*& at, char16_t*& out, qsizetype earlier);
    // A task with this title at the end of the section, made in place: no task made first beside the
    // list and moved in with its note still unset.
    void appendTask(QString title);
    // A line too long to share a block, decoded from `from` into a string of its own.
    bool decodeLongLine(const char* from, QString& line);
    // Gives the note being read to the section's last task.
    void finishNote();

    const char* m_pos;
    const char* m_end;
    VeskDocument& m_document;
    QList<VeskTask>* m_tasks;
    TextBlocks m_blocks;
    // The section's last task, which note lines belong to; none before its first.
    VeskTask* m_lastTask = nullptr;
    // The note being read: not begun, in the current block from m_noteStart (not yet taken, with a
    // free unit after it), or in a string of its own once too long to share a block.
    enum class Note { none, inBlock, own } m_note = Note::none;
    char16_t* m_noteStart = nullptr;
    qsizetype m_noteSize = 0;
    QString m_ownNote;
};
