#pragma once

#include "session/SessionItem.h"

#include <QLocale>
#include <QString>
#include <QStringView>

#include <array>
#include <string>

// How a locale folds case for searching: texts and queries are compared in this folded form.
class FoldRules {
public:
    FoldRules() = default;
    explicit FoldRules(const QLocale& locale);

    const QLocale& locale() const { return m_locale; }
    // Whether capital I folds to dotless ı rather than i.
    bool isTurkic() const { return m_turkic; }
    // An ASCII unit folded: capitals become small letters (capital I dotless ı under Turkic rules).
    static char16_t foldAscii(char16_t c, bool turkic)
    {
        if (c < u'A' || c > u'Z')
            return c;
        return turkic && c == u'I' ? char16_t(0x0131) : char16_t(c + 32);
    }
    QString fold(QStringView text) const;
    // The units below this fold one at a time, whatever stands around them (none is a combining
    // mark, and no rule of any locale looks at their neighbours): a text of them folds to its
    // units' folded forms joined, which a table holds.
    static constexpr char16_t unitFoldEnd = 0x250;
    // fold of the one unit, which is below unitFoldEnd.
    QStringView foldedUnit(char16_t unit) const;
    // appendFoldedTask of a task whose units are all below unitFoldEnd, made from the table.
    void appendFoldedTaskByUnit(QString& out, const SessionItem& item) const;
    // Of the units below unitFoldEnd, which TextSummary bits stand for units whose folded form holds
    // `unit`: any of them (a summary without one of these bits holds no unit folding to it), and
    // those all of whose units' folded forms hold it (a summary with one holds such a unit).
    struct SummaryBits {
        quint64 any = 0;
        quint64 all = 0;
    };
    SummaryBits summaryBitsHolding(char16_t unit) const;
    // Appends the searched text of a task, its title and note joined by a line feed, folded.
    void appendFoldedTask(QString& out, const SessionItem& item) const;
    // The same as Latin-1 units, when the task is ASCII and folds within them; answers false,
    // having appended nothing, otherwise.
    bool appendFoldedLatin1Task(std::string& out, const SessionItem& item) const;

private:
    struct UnitFolds;
    const UnitFolds& unitFolds() const;

    QLocale m_locale = QLocale::c();
    bool m_ownCaseRules = false; // lower-casing differs from the default mapping
    bool m_turkic = false; // capital I is dotless
    mutable const UnitFolds* m_unitFolds = nullptr; // made on first use
};
