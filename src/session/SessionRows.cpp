#include "session/SessionController.h"

#include <QLocale>
#include <QLoggingCategory>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <string_view>

namespace {

Q_LOGGING_CATEGORY(lcSession, "vesk.session", QtWarningMsg)

// Locales whose lower-case mapping differs from the default one.
bool hasOwnCaseRules(const QLocale& locale)
{
    return locale.language() == QLocale::Turkish || locale.language() == QLocale::Azerbaijani
        || locale.language() == QLocale::Lithuanian;
}

bool isTurkic(const QLocale& locale)
{
    return locale.language() == QLocale::Turkish || locale.language() == QLocale::Azerbaijani;
}

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// Exact substring search; both sides are folded already.
bool containsFolded(const QString& text, const QString& query)
{
    const std::u16string_view haystack(
        reinterpret_cast<const char16_t*>(text.constData()), size_t(text.size()));
    const std::u16string_view needle(
        reinterpret_cast<const char16_t*>(query.constData()), size_t(query.size()));
    return haystack.find(needle) != std::u16string_view::npos;
}

// NFC(fold(NFD(text))): folding a decomposed text catches the marks that fold on their own.
QString foldCaseCanonically(const QString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* decompose = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* compose = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        qCWarning(lcSession, "Unicode normalisation is unavailable: %s", u_errorName(status));
        return text.toCaseFolded();
    }
    const icu::UnicodeString source(
        false, reinterpret_cast<const char16_t*>(text.constData()), int32_t(text.size()));
    icu::UnicodeString decomposed = decompose->normalize(source, status);
    decomposed.foldCase(U_FOLD_CASE_DEFAULT);
    const icu::UnicodeString folded = compose->normalize(decomposed, status);
    if (U_FAILURE(status)) {
        qCWarning(lcSession, "Could not fold a text for searching: %s", u_errorName(status));
        return text.toCaseFolded();
    }
    return QString(reinterpret_cast<const QChar*>(folded.getBuffer()), folded.length());
}

char16_t foldAscii(char16_t c, bool turkic)
{
    if (c < u'A' || c > u'Z')
        return c;
    return turkic && c == u'I' ? char16_t(0x0131) : char16_t(c + 32);
}

} // namespace

// Case folding under the user's locale (so that under Turkish rules capital I finds dotless ı and
// dotted İ finds i), followed by full Unicode case folding ("Straße" and "STRASSE" meet) on the
// canonically decomposed text, recomposed so that a precomposed é and e with a combining accent read
// the same. Outside Turkish rules a dotted capital I folds to i plus a combining dot, which would
// hide "ist" in "İstanbul"; the dot is dropped so that it reads as the plain i it is to those users.
QString SessionController::FoldRules::fold(QStringView text) const
{
    if (isAscii(text)) {
        // The common case folds without the locale machinery: only the capital I differs.
        QString folded(text.size(), Qt::Uninitialized);
        char16_t* out = reinterpret_cast<char16_t*>(folded.data());
        for (QChar c : text)
            *out++ = foldAscii(c.unicode(), turkic);
        return folded;
    }
    const QString lowered = ownCaseRules ? locale.toLower(text.toString()) : text.toString();
    QString folded = foldCaseCanonically(lowered);
    if (!turkic && folded.contains(QChar(0x0307)))
        folded.replace(QStringLiteral(u"i\u0307"), QStringLiteral(u"i"));
    return folded;
}

// Appends the searched text of a task, its title and note joined by a line feed, folded.
void SessionController::FoldRules::appendFoldedTask(QString& out, const SessionItem& item) const
{
    const bool hasNote = item.note && !item.note->isEmpty();
    if (!isAscii(item.title) || (hasNote && !isAscii(*item.note))) {
        out += fold(editableText(item));
        return;
    }
    const qsizetype start = out.size();
    out.resize(start + item.title.size() + (hasNote ? 1 + item.note->size() : 0));
    char16_t* to = reinterpret_cast<char16_t*>(out.data()) + start;
    for (QChar c : item.title)
        *to++ = foldAscii(c.unicode(), turkic);
    if (hasNote) {
        *to++ = u'\n';
        for (QChar c : *item.note)
            *to++ = foldAscii(c.unicode(), turkic);
    }
}

QString SessionController::foldedFilterQuery() const
{
    const QString query = m_filterQuery.trimmed();
    if (query.isEmpty())
        return QString();
    const QLocale locale;
    if (locale != m_foldRules.locale) {
        for (SectionFolds& folds : m_sectionFolds)
            folds = SectionFolds();
        m_foldRules = FoldRules {locale, hasOwnCaseRules(locale), isTurkic(locale)};
    }
    return m_foldRules.fold(query);
}

bool SessionController::matchesFoldedQuery(const SessionItem& item, const QString& foldedQuery) const
{
    QString text;
    m_foldRules.appendFoldedTask(text, item);
    return containsFolded(text, foldedQuery);
}

// Call after foldedFilterQuery(), which drops folds made under another locale.
const SessionController::SectionFolds& SessionController::sectionFolds(TaskSection section) const
{
    SectionFolds& folds = m_sectionFolds[size_t(section)];
    const QList<QUuid>& ids = itemIDs(section);
    if (folds.valid && folds.ids.isSharedWith(ids) && folds.items.isSharedWith(m_itemsByID))
        return folds;

    // After an edit the list is often the same and most texts are unchanged: their folded text
    // is copied instead of folded again. The old map stays alive in `previous` until the end, so
    // its item pointers can be compared with the new ones.
    SectionFolds previous = std::move(folds);
    const bool sameList = previous.valid && previous.ids.isSharedWith(ids);
    folds = SectionFolds();
    folds.ids = ids;
    folds.items = m_itemsByID;
    // All texts of the section in one buffer, so that folding thousands of tasks allocates once.
    folds.text.reserve(previous.text.size());
    folds.starts.reserve(ids.size() + 1);
    folds.found.reserve(ids.size());
    for (qsizetype i = 0; i < ids.size(); ++i) {
        folds.starts.append(folds.text.size());
        const SessionItem* found = item(ids.at(i));
        folds.found.append(found);
        if (!found)
            continue;
        const SessionItem* before = sameList ? previous.found.at(i) : nullptr;
        if (before && before->title.isSharedWith(found->title)
            && before->note.has_value() == found->note.has_value()
            && (!found->note || before->note->isSharedWith(*found->note))) {
            folds.text.append(
                QStringView(previous.text)
                    .mid(previous.starts.at(i), previous.starts.at(i + 1) - previous.starts.at(i)));
        } else {
            m_foldRules.appendFoldedTask(folds.text, *found);
        }
    }
    folds.starts.append(folds.text.size());
    folds.valid = true;
    return folds;
}

bool SessionController::SectionFolds::matches(qsizetype index, const QString& query) const
{
    const std::u16string_view haystack(reinterpret_cast<const char16_t*>(text.constData()) + starts.at(index),
        size_t(starts.at(index + 1) - starts.at(index)));
    const std::u16string_view needle(
        reinterpret_cast<const char16_t*>(query.constData()), size_t(query.size()));
    return haystack.find(needle) != std::u16string_view::npos;
}

bool SessionController::matchesFilter(const QUuid& id) const
{
    const SessionItem* found = item(id);
    return found && matchesFoldedQuery(*found, foldedFilterQuery());
}

QList<QUuid> SessionController::visibleItemIDs(TaskSection section) const
{
    const QString folded = foldedFilterQuery();
    if (folded.isEmpty())
        return itemIDs(section);
    const QList<QUuid>& ids = itemIDs(section);
    const SectionFolds& texts = sectionFolds(section);
    QList<QUuid> visible;
    for (qsizetype i = 0; i < ids.size(); ++i)
        if (texts.matches(i, folded))
            visible.append(ids.at(i));
    return visible;
}

std::optional<QUuid> SessionController::firstVisibleID(TaskSection section) const
{
    const QList<QUuid>& ids = itemIDs(section);
    const QString folded = foldedFilterQuery();
    if (folded.isEmpty())
        return ids.isEmpty() ? std::nullopt : std::optional<QUuid>(ids.first());
    const SectionFolds& texts = sectionFolds(section);
    for (qsizetype i = 0; i < ids.size(); ++i)
        if (texts.matches(i, folded))
            return ids.at(i);
    return std::nullopt;
}

template <typename Visit>
void SessionController::walkRows(Visit&& visit) const
{
    const QString folded = foldedFilterQuery();
    const bool filtered = !folded.isEmpty();
    const CompletionShellState* shell = m_completionShell ? &*m_completionShell : nullptr;

    // Emits the rows of one section; returns how many ids passed the filter and how many rows came out.
    const auto taskRows = [&](TaskSection section) {
        qsizetype visible = 0;
        qsizetype emitted = 0;
        const QList<QUuid>& ids = itemIDs(section);
        const SectionFolds* texts = filtered ? &sectionFolds(section) : nullptr;
        for (qsizetype i = 0; i < ids.size(); ++i) {
            if (texts && !texts->matches(i, folded))
                continue;
            const QUuid& id = ids.at(i);
            const SessionItem* found = texts ? texts->found.at(i) : item(id);
            ++visible;
            if (shell && shell->itemID == id && shell->section == section) {
                visit(RenderedRow::Kind::completionShell, section, id, nullptr, shell);
                ++emitted;
            } else if (found) {
                visit(RenderedRow::Kind::task, section, id, found, nullptr);
                ++emitted;
            }
        }
        return std::pair {visible, emitted};
    };

    if (taskRows(TaskSection::working).second == 0)
        visit(RenderedRow::Kind::spacer, TaskSection::working, QUuid(), nullptr, nullptr);
    visit(RenderedRow::Kind::separator, TaskSection::working, QUuid(), nullptr, nullptr);
    if (m_isCreatingNewItem)
        visit(RenderedRow::Kind::input, TaskSection::inbox, QUuid(), nullptr, nullptr);
    if (taskRows(TaskSection::inbox).first == 0)
        visit(RenderedRow::Kind::spacer, TaskSection::inbox, QUuid(), nullptr, nullptr);
    visit(RenderedRow::Kind::separator, TaskSection::inbox, QUuid(), nullptr, nullptr);
    if (taskRows(TaskSection::completed).first == 0)
        visit(RenderedRow::Kind::spacer, TaskSection::completed, QUuid(), nullptr, nullptr);
}

QList<RenderedRow> SessionController::renderedRows() const
{
    QList<RenderedRow> rows;
    rows.reserve(m_workingItemIDs.size() + m_inboxItemIDs.size() + m_completedItemIDs.size() + 6);
    walkRows([&](RenderedRow::Kind kind, TaskSection section, const QUuid& id, const SessionItem* found,
                 const CompletionShellState* shell) {
        switch (kind) {
        case RenderedRow::Kind::task:
            // An id lives in one list only, so being listed under completed is being completed.
            rows.append(
                RenderedRow::task(id, section, section == TaskSection::completed, found->title, found->note));
            break;
        case RenderedRow::Kind::completionShell:
            rows.append(
                RenderedRow::completionShell(id, section, shell->title, shell->note, shell->isCompleted));
            break;
        case RenderedRow::Kind::separator:
            rows.append(RenderedRow::separator(section));
            break;
        case RenderedRow::Kind::input:
            rows.append(RenderedRow::input(m_inputDraft));
            break;
        case RenderedRow::Kind::spacer:
            rows.append(RenderedRow::spacer(section, emptySectionSpacerHeight));
            break;
        }
    });
    return rows;
}

QList<SessionController::RowStop> SessionController::rowStops() const
{
    QList<RowStop> stops;
    stops.reserve(m_workingItemIDs.size() + m_inboxItemIDs.size() + m_completedItemIDs.size() + 6);
    walkRows([&](RenderedRow::Kind kind, TaskSection section, const QUuid& id, const SessionItem*,
                 const CompletionShellState*) {
        stops.append(RowStop {kind, section, id});
    });
    return stops;
}

bool SessionController::isSelectableTarget(const SessionSelection& selection) const
{
    // Same answer as looking the selection up in selectableTargets(renderedRows()), without
    // building the rows.
    switch (selection.kind()) {
    case SessionSelection::Kind::none:
        return false;
    case SessionSelection::Kind::input:
        return m_isCreatingNewItem;
    case SessionSelection::Kind::task:
        break;
    }
    const QUuid id = *selection.taskID();
    const SessionItem* found = item(id);
    const std::optional<TaskSection> section = sectionOf(id);
    if (!found || !section)
        return false;
    if (m_completionShell && m_completionShell->itemID == id && m_completionShell->section == *section)
        return false;
    const QString folded = foldedFilterQuery();
    return folded.isEmpty() || matchesFoldedQuery(*found, folded);
}

void SessionController::setFilterQuery(const QString& text)
{
    ChangeScope scope(this);
    const bool differs = text != m_filterQuery;
    assignFilterQuery(text);
    if (differs) {
        assignSelection(resolvedSelection(m_selection));
        reveal();
    }
}
