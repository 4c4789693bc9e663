#pragma once

#include <QStringView>
#include <QUrl>

#include <optional>

// The link that opening a task's text opens: the earliest link in it, markup or bare. When a markup
// link and a bare link start at the same place, the markup link wins; a markup link's own URL starts
// after its "[" and so never beats it. Only safe web URLs are returned.
std::optional<QUrl> firstLinkURL(QStringView text);
