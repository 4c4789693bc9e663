#pragma once

#include "session/RenderedRow.h"

#include <QList>

// One step of bringing a list of rows up to date: at `at` (in the list as the steps before left
// it), `removed` rows give way to `inserted`.
struct RowSplice {
    qsizetype at = 0;
    qsizetype removed = 0;
    QList<RenderedRow> inserted;

    friend bool operator==(const RowSplice& a, const RowSplice& b) = default;
};

// Applies splices, in order, to a list of rows.
void applyRowSplices(QList<RenderedRow>& rows, const QList<RowSplice>& splices);
// The same, moving the inserted rows rather than copying them.
void applyRowSplices(QList<RenderedRow>& rows, QList<RowSplice>&& splices);
