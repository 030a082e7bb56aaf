#include "platform/console.h"

#include "platform/filenames.h"

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<bool> *stopFlag = nullptr;
std::atomic<int> stopSignal = 0;

// Ctrl-C, a kill's default signal and a closed terminal all mean "stop".
constexpr int StopSignals[] = { SIGINT, SIGTERM, SIGHUP };

extern "C" void onInterrupt(int signal)
{
    if (stopFlag) {
        stopSignal.store(signal);
        stopFlag->store(true);
    }
    for (const int stop : StopSignals)
        std::signal(stop, SIG_DFL);
}

} // namespace

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

bool isFolder(const QString &path)
{
    struct stat status;
    return ::stat(encodeFileName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

void stopOnInterrupt(std::atomic<bool> &stop)
{
    static_assert(std::atomic<bool>::is_always_lock_free);
    stopFlag = &stop;
    for (const int signal : StopSignals)
        std::signal(signal, onInterrupt);
}

QString stopSignalName()
{
    static_assert(std::atomic<int>::is_always_lock_free);
    switch (stopSignal.load()) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return {};
    }
}

} // namespace platform
