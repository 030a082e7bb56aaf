#pragma once

#include <functional>

namespace platform {

// What blocking work tells the window as it goes: which step comes next.
using Progress = std::function<void(int step)>;

// Runs blocking file work on the program's one worker thread while the
// calling user-interface thread goes on handling events, so that the window
// keeps painting and answering the desktop. Each step the work reports to
// its Progress runs onProgress here, in order, without holding up the work.
// Returns once the work is done and every step has been shown, rethrowing
// what the work threw. The work must not touch widgets.
void runInBackground(
    const std::function<void(const Progress &)> &work, const Progress &onProgress = {});

// For tests: runs on the worker thread at each step the work reports, once
// the window has been told, so that a test can hold the work there.
void setWorkGate(std::function<void(int step)> gate);

} // namespace platform
