#pragma once

#include "session/LinkRange.h"

#include <QList>
#include <QString>
#include <QStringView>

// A title as the panel shows it: every markup link replaced by its label, and where the links are
// in the resulting text. Styling (underline, font, colour) is the view's business.
struct TaskDisplayText {
    QString text;
    QList<LinkRange> links; // in order, not overlapping

    friend bool operator==(const TaskDisplayText& a, const TaskDisplayText& b) = default;
};

// Markup links become their labels, linked when their URL is a safe web URL (the markup is hidden
// either way); the text between them is passed through buildPlainSegment.
TaskDisplayText buildDisplayText(QStringView title);

// A stretch of title without markup links, unchanged, with its bare links marked.
TaskDisplayText buildPlainSegment(QStringView segment);
