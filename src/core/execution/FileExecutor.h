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
    ReaderGroup();
    ~ReaderGroup();
    ReaderGroup(const ReaderGroup &) = delete;
    ReaderGroup &operator=(const ReaderGroup &) = delete;

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

    // Hands the pipes still being read to takeOver, as copies of their read ends (-1 for one
    // that has ended): when it returns true, the readers stop without reading on and leave;
    // when false, they read on. Any thread; false when nothing was left to hand over.
    bool handOver(const std::function<bool(int standardOutput, int standardError)> &takeOver);

    // Reader threads, once per reader that entered: reads fd (which stays the reader's; -1:
    // none) until end of file or until the group has been handed over, calling onData with
    // each chunk.
    void read(int fd, int index, const std::function<void(const char *, std::size_t)> &onData);

private:
    std::mutex m_mutex;
    std::condition_variable m_drained;
    int m_active = 0; // guarded by m_mutex
    std::function<void()> m_onDrained; // guarded by m_mutex
    std::mutex m_feedMutex;
    bool m_detached = false; // guarded by m_feedMutex
    // Read ends being read, by reader index (0 output, 1 error); -1 once closed. Guarded by
    // m_mutex: a reader closes its end only after clearing it here, so handOver never copies
    // a number that has been closed (or reused).
    int m_readFds[2] = { -1, -1 };
    bool m_handedOver = false; // guarded by m_mutex
    int m_notReading = 0; // readers entered that have not called read yet; guarded by m_mutex
    UniqueFd m_stop; // an eventfd, readable once handed over; invalid: handOver is unsupported
};

// Hands over the pipes of every run still being read in this process (see
// Handlers::lateOutput), so that their output outlives it: for an app about to quit. Main
// thread.
void handOverAllOutput();

// How long the outcome waits for the pipes after the process has ended.
inline constexpr std::chrono::milliseconds drainTimeout { 500 };

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
    // never opened), or handed over, and every handler has been let go of.
    std::function<void()> outputEnded;
    // Given copies of the read ends still open (-1 for one that has ended) when the outcome is
    // taken before the output has ended, or when handOverAllOutput is called: true when it has
    // started something else that reads them to their end (the copies stay the caller's), and
    // this process stops reading. Absent, or false: the readers read on. Any thread.
    std::function<bool(int standardOutput, int standardError)> lateOutput;
};

// Starts process (not started yet) with setup on a worker thread, reads its standard output
// and standard error on reader threads, waits for it with waitForExit, and calls the handlers as
// they say. The reader threads are had before the process starts: when the system gives no
// thread, the script is not started and completion reports why. Returns at once.
void execute(std::shared_ptr<ChildProcess> process, ProcessSetup setup, Handlers handlers,
    std::chrono::milliseconds drainAfterExit = drainTimeout);

} // namespace FileExecutor

} // namespace runel
