#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace runel {

// The log's serial worker: one thread runs the queued jobs (record writes, the deletions of a
// clear, the reads of a reload) one at a time in the order they were queued, so a record is
// never older on disk than one queued after it, a clear never races a record write, and a
// reload reads every record queued before it. Jobs use plain POSIX calls on
// native paths and absorb their errors.
//
// Shared through std::shared_ptr by the LogStore and every run it started, so a run can still
// persist its outcome after the store is gone. The destructor runs what is still queued before
// it returns.
class LogWriteQueue {
public:
    LogWriteQueue();
    ~LogWriteQueue();
    LogWriteQueue(const LogWriteQueue &) = delete;
    LogWriteQueue &operator=(const LogWriteQueue &) = delete;

    // Any thread.
    void enqueue(std::function<void()> job);
    // Any thread but the worker's: returns once every job queued before the call has run.
    void waitForPendingWrites();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake; // the worker: a job was queued, or stop
    std::condition_variable m_idle; // waiters: the queue ran empty
    std::deque<std::function<void()>> m_jobs;
    bool m_busy = false; // the worker is running a job taken off m_jobs
    bool m_stop = false;
    std::thread m_thread; // last: started once the members above exist
};

} // namespace runel
