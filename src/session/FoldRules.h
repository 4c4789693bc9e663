#pragma once

#include "session/SessionItem.h"

#include <QLocale>
#include <QString>
#include <QStringView>

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
    // Appends the searched text of a task, its title and note joined by a line feed, folded.
    void appendFoldedTask(QString& out, const SessionItem& item) const;
    // The same as Latin-1 units, when the task is ASCII and folds within them; answers false,
    // having appended nothing, otherwise.
    bool appendFoldedLatin1Task(std::string& out, const SessionItem& item) const;

private:
    QLocale m_locale = QLocale::c();
    bool m_ownCaseRules = false; // lower-casing differs from the default mapping
    bool m_turkic = false; // capital I is dotless
};
