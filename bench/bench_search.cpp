// Free-text search in the HUD over the 10,000-script tree, one query per key press: the search
// results and their display rows, against a bare lower-cased substring scan over the same two
// fields and against `fzf --filter` over the same names and paths.
#include "BenchTrees.h"
#include "MedianReporter.h"

#include "core/hud/SearchCatalog.h"
#include "core/hud/SearchEvaluation.h"
#include "core/index/ScriptIndex.h"
#include "core/log/RunHistory.h"
#include "core/text/Text.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using namespace runel;

constexpr int scriptCount = 10000;

struct Fixture {
    std::shared_ptr<const ScriptIndex> index;
    std::shared_ptr<const SearchCatalog> catalog;
    // Every key press of typing a few display names from across the index, letter by letter.
    std::vector<QString> keyPresses;
    // The two fields of every searchable script, lower-cased once: the baseline's table.
    std::vector<QString> lowerNames;
    std::vector<QString> lowerPaths;
    std::string fzfInput; // one line per searchable script: name, tab, path
    // A log of 10,000 runs of a fifth of the scripts over the last 120 days, oldest first, and
    // the use scores it gives the catalog: what ranking by use reads.
    QList<LogRecord> runLog;
    std::vector<double> useScores;
};

const Fixture &fixture()
{
    static const Fixture made = [] {
        Fixture fixture;
        fixture.index = std::shared_ptr<const ScriptIndex>(
            ScriptIndex::scanAndBuild(bench::benchTree(scriptCount), ScriptIndex::Configuration {})
                .value()
                .release());
        fixture.catalog = SearchCatalog::of(fixture.index);
        const std::vector<const SearchItem *> &items = fixture.index->search.searchableItems;
        for (const double at : { 0.05, 0.35, 0.65, 0.95 }) {
            const QString &name = items[size_t(at * double(items.size()))]->displayName;
            for (qsizetype length = 1; length <= name.size(); ++length)
                fixture.keyPresses.push_back(name.first(length));
        }
        std::string lines;
        for (const SearchItem *item : items) {
            fixture.lowerNames.push_back(text::lowercased(item->displayName));
            fixture.lowerPaths.push_back(text::lowercased(item->file->relativePath));
            lines += item->displayName.toStdString() + '\t' + item->file->relativePath.toStdString()
                + '\n';
        }
        char path[] = "/tmp/runel-bench-fzf-XXXXXX";
        const int fd = mkstemp(path);
        if (fd >= 0) {
            ssize_t written = 0;
            while (written < ssize_t(lines.size())) {
                const ssize_t n = write(fd, lines.data() + written, lines.size() - size_t(written));
                if (n <= 0)
                    break;
                written += n;
            }
            close(fd);
            fixture.fzfInput = path;
        }
        // Deterministic: run k is of script (k * 7919) % (count / 5), k minutes apart.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int k = 0; k < 10000; ++k) {
            LogRecord &record = fixture.runLog.emplaceBack();
            record.scriptPath
                = items[size_t(k * 7919) % (items.size() / 5)]->file->standardizedPath();
            record.date = now.addSecs(-60 * 17 * qint64(10000 - k));
        }
        fixture.useScores
            = fixture.catalog->useScores(RunHistory::fromRecords(fixture.runLog, now), now);
        return fixture;
    }();
    return made;
}

// What the HUD works out on a key press in search mode: results, title and a display row for
// every result.
size_t searchKeyPress(
    const SearchCatalog &catalog, const QString &query, std::span<const double> useScores = {})
{
    const std::vector<SearchResult> results = catalog.results(query, useScores);
    const std::vector<ResultDisplayItem> rows = catalog.displayItems(results, query);
    const QString title = searchTitle(query, results);
    benchmark::DoNotOptimize(rows.data());
    benchmark::DoNotOptimize(title);
    return results.size();
}

// The same with display rows for what the results panel shows at once, as a list view that
// asks for its visible rows builds them.
constexpr size_t visibleRows = 20;

size_t searchKeyPressVisible(const SearchCatalog &catalog, const QString &query)
{
    const std::vector<SearchResult> results = catalog.results(query);
    const MatchQuery folded(query);
    std::vector<ResultDisplayItem> rows;
    for (size_t i = 0; i < std::min(results.size(), visibleRows); ++i)
        rows.push_back(catalog.displayItem(results[i], folded));
    const QString title = searchTitle(query, results);
    benchmark::DoNotOptimize(rows.data());
    benchmark::DoNotOptimize(title);
    return results.size();
}

// The least a search can do: lower-case the query, look for it in fields lower-cased already.
size_t bareScan(const Fixture &f, const QString &query)
{
    const QString lower = text::lowercased(query);
    size_t hits = 0;
    for (size_t i = 0; i < f.lowerNames.size(); ++i) {
        if (f.lowerNames[i].contains(lower) || f.lowerPaths[i].contains(lower))
            ++hits;
    }
    return hits;
}

void BM_SearchKeyPress(benchmark::State &state)
{
    const Fixture &f = fixture();
    size_t next = 0, results = 0, queries = 0;
    for (auto _ : state) {
        results += searchKeyPress(*f.catalog, f.keyPresses[next]);
        ++queries;
        next = next + 1 == f.keyPresses.size() ? 0 : next + 1;
    }
    state.counters["results/query"] = double(results) / double(queries);
}

// The same with ranking by use on: ties broken by the run log's scores.
void BM_SearchKeyPressByUse(benchmark::State &state)
{
    const Fixture &f = fixture();
    size_t next = 0, results = 0, queries = 0;
    for (auto _ : state) {
        results += searchKeyPress(*f.catalog, f.keyPresses[next], f.useScores);
        ++queries;
        next = next + 1 == f.keyPresses.size() ? 0 : next + 1;
    }
    state.counters["results/query"] = double(results) / double(queries);
}

// Once per reload of the scripts, off the key press path: the history of a 10,000-run log
// (records already read) and the scores of every catalog item.
void BM_UseScoresBuild(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        benchmark::DoNotOptimize(
            f.catalog->useScores(RunHistory::fromRecords(f.runLog, now), now).data());
    }
}

void BM_SearchKeyPressVisibleRows(benchmark::State &state)
{
    const Fixture &f = fixture();
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(searchKeyPressVisible(*f.catalog, f.keyPresses[next]));
        next = next + 1 == f.keyPresses.size() ? 0 : next + 1;
    }
}

void BM_BareScanKeyPress(benchmark::State &state)
{
    const Fixture &f = fixture();
    size_t next = 0, hits = 0, queries = 0;
    for (auto _ : state) {
        hits += bareScan(f, f.keyPresses[next]);
        ++queries;
        next = next + 1 == f.keyPresses.size() ? 0 : next + 1;
    }
    state.counters["results/query"] = double(hits) / double(queries);
}

// The worst single key press: the first letter of a name, found in most scripts, so that
// nearly every script is ranked and gets a display row.
const QString commonLetter = QStringLiteral("e");

void BM_SearchCommonLetter(benchmark::State &state)
{
    const Fixture &f = fixture();
    size_t results = 0;
    for (auto _ : state)
        results = searchKeyPress(*f.catalog, commonLetter);
    state.counters["results"] = double(results);
}

void BM_SearchCommonLetterByUse(benchmark::State &state)
{
    const Fixture &f = fixture();
    size_t results = 0;
    for (auto _ : state)
        results = searchKeyPress(*f.catalog, commonLetter, f.useScores);
    state.counters["results"] = double(results);
}

void BM_SearchCommonLetterVisibleRows(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(searchKeyPressVisible(*f.catalog, commonLetter));
}

void BM_BareScanCommonLetter(benchmark::State &state)
{
    const Fixture &f = fixture();
    size_t hits = 0;
    for (auto _ : state)
        hits = bareScan(f, commonLetter);
    state.counters["results"] = double(hits);
}

// What the catalog saves: the same key presses with every field lower-cased per query.
void BM_NoCatalogKeyPress(benchmark::State &state)
{
    const Fixture &f = fixture();
    size_t next = 0;
    for (auto _ : state) {
        const SearchCatalog catalog(f.index->search.searchableItems);
        benchmark::DoNotOptimize(searchKeyPress(catalog, f.keyPresses[next]));
        next = next + 1 == f.keyPresses.size() ? 0 : next + 1;
    }
}

// Paid once per index build, off the key press path.
void BM_CatalogBuild(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state) {
        const SearchCatalog catalog(f.index->search.searchableItems);
        benchmark::DoNotOptimize(&catalog);
    }
}

// fzf --filter QUERY over the same names and paths, one process per key press.
void BM_FzfKeyPress(benchmark::State &state)
{
    const Fixture &f = fixture();
    if (f.fzfInput.empty()) {
        state.SkipWithError("cannot write the fzf input");
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, f.fzfInput.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    size_t next = 0;
    for (auto _ : state) {
        std::string query = f.keyPresses[next].toStdString();
        char *argv[]
            = { const_cast<char *>("fzf"), const_cast<char *>("--filter"), query.data(), nullptr };
        pid_t pid = 0;
        if (posix_spawnp(&pid, "fzf", &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot run fzf");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        next = next + 1 == f.keyPresses.size() ? 0 : next + 1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

void options(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_SearchKeyPress)->Apply(options);
BENCHMARK(BM_SearchKeyPressByUse)->Apply(options);
BENCHMARK(BM_SearchKeyPressVisibleRows)->Apply(options);
BENCHMARK(BM_BareScanKeyPress)->Apply(options);
BENCHMARK(BM_SearchCommonLetter)->Apply(options);
BENCHMARK(BM_SearchCommonLetterByUse)->Apply(options);
BENCHMARK(BM_SearchCommonLetterVisibleRows)->Apply(options);
BENCHMARK(BM_BareScanCommonLetter)->Apply(options);
BENCHMARK(BM_NoCatalogKeyPress)->Apply(options);
BENCHMARK(BM_CatalogBuild)->Apply(options);
BENCHMARK(BM_UseScoresBuild)->Apply(options);
BENCHMARK(BM_FzfKeyPress)->Apply(options)->UseRealTime()->Iterations(60);

// Keeps the median CPU time per iteration as well: on a machine shared with other work the
// wall time of a single-threaded benchmark grows with the load, its CPU time much less.
class Reporter : public runel::bench::MedianReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        MedianReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate
                && run.aggregate_name == "median")
                m_cpu[run.run_name.function_name]
                    = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }
    std::optional<double> cpuSeconds(const std::string &name) const
    {
        const auto found = m_cpu.find(name);
        return found == m_cpu.end() ? std::nullopt : std::optional<double>(found->second);
    }

private:
    std::map<std::string, double> m_cpu;
};

void printLine(const Reporter &reporter, const char *label, const std::string &measured,
    const std::string &baseline, double limit)
{
    const auto wallA = reporter.seconds(measured), wallB = reporter.seconds(baseline);
    const auto cpuA = reporter.cpuSeconds(measured), cpuB = reporter.cpuSeconds(baseline);
    if (!wallA || !wallB || !cpuA || !cpuB)
        return;
    std::printf(
        "%-36s wall %7.1f / %7.1f us = %5.2fx   cpu %7.1f / %7.1f us = %5.2fx  (<= %.1fx)\n", label,
        *wallA * 1e6, *wallB * 1e6, *wallA / *wallB, *cpuA * 1e6, *cpuB * 1e6, *cpuA / *cpuB,
        limit);
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const Fixture &f = fixture();
    std::printf("\nSearch over %zu searchable scripts, %zu key presses (medians; budget 500 us "
                "a key press):\n",
        f.index->search.searchableItems.size(), f.keyPresses.size());
    for (const char *name : { "BM_SearchKeyPress", "BM_SearchKeyPressVisibleRows",
             "BM_SearchCommonLetter", "BM_SearchCommonLetterVisibleRows" }) {
        const auto wall = reporter.seconds(name);
        const auto cpu = reporter.cpuSeconds(name);
        if (wall && cpu)
            std::printf("%-36s wall %7.1f us   cpu %7.1f us\n", name, *wall * 1e6, *cpu * 1e6);
    }
    printLine(reporter, "key press / bare scan", "BM_SearchKeyPress", "BM_BareScanKeyPress", 2.0);
    printLine(reporter, "key press, visible rows / bare scan", "BM_SearchKeyPressVisibleRows",
        "BM_BareScanKeyPress", 2.0);
    printLine(reporter, "key press by use / key press", "BM_SearchKeyPressByUse",
        "BM_SearchKeyPress", 1.1);
    printLine(reporter, "common letter by use / common letter", "BM_SearchCommonLetterByUse",
        "BM_SearchCommonLetter", 1.1);
    printLine(reporter, "common letter / bare scan", "BM_SearchCommonLetter",
        "BM_BareScanCommonLetter", 2.0);
    printLine(reporter, "common letter, visible rows / bare", "BM_SearchCommonLetterVisibleRows",
        "BM_BareScanCommonLetter", 2.0);
    if (const auto ours = reporter.seconds("BM_SearchKeyPress")) {
        if (const auto fzf = reporter.seconds("BM_FzfKeyPress"))
            std::printf("%-36s wall %7.1f / %7.1f us = %5.3fx  (for comparison)\n",
                "key press / fzf --filter process", *ours * 1e6, *fzf * 1e6, *ours / *fzf);
    }
    if (!f.fzfInput.empty())
        unlink(f.fzfInput.c_str());
    return 0;
}
