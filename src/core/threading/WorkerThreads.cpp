#include "WorkerThreads.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace runel {

namespace {

constexpr std::chrono::seconds idleLifetime { 30 };

class Pool {
public:
    void start(std::function<void()> task)
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        if (m_idle > m_tasks.size() - 1) {
            m_wake.notify_one();
            return;
        }
        std::thread([this] { work(); }).detach();
    }

private:
    void work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            ++m_idle;
            const bool woken
                = m_wake.wait_for(lock, idleLifetime, [this] { return !m_tasks.empty(); });
            --m_idle;
            if (!woken)
                return;
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            task = nullptr; // what it holds goes before the thread waits again
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks; // guarded by m_mutex
    std::size_t m_idle = 0; // guarded by m_mutex: threads waiting for a task
};

// Never destroyed: idle threads may still wait on it while the process ends.
Pool &pool()
{
    static Pool *const made = new Pool;
    return *made;
}

} // namespace

void WorkerThreads::start(std::function<void()> task)
{
    pool().start(std::move(task));
}

} // namespace runel
