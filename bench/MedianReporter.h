#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>

namespace runel::bench {

// Prints as the console reporter does and keeps each benchmark's real time per iteration, so
// that a program can put two benchmarks of the same run side by side. With repetitions, the
// median is kept.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    MedianReporter(); // in colour when standard output is a terminal

    void ReportRuns(const std::vector<Run> &runs) override;

    struct Times {
        double real = 0; // seconds per iteration, wall clock
        double cpu = 0; // seconds per iteration, CPU time of the benchmark's thread
    };
    // The times of "name/args" (as in "BM_Scan/5000"), if it ran.
    std::optional<Times> times(const std::string &nameAndArgs) const;
    // The wall-clock seconds per iteration alone.
    std::optional<double> seconds(const std::string &nameAndArgs) const;

private:
    std::map<std::string, Times> m_single;
    std::map<std::string, Times> m_median;
};

// Runs the program's benchmarks with their repetitions randomly interleaved, so that a change of
// load on the machine weighs on the baseline as on the rest (the command line can still turn it
// off). False, after saying why, when the command line has arguments it does not know.
bool runInterleaved(int argc, char **argv, MedianReporter &reporter);

// Prints "label: a / b = ratio (target ≤ limit)" when both ran.
void printRatio(const MedianReporter &reporter, const std::string &label,
    const std::string &measured, const std::string &baseline, double limit);

} // namespace runel::bench
