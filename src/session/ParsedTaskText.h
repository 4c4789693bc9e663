#pragma once

#include <QString>

#include <optional>

// A task read from its text form: first line the title, the remaining lines the note.
struct ParsedTaskText {
    QString title;
    std::optional<QString> note;
    QString normalizedText; // title, or title + line feed + note

    friend bool operator==(const ParsedTaskText& a, const ParsedTaskText& b) = default;
};

// Nothing when the first line is blank: such a text does not make a task.
std::optional<ParsedTaskText> parseTaskText(const QString& text);
