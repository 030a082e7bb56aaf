#pragma once

#include "platform/posix.h"

#include <QObject>

class QSocketNotifier;

namespace platform {

// Tells of each mount and unmount as it happens, cards put in or taken out
// among them, without asking again and again: the kernel marks
// /proc/self/mountinfo with an exceptional condition at each change of the
// mount table.
class MountWatcher : public QObject
{
    Q_OBJECT

public:
    explicit MountWatcher(QObject *parent = nullptr);

Q_SIGNALS:
    void mountsChanged();

private:
    void readMounts();

    Descriptor m_mounts;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace platform
