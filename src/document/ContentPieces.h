#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// Takes the pieces of a file's content in order; returns 0, or an errno value that ends the writing.
using PieceSink = std::function<int(QByteArrayView piece)>;
// A file's content made a piece at a time into a sink, so that a long list's text reaches the disk
// without ever being held whole. It makes the same pieces each time it is called, so a writer may
// call it again (a save that retries). Returns 0 or the first errno value the sink returned, after
// which the sink is called no more.
using ContentPieces = std::function<int(const PieceSink& sink)>;

// Content already held whole, as one piece.
ContentPieces piecesOf(const QByteArray& bytes);
// The whole content in one buffer, for the rare writers that need it so (writing in place).
QByteArray joinedPieces(const ContentPieces& content);
