#pragma once

#include <QMetaType>
#include <QString>

#include <array>

// The accent colour of a document, one of six; the panel turns it into light and dark shades.
enum class DocumentColor { red, green, teal, blue, indigo, purple };

inline constexpr std::array<DocumentColor, 6> documentColorPalette
    = {DocumentColor::red, DocumentColor::green, DocumentColor::teal, DocumentColor::blue,
        DocumentColor::indigo, DocumentColor::purple};

// The colour of the file at path: a hash of its cleaned, lower-cased absolute path picks the palette
// entry, so a file keeps its colour across runs and paths differing only in case share one.
DocumentColor documentColorForPath(const QString& path);

// The 64-bit FNV-1a hash of bytes.
quint64 fnv1a64(const QByteArray& bytes);

Q_DECLARE_METATYPE(DocumentColor)
