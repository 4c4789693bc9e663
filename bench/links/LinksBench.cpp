// Links in task titles: building the display text and finding the first link, for hostile titles
// of 10 KB and 100 KB (time must grow linearly) and for a list of 10,000 ordinary titles. The same
// expression run by a backtracking regex engine is measured beside the scanner for contrast.

#include "session/LinkDetector.h"
#include "session/LinkPattern.h"
#include "session/TaskDisplayText.h"
#include "session/TaskLinks.h"

#include <benchmark/benchmark.h>

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>

namespace {

// Hostile titles, each the given number of UTF-16 units long.
QString hostileTitle(int kind, qsizetype size)
{
    static const QStringList units {"[[[[(((", "[", "[a](http://x]", "](https://", "http://", "www.",
        "http://a.example/)", "((((", "[a](https://x.example/("};
    if (kind == int(units.size())) // every "[" runs to the one "]" at the end, and fails there
        return QString(size - 2, u'[') + QStringLiteral("])");
    QString text = units.at(kind).repeated(size / units.at(kind).size() + 1);
    text.truncate(size);
    return text;
}

const char* const kHostileNames[] {"brackets_parens", "openers", "unclosed_markup", "close_open_scheme",
    "schemes", "www", "closers_in_path", "open_parens", "markup_open_paren", "openers_then_close"};

QStringList typicalTitles(int count)
{
    static const QStringList words {"call", "review", "draft", "report", "budget", "meeting", "Müller",
        "send", "invoice", "fix", "the", "for", "next", "week", "café", "plan", "garden", "(soon)", "[idea]",
        "update"};
    static const QStringList links {"[docs](https://example.org/a/b?c=1)",
        "https://tracker.example.com/T-1234", "www.example.net/page",
        "see [the plan](http://intra.example/plan) and https://b.example/x."};
    QRandomGenerator random(count);
    QStringList titles;
    for (int i = 0; i < count; ++i) {
        QStringList parts;
        const int wordCount = 3 + random.bounded(8);
        for (int w = 0; w < wordCount; ++w)
            parts << words.at(random.bounded(int(words.size())));
        // Two titles in five hold a link.
        if (random.bounded(5) < 2)
            parts.insert(random.bounded(int(parts.size()) + 1), links.at(random.bounded(int(links.size()))));
        titles << parts.join(u' ');
    }
    return titles;
}

void BM_HostileDisplayText(benchmark::State& state)
{
    const QString title = hostileTitle(int(state.range(0)), state.range(1));
    state.SetLabel(kHostileNames[state.range(0)]);
    for (auto _ : state)
        benchmark::DoNotOptimize(buildDisplayText(title));
    state.SetBytesProcessed(state.iterations() * title.size() * 2);
}

void BM_HostileFirstLink(benchmark::State& state)
{
    const QString title = hostileTitle(int(state.range(0)), state.range(1));
    state.SetLabel(kHostileNames[state.range(0)]);
    for (auto _ : state)
        benchmark::DoNotOptimize(firstLinkURL(title));
    state.SetBytesProcessed(state.iterations() * title.size() * 2);
}

// The documented expression on a backtracking regex engine, for contrast.
void BM_RegexReference(benchmark::State& state)
{
    const QString title = hostileTitle(int(state.range(0)), state.range(1));
    state.SetLabel(kHostileNames[state.range(0)]);
    const QRegularExpression expression(LinkPattern::expression.toString());
    for (auto _ : state) {
        auto matches = expression.globalMatch(title);
        while (matches.hasNext())
            benchmark::DoNotOptimize(matches.next());
    }
    state.SetBytesProcessed(state.iterations() * title.size() * 2);
}

void BM_TypicalTitlesDisplayText(benchmark::State& state)
{
    const QStringList titles = typicalTitles(int(state.range(0)));
    for (auto _ : state) {
        for (const QString& title : titles)
            benchmark::DoNotOptimize(buildDisplayText(title));
    }
    state.SetItemsProcessed(state.iterations() * titles.size());
}

void BM_TypicalTitlesFirstLink(benchmark::State& state)
{
    const QStringList titles = typicalTitles(int(state.range(0)));
    for (auto _ : state) {
        for (const QString& title : titles)
            benchmark::DoNotOptimize(firstLinkURL(title));
    }
    state.SetItemsProcessed(state.iterations() * titles.size());
}

void hostileArguments(benchmark::internal::Benchmark* benchmark)
{
    for (int kind = 0; kind < int(std::size(kHostileNames)); ++kind) {
        benchmark->Args({kind, 10 * 1024});
        benchmark->Args({kind, 100 * 1024});
    }
}

} // namespace

BENCHMARK(BM_HostileDisplayText)->Apply(hostileArguments)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HostileFirstLink)->Apply(hostileArguments)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RegexReference)->Apply(hostileArguments)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypicalTitlesDisplayText)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypicalTitlesFirstLink)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
