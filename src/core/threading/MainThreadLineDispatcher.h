#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace runel {

// Hands finished lines from a reader thread to the main thread without ever queueing more than
// one: a newer line replaces one not yet delivered, and at most one drain task waits on the main
// thread per dispatcher, so a script printing millions of lines costs the main thread one task
// per line it gets to show, not one per line printed.
//
// Shared (std::shared_ptr) by its HudLinePreview and the drain task it has posted. The one lock
// guards the pending line and the posted flag; the callback is always called outside it.
class MainThreadLineDispatcher : public std::enable_shared_from_this<MainThreadLineDispatcher> {
public:
    using Callback = std::function<void(const QString &line)>;

    // callback runs on the main thread; whatever it refers to must be checked there.
    static std::shared_ptr<MainThreadLineDispatcher> create(Callback callback);

    // Any thread. Posts a drain to the main thread unless one is waiting already.
    void deliver(QString line);
    // Main thread: hands the pending line, if any, to the callback. Posted by deliver, and
    // called directly at the end of a run so the last line arrives before the run's outcome.
    void drain();

    // Drain tasks posted and not yet started, summed over every dispatcher of the process, and
    // the most there ever were: for the benchmarks and tests, which check the bound above.
    static int queuedDrains();
    static int peakQueuedDrains();
    static void resetPeakQueuedDrains();

private:
    explicit MainThreadLineDispatcher(Callback callback);
    void runPostedDrain();

    const Callback m_callback;
    std::mutex m_lock;
    std::optional<QString> m_pendingLine; // guarded by m_lock
    bool m_drainPosted = false; // guarded by m_lock: a drain task waits on the main thread
};

} // namespace runel
