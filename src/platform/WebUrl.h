#pragma once

#include <QStringView>
#include <QUrl>

#include <optional>

// Task files come from anywhere, so a link in one is untrusted input. These are the only URLs Vesk
// ever hands to the system: http or https with a host, whose text holds no whitespace and whose
// decoded form holds no control characters (nothing a handler or a terminal could misread).
bool isSafeWebURL(const QUrl& url);

// Reads the text of a link as written in a task. Nothing unless the text itself has no
// whitespace, control or format characters and the URL it gives is a safe web URL.
std::optional<QUrl> webURLFromText(QStringView text);
