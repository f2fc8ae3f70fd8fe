#include "FileExecutor.h"

#include "threading/MainThreadQueue.h"
#include "threading/WorkerThreads.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace runel::FileExecutor {

namespace {

// Large enough that a flooding script costs few system calls per mebibyte.
constexpr std::size_t readBufferSize = 256 * 1024;

// Blocks until fd has data (or end of file); false when the group is stopped first.
bool waitForData(int fd, const ReaderGroup &group)
{
    pollfd fds[2] = { { fd, POLLIN, 0 }, { group.stopFd(), POLLIN, 0 } };
    const nfds_t count = group.stopFd() >= 0 ? 2 : 1;
    // Without a stop pipe, look at the stop flag now and then instead.
    const int timeout = group.stopFd() >= 0 ? -1 : 50;
    for (;;) {
        if (group.isStopped())
            return false;
        const int ready = ::poll(fds, count, timeout);
        if (ready < 0 && errno != EINTR)
            return false; // cannot wait: stop reading rather than spin
        if (count == 2 && fds[1].revents != 0)
            return false;
        if (ready > 0)
            return true;
    }
}

void readUntilEnd(int fd, const ReaderGroup &group, const ChunkHandler &onData)
{
    // Non-blocking, so that a reader that keeps finding data never waits in read(), and looks
    // at the stop flag between chunks.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::vector<char> buffer(readBufferSize);
    while (!group.isStopped()) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count > 0) {
            onData(buffer.data(), std::size_t(count));
        } else if (count == 0) {
            return;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!waitForData(fd, group))
                return;
        } else if (errno != EINTR) {
            return;
        }
    }
}

} // namespace

ReaderGroup::ReaderGroup()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
        m_stopRead.reset(fds[0]);
        m_stopWrite.reset(fds[1]);
    }
}

ReaderGroup::~ReaderGroup() = default;

void ReaderGroup::enter()
{
    std::lock_guard lock(m_mutex);
    ++m_active;
}

void ReaderGroup::leave()
{
    std::lock_guard lock(m_mutex);
    if (--m_active == 0)
        m_drained.notify_all();
}

bool ReaderGroup::waitUntilDrained(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    return m_drained.wait_until(lock, deadline, [this] { return m_active == 0; });
}

void ReaderGroup::waitUntilDrained()
{
    std::unique_lock lock(m_mutex);
    m_drained.wait(lock, [this] { return m_active == 0; });
}

void ReaderGroup::stop()
{
    if (m_stopped.exchange(true))
        return;
    if (m_stopWrite.isValid()) {
        const char byte = 0;
        while (::write(m_stopWrite.get(), &byte, 1) < 0 && errno == EINTR) { }
    }
}

void readOutput(UniqueFd fd, std::shared_ptr<ReaderGroup> group, ChunkHandler onData)
{
    group->enter();
    // Shared only because a task must be copyable; the reader is its one user.
    auto pipe = std::make_shared<UniqueFd>(std::move(fd));
    WorkerThreads::start(
        [pipe = std::move(pipe), group = std::move(group), onData = std::move(onData)]() mutable {
            readUntilEnd(pipe->get(), *group, onData);
            pipe->reset();
            // Let go of what the handler holds before the exit waiter learns that this reader
            // is done: the completion may then rely on being the last to use it.
            onData = nullptr;
            group->leave();
        });
}

Termination waitForExit(
    ChildProcess &process, ReaderGroup &group, std::chrono::milliseconds drainAfterExit)
{
    const Termination termination = process.waitForExit();
    if (!group.waitUntilDrained(std::chrono::steady_clock::now() + drainAfterExit)) {
        group.stop();
        group.waitUntilDrained();
    }
    return termination;
}

void execute(std::shared_ptr<ChildProcess> process, ProcessSetup setup, ChunkHandler standardOutput,
    ChunkHandler standardError, std::function<void(const ExecutionResult &)> completion,
    std::chrono::milliseconds drainAfterExit)
{
    WorkerThreads::start(
        [process = std::move(process), setup = std::move(setup),
            standardOutput = std::move(standardOutput), standardError = std::move(standardError),
            completion = std::move(completion), drainAfterExit]() mutable {
            ChildProcess::Launch launch = process->start(setup);
            ExecutionResult result;
            if (!launch.error.isEmpty()) {
                result.launchError = launch.error;
            } else {
                auto group = std::make_shared<ReaderGroup>();
                readOutput(std::move(launch.standardOutput), group, std::move(standardOutput));
                readOutput(std::move(launch.standardError), group, std::move(standardError));
                result.termination = waitForExit(*process, *group, drainAfterExit);
            }
            standardOutput = nullptr;
            standardError = nullptr;
            MainThreadQueue::post([completion = std::move(completion), result = std::move(result)] {
                completion(result);
            });
        });
}

} // namespace runel::FileExecutor
