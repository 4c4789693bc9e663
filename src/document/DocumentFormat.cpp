#include "DocumentFormat.h"

#include <QVarLengthArray>

#include <algorithm>

namespace {

constexpr char16_t kNoBreakSpace = 0x00A0;
constexpr char16_t kZeroWidthSpace = 0x200B;
constexpr QStringView kSeparator = u"---";
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

// Yields the lines of a text, treating CR+LF, lone CR and LF each as one line break; a text with
// n breaks has n + 1 lines.
class LineReader {
public:
    explicit LineReader(QStringView text) : m_pos(text.utf16()), m_end(m_pos + text.size()) { }

    bool next(QStringView& line)
    {
        if (m_done)
            return false;
        const char16_t* start = m_pos;
        const char16_t* p = m_pos;
        while (p < m_end && !isLineBreak(*p))
            ++p;
        line = QStringView(start, p);
        if (p == m_end) {
            m_done = true;
        } else {
            p += (*p == u'\r' && p + 1 < m_end && p[1] == u'\n') ? 2 : 1;
        }
        m_pos = p;
        return true;
    }

private:
    const char16_t* m_pos;
    const char16_t* m_end;
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

// Reads one section line by line; the views it holds point into the text being parsed.
class SectionParser {
public:
    explicit SectionParser(QList<VeskTask>& out) : m_out(out) { }

    void addLine(QStringView line)
    {
        const QStringView content = trimmed(line);
        if (content.isEmpty() || content == kSeparator)
            return;
        if (m_hasTitle && content.front() == u'>') {
            if (const auto note = noteLineView(line)) {
                m_noteLines.append(*note);
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
        } else if (!m_noteLines.isEmpty()) {
            qsizetype length = m_noteLines.size() - 1;
            for (QStringView piece : m_noteLines)
                length += piece.size();
            QString joined;
            joined.reserve(length);
            for (qsizetype i = 0; i < m_noteLines.size(); ++i) {
                if (i > 0)
                    joined += u'\n';
                joined += m_noteLines[i];
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
    QVarLengthArray<QStringView, 16> m_noteLines;
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

// A title line that reads back as one title line of the same task. Line breaks inside a title
// would split it into several tasks, so each becomes a space. A title that trims to nothing or
// to "---" has no faithful form (blank lines and separator-like lines are skipped when read), so
// it gets a leading zero-width space: the task keeps its place and looks the same. A title that
// would read as a note line gets a leading no-break space, which reading trims away again.
void appendTitle(QString& out, const QString& title)
{
    QString flattened;
    QStringView line = title;
    if (std::any_of(title.cbegin(), title.cend(), [](QChar c) { return isLineBreak(c.unicode()); })) {
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
        out += QChar(kZeroWidthSpace);
    } else if (content == kSeparator) {
        out += QChar(kZeroWidthSpace);
        out += content;
    } else if (content.front() == u'>' && noteLineView(line)) {
        out += QChar(kNoBreakSpace);
        out += content;
    } else {
        out += line;
    }
}

// Note lines are "> " plus the piece, which can never read as blank, as a separator or as a
// title. A carriage return inside a note would start an unprefixed line on reading, so CR+LF and
// lone CR break note lines just as LF does.
void appendNote(QString& out, const QString& note)
{
    const char16_t* begin = QStringView(note).utf16();
    const char16_t* end = begin + note.size();
    while (begin < end && isNewline(*begin))
        ++begin;
    while (end > begin && isNewline(end[-1]))
        --end;
    if (begin == end)
        return;
    forEachLine(QStringView(begin, end), [&](QStringView piece) {
        out += u'\n';
        out += kNotePrefix;
        out += piece;
    });
}

void appendSection(QString& out, const QList<VeskTask>& tasks)
{
    bool first = true;
    for (const VeskTask& task : tasks) {
        if (!first)
            out += u'\n';
        first = false;
        appendTitle(out, task.title);
        if (task.note)
            appendNote(out, *task.note);
    }
}

qsizetype estimatedLength(const QList<VeskTask>& tasks)
{
    qsizetype length = 0;
    for (const VeskTask& task : tasks) {
        length += task.title.size() + 1;
        if (task.note)
            length += task.note->size() + 4;
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
        if (line == kSeparator && ++separators == 2)
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
        if (section < 2 && line == kSeparator) {
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
    QString out;
    out.reserve(estimatedLength(document.workingItems) + estimatedLength(document.inboxItems)
        + estimatedLength(document.completedItems) + 2 * kSectionJoin.size());
    appendSection(out, document.workingItems);
    out += kSectionJoin;
    appendSection(out, document.inboxItems);
    out += kSectionJoin;
    appendSection(out, document.completedItems);
    return out;
}

VeskDocument importPlainText(const QString& text)
{
    VeskDocument document;
    forEachLine(text, [&](QStringView line) {
        const QStringView content = trimmed(line);
        if (!content.isEmpty() && content != kSeparator)
            document.inboxItems.append(VeskTask {content.toString(), std::nullopt});
    });
    return document;
}
