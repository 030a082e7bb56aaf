#include "platform/background.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent>

#include <exception>

namespace platform {

namespace {

QThreadPool &worker()
{
    static QThreadPool pool;
    pool.setMaxThreadCount(1);
    return pool;
}

std::function<void()> &workGate()
{
    static std::function<void()> gate;
    return gate;
}

} // namespace

void runInBackground(const std::function<void()> &work)
{
    std::exception_ptr failure;
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run(&worker(), [&work, &failure, gate = workGate()] {
        try {
            if (gate)
                gate();
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    if (!watcher.isFinished())
        loop.exec();
    // The loop also ends when the application exits: the work still
    // completes whole before anything else happens.
    watcher.waitForFinished();
    if (failure)
        std::rethrow_exception(failure);
}

void setWorkGate(std::function<void()> gate)
{
    workGate() = std::move(gate);
}

} // namespace platform
