#include "MedianReporter.h"

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace runel::bench {

MedianReporter::MedianReporter()
    : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular)
{ }

void MedianReporter::ReportRuns(const std::vector<Run> &runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
        if (run.error_occurred)
            continue;
        std::string key = run.run_name.function_name;
        if (!run.run_name.args.empty())
            key += '/' + run.run_name.args;
        const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
        const Times times { run.GetAdjustedRealTime() / unit, run.GetAdjustedCPUTime() / unit };
        if (run.run_type == Run::RT_Iteration)
            m_single[key] = times;
        else if (run.aggregate_name == "median")
            m_median[key] = times;
    }
}

std::optional<MedianReporter::Times> MedianReporter::times(const std::string &nameAndArgs) const
{
    if (const auto found = m_median.find(nameAndArgs); found != m_median.end())
        return found->second;
    if (const auto found = m_single.find(nameAndArgs); found != m_single.end())
        return found->second;
    return std::nullopt;
}

std::optional<double> MedianReporter::seconds(const std::string &nameAndArgs) const
{
    const std::optional<Times> found = times(nameAndArgs);
    return found ? std::optional(found->real) : std::nullopt;
}

bool runInterleaved(int argc, char **argv, MedianReporter &reporter)
{
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char *> arguments(argv, argv + argc);
    arguments.insert(arguments.begin() + 1, interleave);
    int count = int(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data()))
        return false;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return true;
}

void printRatio(const MedianReporter &reporter, const std::string &label,
    const std::string &measured, const std::string &baseline, double limit)
{
    const std::optional<MedianReporter::Times> a = reporter.times(measured);
    const std::optional<MedianReporter::Times> b = reporter.times(baseline);
    if (!a || !b)
        return;
    const double ratio = a->real / b->real;
    std::printf("%-30s %8.2f ms / %7.2f ms = %4.2fx  (target <= %.1fx: %s)\n", label.c_str(),
        a->real * 1e3, b->real * 1e3, ratio, limit, ratio <= limit ? "met" : "MISSED");
}

} // namespace runel::bench
