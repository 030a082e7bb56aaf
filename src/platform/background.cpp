#include "platform/background.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent>

#include <exception>
#include <sys/resource.h>

namespace platform {

namespace {

QThreadPool &worker()
{
    static QThreadPool pool;
    pool.setMaxThreadCount(1);
    return pool;
}

// The window comes first: the worker thread yields the processor to it.
void yieldToWindow()
{
    static thread_local const bool lowered = ::setpriority(PRIO_PROCESS, 0, 10) == 0;
    Q_UNUSED(lowered);
}

std::function<void(int)> &workGate()
{
    static std::function<void(int)> gate;
    return gate;
}

} // namespace

void runInBackground(const std::function<void(const Progress &)> &work, const Progress &onProgress)
{
    // Steps arrive here as queued calls, ahead of the end of the work.
    QObject receiver;
    const Progress progress = [&receiver, &onProgress, gate = workGate()](int step) {
        QMetaObject::invokeMethod(
            &receiver, [&onProgress, step] { onProgress(step); }, Qt::QueuedConnection);
        if (gate)
            gate(step);
    };

    std::exception_ptr failure;
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run(&worker(), [&work, &progress, &failure] {
        yieldToWindow();
        try {
            work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    if (!watcher.isFinished())
        loop.exec();
    // The loop also ends when the application exits: the work still
    // completes whole, and the window hears of all of it.
    watcher.waitForFinished();
    QCoreApplication::sendPostedEvents(&receiver);
    if (failure)
        std::rethrow_exception(failure);
}

void setWorkGate(std::function<void(int)> gate)
{
    workGate() = std::move(gate);
}

} // namespace platform
