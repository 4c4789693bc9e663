#pragma once

#include "panel/TextHeightKey.h"

#include <QHashFunctions>
#include <QString>

#include <optional>

// Identifies the link geometry of one laid-out display text: its plain characters (markup links
// already replaced by their labels), the exact width, the font and the row's line limit.
struct LinkLayoutKey {
    QString text;
    quint64 widthBits = 0;
    QString fontName;
    double fontSize = 0;
    std::optional<int> lineLimit; // none means unlimited

    friend bool operator==(const LinkLayoutKey& a, const LinkLayoutKey& b)
    {
        return a.text == b.text && a.widthBits == b.widthBits && a.fontName == b.fontName
            && a.fontSize == b.fontSize && a.lineLimit == b.lineLimit;
    }
};

inline size_t qHash(const LinkLayoutKey& key, size_t seed = 0)
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, key.text);
    seed = combine(seed, key.widthBits);
    seed = combine(seed, key.fontName);
    seed = combine(seed, TextHeightKey::sizeHashBits(key.fontSize));
    seed = combine(seed, key.lineLimit.has_value());
    if (key.lineLimit)
        seed = combine(seed, *key.lineLimit);
    return seed;
}
