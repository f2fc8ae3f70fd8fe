#pragma once

#include "ChildProcess.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace runel {

// The process operations of a run, each on a worker thread (WorkerThreads): the launch, then a
// reader per pipe and the exit waiter. Whatever they are handed (the process, the group, the
// callbacks and what those hold) lives until the worker lets go of it.
namespace FileExecutor {

// One chunk of a pipe, as read; valid during the call only.
using ChunkHandler = std::function<void(const char *data, std::size_t size)>;

// The readers of one run. The exit waiter waits for them to reach end of file, but not for
// good: a job the script left running may hold the pipes for as long as it lives. The run's
// outcome is then taken without it (detach), and the readers go on draining the pipes into
// the log until the last writer has closed them, so the job is never killed by SIGPIPE.
class ReaderGroup {
public:
    void enter();
    void leave();
    // True once every reader that entered has left; false when deadline passed first.
    bool waitUntilDrained(std::chrono::steady_clock::time_point deadline);
    // Calls onChunk with the chunk unless the group has been detached. Reader threads.
    void feed(const ChunkHandler &onChunk, const char *data, std::size_t size);
    // No feed call runs after this returns. Any thread.
    void detach();
    // Calls onDrained once every reader has left: at once (on this thread) when they have,
    // else on the last reader's thread. Once.
    void whenDrained(std::function<void()> onDrained);

private:
    std::mutex m_mutex;
    std::condition_variable m_drained;
    int m_active = 0; // guarded by m_mutex
    std::function<void()> m_onDrained; // guarded by m_mutex
    std::mutex m_feedMutex;
    bool m_detached = false; // guarded by m_feedMutex
};

// How long the outcome waits for the pipes after the process has ended.
inline constexpr std::chrono::milliseconds drainTimeout { 500 };

// Enters group, then on a worker thread reads fd until end of file, calling onData on that
// thread with each chunk in order; closes fd and leaves the group when done. False (and the
// group left, fd closed) when no thread could be had for it.
bool readOutput(UniqueFd fd, std::shared_ptr<ReaderGroup> group, ChunkHandler onData);

// Blocks until the started process has ended, then until group's readers have reached end of
// file or drainAfterExit has passed since the end; then detaches the group. outputEnded says
// which of the two came first.
Termination waitForExit(ChildProcess &process, ReaderGroup &group,
    std::chrono::milliseconds drainAfterExit = drainTimeout, bool *outputEnded = nullptr);

// How a run ended: its termination, or why it could not be started.
struct ExecutionResult {
    std::optional<Termination> termination; // absent when the launch failed
    QString launchError;
    // Both pipes had been read to their end: no output comes after the outcome.
    bool outputEnded = true;
};

// What a run's output and ending are handed to.
struct Handlers {
    // Every chunk of standard output, and of standard error, until end of file: the log.
    ChunkHandler standardOutput;
    ChunkHandler standardError;
    // Each chunk of standard output after standardOutput has had it, until the outcome is
    // taken: what completion judges the run by.
    ChunkHandler standardOutputUntilOutcome;
    // Main thread, once: the process has ended and its output has ended too, or drainAfterExit
    // has passed; no standardOutputUntilOutcome call runs any more.
    std::function<void(const ExecutionResult &)> completion;
    // Main thread, once, after completion: both pipes have been read to their end (or were
    // never opened) and every handler has been let go of.
    std::function<void()> outputEnded;
};

// Starts process (not started yet) with setup on a worker thread, reads its standard output
// and standard error with readOutput, waits for it with waitForExit, and calls the handlers as
// they say. The reader threads are had before the process starts: when the system gives no
// thread, the script is not started and completion reports why. Returns at once.
void execute(std::shared_ptr<ChildProcess> process, ProcessSetup setup, Handlers handlers,
    std::chrono::milliseconds drainAfterExit = drainTimeout);

} // namespace FileExecutor

} // namespace runel
