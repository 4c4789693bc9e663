#pragma once

#include "document/ContentPieces.h"
#include "document/VeskDocument.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <atomic>
#include <functional>
#include <optional>

// The plain-text task file: three sections (working, inbox, completed) separated by lines "---",
// one title line per task, note lines prefixed "> ". All functions are pure and never fail.

// Splits at LF, CR+LF and lone CR, keeping empty pieces: n line feeds give n + 1 lines.
QStringList splitLines(const QString& text);

// True when at least two lines are exactly "---".
bool isVeskDocument(const QString& text);

// Reads a task file; a text without a "---" line gives the empty document. The tasks' titles and
// notes share a few blocks of a few kilobytes each rather than each being allocated on its own
// (see TextBlocks): they are ordinary strings in every other way.
VeskDocument parseDocument(const QString& text);
// parseDocument of a text that isVeskDocument accepts, read once rather than scanned for the
// separators first; nothing for any other text.
std::optional<VeskDocument> parseTaskFile(const QString& text);
// parseDocument and parseTaskFile of the text of a file's bytes, decoded as the file reader decodes
// them (UTF-8, a leading byte order mark dropped), read straight from the bytes (see
// Utf8TaskReader). Bytes that are not UTF-8 are decoded first, each bad sequence a replacement
// character.
VeskDocument parseDocumentUtf8(QByteArrayView bytes);
// With stop given: once it is set, from any thread, parseTaskFileUtf8 gives up within a few
// thousand lines, returning nothing.
std::optional<VeskDocument> parseTaskFileUtf8(QByteArrayView bytes, const std::atomic<bool>* stop = nullptr);

// Reads the tasks of one section (the lines between two separators).
QList<VeskTask> parseSection(const QStringList& lines);
QList<VeskTask> parseSection(const QList<QStringView>& lines);

// The content of a note line (after optional blanks, ">" and at most one space), or nothing when
// the line is not a note line.
std::optional<QString> noteLineContent(QStringView line);

// Writes a document. Ordinary documents are written exactly as given; titles and notes that would
// otherwise read back as separators, note lines or extra tasks are written in a form that keeps
// every task in its place (see DocumentFormat.cpp).
QString serializeDocument(const VeskDocument& document);

// The tasks of one section, in order: calls its argument with each task's title and note.
using TaskVisitor = std::function<void(const QString& title, const std::optional<QString>& note)>;
using SectionTasks = std::function<void(const TaskVisitor&)>;

// The bytes of serializeDocument's text in UTF-8, written straight into one buffer without the
// text itself. The buffer is allocated for expectedSize bytes (a list's last saved size is a close
// guess) and grows only if that proves short: reading every task once more just to size it would
// cost more than the writing.
QByteArray serializeDocumentUtf8(const VeskDocument& document);
QByteArray serializeDocumentUtf8(const SectionTasks& working, const SectionTasks& inbox,
    const SectionTasks& completed, qsizetype expectedSize);

// The same bytes handed to sink a piece at a time, never held whole; 0 or the first errno value
// the sink returned.
int writeDocumentUtf8(const SectionTasks& working, const SectionTasks& inbox, const SectionTasks& completed,
    const PieceSink& sink);

// Turns any plain text into a document whose inbox holds its non-empty trimmed lines.
VeskDocument importPlainText(const QString& text);
