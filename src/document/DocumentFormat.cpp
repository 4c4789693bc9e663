#include "document/DocumentFormat.h"

#include <algorithm>
#include <bit>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr char16_t kNoBreakSpace = 0x00A0;
constexpr char16_t kZeroWidthSpace = 0x200B;
constexpr QStringView kSectionJoin = u"\n---\n";
constexpr QStringView kNotePrefix = u"> ";

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// Tab and every space separator (category Zs). Line breaks are not whitespace.
bool isWhitespace(char16_t c)
{
    if (c < 0x80)
        return isBlank(c);
    return QChar::category(char32_t(c)) == QChar::Separator_Space;
}

bool isNewline(char16_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r';
}

QStringView trimmed(QStringView s)
{
    const char16_t* begin = s.utf16();
    const char16_t* end = begin + s.size();
    while (begin < end && isWhitespace(*begin))
        ++begin;
    while (end > begin && isWhitespace(end[-1]))
        --end;
    return QStringView(begin, end);
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

bool isSeparator(QStringView line)
{
    return line.size() == 3 && line[0] == u'-' && line[1] == u'-' && line[2] == u'-';
}

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

// Reads one section line by line; the views it holds point into the text being parsed.
class SectionParser {
public:
    explicit SectionParser(QList<VeskTask>& out) : m_out(out) { }

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
        if (m_noteLines.size() == 1) {
            note = m_noteLines.front().toString();
        } else if (!m_noteLines.empty()) {
            qsizetype length = qsizetype(m_noteLines.size()) - 1;
            for (QStringView piece : m_noteLines)
                length += piece.size();
            QString joined(length, Qt::Uninitialized);
            QChar* out = joined.data();
            for (size_t i = 0; i < m_noteLines.size(); ++i) {
                if (i > 0)
                    *out++ = u'\n';
                out = std::copy(m_noteLines[i].begin(), m_noteLines[i].end(), out);
            }
            note = std::move(joined);
        }
        m_out.append(VeskTask {m_title.toString(), std::move(note)});
        m_hasTitle = false;
        m_noteLines.clear();
    }

private:
    QList<VeskTask>& m_out;
    QStringView m_title;
    bool m_hasTitle = false;
    std::vector<QStringView> m_noteLines;
};

template <typename Lines>
QList<VeskTask> parseLines(const Lines& lines)
{
    QList<VeskTask> tasks;
    SectionParser parser(tasks);
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

// A title line that reads back as one title line of the same task. Line breaks inside a title
// would split it into several tasks, so each becomes a space. A title that trims to nothing or
// to "---" has no faithful form (blank lines and separator-like lines are skipped when read), so
// it gets a leading zero-width space: the task keeps its place and looks the same. A title that
// would read as a note line gets a leading no-break space, which reading trims away again.
void writeTitle(TextWriter& out, QStringView title)
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
void writeNote(TextWriter& out, QStringView note)
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

void writeSection(TextWriter& out, const QList<VeskTask>& tasks)
{
    bool first = true;
    for (const VeskTask& task : tasks) {
        if (!first)
            out.append(u'\n');
        first = false;
        writeTitle(out, task.title);
        if (task.note)
            writeNote(out, *task.note);
    }
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

VeskDocument parseDocument(const QString& text)
{
    VeskDocument document;
    QList<VeskTask>* sections[] = {&document.workingItems, &document.inboxItems, &document.completedItems};
    int section = 0;
    std::optional<SectionParser> parser(std::in_place, *sections[0]);
    LineReader reader(text);
    QStringView line;
    while (reader.next(line)) {
        // Only the first two exact separators divide sections; later ones are stray lines.
        if (section < 2 && isSeparator(line)) {
            parser->finish();
            parser.emplace(*sections[++section]);
        } else {
            parser->addLine(line);
        }
    }
    if (section == 0)
        return VeskDocument::empty();
    parser->finish();
    return document;
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
    writeSection(out, document.workingItems);
    out.append(kSectionJoin);
    writeSection(out, document.inboxItems);
    out.append(kSectionJoin);
    writeSection(out, document.completedItems);
    return out.take();
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
