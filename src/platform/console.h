#pragma once

#include <QString>

#include <atomic>

// What the terminal front end asks of the system beyond files.
namespace platform {

// Whether standard error goes to a terminal, where a progress line can
// rewrite itself.
bool standardErrorIsTerminal();

// Whether the path names a folder (or a link to one).
bool isFolder(const QString &path);

// The first interrupt (Ctrl-C), termination or hang-up sets stop, so that the
// run ends after the file in progress; a second one ends the program at once.
void stopOnInterrupt(std::atomic<bool> &stop);

// The name of the signal that set stop ("SIGTERM"), or an empty text.
QString stopSignalName();

} // namespace platform
