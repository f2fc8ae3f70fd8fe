#include "MainThreadLineDispatcher.h"

#include "MainThreadQueue.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>

namespace runel {

namespace {

std::atomic<int> s_queuedDrains = 0;
std::atomic<int> s_peakQueuedDrains = 0;

void countPosted()
{
    const int queued = s_queuedDrains.fetch_add(1, std::memory_order_relaxed) + 1;
    int peak = s_peakQueuedDrains.load(std::memory_order_relaxed);
    while (queued > peak && !s_peakQueuedDrains.compare_exchange_weak(peak, queued)) { }
}

} // namespace

std::shared_ptr<MainThreadLineDispatcher> MainThreadLineDispatcher::create(Callback callback)
{
    // Freed on the main thread, where its callback runs: the callback may hold what only that
    // thread may let go of (a QPointer), and the reader thread that drops the dispatcher last
    // may still be draining a job the script left running when its QObjects are gone.
    return std::shared_ptr<MainThreadLineDispatcher>(
        new MainThreadLineDispatcher(std::move(callback)),
        [](MainThreadLineDispatcher *dispatcher) {
            if (QCoreApplication::instance())
                MainThreadQueue::post([dispatcher] { delete dispatcher; });
            else
                delete dispatcher;
        });
}

MainThreadLineDispatcher::MainThreadLineDispatcher(Callback callback)
    : m_callback(std::move(callback))
{ }

void MainThreadLineDispatcher::deliver(QString line)
{
    bool post = false;
    {
        std::lock_guard lock(m_lock);
        m_pendingLine = std::move(line);
        post = !m_drainPosted;
        m_drainPosted = true;
    }
    if (!post)
        return;
    if (!QCoreApplication::instance())
        return; // nothing would ever run the drain
    countPosted();
    MainThreadQueue::post([self = shared_from_this()] { self->runPostedDrain(); });
}

void MainThreadLineDispatcher::runPostedDrain()
{
    s_queuedDrains.fetch_sub(1, std::memory_order_relaxed);
    {
        std::lock_guard lock(m_lock);
        // A line delivered from here on needs a task of its own.
        m_drainPosted = false;
    }
    drain();
}

void MainThreadLineDispatcher::drain()
{
    std::optional<QString> line;
    {
        std::lock_guard lock(m_lock);
        line.swap(m_pendingLine);
    }
    if (line)
        m_callback(*line);
}

int MainThreadLineDispatcher::queuedDrains()
{
    return s_queuedDrains.load(std::memory_order_relaxed);
}

int MainThreadLineDispatcher::peakQueuedDrains()
{
    return s_peakQueuedDrains.load(std::memory_order_relaxed);
}

void MainThreadLineDispatcher::resetPeakQueuedDrains()
{
    s_peakQueuedDrains.store(s_queuedDrains.load(std::memory_order_relaxed));
}

} // namespace runel
