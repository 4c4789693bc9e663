#pragma once

#include <QString>

#include <optional>

// One task of a list: a one-line title and an optional note of one or more lines. An empty note
// is present and differs from an absent one.
struct VeskTask {
    QString title;
    std::optional<QString> note;

    // Texts compare by Unicode canonical equivalence: a precomposed letter equals its decomposed
    // form, while case, spaces and line breaks still count.
    friend bool operator==(const VeskTask& a, const VeskTask& b);
};

// A QString and an optional QString hold no pointers into themselves, so lists may move tasks
// with memcpy when they grow.
Q_DECLARE_TYPEINFO(VeskTask, Q_RELOCATABLE_TYPE);

// True when a and b are canonically equivalent.
bool canonicallyEqual(const QString& a, const QString& b);
