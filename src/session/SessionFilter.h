#pragma once

#include "session/SessionItem.h"
#include "session/SessionItemMap.h"
#include "session/TaskSection.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QUuid>

#include <array>
#include <optional>

class SessionState;

// The search filter: which tasks a query shows. A task matches when its title, or its title, a
// line feed and its note, contains the trimmed query, compared case-insensitively under the user's
// current locale. The folded texts of each section are kept between keystrokes, so that a keystroke
// runs one substring search per task and no case folding.
class SessionFilter {
public:
    const QString& query() const { return m_query; }
    // Whether the text differs from the query before.
    bool setQuery(const QString& text);
    // Whether a query is in force (it holds more than white space).
    bool isActive() const { return !foldedQuery().isEmpty(); }

    bool matches(const SessionItem& item) const;
    // The ids of a section that pass, in list order.
    QList<QUuid> visibleItemIDs(const SessionState& state, TaskSection section) const;
    std::optional<QUuid> firstVisibleID(const SessionState& state, TaskSection section) const;

    // The folded texts of one section, valid while the session's list and item map are the very
    // containers they were built from (the copies keep those alive).
    class SectionTexts {
    public:
        // Whether the task at `index` of the section's list contains the folded query.
        bool matches(qsizetype index, const QString& foldedQuery) const;
        // The item of the id at `index`, or null.
        const SessionItem* item(qsizetype index) const { return m_found.at(index); }

    private:
        friend class SessionFilter;
        QList<QUuid> m_ids;
        SessionItemMap m_items;
        QString m_text; // the folded texts one after another
        QList<qsizetype> m_starts; // where each task's text starts, plus the end
        QList<const SessionItem*> m_found; // each id's item in `m_items`, which the session's map shares
        bool m_valid = false;
    };
    // The trimmed query case-folded under the current locale, empty when nothing is filtered. Also
    // drops the folded texts kept for another locale.
    QString foldedQuery() const;
    // Call after foldedQuery().
    const SectionTexts& sectionTexts(const SessionState& state, TaskSection section) const;

private:
    // How the current locale folds case for searching.
    struct FoldRules {
        QLocale locale = QLocale::c();
        bool ownCaseRules = false; // lower-casing differs from the default mapping
        bool turkic = false; // capital I is dotless
        QString fold(QStringView text) const;
        void appendFoldedTask(QString& out, const SessionItem& item) const;
    };

    QString m_query;
    mutable FoldRules m_foldRules;
    mutable std::array<SectionTexts, 3> m_sectionTexts;
};
