// Re-registering 100 hot keys on an X server (budget 20 ms): setBindings replacing all 100
// combinations (100 let go, 100 grabbed in every lock variant, checked), and changing one of
// them, against a bare round trip to the same server. Needs a display: run it under
// tests/with-xvfb.
#include "MedianReporter.h"

#include "KeyboardShortcuts/KeyTable.h"
#include "KeyboardShortcuts/X11HotKeyBackend.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace runel::KeyboardShortcuts;

constexpr int combinationCount = 100;

std::unique_ptr<X11HotKeyBackend> backend;

// 25 letters and digits under four sets of modifiers; `shift` picks other sets, so the two
// lists share no combination.
std::vector<Binding> bindings(bool shift, int changed = -1)
{
    const int sets[2][4] = {
        { CarbonModifier::command, CarbonModifier::command | CarbonModifier::option,
            CarbonModifier::control | CarbonModifier::option,
            CarbonModifier::command | CarbonModifier::control },
        { CarbonModifier::command | CarbonModifier::shift,
            CarbonModifier::control | CarbonModifier::shift,
            CarbonModifier::option | CarbonModifier::shift,
            CarbonModifier::command | CarbonModifier::option | CarbonModifier::shift },
    };
    std::vector<Binding> result;
    for (const KeyEntry &entry : KeyTable::entries()) {
        if (entry.carbonKeyCode > 29 || int(result.size()) == combinationCount)
            break;
        for (int modifiers : sets[shift ? 1 : 0]) {
            if (int(result.size()) < combinationCount)
                result.push_back({ { entry.carbonKeyCode, modifiers }, {} });
        }
    }
    if (changed >= 0)
        result[size_t(changed)].shortcut.carbonModifiers |= CarbonModifier::shift;
    return result;
}

void BM_ReplaceAll(benchmark::State &state)
{
    const std::vector<Binding> lists[2] = { bindings(false), bindings(true) };
    int turn = 0;
    for (auto _ : state) {
        backend->setBindings(lists[turn]);
        turn ^= 1;
    }
}
BENCHMARK(BM_ReplaceAll)->Unit(benchmark::kMillisecond);

void BM_ChangeOne(benchmark::State &state)
{
    const std::vector<Binding> lists[2] = { bindings(false), bindings(false, 0) };
    backend->setBindings(lists[0]);
    int turn = 1;
    for (auto _ : state) {
        backend->setBindings(lists[turn]);
        turn ^= 1;
    }
}
BENCHMARK(BM_ChangeOne)->Unit(benchmark::kMillisecond);

void BM_RoundTrip(benchmark::State &state)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    for (auto _ : state)
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
}
BENCHMARK(BM_RoundTrip)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    backend = X11HotKeyBackend::connect();
    if (!backend) {
        std::fprintf(stderr, "bench_x11_grabs: no X display; run it under tests/with-xvfb\n");
        return 1;
    }
    runel::bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    backend.reset();

    const auto roundTrip = reporter.seconds("BM_RoundTrip");
    std::printf("\n%d combinations (budget 20 ms a re-registration):\n", combinationCount);
    for (const char *name : { "BM_ReplaceAll", "BM_ChangeOne" }) {
        if (const auto seconds = reporter.seconds(name)) {
            std::printf("%-14s %7.3f ms  = %5.1f round trips\n", name, *seconds * 1e3,
                roundTrip ? *seconds / *roundTrip : 0.0);
        }
    }
    return 0;
}
