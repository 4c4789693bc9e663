#pragma once

#include <QLatin1StringView>
#include <QList>
#include <QStringView>

#include <optional>

// The markup form of a link: a label in square brackets followed at once by an http or https URL
// in parentheses, as in "[the plan](https://example.com/plan)". It is the regular expression
// `expression`; the label holds no closing square bracket, the URL neither whitespace nor a closing
// parenthesis, and the scheme is matched case-sensitively.
//
// The matches are found by a hand-written scanner rather than a regex engine: titles are untrusted,
// and a scanner can guarantee time linear in the text however many brackets it holds.
class LinkPattern {
public:
    static constexpr QLatin1StringView expression {R"(\[([^\]]+)\]\((https?://[^\s)]+)\))"};

    struct Match {
        qsizetype start = 0; // of the whole match, at its "["
        qsizetype length = 0;
        qsizetype labelStart = 0;
        qsizetype labelLength = 0;
        qsizetype urlStart = 0;
        qsizetype urlLength = 0;

        qsizetype end() const { return start + length; }
        QStringView label(QStringView text) const { return text.mid(labelStart, labelLength); }
        QStringView urlText(QStringView text) const { return text.mid(urlStart, urlLength); }

        friend bool operator==(const Match& a, const Match& b) = default;
    };

    // All non-overlapping matches, in order, as a leftmost-first regex search would find them.
    static QList<Match> findAll(QStringView text);
    // The first match in text, if any.
    static std::optional<Match> findFirst(QStringView text);
};
