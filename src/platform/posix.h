#pragma once

#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/filestamps.h"

#include <QByteArray>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// Small helpers over the system calls, shared by the platform's file code.
namespace platform {

// Owns a file descriptor. close() is called explicitly where its result matters.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    { }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    Descriptor(Descriptor &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    { }
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    // Closes now; returns 0 or the error of close().
    int close()
    {
        const int result = ::close(std::exchange(m_fd, -1));
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// The folder part of a path, without its final separator.
inline QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

inline QByteArray nameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// Errors with which a file system says it cannot do this at all, as FAT
// has no hard links and keeps no permission bits.
inline bool unsupportedHere(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

[[noreturn]] inline void fail(
    FileError::Operation operation, const QStringList &paths, int errorCode = errno)
{
    throw FileError(operation, paths, errorCode);
}

// Puts the folder's names on disk; returns 0 or the error.
inline int flushFolder(const QByteArray &folder)
{
    Descriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isValid() || ::fsync(fd.get()) != 0)
        return errno;
    return fd.close();
}

// A time as the system gives it, in nanoseconds since 1970.
inline qint64 nanosecondsOf(const timespec &time)
{
    return time.tv_sec * NanosecondsPerSecond + time.tv_nsec;
}

inline FileStamp stampOf(const struct stat &status)
{
    return FileStamp { status.st_dev, status.st_ino, status.st_size, status.st_ctim.tv_sec,
        status.st_ctim.tv_nsec };
}

// flags adds to the read-only open, as O_NOFOLLOW.
inline Descriptor openToRead(const QString &path, int flags = 0)
{
    return Descriptor(::open(
        encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags));
}

} // namespace platform
