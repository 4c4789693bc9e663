#include "document/Utf8TaskReader.h"

#include "document/LineRules.h"

#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

enum class Decoded {
    // Up to the line's break or the end of the bytes.
    line,
    // Stopped where the next unit would reach the limit.
    noRoom,
    invalid,
};

// Decodes the character of two to four bytes at p (strictly: no overlong forms, surrogates or
// values past U+10FFFF) to out, below limit. Inlined, so that the caller's pointers stay in registers.
Q_ALWAYS_INLINE Decoded decodeSequence(const char*& p, const char* end, char16_t*& out, const char16_t* limit)
{
    const qsizetype left = end - p;
    const auto byte = [&](qsizetype i) { return uchar(p[i]); };
    const auto continues = [&](qsizetype i, uchar low = 0x80, uchar high = 0xBF) {
        return i < left && byte(i) >= low && byte(i) <= high;
    };
    const uchar lead = byte(0);
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (!continues(1))
            return Decoded::invalid;
        if (out >= limit)
            return Decoded::noRoom;
        *out++ = char16_t(((lead & 0x1F) << 6) | (byte(1) & 0x3F));
        p += 2;
        return Decoded::line;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continues(1, lead == 0xE0 ? 0xA0 : 0x80, lead == 0xED ? 0x9F : 0xBF) || !continues(2))
            return Decoded::invalid;
        if (out >= limit)
            return Decoded::noRoom;
        *out++ = char16_t(((lead & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F));
        p += 3;
        return Decoded::line;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continues(1, lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF) || !continues(2)
            || !continues(3))
            return Decoded::invalid;
        if (limit - out < 2)
            return Decoded::noRoom;
        const char32_t u = (char32_t(lead & 0x07) << 18) | (char32_t(byte(1) & 0x3F) << 12)
            | (char32_t(byte(2) & 0x3F) << 6) | char32_t(byte(3) & 0x3F);
        *out++ = QChar::highSurrogate(u);
        *out++ = QChar::lowSurrogate(u);
        p += 4;
        return Decoded::line;
    }
    return Decoded::invalid;
}

// Decodes the bytes from p up to the first CR or LF (or end) to out, writing nothing at or past
// limit. Looking for the break and decoding are one pass: where SSE2 is available, sixteen bytes
// are compared and widened at a time, which may write units past the line's end (never past
// limit) that the caller does not count. Leaves p at the break and out after the line's last unit,
// or, when that does not fit or the bytes are not UTF-8, somewhere in the line.
Q_ALWAYS_INLINE Decoded decodeLine(const char*& from, const char* end, char16_t*& to, const char16_t* limit)
{
    // Worked on in copies: stores of units may alias the caller's pointers, which would otherwise be
    // stored and loaded again around each of them.
    const char* p = from;
    char16_t* out = to;
    const auto done = [&](Decoded decoded) {
        from = p;
        to = out;
        return decoded;
    };
#ifdef __SSE2__
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i carriageReturn = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16 && limit - out >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned breaks = unsigned(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(chunk, lineFeed), _mm_cmpeq_epi8(chunk, carriageReturn))));
        const unsigned nonAscii = unsigned(_mm_movemask_epi8(chunk));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(chunk, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(chunk, zero));
        const unsigned stops = breaks | nonAscii;
        if (stops == 0) {
            p += 16;
            out += 16;
            continue;
        }
        const int ascii = std::countr_zero(stops);
        p += ascii;
        out += ascii;
        if (breaks & (1u << ascii))
            return done(Decoded::line);
        if (const Decoded decoded = decodeSequence(p, end, out, limit); decoded != Decoded::line)
            return done(decoded);
    }
#endif
    while (p < end) {
        const uchar c = uchar(*p);
        if (c == '\n' || c == '\r')
            return done(Decoded::line);
        if (c < 0x80) {
            if (out >= limit)
                return done(Decoded::noRoom);
            *out++ = c;
            ++p;
        } else if (const Decoded decoded = decodeSequence(p, end, out, limit); decoded != Decoded::line) {
            return done(decoded);
        }
    }
    return done(Decoded::line);
}

bool isBlankByte(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

int Utf8TaskReader::read(QByteArrayView bytes, VeskDocument& document, const std::atomic<bool>* stop)
{
    return Utf8TaskReader(bytes, document).run(stop);
}

Utf8TaskReader::Utf8TaskReader(QByteArrayView bytes, VeskDocument& document)
    : m_pos(bytes.data()),
      m_end(bytes.data() + bytes.size()),
      m_document(document),
      m_tasks(&document.workingItems)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        m_pos += 3;
}

int Utf8TaskReader::run(const std::atomic<bool>* stop)
{
    QList<VeskTask>* const sections[]
        = {&m_document.workingItems, &m_document.inboxItems, &m_document.completedItems};
    int section = 0;
    int untilStopCheck = linesBetweenStopChecks;
    while (true) {
        if (stop && --untilStopCheck == 0) {
            if (stop->load(std::memory_order_relaxed))
                return stopped;
            untilStopCheck = linesBetweenStopChecks;
        }
        const char* line = m_pos;
        const qsizetype left = m_end - line;
        // Only the first two exact separators divide sections; later ones are stray lines.
        if (section < 2 && left >= 3 && line[0] == '-' && line[1] == '-' && line[2] == '-'
            && (left == 3 || line[3] == '\n' || line[3] == '\r')) {
            finishNote();
            m_tasks = sections[++section];
            m_lastTask = nullptr;
            m_pos = line + 3;
        } else {
            // Blanks, '>' and at most one space begin a note line; blanks begin a title's whitespace.
            const char* content = line;
            while (content < m_end && isBlankByte(*content))
                ++content;
            bool read;
            if (m_lastTask && content < m_end && *content == '>') {
                const char* piece = content + 1;
                if (piece < m_end && *piece == ' ')
                    ++piece;
                read = readNoteLine(piece);
            } else {
                read = readTitleLine(content);
            }
            if (!read)
                return notUtf8;
        }
        if (m_pos == m_end)
            break;
        m_pos += (*m_pos == '\r' && m_end - m_pos > 1 && m_pos[1] == '\n') ? 2 : 1;
    }
    finishNote();
    return section;
}

Q_ALWAYS_INLINE int Utf8TaskReader::decodeIntoBlock(
    const char* from, const char*& p, char16_t*& at, char16_t*& out, qsizetype earlier)
{
    // After the note being read and the unit its line feed may go in: a title's line is not taken
    // until it proves to be a title, and a note's piece joins the note.
    at = m_note == Note::inBlock ? m_noteStart + m_noteSize + 1 : m_blocks.freeBegin();
    p = from;
    out = at;
    Decoded decoded = at ? decodeLine(p, m_end, out, m_blocks.freeEnd() - 1) : Decoded::noRoom;
    if (decoded == Decoded::noRoom && (!at || earlier + (out - at) <= TextBlocks::longestShared)) {
        if (m_note == Note::inBlock) {
            m_noteStart = m_blocks.startBlock(m_noteStart, m_noteSize);
            at = m_noteStart + m_noteSize + 1;
        } else {
            at = m_blocks.startBlock();
        }
        p = from;
        out = at;
        decoded = decodeLine(p, m_end, out, m_blocks.freeEnd() - 1);
    }
    return int(decoded);
}

void Utf8TaskReader::appendTask(QString title)
{
    m_tasks->resize(m_tasks->size() + 1);
    m_lastTask = &m_tasks->last();
    m_lastTask->title = std::move(title);
}

bool Utf8TaskReader::readTitleLine(const char* from)
{
    const char* p;
    char16_t* at;
    char16_t* out;
    const auto decoded = Decoded(decodeIntoBlock(from, p, at, out, 0));
    if (decoded == Decoded::invalid)
        return false;
    if (decoded == Decoded::noRoom) {
        QString line;
        if (!decodeLongLine(from, line))
            return false;
        const QStringView content = LineRules::trimmed(line);
        if (content.isEmpty() || LineRules::isSeparator(content))
            return true;
        finishNote();
        appendTask(content.size() == line.size() ? std::move(line) : content.toString());
        return true;
    }
    m_pos = p;
    // Most lines begin and end in ASCII that is not blank, as their bytes show: nothing to trim.
    const bool untrimmed = out > at && uchar(*from) < 0x80 && uchar(p[-1]) < 0x80 && !isBlankByte(p[-1]);
    const QStringView content = untrimmed ? QStringView(at, out) : LineRules::trimmed(QStringView(at, out));
    if (content.isEmpty() || LineRules::isSeparator(content))
        return true;
    finishNote();
    appendTask(m_blocks.take(const_cast<char16_t*>(content.utf16()), content.size()));
    return true;
}

bool Utf8TaskReader::readNoteLine(const char* from)
{
    if (m_note == Note::own) {
        QString piece;
        if (!decodeLongLine(from, piece))
            return false;
        m_ownNote += u'\n';
        m_ownNote += piece;
        return true;
    }
    // The piece follows the note's earlier pieces, after the unit its line feed goes in.
    const char* p;
    char16_t* at;
    char16_t* out;
    const auto decoded
        = Decoded(decodeIntoBlock(from, p, at, out, m_note == Note::inBlock ? m_noteSize + 1 : 0));
    if (decoded == Decoded::invalid)
        return false;
    if (decoded == Decoded::noRoom) {
        QString piece;
        if (!decodeLongLine(from, piece))
            return false;
        if (m_note == Note::inBlock) {
            m_ownNote = QStringView(m_noteStart, m_noteSize).toString();
            m_ownNote += u'\n';
            m_ownNote += piece;
        } else {
            m_ownNote = std::move(piece);
        }
        m_note = Note::own;
        return true;
    }
    m_pos = p;
    if (m_note == Note::inBlock) {
        at[-1] = u'\n';
    } else {
        m_noteStart = at;
        m_note = Note::inBlock;
    }
    m_noteSize = out - m_noteStart;
    // Longer notes are not shared, as TextBlocks::joinedLines would not share them either.
    if (m_noteSize > TextBlocks::longestShared) {
        m_ownNote = QStringView(m_noteStart, m_noteSize).toString();
        m_note = Note::own;
    }
    return true;
}

bool Utf8TaskReader::decodeLongLine(const char* from, QString& line)
{
    const char* lineEnd = from;
    while (lineEnd < m_end && *lineEnd != '\n' && *lineEnd != '\r')
        ++lineEnd;
    // A unit for each byte at most.
    line = QString(lineEnd - from, Qt::Uninitialized);
    char16_t* begin = reinterpret_cast<char16_t*>(line.data());
    char16_t* out = begin;
    const char* p = from;
    if (decodeLine(p, lineEnd, out, begin + line.size()) != Decoded::line)
        return false;
    line.resize(out - begin);
    line.squeeze();
    m_pos = lineEnd;
    return true;
}

void Utf8TaskReader::finishNote()
{
    QString note;
    switch (m_note) {
    case Note::none:
        return;
    case Note::inBlock:
        // Empty, not null, as an empty note is read from a text.
        note = m_noteSize == 0 ? QStringView(m_noteStart, 0).toString()
                               : m_blocks.take(m_noteStart, m_noteSize);
        break;
    case Note::own:
        note = std::move(m_ownNote);
        m_ownNote = QString();
        break;
    }
    m_note = Note::none;
    m_lastTask->note = std::move(note);
}
