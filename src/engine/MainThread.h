#pragma once

#include <functional>

namespace engine {

// True on the thread that owns the QCoreApplication, and when there is no application object
// at all (then every thread counts as "main", since nothing else could run the call).
bool IsMainThread();

// Runs `call` on the main thread and returns when it has run. On the main thread it is a
// direct call. The caller must not hold a lock that the main thread may wait for, and the
// main thread must be processing events (or the call never runs).
void RunInMainThread(const std::function<void()>& call);

} // namespace engine
