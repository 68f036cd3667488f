#pragma once

#include <functional>

// Runs `handler` on the main thread's event loop when the process receives SIGTERM, SIGINT or
// SIGHUP, so that a logout or a Ctrl+C closes the application through its normal exit path.
// Call once, after the application object exists.
void HandleTerminationSignals(std::function<void()> handler);
