#include "FileExecutor.h"

#include "core/SystemError.h"
#include "core/threading/MainThreadQueue.h"
#include "core/threading/WorkerThreads.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace runel::FileExecutor {

namespace {

// Large enough that a flooding script costs few system calls per mebibyte.
constexpr std::size_t readBufferSize = 256 * 1024;

// A pipe's read end, for a reader started before the pipe exists; an invalid one means that
// there is nothing to read.
class PipeHandoff {
public:
    void give(UniqueFd fd)
    {
        std::lock_guard lock(m_mutex);
        m_fd = std::move(fd);
        m_given = true;
        m_wake.notify_all();
    }
    UniqueFd take()
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_given; });
        return std::move(m_fd);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_given = false; // guarded by m_mutex
    UniqueFd m_fd; // guarded by m_mutex
};

// The runs being read in this process, for handOverAllOutput. Main thread.
struct LiveRun {
    std::weak_ptr<ReaderGroup> group;
    std::function<bool(int, int)> lateOutput;
};
std::vector<LiveRun> &liveRuns()
{
    static std::vector<LiveRun> runs;
    return runs;
}

bool startReader(std::shared_ptr<PipeHandoff> pipe, std::shared_ptr<ReaderGroup> group, int index,
    ChunkHandler onData)
{
    group->enter();
    auto started = WorkerThreads::start(
        [pipe = std::move(pipe), group, index, onData = std::move(onData)]() mutable {
            UniqueFd fd = pipe->take();
            group->read(fd.get(), index, onData);
            fd.reset();
            // Let go of what the handler holds before the group learns that this reader is
            // done: whoever waits for it may then rely on being the last to use it.
            onData = nullptr;
            group->leave();
        });
    if (!started) {
        group->read(-1, index, {});
        group->leave();
    }
    return started;
}

} // namespace

ReaderGroup::ReaderGroup()
    : m_stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{ }

ReaderGroup::~ReaderGroup() = default;

void ReaderGroup::read(int fd, int index, const ChunkHandler &onData)
{
    {
        std::lock_guard lock(m_mutex);
        --m_notReading;
        if (m_handedOver || fd < 0)
            return;
        m_readFds[index] = fd;
    }
    std::vector<char> buffer(readBufferSize);
    std::array<pollfd, 2> watched { pollfd { fd, POLLIN, 0 }, pollfd { m_stop.get(), POLLIN, 0 } };
    const nfds_t count = m_stop.isValid() ? 2 : 1;
    for (;;) {
        if (::poll(watched.data(), count, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (count == 2 && watched[1].revents != 0)
            break; // handed over: what is left in the pipe is the copier's
        const ssize_t size = ::read(fd, buffer.data(), buffer.size());
        if (size > 0)
            onData(buffer.data(), std::size_t(size));
        else if (size == 0 || errno != EINTR)
            break;
    }
    std::lock_guard lock(m_mutex);
    m_readFds[index] = -1;
}

bool ReaderGroup::handOver(const std::function<bool(int, int)> &takeOver)
{
    if (!m_stop.isValid() || !takeOver)
        return false;
    // Held while takeOver runs: no reader closes its end meanwhile.
    std::lock_guard lock(m_mutex);
    // A reader not reading yet would find its pipe handed over before it had it.
    if (m_handedOver || m_notReading != 0 || (m_readFds[0] < 0 && m_readFds[1] < 0))
        return false;
    if (!takeOver(m_readFds[0], m_readFds[1]))
        return false;
    m_handedOver = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stop.get(), &one, sizeof one);
    return true;
}

void ReaderGroup::enter()
{
    std::lock_guard lock(m_mutex);
    ++m_active;
    ++m_notReading;
}

void ReaderGroup::leave()
{
    std::function<void()> onDrained;
    {
        std::lock_guard lock(m_mutex);
        if (--m_active != 0)
            return;
        m_drained.notify_all();
        onDrained = std::move(m_onDrained);
        m_onDrained = nullptr;
    }
    if (onDrained)
        onDrained();
}

bool ReaderGroup::waitUntilDrained(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    return m_drained.wait_until(lock, deadline, [this] { return m_active == 0; });
}

void ReaderGroup::feed(const ChunkHandler &onChunk, const char *data, std::size_t size)
{
    std::lock_guard lock(m_feedMutex);
    if (!m_detached && onChunk)
        onChunk(data, size);
}

void ReaderGroup::detach()
{
    std::lock_guard lock(m_feedMutex);
    m_detached = true;
}

void ReaderGroup::whenDrained(std::function<void()> onDrained)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_active != 0) {
            m_onDrained = std::move(onDrained);
            return;
        }
    }
    onDrained();
}

Termination waitForExit(ChildProcess &process, ReaderGroup &group,
    std::chrono::milliseconds drainAfterExit, bool *outputEnded)
{
    const Termination termination = process.waitForExit();
    const bool drained = group.waitUntilDrained(std::chrono::steady_clock::now() + drainAfterExit);
    group.detach();
    if (outputEnded)
        *outputEnded = drained;
    return termination;
}

void execute(std::shared_ptr<ChildProcess> process, ProcessSetup setup, Handlers handlers,
    std::chrono::milliseconds drainAfterExit)
{
    auto completion = std::make_shared<std::function<void(const ExecutionResult &)>>(
        std::move(handlers.completion));
    auto outputEnded = std::make_shared<std::function<void()>>(std::move(handlers.outputEnded));
    auto finish = [completion](const ExecutionResult &result) {
        MainThreadQueue::post([completion, result] {
            // Taken out and released here: what the handler holds (the run, its QObjects) must
            // not be freed by the worker thread that drops its copy of completion later.
            const std::function<void(const ExecutionResult &)> handler = std::move(*completion);
            *completion = nullptr;
            if (handler)
                handler(result);
        });
    };
    auto group = std::make_shared<ReaderGroup>();
    std::erase_if(liveRuns(), [](const LiveRun &run) { return run.group.expired(); });
    if (handlers.lateOutput)
        liveRuns().push_back({ group, handlers.lateOutput });
    const bool started = WorkerThreads::start(
        [process, setup = std::move(setup), handlers = std::move(handlers), drainAfterExit, finish,
            outputEnded, group]() mutable {
            auto outPipe = std::make_shared<PipeHandoff>();
            auto errPipe = std::make_shared<PipeHandoff>();
            ChunkHandler untilOutcome = std::move(handlers.standardOutputUntilOutcome);
            const bool readersStarted = startReader(outPipe, group, 0,
                                            [group, log = std::move(handlers.standardOutput),
                                                untilOutcome](const char *data, std::size_t size) {
                                                if (log)
                                                    log(data, size);
                                                group->feed(untilOutcome, data, size);
                                            })
                && startReader(errPipe, group, 1, std::move(handlers.standardError));
            untilOutcome = nullptr;

            ExecutionResult result;
            if (!readersStarted) {
                result.launchError = systemErrorText(EAGAIN);
                outPipe->give({});
                errPipe->give({});
                group->detach();
            } else {
                ChildProcess::Launch launch = process->start(setup);
                outPipe->give(std::move(launch.standardOutput));
                errPipe->give(std::move(launch.standardError));
                if (!launch.error.isEmpty()) {
                    result.launchError = launch.error;
                    group->detach();
                } else {
                    result.termination
                        = waitForExit(*process, *group, drainAfterExit, &result.outputEnded);
                    // What the script's jobs print from now on is copied by a process of its
                    // own: whoever waits for the outcome (runel run) need not wait for them.
                    if (!result.outputEnded)
                        group->handOver(handlers.lateOutput);
                }
            }
            handlers.lateOutput = nullptr;
            finish(result);
            group->whenDrained([outputEnded] {
                MainThreadQueue::post([outputEnded] {
                    if (*outputEnded)
                        (*outputEnded)();
                });
            });
        });
    if (!started) {
        finish({ std::nullopt, systemErrorText(EAGAIN) });
        MainThreadQueue::post([outputEnded] {
            if (*outputEnded)
                (*outputEnded)();
        });
    }
}

void handOverAllOutput()
{
    for (const LiveRun &run : std::exchange(liveRuns(), {})) {
        if (const std::shared_ptr<ReaderGroup> group = run.group.lock())
            group->handOver(run.lateOutput);
    }
}

} // namespace runel::FileExecutor
