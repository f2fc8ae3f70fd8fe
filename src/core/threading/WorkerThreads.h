#pragma once

#include <cstddef>
#include <functional>

namespace runel {

// Threads for work that blocks (a run's launch and exit waiter, a pipe's reader): a task runs at
// once on an idle thread, or on a new one when none is idle; a thread left idle for a while
// ends. Starting a run therefore costs no thread creation when runs follow each other.
namespace WorkerThreads {

// Any thread. Whatever task holds is released on the thread that ran it. False, with the task
// dropped unrun, when it needs a new thread and none can be made (a process or memory limit).
bool start(std::function<void()> task);

// Runs task on a worker thread while the calling thread runs own, and returns once both have
// ended: one computation split over two cores. Without a thread to be had, the calling thread
// runs task after own, so own must not wait for task.
void runBeside(const std::function<void()> &task, const std::function<void()> &own);

// The most threads the pool keeps at once (0: no limit of its own, only the system's). Past it,
// start fails as it does when the system refuses a thread.
void setMaximumThreads(std::size_t count);

} // namespace WorkerThreads

} // namespace runel
