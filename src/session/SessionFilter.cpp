#include "session/SessionFilter.h"

#include "session/SessionState.h"

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
QString SessionFilter::FoldRules::fold(QStringView text) const
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
void SessionFilter::FoldRules::appendFoldedTask(QString& out, const SessionItem& item) const
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

bool SessionFilter::setQuery(const QString& text)
{
    const bool differs = text != m_query;
    m_query = text;
    return differs;
}

QString SessionFilter::foldedQuery() const
{
    const QString query = m_query.trimmed();
    if (query.isEmpty())
        return QString();
    const QLocale locale;
    if (locale != m_foldRules.locale) {
        for (SectionTexts& texts : m_sectionTexts)
            texts = SectionTexts();
        m_foldRules = FoldRules {locale, hasOwnCaseRules(locale), isTurkic(locale)};
    }
    return m_foldRules.fold(query);
}

bool SessionFilter::matches(const SessionItem& item) const
{
    const QString folded = foldedQuery();
    if (folded.isEmpty())
        return true;
    QString text;
    m_foldRules.appendFoldedTask(text, item);
    return containsFolded(text, folded);
}

const SessionFilter::SectionTexts& SessionFilter::sectionTexts(
    const SessionState& state, TaskSection section) const
{
    SectionTexts& texts = m_sectionTexts[size_t(section)];
    const QList<QUuid>& ids = state.itemIDs(section);
    if (texts.m_valid && texts.m_ids.isSharedWith(ids) && texts.m_items.isSharedWith(state.items()))
        return texts;

    // After an edit the list is often the same and most texts are unchanged: their folded text
    // is copied instead of folded again. The old map stays alive in `previous` until the end, so
    // its item pointers can be compared with the new ones.
    SectionTexts previous = std::move(texts);
    const bool sameList = previous.m_valid && previous.m_ids.isSharedWith(ids);
    texts = SectionTexts();
    texts.m_ids = ids;
    texts.m_items = state.items();
    // All texts of the section in one buffer, so that folding thousands of tasks allocates once.
    texts.m_text.reserve(previous.m_text.size());
    texts.m_starts.reserve(ids.size() + 1);
    texts.m_found.reserve(ids.size());
    for (qsizetype i = 0; i < ids.size(); ++i) {
        texts.m_starts.append(texts.m_text.size());
        const SessionItem* found = state.item(ids.at(i));
        texts.m_found.append(found);
        if (!found)
            continue;
        const SessionItem* before = sameList ? previous.m_found.at(i) : nullptr;
        if (before && before->title.isSharedWith(found->title)
            && before->note.has_value() == found->note.has_value()
            && (!found->note || before->note->isSharedWith(*found->note))) {
            texts.m_text.append(
                QStringView(previous.m_text)
                    .mid(previous.m_starts.at(i), previous.m_starts.at(i + 1) - previous.m_starts.at(i)));
        } else {
            m_foldRules.appendFoldedTask(texts.m_text, *found);
        }
    }
    texts.m_starts.append(texts.m_text.size());
    texts.m_valid = true;
    return texts;
}

bool SessionFilter::SectionTexts::matches(qsizetype index, const QString& query) const
{
    const std::u16string_view haystack(
        reinterpret_cast<const char16_t*>(m_text.constData()) + m_starts.at(index),
        size_t(m_starts.at(index + 1) - m_starts.at(index)));
    const std::u16string_view needle(
        reinterpret_cast<const char16_t*>(query.constData()), size_t(query.size()));
    return haystack.find(needle) != std::u16string_view::npos;
}

QList<QUuid> SessionFilter::visibleItemIDs(const SessionState& state, TaskSection section) const
{
    const QString folded = foldedQuery();
    const QList<QUuid>& ids = state.itemIDs(section);
    if (folded.isEmpty())
        return ids;
    const SectionTexts& texts = sectionTexts(state, section);
    QList<QUuid> visible;
    for (qsizetype i = 0; i < ids.size(); ++i)
        if (texts.matches(i, folded))
            visible.append(ids.at(i));
    return visible;
}

std::optional<QUuid> SessionFilter::firstVisibleID(const SessionState& state, TaskSection section) const
{
    const QList<QUuid>& ids = state.itemIDs(section);
    const QString folded = foldedQuery();
    if (folded.isEmpty())
        return ids.isEmpty() ? std::nullopt : std::optional<QUuid>(ids.first());
    const SectionTexts& texts = sectionTexts(state, section);
    for (qsizetype i = 0; i < ids.size(); ++i)
        if (texts.matches(i, folded))
            return ids.at(i);
    return std::nullopt;
}
