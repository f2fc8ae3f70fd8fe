// Reloading the run log against the least a reload must do: list the folder, read every record
// and parse it as JSON, in a short loop on one thread.
#include "MedianReporter.h"

#include "core/log/LogStore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using runel::LogRecord;
using runel::LogStore;
using runel::RunExitStatus;

constexpr int recordCount = 10000;

// A log folder of recordCount runs: a record and an (empty) output file each, with the four
// statuses and runs still going in turn. Made once, then read once to warm the cache.
const QString &logFolder()
{
    static QTemporaryDir dir;
    static const bool made = [] {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
        const QDateTime start(QDate(2025, 1, 1), QTime(0, 0), QTimeZone::UTC);
#else
        const QDateTime start(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
#endif
        for (int i = 0; i < recordCount; ++i) {
            LogRecord record;
            record.id = QUuid::createUuid();
            record.scriptName = QStringLiteral("Script number %1").arg(i);
            record.date = start.addSecs(i * 7);
            record.logFileName = LogRecord::logFileNameFor(record.id);
            if (i % 5 != 4)
                record.exitStatus = static_cast<RunExitStatus>(i % 5);
            QFile output(dir.filePath(record.logFileName));
            QFile file(dir.filePath(LogRecord::recordFileNameFor(record.id)));
            if (!output.open(QIODevice::WriteOnly) || !file.open(QIODevice::WriteOnly))
                return false;
            file.write(QByteArray::fromStdString(record.toJson()));
        }
        return LogStore::loadRecords(dir.path()).size() == recordCount;
    }();
    if (!made)
        std::abort();
    static const QString path = dir.path();
    return path;
}

void BM_PlainListReadParse(benchmark::State &state)
{
    const std::string folder = QFile::encodeName(logFolder()).toStdString();
    std::size_t parsed = 0;
    for (auto _ : state) {
        parsed = 0;
        DIR *directory = opendir(folder.c_str());
        while (const dirent *entry = readdir(directory)) {
            const std::string_view name = entry->d_name;
            if (name.size() < 6 || name.front() != '.' || !name.ends_with(".json"))
                continue;
            const int fd = open((folder + '/' + entry->d_name).c_str(), O_RDONLY | O_CLOEXEC);
            std::string text;
            char buffer[4096];
            for (ssize_t count; (count = read(fd, buffer, sizeof buffer)) > 0;)
                text.append(buffer, std::size_t(count));
            close(fd);
            const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
            parsed += json.is_object();
        }
        closedir(directory);
        benchmark::DoNotOptimize(parsed);
    }
    if (parsed != recordCount)
        state.SkipWithError("the plain loop did not parse every record");
}

void BM_LoadRecords(benchmark::State &state)
{
    const QString folder = logFolder();
    qsizetype loaded = 0;
    for (auto _ : state) {
        const QList<LogRecord> records = LogStore::loadRecords(folder);
        loaded = records.size();
        benchmark::DoNotOptimize(records);
    }
    if (loaded != recordCount)
        state.SkipWithError("loadRecords missed records");
}

// The whole reload: the worker thread, the hop back to the main thread and the merge into
// the list of runs.
void BM_Reload(benchmark::State &state)
{
    LogStore store(logFolder());
    for (auto _ : state) {
        QEventLoop loop;
        store.reload([&loop] { loop.quit(); });
        loop.exec();
        // Keep no runs between iterations, as the log tab keeps none while hidden.
        state.PauseTiming();
        if (store.runs().size() != recordCount)
            state.SkipWithError("the reload missed runs");
        store.releaseFinishedRuns();
        state.ResumeTiming();
    }
}

void setUp(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark->Repetitions(15)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_PlainListReadParse)->Apply(setUp);
BENCHMARK(BM_LoadRecords)->Apply(setUp);
BENCHMARK(BM_Reload)->Apply(setUp);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    runel::bench::MedianReporter reporter;
    if (!runel::bench::runInterleaved(argc, argv, reporter))
        return 2;
    std::printf("\nLog reload of %d records against a plain list, read and parse (median real "
                "time):\n",
        recordCount);
    runel::bench::printRatio(reporter, "reload", "BM_Reload", "BM_PlainListReadParse", 2.0);
    runel::bench::printRatio(
        reporter, "loadRecords", "BM_LoadRecords", "BM_PlainListReadParse", 2.0);
    return 0;
}
