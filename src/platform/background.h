#pragma once

#include <functional>

namespace platform {

// What blocking work tells the window as it goes: which step comes next.
using Progress = std::function<void(int step)>;

// Runs blocking file work on the program's one worker thread while the
// calling user-interface thread goes on handling events, so that the window
// keeps painting and answering the desktop. The steps the work reports to
// its Progress run onProgress here without holding up the work: a step after
// a quiet while at once, then the latest 25 times a second, so that steps
// faster than anyone can read are passed over. Returns once the work is done
// and its last step has been shown, rethrowing what the work threw. The work
// must not touch widgets.
void runInBackground(
    const std::function<void(const Progress &)> &work, const Progress &onProgress = {});

// For tests: runs on the worker thread at each step the work reports, once
// the window has been told, so that a test can hold the work there.
void setWorkGate(std::function<void(int step)> gate);

} // namespace platform
