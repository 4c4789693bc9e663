// What a hot key press costs: reading a slot's stored shortcut, matching a key event against the
// registered hot keys, and naming a shortcut for display.
#include "platform/SettingsStore.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/HotKey.h"
#include "shortcuts/HotKeyCenter.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// Accepts every registration, like an X server with free keys.
class AcceptingBackend : public HotKeyBackend {
public:
    std::optional<Handle> registerHotKey(const HotKey&) override { return ++m_next; }
    void unregisterHotKey(Handle) override { }
    bool installEventHandler() override { return true; }
    void setHotKeyEventsEnabled(bool) override { }

private:
    Handle m_next = 0;
};

void getShortcut(benchmark::State& state)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("settings.ini"));
    SettingsStore::setShared(&store);
    const GlobalShortcuts::Name name = GlobalShortcuts::Name::togglePanel();
    for (auto _ : state)
        benchmark::DoNotOptimize(GlobalShortcuts::getShortcut(name));
    SettingsStore::setShared(nullptr);
}
BENCHMARK(getShortcut);

// A key of an open menu matched against hot keys (the last one matches), press and release.
void matchMenuKey(benchmark::State& state)
{
    HotKeyCenter center {std::make_unique<AcceptingBackend>()};
    std::vector<std::shared_ptr<HotKey>> hotKeys;
    int runs = 0;
    for (int i = 0; i < state.range(0); ++i) {
        hotKeys.push_back(std::make_shared<HotKey>(
            center, i, Shortcut::control | Shortcut::option, [&runs] { ++runs; }, [&runs] { ++runs; }));
        center.registerHotKey(hotKeys.back());
    }
    center.setMenuOpen(true);
    const int last = int(state.range(0)) - 1;
    for (auto _ : state) {
        center.handleRawKeyEvent(last, Shortcut::control | Shortcut::option, true, false);
        center.handleRawKeyEvent(last, 0, false, false);
    }
    benchmark::DoNotOptimize(runs);
}
BENCHMARK(matchMenuKey)->Arg(1)->Arg(50);

void describe(benchmark::State& state)
{
    const Shortcut shortcut(state.range(0), Shortcut::control | Shortcut::option);
    for (auto _ : state)
        benchmark::DoNotOptimize(shortcut.description());
}
BENCHMARK(describe)->Arg(49)->Arg(40);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
