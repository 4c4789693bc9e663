#include "document/VeskTask.h"

#include <algorithm>

namespace {

// No character below U+00C0 has a canonical decomposition or combines with a neighbour, so two
// different strings made only of such characters cannot be canonically equivalent.
bool hasOnlySimpleCharacters(const QString& s)
{
    return std::all_of(s.cbegin(), s.cend(), [](QChar c) { return c.unicode() < 0xC0; });
}

} // namespace

bool canonicallyEqual(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    if (hasOnlySimpleCharacters(a) && hasOnlySimpleCharacters(b))
        return false;
    return a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

bool operator==(const VeskTask& a, const VeskTask& b)
{
    if (a.note.has_value() != b.note.has_value() || !canonicallyEqual(a.title, b.title))
        return false;
    return !a.note || canonicallyEqual(*a.note, *b.note);
}
