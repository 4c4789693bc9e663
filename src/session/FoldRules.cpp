#include "session/FoldRules.h"

#include "session/TextSummary.h"

#include <QLoggingCategory>

#include <algorithm>
#include <bit>
#include <vector>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

Q_LOGGING_CATEGORY(lcSession, "vesk.session", QtWarningMsg)

// Locales whose lower-case mapping differs from the default one.
bool hasOwnCaseRules(const QLocale& locale)
{
    return locale.language() == QLocale::Turkish || locale.language() == QLocale::Azerbaijani
        || locale.language() == QLocale::Lithuanian;
}

bool turkicRules(const QLocale& locale)
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

// Whether every unit of the text folds one at a time (FoldRules::unitFoldEnd).
bool isBelowTable(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= FoldRules::unitFoldEnd)
            return false;
    return true;
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

} // namespace

FoldRules::FoldRules(const QLocale& locale)
    : m_locale(locale), m_ownCaseRules(hasOwnCaseRules(locale)), m_turkic(turkicRules(locale))
{ }

// Case folding under the user's locale (so that under Turkish rules capital I finds dotless ı and
// dotted İ finds i), followed by full Unicode case folding ("Straße" and "STRASSE" meet) on the
// canonically decomposed text, recomposed so that a precomposed é and e with a combining accent read
// the same. Outside Turkish rules a dotted capital I folds to i plus a combining dot, which would
// hide "ist" in "İstanbul"; the dot is dropped so that it reads as the plain i it is to those users.
QString FoldRules::fold(QStringView text) const
{
    if (isAscii(text)) {
        // The common case folds without the locale machinery: only the capital I differs.
        QString folded(text.size(), Qt::Uninitialized);
        char16_t* out = reinterpret_cast<char16_t*>(folded.data());
        for (QChar c : text)
            *out++ = foldAscii(c.unicode(), m_turkic);
        return folded;
    }
    const QString lowered = m_ownCaseRules ? m_locale.toLower(text.toString()) : text.toString();
    QString folded = foldCaseCanonically(lowered);
    if (!m_turkic && folded.contains(QChar(0x0307)))
        folded.replace(QStringLiteral(u"i\u0307"), QStringLiteral(u"i"));
    return folded;
}

// One table for each way of folding: the default, and each language with rules of its own. Made
// once in the process, by folding each unit on its own.
struct FoldRules::UnitFolds {
    explicit UnitFolds(const FoldRules& rules)
    {
        for (char16_t unit = 0; unit < unitFoldEnd; ++unit)
            folded[unit] = rules.fold(QStringView(&unit, 1));

        // The units of each summary bit, then, for each unit some folded form holds, the bits of the
        // units whose folded forms hold it.
        std::array<std::vector<char16_t>, 64> unitsOfBit;
        for (char16_t unit = 0; unit < unitFoldEnd; ++unit)
            unitsOfBit[size_t(TextSummary::bitOf(unit))].push_back(unit);
        for (char16_t unit = 0; unit < unitFoldEnd; ++unit) {
            for (QChar c : folded[unit]) {
                auto at = std::lower_bound(holders.begin(), holders.end(), c.unicode(),
                    [](const Holders& h, char16_t u) { return h.unit < u; });
                if (at == holders.end() || at->unit != c.unicode())
                    at = holders.insert(at, Holders {c.unicode(), {}});
                at->bits.any |= quint64(1) << TextSummary::bitOf(unit);
            }
        }
        for (Holders& h : holders) {
            for (quint64 rest = h.bits.any; rest; rest &= rest - 1) {
                const int bit = std::countr_zero(rest);
                const std::vector<char16_t>& units = unitsOfBit[size_t(bit)];
                if (std::all_of(units.begin(), units.end(),
                        [&](char16_t unit) { return folded[unit].contains(QChar(h.unit)); }))
                    h.bits.all |= quint64(1) << bit;
            }
        }
    }
    std::array<QString, unitFoldEnd> folded;
    struct Holders {
        char16_t unit;
        SummaryBits bits;
    };
    std::vector<Holders> holders; // by unit
};

const FoldRules::UnitFolds& FoldRules::unitFolds() const
{
    if (!m_unitFolds) {
        switch (m_ownCaseRules ? m_locale.language() : QLocale::AnyLanguage) {
        case QLocale::Turkish: {
            static const UnitFolds turkish(*this);
            m_unitFolds = &turkish;
            break;
        }
        case QLocale::Azerbaijani: {
            static const UnitFolds azerbaijani(*this);
            m_unitFolds = &azerbaijani;
            break;
        }
        case QLocale::Lithuanian: {
            static const UnitFolds lithuanian(*this);
            m_unitFolds = &lithuanian;
            break;
        }
        default: {
            static const UnitFolds plain(*this);
            m_unitFolds = &plain;
            break;
        }
        }
    }
    return *m_unitFolds;
}

QStringView FoldRules::foldedUnit(char16_t unit) const
{
    return unitFolds().folded[unit];
}

FoldRules::SummaryBits FoldRules::summaryBitsHolding(char16_t unit) const
{
    const std::vector<UnitFolds::Holders>& holders = unitFolds().holders;
    const auto at = std::lower_bound(holders.begin(), holders.end(), unit,
        [](const UnitFolds::Holders& h, char16_t u) { return h.unit < u; });
    return at != holders.end() && at->unit == unit ? at->bits : SummaryBits {};
}

void FoldRules::appendFoldedTaskByUnit(QString& out, const SessionItem& item) const
{
    const UnitFolds& folds = unitFolds();
    const auto append = [&](const QString& text) {
        for (QChar c : text) {
            const char16_t unit = c.unicode();
            if (unit < 0x80)
                out += QChar(foldAscii(unit, m_turkic));
            else
                out += folds.folded[unit];
        }
    };
    append(item.title);
    if (item.note && !item.note->isEmpty()) {
        out += QLatin1Char('\n');
        append(*item.note);
    }
}

void FoldRules::appendFoldedTask(QString& out, const SessionItem& item) const
{
    const bool hasNote = item.note && !item.note->isEmpty();
    if (!isAscii(item.title) || (hasNote && !isAscii(*item.note))) {
        // Latin letters fold from the table, many times faster than the locale machinery.
        if (isBelowTable(item.title) && (!hasNote || isBelowTable(*item.note)))
            appendFoldedTaskByUnit(out, item);
        else
            out += fold(editableText(item));
        return;
    }
    const qsizetype start = out.size();
    out.resize(start + item.title.size() + (hasNote ? 1 + item.note->size() : 0));
    char16_t* to = reinterpret_cast<char16_t*>(out.data()) + start;
    for (QChar c : item.title)
        *to++ = foldAscii(c.unicode(), m_turkic);
    if (hasNote) {
        *to++ = u'\n';
        for (QChar c : *item.note)
            *to++ = foldAscii(c.unicode(), m_turkic);
    }
}

bool FoldRules::appendFoldedLatin1Task(std::string& out, const SessionItem& item) const
{
    if (m_turkic)
        return false; // capital I folds beyond Latin-1
    const bool hasNote = item.note && !item.note->isEmpty();
    const std::size_t start = out.size();
    out.resize(start + std::size_t(item.title.size() + (hasNote ? 1 + item.note->size() : 0)));
    char* to = out.data() + start;
    char16_t all = 0; // every unit or'ed: ASCII exactly when below 0x80
    const auto fold = [&](const QString& text) {
        const char16_t* from = reinterpret_cast<const char16_t*>(text.constData());
        const qsizetype size = text.size();
        qsizetype i = 0;
#if defined(__SSE2__)
        // Eight units at a time: capitals (c - 'A' at most 25, unsigned) gain 32, and the units are
        // narrowed to bytes (a unit that does not fit is caught by `all` below).
        __m128i any = _mm_setzero_si128();
        for (; i + 8 <= size; i += 8) {
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
            any = _mm_or_si128(any, c);
            const __m128i offset = _mm_subs_epu16(_mm_sub_epi16(c, _mm_set1_epi16(u'A')), _mm_set1_epi16(25));
            const __m128i capital = _mm_cmpeq_epi16(offset, _mm_setzero_si128());
            const __m128i folded = _mm_add_epi16(c, _mm_and_si128(capital, _mm_set1_epi16(32)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(folded, folded));
            to += 8;
        }
        any = _mm_or_si128(any, _mm_srli_si128(any, 8));
        any = _mm_or_si128(any, _mm_srli_si128(any, 4));
        any = _mm_or_si128(any, _mm_srli_si128(any, 2));
        all |= char16_t(_mm_cvtsi128_si32(any));
#endif
        for (; i < size; ++i) {
            const char16_t c = from[i];
            all |= c;
            *to++ = char(c + (char16_t(c - u'A') < 26 ? 32 : 0));
        }
    };
    fold(item.title);
    if (hasNote) {
        *to++ = '\n';
        fold(*item.note);
    }
    if (all < 0x80)
        return true;
    out.resize(start);
    return false;
}
