#pragma once

#include <functional>

namespace runel {

// Threads for work that blocks (a run's launch and exit waiter, a pipe's reader): a task runs at
// once on an idle thread, or on a new one when none is idle; a thread left idle for a while
// ends. Starting a run therefore costs no thread creation when runs follow each other.
namespace WorkerThreads {

// Any thread. Whatever task holds is released on the thread that ran it.
void start(std::function<void()> task);

} // namespace WorkerThreads

} // namespace runel
