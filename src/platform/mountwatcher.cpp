#include "platform/mountwatcher.h"

#include <QSocketNotifier>

#include <fcntl.h>

namespace platform {

MountWatcher::MountWatcher(QObject *parent)
    : QObject(parent)
    , m_mounts(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC))
{
    if (!m_mounts.isValid())
        return;
    m_notifier = new QSocketNotifier(m_mounts.get(), QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        readMounts();
        Q_EMIT mountsChanged();
    });
}

// The table is read through from its start at each change, as its readers
// are, so that the next change is told anew.
void MountWatcher::readMounts()
{
    char buffer[4096];
    ::lseek(m_mounts.get(), 0, SEEK_SET);
    while (::read(m_mounts.get(), buffer, sizeof buffer) > 0) { }
}

} // namespace platform
