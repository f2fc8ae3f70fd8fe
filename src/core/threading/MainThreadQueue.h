#pragma once

#include <functional>

namespace runel {

// Runs functions on the main thread, in the order they were posted, from any thread: how the
// readers and exit waiters of runs reach the main thread.
//
// The functions travel through a queue guarded by a std::mutex and only a bare wake-up goes
// through Qt's event queue, so everything a function holds is handed over under a lock that
// the compiler's thread checkers see (Qt's own event-queue locks are invisible to them).
namespace MainThreadQueue {

// Any thread. Dropped when there is no application object.
void post(std::function<void()> task);

} // namespace MainThreadQueue

} // namespace runel
