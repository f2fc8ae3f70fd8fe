#pragma once

#include "ChildProcess.h"

#include <atomic>
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

// The readers of one run. The exit waiter waits for them to reach end of file, and stops them
// when the pipes stay open after the process has ended (a child it left behind may hold them
// for good).
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
    void waitUntilDrained();
    // Tells the readers to stop reading and let go of their pipes. Any thread, any time.
    void stop();
    bool isStopped() const { return m_stopped.load(std::memory_order_relaxed); }
    // Readable once stop() has been called; -1 when it could not be made.
    int stopFd() const { return m_stopRead.get(); }

private:
    std::mutex m_mutex;
    std::condition_variable m_drained;
    int m_active = 0; // guarded by m_mutex
    std::atomic<bool> m_stopped = false;
    UniqueFd m_stopRead;
    UniqueFd m_stopWrite;
};

// One chunk of a pipe, as read; valid during the call only.
using ChunkHandler = std::function<void(const char *data, std::size_t size)>;

// How long the readers may go on after the process has ended before they are stopped.
inline constexpr std::chrono::milliseconds drainTimeout { 500 };

// Enters group, then on a worker thread reads fd until end of file or until the group is
// stopped, calling onData on that thread with each chunk in order; closes fd and leaves the
// group when done.
void readOutput(UniqueFd fd, std::shared_ptr<ReaderGroup> group, ChunkHandler onData);

// Blocks until the started process has ended, then until group's readers have reached end of
// file or drainAfterExit has passed since the end; then stops them and waits until they have
// let go of their pipes.
Termination waitForExit(ChildProcess &process, ReaderGroup &group,
    std::chrono::milliseconds drainAfterExit = drainTimeout);

// How a run ended: its termination, or why it could not be started.
struct ExecutionResult {
    std::optional<Termination> termination; // absent when the launch failed
    QString launchError;
};

// Starts process (not started yet) with setup on a worker thread, reads its standard output
// and standard error with readOutput, waits for it with waitForExit, and then calls completion
// on the main thread (MainThreadQueue), after both handlers have returned for the last time.
// Returns at once.
void execute(std::shared_ptr<ChildProcess> process, ProcessSetup setup, ChunkHandler standardOutput,
    ChunkHandler standardError, std::function<void(const ExecutionResult &)> completion,
    std::chrono::milliseconds drainAfterExit = drainTimeout);

} // namespace FileExecutor

} // namespace runel
