#include "platform/background.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent>

#include <atomic>
#include <exception>
#include <malloc.h>
#include <sys/resource.h>

namespace platform {

namespace {

// The threads beside the window mostly wait for the media, and allocate
// little and seldom, chiefly a read buffer per file. Sharing the one heap,
// each reuses what another freed, such as a large folder's listing, where
// a heap of each thread's own, up to eight per processor, would stay as
// large as its busiest moment. Set as the program loads, before any thread.
[[maybe_unused]] const bool oneHeap = ::mallopt(M_ARENA_MAX, 1) == 1;

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
    // Steps are shown here, ahead of the end of the work: the first after a
    // quiet while at once, those that follow it closely at the next look, 25
    // times a second, the latest only. A thousand renames a second would
    // otherwise wake the window a thousand times.
    QObject receiver;
    std::atomic<int> latest = -1;
    std::atomic<bool> quiet = true;
    int shown = -1;
    const auto show = [&] {
        if (const int step = latest; onProgress && step != shown) {
            shown = step;
            onProgress(step);
        }
    };
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &receiver, [&] {
        show();
        quiet = true;
    });
    look.start(40);
    const Progress progress = [&, gate = workGate()](int step) {
        latest = step;
        if (quiet.exchange(false))
            QMetaObject::invokeMethod(&receiver, show, Qt::QueuedConnection);
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
    look.stop();
    QCoreApplication::sendPostedEvents(&receiver);
    show();
    if (failure)
        std::rethrow_exception(failure);
}

void setWorkGate(std::function<void(int)> gate)
{
    workGate() = std::move(gate);
}

} // namespace platform
