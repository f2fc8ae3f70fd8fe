#include "FileExecutor.h"

#include "SystemError.h"
#include "threading/MainThreadQueue.h"
#include "threading/WorkerThreads.h"

#include <cerrno>
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

void readUntilEnd(int fd, const ChunkHandler &onData)
{
    std::vector<char> buffer(readBufferSize);
    for (;;) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count > 0)
            onData(buffer.data(), std::size_t(count));
        else if (count == 0 || errno != EINTR)
            return;
    }
}

bool startReader(
    std::shared_ptr<PipeHandoff> pipe, std::shared_ptr<ReaderGroup> group, ChunkHandler onData)
{
    group->enter();
    auto started = WorkerThreads::start(
        [pipe = std::move(pipe), group, onData = std::move(onData)]() mutable {
            UniqueFd fd = pipe->take();
            if (fd.isValid())
                readUntilEnd(fd.get(), onData);
            fd.reset();
            // Let go of what the handler holds before the group learns that this reader is
            // done: whoever waits for it may then rely on being the last to use it.
            onData = nullptr;
            group->leave();
        });
    if (!started)
        group->leave();
    return started;
}

} // namespace

void ReaderGroup::enter()
{
    std::lock_guard lock(m_mutex);
    ++m_active;
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

bool readOutput(UniqueFd fd, std::shared_ptr<ReaderGroup> group, ChunkHandler onData)
{
    auto pipe = std::make_shared<PipeHandoff>();
    pipe->give(std::move(fd));
    return startReader(std::move(pipe), std::move(group), std::move(onData));
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
    const bool started = WorkerThreads::start(
        [process, setup = std::move(setup), handlers = std::move(handlers), drainAfterExit, finish,
            outputEnded]() mutable {
            auto group = std::make_shared<ReaderGroup>();
            auto outPipe = std::make_shared<PipeHandoff>();
            auto errPipe = std::make_shared<PipeHandoff>();
            ChunkHandler untilOutcome = std::move(handlers.standardOutputUntilOutcome);
            const bool readersStarted = startReader(outPipe, group,
                                            [group, log = std::move(handlers.standardOutput),
                                                untilOutcome](const char *data, std::size_t size) {
                                                if (log)
                                                    log(data, size);
                                                group->feed(untilOutcome, data, size);
                                            })
                && startReader(errPipe, group, std::move(handlers.standardError));
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
                }
            }
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

} // namespace runel::FileExecutor
