#include "document/DocumentFormat.h"

#include "document/LineRules.h"
#include "document/TextBlocks.h"
#include "document/Utf8TaskReader.h"

#include <QStringDecoder>

#include <algorithm>
#include <bit>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

using LineRules::isBlank;
using LineRules::isSeparator;
using LineRules::trimmed;

constexpr char16_t kNoBreakSpace = 0x00A0;
constexpr char16_t kZeroWidthSpace = 0x200B;
constexpr QStringView kSectionJoin = u"\n---\n";
constexpr QStringView kNotePrefix = u"> ";

bool isNewline(char16_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r';
}

// The first CR or LF in [p, end), or end. Eight UTF-16 units at a time where SSE2 is available.
const char16_t* findLineBreak(const char16_t* p, const char16_t* end)
{
#ifdef __SSE2__
    const __m128i lineFeed = _mm_set1_epi16(u'\n');
    const __m128i carriageReturn = _mm_set1_epi16(u'\r');
    for (; end - p >= 8; p += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi16(chunk, lineFeed), _mm_cmpeq_epi16(chunk, carriageReturn)));
        if (mask != 0)
            return p + __builtin_ctz(unsigned(mask)) / 2;
    }
#endif
    while (p < end && !isLineBreak(*p))
        ++p;
    return p;
}

// The line breaks (CR or LF) among the n <= 64 units at p, as bits from the lowest.
quint64 lineBreakMask(const char16_t* p, qsizetype n)
{
#ifdef __SSE2__
    if (n == 64) {
        const __m128i lineFeed = _mm_set1_epi16(u'\n');
        const __m128i carriageReturn = _mm_set1_epi16(u'\r');
        const auto breaks = [&](int at) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
            return _mm_or_si128(_mm_cmpeq_epi16(chunk, lineFeed), _mm_cmpeq_epi16(chunk, carriageReturn));
        };
        quint64 mask = 0;
        for (int at = 0; at < 64; at += 16)
            mask |= quint64(quint16(_mm_movemask_epi8(_mm_packs_epi16(breaks(at), breaks(at + 8))))) << at;
        return mask;
    }
#endif
    quint64 mask = 0;
    for (qsizetype i = 0; i < n; ++i)
        if (isLineBreak(p[i]))
            mask |= quint64(1) << i;
    return mask;
}

// Yields the lines of a text, treating CR+LF, lone CR and LF each as one line break; a text with
// n breaks has n + 1 lines. It finds the breaks 64 units at a time and keeps them as bits, so that
// short lines do not each start a scan of their own.
class LineReader {
public:
    explicit LineReader(QStringView text)
        : m_pos(text.utf16()),
          m_end(m_pos + text.size()),
          m_block(m_pos),
          m_mask(lineBreakMask(m_block, std::min<qsizetype>(64, m_end - m_block)))
    { }

    bool next(QStringView& line)
    {
        if (m_done)
            return false;
        const char16_t* lineBreak = nextBreak();
        line = QStringView(m_pos, lineBreak);
        if (lineBreak == m_end) {
            m_done = true;
            m_pos = m_end;
            return true;
        }
        m_pos = lineBreak + ((*lineBreak == u'\r' && lineBreak + 1 < m_end && lineBreak[1] == u'\n') ? 2 : 1);
        dropBreaksBefore(m_pos);
        return true;
    }

private:
    // The first break at or after m_pos, or m_end.
    const char16_t* nextBreak()
    {
        while (m_mask == 0) {
            if (m_end - m_block <= 64)
                return m_end;
            m_block += 64;
            m_mask = lineBreakMask(m_block, std::min<qsizetype>(64, m_end - m_block));
            // The LF of a CR+LF that straddles two blocks is part of the break already read.
            dropBreaksBefore(m_pos);
        }
        return m_block + std::countr_zero(m_mask);
    }

    void dropBreaksBefore(const char16_t* p)
    {
        const qsizetype offset = p - m_block;
        if (offset >= 64)
            m_mask = 0;
        else if (offset > 0)
            m_mask &= ~quint64(0) << offset;
    }

    const char16_t* m_pos;
    const char16_t* m_end;
    const char16_t* m_block; // the 64 units m_mask describes start here
    quint64 m_mask; // breaks in the block at or after m_pos
    bool m_done = false;
};

std::optional<QStringView> noteLineView(QStringView line)
{
    qsizetype i = 0;
    while (i < line.size() && isBlank(line[i].unicode()))
        ++i;
    if (i == line.size() || line[i] != u'>')
        return std::nullopt;
    ++i;
    if (i < line.size() && line[i] == u' ')
        ++i;
    return line.mid(i);
}

// Reads one section line by line; the views it holds point into the text being parsed. The texts
// of its tasks are copied into shared blocks (see TextBlocks).
class SectionParser {
public:
    SectionParser(QList<VeskTask>& out, TextBlocks& blocks) : m_out(out), m_blocks(blocks) { }

    void addLine(QStringView line)
    {
        const QStringView content = trimmed(line);
        if (content.isEmpty() || isSeparator(content))
            return;
        if (m_hasTitle && content.front() == u'>') {
            if (const auto note = noteLineView(line)) {
                m_noteLines.push_back(*note);
                return;
            }
        }
        finish();
        m_title = content;
        m_hasTitle = true;
    }

    void finish()
    {
        if (!m_hasTitle)
            return;
        std::optional<QString> note;
        if (!m_noteLines.empty())
            note = m_blocks.joinedLines(m_noteLines);
        m_out.append(VeskTask {m_blocks.text(m_title), std::move(note)});
        m_hasTitle = false;
        m_noteLines.clear();
    }

private:
    QList<VeskTask>& m_out;
    TextBlocks& m_blocks;
    QStringView m_title;
    bool m_hasTitle = false;
    std::vector<QStringView> m_noteLines;
};

template <typename Lines>
QList<VeskTask> parseLines(const Lines& lines)
{
    QList<VeskTask> tasks;
    TextBlocks blocks;
    SectionParser parser(tasks, blocks);
    for (const auto& line : lines)
        parser.addLine(line);
    parser.finish();
    return tasks;
}

// Calls f with each piece of text between line breaks (CR+LF, CR or LF).
template <typename F>
void forEachLine(QStringView text, F f)
{
    LineReader reader(text);
    QStringView line;
    while (reader.next(line))
        f(line);
}

// Appends to a string through a raw pointer, growing it only when an estimate proves short.
class TextWriter {
public:
    explicit TextWriter(qsizetype capacity) : m_text(std::max<qsizetype>(capacity, 16), Qt::Uninitialized)
    {
        m_pos = begin();
        m_end = m_pos + m_text.size();
    }

    void append(char16_t c)
    {
        ensure(1);
        *m_pos++ = c;
    }

    void append(QStringView s)
    {
        ensure(s.size());
        std::copy_n(s.utf16(), s.size(), m_pos);
        m_pos += s.size();
    }

    QString take()
    {
        m_text.truncate(m_pos - begin());
        return std::move(m_text);
    }

private:
    char16_t* begin() { return reinterpret_cast<char16_t*>(m_text.data()); }

    void ensure(qsizetype n)
    {
        if (m_end - m_pos >= n)
            return;
        const qsizetype used = m_pos - begin();
        m_text.resize(std::max(2 * m_text.size(), used + n));
        m_pos = begin() + used;
        m_end = begin() + m_text.size();
    }

    QString m_text;
    char16_t* m_pos;
    char16_t* m_end;
};

// At least the UTF-8 length of s, exact unless it holds surrogates (a pair takes 4 bytes, not 6).
qsizetype utf8LengthBound(QStringView s)
{
    qsizetype length = s.size();
    const char16_t* units = s.utf16();
    for (qsizetype i = 0; i < s.size(); ++i)
        length += (units[i] >= 0x80) + (units[i] >= 0x800);
    return length;
}

// Writes s as UTF-8 at out, exactly as QString::toUtf8 does (a lone surrogate becomes '?'), and
// returns the end. Runs of ASCII are copied eight units at a time where SSE2 is available.
char* encodeUtf8(char* out, QStringView s)
{
    const char16_t* p = s.utf16();
    const char16_t* end = p + s.size();
    while (p < end) {
#ifdef __SSE2__
        const __m128i nonAscii = _mm_set1_epi16(short(0xFF80));
        while (end - p >= 8) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(chunk, nonAscii), _mm_setzero_si128()))
                != 0xFFFF)
                break;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(chunk, chunk));
            p += 8;
            out += 8;
        }
        if (p == end)
            break;
#endif
        const char16_t c = *p++;
        if (c < 0x80) {
            *out++ = char(c);
        } else if (c < 0x800) {
            *out++ = char(0xC0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3F));
        } else if (!QChar::isSurrogate(c)) {
            *out++ = char(0xE0 | (c >> 12));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
            *out++ = char(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p)) {
            const char32_t u = QChar::surrogateToUcs4(c, *p++);
            *out++ = char(0xF0 | (u >> 18));
            *out++ = char(0x80 | ((u >> 12) & 0x3F));
            *out++ = char(0x80 | ((u >> 6) & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        } else {
            *out++ = '?';
        }
    }
    return out;
}

// Encodes to UTF-8 straight into one byte array, the way QString::toUtf8 would encode the whole
// text. Pieces never split a surrogate pair (every piece sits between line breaks, spaces or
// prefixes), so each is encoded on its own.
class Utf8Writer {
public:
    explicit Utf8Writer(qsizetype capacity) : m_bytes(std::max<qsizetype>(capacity, 16), Qt::Uninitialized)
    {
        m_pos = m_bytes.data();
        m_end = m_pos + m_bytes.size();
    }

    void append(char16_t c)
    {
        if (c < 0x80 && m_pos < m_end)
            *m_pos++ = char(c);
        else
            append(QStringView(&c, 1));
    }

    void append(QStringView s)
    {
        // Up to 3 bytes a unit; the exact bound is counted only near the end.
        if (m_end - m_pos < 3 * s.size())
            ensure(utf8LengthBound(s));
        m_pos = encodeUtf8(m_pos, s);
    }

    QByteArray take()
    {
        m_bytes.truncate(m_pos - m_bytes.data());
        return std::move(m_bytes);
    }

    // From here on the buffer is handed to sink whenever it is full, and then written again from
    // its start; after a piece the sink refuses, nothing more reaches it.
    void sendTo(const PieceSink& sink) { m_sink = &sink; }
    // Hands what is left to the sink; 0 or the first errno value it returned.
    int finish()
    {
        flush();
        return m_sinkCode;
    }

private:
    void flush()
    {
        const QByteArrayView piece(m_bytes.constData(), m_pos - m_bytes.constData());
        if (!m_sinkCode && !piece.isEmpty())
            m_sinkCode = (*m_sink)(piece);
        m_pos = m_bytes.data();
    }

    void ensure(qsizetype n)
    {
        if (m_end - m_pos >= n)
            return;
        if (m_sink) {
            flush();
            if (m_end - m_pos >= n)
                return;
        }
        // Half as much again: the estimate was close, and pages never written cost no memory.
        const qsizetype used = m_pos - m_bytes.data();
        m_bytes.resize(std::max(m_bytes.size() + m_bytes.size() / 2, used + n));
        m_pos = m_bytes.data() + used;
        m_end = m_bytes.data() + m_bytes.size();
    }

    QByteArray m_bytes;
    char* m_pos;
    char* m_end;
    const PieceSink* m_sink = nullptr;
    int m_sinkCode = 0;
};

// A title line that reads back as one title line of the same task. Line breaks inside a title
// would split it into several tasks, so each becomes a space. A title that trims to nothing or
// to "---" has no faithful form (blank lines and separator-like lines are skipped when read), so
// it gets a leading zero-width space: the task keeps its place and looks the same. A title that
// would read as a note line gets a leading no-break space, which reading trims away again.
template <typename Out>
void writeTitle(Out& out, QStringView title)
{
    QString flattened;
    QStringView line = title;
    const char16_t* end = title.utf16() + title.size();
    if (findLineBreak(title.utf16(), end) != end) {
        flattened.reserve(title.size());
        bool first = true;
        forEachLine(title, [&](QStringView piece) {
            if (!first)
                flattened += u' ';
            first = false;
            flattened += piece;
        });
        line = flattened;
    }

    const QStringView content = trimmed(line);
    if (content.isEmpty()) {
        out.append(kZeroWidthSpace);
    } else if (isSeparator(content)) {
        out.append(kZeroWidthSpace);
        out.append(content);
    } else if (content.front() == u'>' && noteLineView(line)) {
        out.append(kNoBreakSpace);
        out.append(content);
    } else {
        out.append(line);
    }
}

// Note lines are "> " plus the piece, which can never read as blank, as a separator or as a
// title. A carriage return inside a note would start an unprefixed line on reading, so CR+LF and
// lone CR break note lines just as LF does.
template <typename Out>
void writeNote(Out& out, QStringView note)
{
    const char16_t* begin = note.utf16();
    const char16_t* end = begin + note.size();
    while (begin < end && isNewline(*begin))
        ++begin;
    while (end > begin && isNewline(end[-1]))
        --end;
    if (begin == end)
        return;
    forEachLine(QStringView(begin, end), [&](QStringView piece) {
        out.append(u'\n');
        out.append(kNotePrefix);
        out.append(piece);
    });
}

template <typename Out>
void writeTask(Out& out, bool first, const QString& title, const std::optional<QString>& note)
{
    if (!first)
        out.append(u'\n');
    writeTitle(out, title);
    if (note)
        writeNote(out, *note);
}

template <typename Out>
void writeSection(Out& out, const QList<VeskTask>& tasks)
{
    bool first = true;
    for (const VeskTask& task : tasks) {
        writeTask(out, first, task.title, task.note);
        first = false;
    }
}

template <typename Out>
void writeSection(Out& out, const SectionTasks& tasks)
{
    bool first = true;
    tasks([&](const QString& title, const std::optional<QString>& note) {
        writeTask(out, first, title, note);
        first = false;
    });
}

template <typename Out, typename Section>
void writeDocument(Out& out, const Section& working, const Section& inbox, const Section& completed)
{
    writeSection(out, working);
    out.append(kSectionJoin);
    writeSection(out, inbox);
    out.append(kSectionJoin);
    writeSection(out, completed);
}

// An upper bound of the written length, exact for ordinary documents, so that the text is
// allocated once.
qsizetype estimatedLength(const QList<VeskTask>& tasks)
{
    qsizetype length = 0;
    for (const VeskTask& task : tasks) {
        length += task.title.size() + 2;
        if (task.note) {
            const char16_t* p = QStringView(*task.note).utf16();
            const char16_t* end = p + task.note->size();
            length += task.note->size() + kNotePrefix.size() + 1;
            while ((p = findLineBreak(p, end)) != end) {
                length += kNotePrefix.size();
                ++p;
            }
        }
    }
    return length;
}

} // namespace

QStringList splitLines(const QString& text)
{
    QStringList lines;
    forEachLine(text, [&](QStringView line) { lines.append(line.toString()); });
    return lines;
}

bool isVeskDocument(const QString& text)
{
    int separators = 0;
    LineReader reader(text);
    QStringView line;
    while (reader.next(line)) {
        if (isSeparator(line) && ++separators == 2)
            return true;
    }
    return false;
}

namespace {

// Lines read between two looks at a stop flag.
constexpr qsizetype stopCheckLines = 4096;

// Reads text into document and returns how many separators divided it (at most two), or -1 when
// stop was set, from any thread, while it read (looked at every few thousand lines).
int parseInto(const QString& text, VeskDocument& document, const std::atomic<bool>* stop = nullptr)
{
    QList<VeskTask>* sections[] = {&document.workingItems, &document.inboxItems, &document.completedItems};
    int section = 0;
    TextBlocks blocks;
    std::optional<SectionParser> parser(std::in_place, *sections[0], blocks);
    LineReader reader(text);
    QStringView line;
    qsizetype lines = 0;
    while (reader.next(line)) {
        if (stop && ++lines % stopCheckLines == 0 && stop->load(std::memory_order_relaxed))
            return -1;
        // Only the first two exact separators divide sections; later ones are stray lines.
        if (section < 2 && isSeparator(line)) {
            parser->finish();
            parser.emplace(*sections[++section], blocks);
        } else {
            parser->addLine(line);
        }
    }
    parser->finish();
    return section;
}

} // namespace

VeskDocument parseDocument(const QString& text)
{
    VeskDocument document;
    return parseInto(text, document) == 0 ? VeskDocument::empty() : document;
}

std::optional<VeskDocument> parseTaskFile(const QString& text)
{
    VeskDocument document;
    if (parseInto(text, document) < 2)
        return std::nullopt;
    return document;
}

namespace {

// The text of bytes that are not UTF-8, decoded as the file reader decodes them.
QString decodedText(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

// Bytes decoded between two looks at a stop flag.
constexpr qsizetype stopCheckBytes = qsizetype(1) << 20;

// Where a piece of bytes of about stopCheckBytes ends: after a line feed that follows a byte below
// 0x80. Neither byte can belong to a longer sequence, valid or not, so each piece decodes on its own
// to the same text as it does within the whole.
qsizetype pieceEnd(QByteArrayView bytes)
{
    for (qsizetype end = std::max<qsizetype>(stopCheckBytes, 2); end < bytes.size(); ++end) {
        if (bytes[end - 1] == '\n' && uchar(bytes[end - 2]) < 0x80)
            return end;
    }
    return bytes.size();
}

// decodedText, a piece at a time; nothing once stop is set, from any thread.
std::optional<QString> decodedText(QByteArrayView bytes, const std::atomic<bool>& stop)
{
    QStringDecoder first(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    // A byte order mark is dropped only at the start of the text.
    QStringDecoder later(QStringConverter::Utf8,
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text(first.requiredSpace(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (bool start = true; !bytes.isEmpty(); start = false) {
        if (stop.load(std::memory_order_relaxed))
            return std::nullopt;
        const qsizetype end = pieceEnd(bytes);
        out = (start ? first : later).appendToBuffer(out, bytes.first(end));
        bytes = bytes.sliced(end);
    }
    text.truncate(out - text.constData());
    return text;
}

} // namespace

VeskDocument parseDocumentUtf8(QByteArrayView bytes)
{
    VeskDocument document;
    const int separators = Utf8TaskReader::read(bytes, document);
    if (separators < 0)
        return parseDocument(decodedText(bytes));
    return separators == 0 ? VeskDocument::empty() : document;
}

std::optional<VeskDocument> parseTaskFileUtf8(QByteArrayView bytes, const std::atomic<bool>* stop)
{
    VeskDocument document;
    const int separators = Utf8TaskReader::read(bytes, document, stop);
    if (separators == Utf8TaskReader::stopped || (stop && stop->load()))
        return std::nullopt;
    if (separators >= 0)
        return separators < 2 ? std::nullopt : std::optional(std::move(document));
    if (!stop)
        return parseTaskFile(decodedText(bytes));
    const std::optional<QString> text = decodedText(bytes, *stop);
    if (!text)
        return std::nullopt;
    VeskDocument decoded;
    if (parseInto(*text, decoded, stop) < 2)
        return std::nullopt;
    return decoded;
}

QList<VeskTask> parseSection(const QStringList& lines)
{
    return parseLines(lines);
}

QList<VeskTask> parseSection(const QList<QStringView>& lines)
{
    return parseLines(lines);
}

std::optional<QString> noteLineContent(QStringView line)
{
    if (const auto content = noteLineView(line))
        return content->toString();
    return std::nullopt;
}

QString serializeDocument(const VeskDocument& document)
{
    TextWriter out(estimatedLength(document.workingItems) + estimatedLength(document.inboxItems)
        + estimatedLength(document.completedItems) + 2 * kSectionJoin.size());
    writeDocument(out, document.workingItems, document.inboxItems, document.completedItems);
    return out.take();
}

QByteArray serializeDocumentUtf8(const VeskDocument& document)
{
    // Exact for ASCII text; anything else grows the buffer.
    Utf8Writer out(estimatedLength(document.workingItems) + estimatedLength(document.inboxItems)
        + estimatedLength(document.completedItems) + 2 * kSectionJoin.size());
    writeDocument(out, document.workingItems, document.inboxItems, document.completedItems);
    return out.take();
}

QByteArray serializeDocumentUtf8(const SectionTasks& working, const SectionTasks& inbox,
    const SectionTasks& completed, qsizetype expectedSize)
{
    Utf8Writer out(expectedSize);
    writeDocument(out, working, inbox, completed);
    return out.take();
}

int writeDocumentUtf8(const SectionTasks& working, const SectionTasks& inbox, const SectionTasks& completed,
    const PieceSink& sink)
{
    // A piece small enough to stay in the processor's cache on its way to the file.
    constexpr qsizetype pieceSize = qsizetype(256) * 1024;
    Utf8Writer out(pieceSize);
    out.sendTo(sink);
    writeDocument(out, working, inbox, completed);
    return out.finish();
}

VeskDocument importPlainText(const QString& text)
{
    VeskDocument document;
    forEachLine(text, [&](QStringView line) {
        const QStringView content = trimmed(line);
        if (!content.isEmpty() && !isSeparator(content))
            document.inboxItems.append(VeskTask {content.toString(), std::nullopt});
    });
    return document;
}
