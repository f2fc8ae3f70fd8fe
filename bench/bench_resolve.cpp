// One key press on the HUD over the 5,000-script tree: what the typed keys reach, the primary
// match's labels and whether the keys end at a path component.
#include "BenchTrees.h"
#include "MedianReporter.h"

#include "core/index/CommandResolver.h"
#include "core/index/ScriptIndex.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace {

using namespace runel;

struct Fixture {
    std::unique_ptr<ScriptIndex> index;
    KeyGroup commonestFirstKey; // the first key that the most reachable scripts share
    KeyGroup longestSequence; // the keys of the reachable script with the most of them
    size_t sharingFirstKey = 0;
};

const Fixture &fixture()
{
    static const Fixture made = [] {
        Fixture fixture;
        fixture.index
            = ScriptIndex::scanAndBuild(bench::benchTree(5000), ScriptIndex::Configuration {})
                  .value();
        std::map<QString, size_t> firstKeys;
        for (const SequenceItem *item : fixture.index->sequence.reachableItems) {
            ++firstKeys[item->flatKeys.front()];
            if (item->flatKeys.size() > fixture.longestSequence.size())
                fixture.longestSequence = item->flatKeys;
        }
        const auto commonest = std::max_element(firstKeys.begin(), firstKeys.end(),
            [](const auto &a, const auto &b) { return a.second < b.second; });
        fixture.commonestFirstKey = { commonest->first };
        fixture.sharingFirstKey = commonest->second;
        return fixture;
    }();
    return made;
}

// Everything the HUD works out when a key is typed.
void pressKeys(const KeyGroup &keys, const std::vector<const SequenceItem *> &items)
{
    const CommandResolver::ResolveResult result = CommandResolver::resolve(keys, items);
    const SequenceItem *primary = CommandResolver::primaryMatch(result);
    const std::vector<QString> labels = CommandResolver::matchedLabels(keys, primary, true);
    const bool boundary = CommandResolver::isAtComponentBoundary(keys, primary);
    const std::vector<KeyGroup> groups = CommandResolver::displayKeyGroups(keys, primary);
    benchmark::DoNotOptimize(result);
    benchmark::DoNotOptimize(labels);
    benchmark::DoNotOptimize(boundary);
    benchmark::DoNotOptimize(groups);
}

void setCounters(benchmark::State &state)
{
    state.counters["reachable"] = double(fixture().index->sequence.reachableItems.size());
}

// The worst first key: the one that the most scripts begin with, all of them prefix matches.
void BM_KeyPressCommonestFirstKey(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state)
        pressKeys(f.commonestFirstKey, f.index->sequence.reachableItems);
    setCounters(state);
    state.counters["matches"] = double(f.sharingFirstKey);
}

// Typing the longest sequence key by key: the mean over its key presses.
void BM_KeyPressTypingLongest(benchmark::State &state)
{
    const Fixture &f = fixture();
    std::vector<KeyGroup> typed;
    for (size_t length = 1; length <= f.longestSequence.size(); ++length)
        typed.emplace_back(f.longestSequence.begin(), f.longestSequence.begin() + long(length));
    size_t next = 0;
    for (auto _ : state) {
        pressKeys(typed[next], f.index->sequence.reachableItems);
        next = next + 1 == typed.size() ? 0 : next + 1;
    }
    setCounters(state);
    state.counters["keys"] = double(typed.size());
}

// The last key of the longest sequence: a full match with a label for every component.
void BM_KeyPressFullMatch(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state)
        pressKeys(f.longestSequence, f.index->sequence.reachableItems);
    setCounters(state);
}

// A key that no script begins with: the walk over the items alone.
void BM_KeyPressNoMatch(benchmark::State &state)
{
    const Fixture &f = fixture();
    const KeyGroup keys { QStringLiteral("\u00A7") };
    for (auto _ : state)
        pressKeys(keys, f.index->sequence.reachableItems);
    setCounters(state);
}

void options(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_KeyPressCommonestFirstKey)->Apply(options);
BENCHMARK(BM_KeyPressTypingLongest)->Apply(options);
BENCHMARK(BM_KeyPressFullMatch)->Apply(options);
BENCHMARK(BM_KeyPressNoMatch)->Apply(options);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    runel::bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\nOne key press over %zu reachable scripts (median; target <= 50 us):\n"
                "%-30s %10s %10s\n",
        fixture().index->sequence.reachableItems.size(), "", "real", "CPU");
    for (const char *name : { "BM_KeyPressCommonestFirstKey", "BM_KeyPressTypingLongest",
             "BM_KeyPressFullMatch", "BM_KeyPressNoMatch" }) {
        if (const auto times = reporter.times(name))
            std::printf("%-30s %7.2f us %7.2f us  %s\n", name, times->real * 1e6, times->cpu * 1e6,
                times->real <= 50e-6 ? "met" : "MISSED");
    }
    return 0;
}
