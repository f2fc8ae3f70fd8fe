#include "MainThreadQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <deque>
#include <mutex>

namespace runel {

namespace {

// Lives on the main thread for the rest of the process once made.
class Inbox : public QObject {
    Q_OBJECT

public:
    void post(std::function<void()> task)
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
        m_tasks.push_back(std::move(task));
        if (m_wakePosted)
            return;
        m_wakePosted = true;
        // Posted under the lock, which drain() takes before Qt frees the wake-up event: that
        // orders the event's allocation here before its release there for the thread checker.
        QMetaObject::invokeMethod(this, &Inbox::drain, Qt::QueuedConnection);
    }

    // As the application object goes. A wake-up still queued then is freed by Qt after this
    // (its thread data goes last); taking the lock here orders every wake-up posted before it
    // ahead of that release, and the flag keeps a worker that is still running from posting
    // another into an event queue that is being torn down.
    void close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }

    // One task at a time, so that a task that runs a nested event loop lets the tasks after it
    // run there, still in order.
    void drain()
    {
        {
            std::lock_guard lock(m_mutex);
            m_wakePosted = false; // a task posted from here on needs a wake-up of its own
        }
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(m_mutex);
                if (m_tasks.empty())
                    return;
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            task();
        }
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks; // guarded by m_mutex
    bool m_wakePosted = false; // guarded by m_mutex: a call of drain() is queued
    bool m_closed = false; // guarded by m_mutex: the application object is going
};

Inbox *inbox()
{
    static Inbox *const made = []() -> Inbox * {
        QCoreApplication *application = QCoreApplication::instance();
        if (!application)
            return nullptr;
        auto *created = new Inbox; // never deleted: posted tasks may come until the end
        created->moveToThread(application->thread());
        return created;
    }();
    return made;
}

// Made as the application starts, on its thread. Made by the first worker thread that posts,
// its construction there would reach the main thread with nothing the thread checker sees
// ordering the two (Qt's own event queue is not built for it).
void makeInboxOnTheMainThread()
{
    inbox();
    qAddPostRoutine([] {
        if (Inbox *made = inbox())
            made->close();
    });
}
Q_COREAPP_STARTUP_FUNCTION(makeInboxOnTheMainThread)

} // namespace

void MainThreadQueue::post(std::function<void()> task)
{
    if (!QCoreApplication::instance())
        return;
    if (Inbox *target = inbox())
        target->post(std::move(task));
}

} // namespace runel

#include "MainThreadQueue.moc"
