#include "LogWriteQueue.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace runel {

LogWriteQueue::LogWriteQueue()
    : m_thread([this] { run(); })
{ }

LogWriteQueue::~LogWriteQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void LogWriteQueue::enqueue(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void LogWriteQueue::waitForPendingWrites()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void LogWriteQueue::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        // Stopping still runs every queued job: they are outcomes of runs.
        if (m_jobs.empty())
            return;
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
}

bool makePrivateDirectory(const std::string &path)
{
    struct stat info;
    if (path.empty())
        return false;
    if (::stat(path.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    // Each missing component from the top down, so that parents made here are private too.
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string prefix = path.substr(0, end);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (end == std::string::npos)
            break;
    }
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

namespace {

bool writeAll(int fd, const std::string &contents)
{
    const char *data = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= std::size_t(written);
    }
    return true;
}

} // namespace

int writeFileAtomically(
    const std::string &directory, const std::string &fileName, const std::string &contents)
{
    const std::string target = directory + '/' + fileName;
    // Hidden and not ending in ".json": a reload never takes a half-written file for a record.
    const std::string pattern
        = directory + (fileName.starts_with('.') ? "/" : "/.") + fileName + ".XXXXXX";
    std::string temporary = pattern;
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // 0600
    if (fd < 0 && errno == ENOENT && makePrivateDirectory(directory)) {
        temporary = pattern;
        fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    }
    if (fd < 0)
        return errno;
    int error = writeAll(fd, contents) ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    return error;
}

} // namespace runel
