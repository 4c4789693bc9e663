#include "VeskTask.h"

bool canonicallyEqual(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    return a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

bool operator==(const VeskTask& a, const VeskTask& b)
{
    if (!canonicallyEqual(a.title, b.title) || a.note.has_value() != b.note.has_value())
        return false;
    return !a.note || canonicallyEqual(*a.note, *b.note);
}
