#pragma once

#include "session/RenderedRow.h"

#include <QList>

#include <memory>

class RowOutline;

// One step of bringing a list of rows up to date: at `at` (in the list as the steps before left
// it), `removed` rows give way to `inserted`. Steps go down the list, each after the rows the one
// before it left, except where a step replaces every row: the steps after it splice those rows
// afresh from the top (a pass of their own, see rowSplicePasses).
struct RowSplice {
    qsizetype at = 0;
    qsizetype removed = 0;
    QList<RenderedRow> inserted;
    // What laying out inserted needs without reading each row, when it was made with the rows (a
    // list loaded); not part of what the splice does.
    std::shared_ptr<const RowOutline> outline {};

    friend bool operator==(const RowSplice& a, const RowSplice& b)
    {
        return a.at == b.at && a.removed == b.removed && a.inserted == b.inserted;
    }
};

// The splices in passes, each going down the list (every splice after the rows the one before it
// left), to be applied one after the other: one pass, most often.
QList<QList<RowSplice>> rowSplicePasses(const QList<RowSplice>& splices);

// Applies splices, in order, to a list of rows.
void applyRowSplices(QList<RenderedRow>& rows, const QList<RowSplice>& splices);
// The same, moving the inserted rows rather than copying them.
void applyRowSplices(QList<RenderedRow>& rows, QList<RowSplice>&& splices);
