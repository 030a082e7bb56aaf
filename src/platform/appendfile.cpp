#include "platform/appendfile.h"

#include "platform/filenames.h"
#include "platform/posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace platform {

namespace {

// A descriptor whose lock was taken, or -1 (and nothing left open).
int lockedOrNone(int fd)
{
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

AppendFile::AppendFile(int fd, QByteArray folder)
    : m_fd(fd)
    , m_folderToSync(std::move(folder))
{ }

std::unique_ptr<AppendFile> AppendFile::create(const QString &path)
{
    const QByteArray name = encodeFileName(path);
    const int fd = lockedOrNone(
        ::open(name.constData(), O_CREAT | O_EXCL | O_RDWR | O_APPEND | O_CLOEXEC, 0600));
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<AppendFile>(new AppendFile(fd, folderOf(name)));
}

std::unique_ptr<AppendFile> AppendFile::openFree(const QString &path, bool *inUse)
{
    if (inUse)
        *inUse = false;
    const int fd = ::open(
        encodeFileName(path).constData(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (inUse)
            *inUse = errno == EWOULDBLOCK;
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<AppendFile>(new AppendFile(fd, {}));
}

AppendFile::~AppendFile()
{
    ::close(m_fd);
}

bool AppendFile::append(QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Appending is what the file is opened for, and would hold for pwrite too.
bool AppendFile::overwrite(qint64 offset, QByteArrayView bytes)
{
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_APPEND) != 0)
        return false;
    const bool written = ::pwrite(m_fd, bytes.data(), size_t(bytes.size()), offset) == bytes.size();
    return ::fcntl(m_fd, F_SETFL, flags) == 0 && written;
}

bool AppendFile::sync()
{
    if (::fdatasync(m_fd) != 0)
        return false;
    if (m_folderToSync.isEmpty())
        return true;
    const Descriptor folder(::open(m_folderToSync.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isValid() || ::fsync(folder.get()) != 0)
        return false;
    m_folderToSync.clear();
    return true;
}

QByteArray AppendFile::readAll(qint64 from) const
{
    QByteArray content;
    char buffer[1 << 16];
    for (off_t offset = from;;) {
        const ssize_t got = ::pread(m_fd, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return content;
        content.append(buffer, got);
        offset += got;
    }
}

qint64 AppendFile::size() const
{
    struct stat status;
    return ::fstat(m_fd, &status) == 0 ? status.st_size : 0;
}

bool AppendFile::isPrivate() const
{
    struct stat status;
    return ::fstat(m_fd, &status) == 0 && status.st_uid == ::geteuid()
        && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

qint64 takeNextNumber(const QString &path)
{
    const Descriptor fd(
        ::open(encodeFileName(path).constData(), O_CREAT | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.isValid() || ::flock(fd.get(), LOCK_EX) != 0)
        return 0;
    char text[32] = {};
    if (::pread(fd.get(), text, sizeof text - 1, 0) < 0)
        return 0;
    const qint64 next = QByteArray(text).trimmed().toLongLong() + 1;
    const QByteArray written = QByteArray::number(next) + '\n';
    if (::pwrite(fd.get(), written.constData(), size_t(written.size()), 0) != written.size()
        || ::fdatasync(fd.get()) != 0)
        return 0;
    return next;
}

bool makeFolders(const QString &path)
{
    const QByteArray name = encodeFileName(path);
    struct stat status;
    for (qsizetype slash = name.indexOf('/', 1);; slash = name.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? name : name.left(slash);
        if (::stat(part.constData(), &status) != 0 && ::mkdir(part.constData(), 0700) != 0
            && errno != EEXIST)
            return false;
        if (slash < 0)
            break;
    }
    return ::stat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool nameExists(const QString &path)
{
    struct stat status;
    return ::lstat(encodeFileName(path).constData(), &status) == 0;
}

} // namespace platform
