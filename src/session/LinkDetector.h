#pragma once

#include "LinkRange.h"

#include <QList>
#include <QStringView>

#include <optional>

// Finds web links written as plain text: URLs with an http or https scheme, and host names that
// begin with "www.", which open as http. Trailing punctuation and unbalanced closing brackets are
// left out ("see https://example.com/a_(b)." links "https://example.com/a_(b)"). Only links whose
// URL is a safe web URL are reported. Time is linear in the text.
class LinkDetector {
public:
    // All links, in order, not overlapping.
    static QList<LinkRange> detect(QStringView text);
    // The earliest link, if any.
    static std::optional<LinkRange> findFirst(QStringView text);
};
