// Script runs against bare baselines, measured in turn within each iteration so that a change in
// the machine's load meets both alike:
//   launch:  from runForeground to the script's first line reaching the main thread, against a
//            bare posix_spawn of the same /bin/bash script read to its first newline;
//   capture: a foreground run whose script writes 1 GiB to standard output, until its log is
//            closed, against copying the same script's output to a file with a read/write loop
//            and with cat. A run fails when more than one preview line waited on the main thread.
#include "MedianReporter.h"

#include "core/SystemServices.h"
#include "core/execution/ScriptExecutionCoordinator.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"
#include "core/threading/MainThreadLineDispatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using namespace runel;
using Clock = std::chrono::steady_clock;
using Event = ScriptExecutionCoordinator::Event;

constexpr long long captureBytes = 1LL << 30;

// Where the private home goes: $RUNEL_BENCH_DIR, else the current folder. Not the system's
// temporary folder by default: on a busy /tmp, ext4 can take milliseconds to create a file
// (it avoids reusing inodes freed moments ago), and every run creates its log files.
QString benchFolder()
{
    const QString chosen = qEnvironmentVariable("RUNEL_BENCH_DIR");
    return chosen.isEmpty() ? QDir::currentPath() : chosen;
}

// Everything a run needs, on a private home.
struct Environment {
    QTemporaryDir home { benchFolder() + QStringLiteral("/runel-bench-exec-XXXXXX") };
    std::unique_ptr<ConfigManager> config;
    std::unique_ptr<LogStore> logStore;
    NullSystemServices services;
    std::unique_ptr<ScriptExecutionCoordinator> coordinator;
    FileItem launchScript;
    FileItem captureScript;
    QString copyTarget;

    Environment()
    {
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
        config = std::make_unique<ConfigManager>(
            std::make_unique<SettingsFile>(SettingsFile::defaultPath()), QString());
        logStore = std::make_unique<LogStore>(home.filePath(QStringLiteral("logs")));
        coordinator = std::make_unique<ScriptExecutionCoordinator>(*config, *logStore, services);
        launchScript = script(QStringLiteral("ready.sh"), "echo ready\n");
        captureScript = script(QStringLiteral("flood.sh"),
            "yes 'a line of output such as a busy script prints, some eighty bytes long.....'"
            " | head -c "
                + QByteArray::number(captureBytes) + "\n");
        copyTarget = home.filePath(QStringLiteral("copy.out"));
    }

    FileItem script(const QString &name, const QByteArray &body)
    {
        FileItem file;
        file.path = home.filePath(QStringLiteral("scripts/") + name);
        file.relativePath = name;
        QDir().mkpath(QFileInfo(file.path).absolutePath());
        QFile out(file.path);
        if (!out.open(QIODevice::WriteOnly) || out.write("#!/bin/bash\n" + body) < 0)
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.path));
        return file;
    }
};

Environment &environment()
{
    static Environment made;
    return made;
}

void processEventsUntil(const bool &done)
{
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// posix_spawn of /bin/bash with the script, its standard output on a new pipe; the read end.
pid_t spawnBash(const std::vector<std::string> &arguments, int &readEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<char *> argv { const_cast<char *>("/bin/bash") };
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, "/bin/bash", &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    readEnd = fds[0];
    return pid;
}

void drainAndReap(int fd, pid_t pid)
{
    char buffer[4096];
    while (::read(fd, buffer, sizeof buffer) > 0) { }
    ::close(fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// One bare launch: the time to the first line.
double bareLaunch(const std::string &script)
{
    const Clock::time_point start = Clock::now();
    int fd = -1;
    const pid_t pid = spawnBash({ script }, fd);
    char byte = 0;
    while (::read(fd, &byte, 1) == 1 && byte != '\n') { }
    const double seconds = secondsSince(start);
    drainAndReap(fd, pid);
    return seconds;
}

// One foreground run of the coordinator: the time to its first line on the main thread.
double coordinatorLaunch(Environment &env)
{
    bool firstLine = false;
    bool finished = false;
    double seconds = 0;
    const Clock::time_point start = Clock::now();
    env.coordinator->setOnEvent([&](const Event &event) {
        if (event.kind == Event::Kind::foregroundOutput && !firstLine) {
            seconds = secondsSince(start);
            firstLine = true;
        }
    });
    ScriptExecutionCoordinator::RunHooks hooks;
    hooks.finished = [&finished](const auto &) { finished = true; };
    env.coordinator->runForeground(
        env.launchScript, QStringLiteral("ready"), {}, {}, std::move(hooks));
    processEventsUntil(firstLine);
    processEventsUntil(finished);
    env.coordinator->setOnEvent({});
    return seconds;
}

// The read/write loop: the time to copy the script's whole output to a file.
double copyLoop(Environment &env, std::vector<char> &buffer)
{
    const std::string target = env.copyTarget.toStdString();
    const Clock::time_point start = Clock::now();
    int fd = -1;
    const pid_t pid = spawnBash({ env.captureScript.path.toStdString() }, fd);
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    long long copied = 0;
    for (ssize_t count; (count = ::read(fd, buffer.data(), buffer.size())) > 0;)
        copied += ::write(out, buffer.data(), std::size_t(count));
    ::close(out);
    drainAndReap(fd, pid);
    const double seconds = secondsSince(start);
    ::unlink(target.c_str());
    return copied == captureBytes ? seconds : -1;
}

// The same through cat.
double catCopy(Environment &env)
{
    const std::string command = "/bin/bash '" + env.captureScript.path.toStdString() + "' | cat > '"
        + env.copyTarget.toStdString() + "'";
    const Clock::time_point start = Clock::now();
    int fd = -1;
    const pid_t pid = spawnBash({ "-c", command }, fd);
    drainAndReap(fd, pid);
    const double seconds = secondsSince(start);
    const bool whole = QFileInfo(env.copyTarget).size() == captureBytes;
    QFile::remove(env.copyTarget);
    return whole ? seconds : -1;
}

struct CaptureRun {
    double seconds = -1; // -1: the log is short
    int peakWaitingLines = 0;
    int shownLines = 0;
};

// A foreground run of the flood script, until its log is closed.
CaptureRun coordinatorCapture(Environment &env)
{
    CaptureRun run;
    MainThreadLineDispatcher::resetPeakQueuedDrains();
    bool finished = false;
    QString logPath;
    env.coordinator->setOnEvent([&run](const Event &event) {
        run.shownLines += event.kind == Event::Kind::foregroundOutput;
    });
    ScriptExecutionCoordinator::RunHooks hooks;
    hooks.finished = [&](const ScriptExecutionCoordinator::RunResult &result) {
        logPath = result.logRun->logPath();
        finished = true;
    };
    const Clock::time_point start = Clock::now();
    env.coordinator->runForeground(
        env.captureScript, QStringLiteral("flood"), {}, {}, std::move(hooks));
    processEventsUntil(finished);
    const double seconds = secondsSince(start);
    env.coordinator->setOnEvent({});
    run.peakWaitingLines = MainThreadLineDispatcher::peakQueuedDrains();
    if (QFileInfo(logPath).size() == captureBytes)
        run.seconds = seconds;
    env.logStore->clear();
    return run;
}

// Ratios of the repetitions, for the summary.
std::vector<double> s_launchRatios;
std::vector<double> s_captureShares; // of the read/write loop's throughput
std::vector<double> s_catShares;
int s_peakWaitingLines = 0;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The two launches alternate, so that a change in the machine's load meets both alike. The
// manual time is the coordinator's.
void BM_Launch(benchmark::State &state)
{
    Environment &env = environment();
    const std::string script = env.launchScript.path.toStdString();
    double bare = 0;
    double ours = 0;
    bool oursFirst = false;
    for (auto _ : state) {
        oursFirst = !oursFirst;
        const double first = oursFirst ? coordinatorLaunch(env) : bareLaunch(script);
        const double second = oursFirst ? bareLaunch(script) : coordinatorLaunch(env);
        const double mine = oursFirst ? first : second;
        bare += oursFirst ? second : first;
        ours += mine;
        state.SetIterationTime(mine);
    }
    env.logStore->clear();
    state.counters["bare_ms"] = benchmark::Counter(bare * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = ours / bare;
    s_launchRatios.push_back(ours / bare);
}

// The coordinator's run, the read/write loop and cat, in turn.
void BM_Capture(benchmark::State &state)
{
    Environment &env = environment();
    std::vector<char> buffer(128 * 1024); // as cat reads
    double ours = 0;
    double loop = 0;
    double cat = 0;
    int shownLines = 0;
    for (auto _ : state) {
        const CaptureRun run = coordinatorCapture(env);
        const double looped = copyLoop(env, buffer);
        const double catted = catCopy(env);
        if (run.seconds < 0 || looped < 0 || catted < 0) {
            state.SkipWithError("a copy or the log is short");
            return;
        }
        if (run.peakWaitingLines > 1) {
            state.SkipWithError("more than one preview line waited on the main thread");
            return;
        }
        s_peakWaitingLines = std::max(s_peakWaitingLines, run.peakWaitingLines);
        shownLines += run.shownLines;
        ours += run.seconds;
        loop += looped;
        cat += catted;
        state.SetIterationTime(run.seconds);
    }
    state.SetBytesProcessed(state.iterations() * captureBytes);
    const double mib = double(captureBytes) / (1024.0 * 1024.0) * double(state.iterations());
    state.counters["loop_MiB/s"] = mib / loop;
    state.counters["cat_MiB/s"] = mib / cat;
    state.counters["shownLines"] = double(shownLines) / double(state.iterations());
    state.counters["peakWaitingLines"] = s_peakWaitingLines;
    s_captureShares.push_back(loop / ours);
    s_catShares.push_back(cat / ours);
}

BENCHMARK(BM_Launch)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200)
    ->Repetitions(5);
BENCHMARK(BM_Capture)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    environment();
    runel::bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nMedians over the repetitions:\n");
    if (!s_launchRatios.empty()) {
        const double ratio = median(s_launchRatios);
        std::printf("launch to first line / bare posix_spawn   %5.2fx  (target <= 1.3x: %s)\n",
            ratio, ratio <= 1.3 ? "met" : "MISSED");
    }
    if (!s_captureShares.empty()) {
        const double loop = median(s_captureShares);
        const double cat = median(s_catShares);
        std::printf("capture throughput / read-write loop      %5.0f%%  (target >= 60%%: %s)\n",
            loop * 100, loop >= 0.6 ? "met" : "MISSED");
        std::printf("capture throughput / cat                  %5.0f%%  (target >= 60%%: %s)\n",
            cat * 100, cat >= 0.6 ? "met" : "MISSED");
        std::printf(
            "preview lines waiting on the main thread  at most %d (bound 1)\n", s_peakWaitingLines);
    }
    benchmark::Shutdown();
    return 0;
}
