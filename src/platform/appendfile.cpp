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

std::unique_ptr<AppendFile> AppendFile::openFree(const QString &path)
{
    const int fd = lockedOrNone(::open(
        encodeFileName(path).constData(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd < 0)
        return nullptr;
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

QByteArray AppendFile::readAll() const
{
    QByteArray content;
    char buffer[1 << 16];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(m_fd, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return content;
        content.append(buffer, got);
        offset += got;
    }
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

std::optional<FileStamp> fileStamp(const QString &path)
{
    struct stat status;
    if (::stat(encodeFileName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileStamp { status.st_dev, status.st_ino, status.st_size, status.st_ctim.tv_sec,
        status.st_ctim.tv_nsec };
}

int removeFile(const QString &path)
{
    return ::unlink(encodeFileName(path).constData()) == 0 ? 0 : errno;
}

} // namespace platform
