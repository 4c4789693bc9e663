#pragma once

#include "session/FoldRules.h"
#include "session/ItemIDList.h"
#include "session/SessionItemMap.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <array>
#include <optional>

// A task's searched text (its title, or its title, a line feed and its note) summed up in 64 bits,
// one bit for each group of units it holds: each ASCII letter in either case (capital I and small i
// apart, as Turkish rules fold them apart), each digit, eight groups of the other ASCII units,
// eighteen of the other units that fold one at a time (below FoldRules::unitFoldEnd), and one for
// any unit beyond those. Made where a text is made, it lets a search settle most tasks without
// reading their texts: a task none of whose units folds to a query's unit cannot hold the query,
// and one holding a unit that folds to the one unit of a one-unit query holds it
// (FoldRules::summaryBitsHolding tells which bits those are).
class TextSummary {
public:
    // A summary of nothing known: a unit beyond the table, and every other bit, so that nothing is
    // settled by it.
    static constexpr quint64 unknown = ~quint64(0);
    static constexpr int beyondTableBit = 63;
    static constexpr quint64 beyondTable = quint64(1) << beyondTableBit;

    // The bit of a unit below FoldRules::unitFoldEnd.
    static int bitOf(char16_t unit);
    static quint64 of(QStringView title, const std::optional<QString>& note);
    static quint64 ofText(QStringView text);
    // The summary of each task of a list, in its order; unknown for an id without a task.
    static QList<quint64> ofList(const SessionItemMap& items, const ItemIDList& ids);
    // The same for the three sections' lists, in their order (working, inbox, completed).
    static std::array<QList<quint64>, 3> ofLists(const SessionItemMap& items, const ItemIDList& working,
        const ItemIDList& inbox, const ItemIDList& completed)
    {
        return {ofList(items, working), ofList(items, inbox), ofList(items, completed)};
    }
};
