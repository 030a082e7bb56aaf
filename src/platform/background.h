#pragma once

#include <functional>

namespace platform {

// Runs blocking file work on the program's one worker thread while the
// calling user-interface thread goes on handling events, so that the window
// keeps painting and answering the desktop. Returns once the work is done,
// rethrowing what it threw. The work must not touch widgets.
void runInBackground(const std::function<void()> &work);

// For tests: runs on the worker thread before each piece of work, so that a
// test can hold the work there until it lets it go.
void setWorkGate(std::function<void()> gate);

} // namespace platform
