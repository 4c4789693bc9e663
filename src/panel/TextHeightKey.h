#pragma once

#include <QHashFunctions>
#include <QString>

#include <bit>
#include <cstdint>

// Identifies one measured text height: the raw text, the exact layout width and the font.
struct TextHeightKey {
    QString text;
    quint64 widthBits = 0; // the IEEE-754 bits of the width, so only bit-identical widths match
    QString fontName;
    double fontSize = 0;

    friend bool operator==(const TextHeightKey& a, const TextHeightKey& b)
    {
        return a.text == b.text && a.widthBits == b.widthBits && a.fontName == b.fontName
            && a.fontSize == b.fontSize;
    }

    static quint64 bitsOf(double value) { return std::bit_cast<quint64>(value); }
    // Negative zero compares equal to zero, so it must hash like it.
    static quint64 sizeHashBits(double size) { return size == 0 ? 0 : std::bit_cast<quint64>(size); }
};

inline size_t qHash(const TextHeightKey& key, size_t seed = 0)
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, key.text);
    seed = combine(seed, key.widthBits);
    seed = combine(seed, key.fontName);
    seed = combine(seed, TextHeightKey::sizeHashBits(key.fontSize));
    return seed;
}
