#pragma once

#include <QUrl>
#include <QtGlobal>

// A link within a text: where it is (in UTF-16 code units) and the URL it opens.
struct LinkRange {
    qsizetype start = 0;
    qsizetype length = 0;
    QUrl url;

    qsizetype end() const { return start + length; }

    friend bool operator==(const LinkRange& a, const LinkRange& b) = default;
};
