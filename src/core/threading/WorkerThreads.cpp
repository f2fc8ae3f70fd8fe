#include "WorkerThreads.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace runel {

namespace {

constexpr std::chrono::seconds idleLifetime { 30 };

class Pool {
public:
    bool start(std::function<void()> task)
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        if (m_idle > m_tasks.size() - 1) {
            m_wake.notify_one();
            return true;
        }
        if (m_maximum == 0 || m_threads < m_maximum) {
            try {
                std::thread([this] { work(); }).detach();
                ++m_threads;
                return true;
            } catch (const std::system_error &) { }
        }
        m_tasks.pop_back();
        return false;
    }

    void setMaximum(std::size_t count)
    {
        std::lock_guard lock(m_mutex);
        m_maximum = count;
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
            if (!woken) {
                --m_threads;
                return;
            }
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
    std::size_t m_threads = 0; // guarded by m_mutex: threads alive
    std::size_t m_maximum = 0; // guarded by m_mutex
};

// Never destroyed: idle threads may still wait on it while the process ends.
Pool &pool()
{
    static Pool *const made = new Pool;
    return *made;
}

} // namespace

bool WorkerThreads::start(std::function<void()> task)
{
    return pool().start(std::move(task));
}

void WorkerThreads::runBeside(const std::function<void()> &task, const std::function<void()> &own)
{
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false; // guarded by mutex
    const bool started = start([&] {
        task();
        std::lock_guard lock(mutex);
        done = true;
        ended.notify_one();
    });
    own();
    if (!started) {
        task();
        return;
    }
    std::unique_lock lock(mutex);
    ended.wait(lock, [&] { return done; });
}

void WorkerThreads::setMaximumThreads(std::size_t count)
{
    pool().setMaximum(count);
}

} // namespace runel
