#pragma once

#include "session/BidiScope.h"
#include "session/LinkRange.h"

#include <QList>
#include <QStringView>

#include <optional>

// Finds web links written as plain text: URLs with an http or https scheme (user information and
// bracketed IPv6 hosts included), and host names that begin with "www.", which open as http.
// Trailing punctuation of any script and unbalanced closing brackets are left out ("see
// https://example.com/a_(b)." links "https://example.com/a_(b)"). A bidirectional control ends a
// link, and no link starts while one written before it is in force, so a link always shows the
// address it opens. Only links whose URL is a safe web URL are reported. Time is linear in the text.
class LinkDetector {
public:
    // All links, in order, not overlapping.
    static QList<LinkRange> detect(QStringView text);
    // The same for a text shown after others: scope holds the controls in force at its start, and
    // on return those in force at its end.
    static QList<LinkRange> detect(QStringView text, BidiScope& scope);
    // The earliest link, if any.
    static std::optional<LinkRange> findFirst(QStringView text);
};
