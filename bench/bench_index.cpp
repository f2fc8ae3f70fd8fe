// The index build against a bare walk that reads the same files, on the generated trees.
#include "BenchTrees.h"
#include "MedianReporter.h"

#include "core/index/ScriptIndex.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using runel::ScriptIndex;

// The defaults: enhanced labels, 64 files a folder, six levels.
const ScriptIndex::Configuration configuration {};

struct Totals {
    size_t files = 0;
    size_t bytes = 0;
};

// The least a scan must do: list every folder and read every script, on one thread.
void bareScanAndRead(const std::string &folder, Totals &totals)
{
    DIR *directory = opendir(folder.c_str());
    if (!directory)
        return;
    char buffer[65536];
    while (const dirent *entry = readdir(directory)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string path = folder + '/' + entry->d_name;
        if (entry->d_type == DT_DIR) {
            bareScanAndRead(path, totals);
            continue;
        }
        const size_t length = std::strlen(entry->d_name);
        if (entry->d_type != DT_REG || length < 3
            || std::strcmp(entry->d_name + length - 3, ".sh") != 0)
            continue;
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        for (ssize_t count; (count = read(fd, buffer, sizeof buffer)) > 0;)
            totals.bytes += size_t(count);
        close(fd);
        ++totals.files;
    }
    closedir(directory);
}

void BM_BareScanAndRead(benchmark::State &state)
{
    const std::string root = runel::bench::benchTree(int(state.range(0))).toStdString();
    Totals totals;
    for (auto _ : state) {
        totals = {};
        bareScanAndRead(root, totals);
        benchmark::DoNotOptimize(totals);
    }
    if (totals.files != size_t(state.range(0)))
        state.SkipWithError("the bare scan did not find every script");
    state.counters["scripts"] = double(totals.files);
}

void BM_ScanAndBuild(benchmark::State &state)
{
    const QString root = runel::bench::benchTree(int(state.range(0)));
    size_t reachable = 0;
    for (auto _ : state) {
        runel::Expected<std::unique_ptr<ScriptIndex>> built
            = ScriptIndex::scanAndBuild(root, configuration);
        if (!built) {
            state.SkipWithError("the scan failed");
            break;
        }
        reachable = (*built)->sequence.reachableItems.size();
        benchmark::DoNotOptimize(built);
    }
    state.counters["reachable"] = double(reachable);
}

// The two halves of scanAndBuild, to tell reading from indexing.
void BM_Scan(benchmark::State &state)
{
    const QString root = runel::bench::benchTree(int(state.range(0)));
    for (auto _ : state) {
        auto scanned = runel::FileIndex::scan(root, configuration.fileIndex);
        benchmark::DoNotOptimize(scanned);
    }
}

void BM_Build(benchmark::State &state)
{
    const QString root = runel::bench::benchTree(int(state.range(0)));
    const runel::FileIndex files = runel::FileIndex::scan(root, configuration.fileIndex).value();
    for (auto _ : state) {
        state.PauseTiming();
        runel::FileIndex copy = files;
        state.ResumeTiming();
        auto index = ScriptIndex::build(std::move(copy), configuration);
        benchmark::DoNotOptimize(index);
    }
}

void sizes(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark->Repetitions(9)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_BareScanAndRead)->Apply(sizes);
BENCHMARK(BM_ScanAndBuild)->Apply(sizes);
BENCHMARK(BM_Scan)->Apply(sizes);
BENCHMARK(BM_Build)->Apply(sizes);

} // namespace

int main(int argc, char **argv)
{
    runel::bench::MedianReporter reporter;
    if (!runel::bench::runInterleaved(argc, argv, reporter))
        return 2;
    std::printf("\nIn-process index build against a bare scan-and-read (median real time):\n");
    for (const char *size : { "500", "5000" }) {
        runel::bench::printRatio(reporter, std::string("scanAndBuild, ") + size + " scripts",
            std::string("BM_ScanAndBuild/") + size, std::string("BM_BareScanAndRead/") + size, 2.0);
    }
    return 0;
}
