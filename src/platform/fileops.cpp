#include "platform/fileops.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

FileError::FileError(Operation operation, QStringList paths, int errorCode)
    : m_operation(operation)
    , m_paths(std::move(paths))
    , m_errorCode(errorCode)
    , m_what(message().toUtf8())
{ }

QString FileError::systemText() const
{
    return qt_error_string(m_errorCode);
}

QString FileError::message() const
{
    const QString first = m_paths.value(0);
    const QString second = m_paths.value(1);
    QString what;
    switch (m_operation) {
    case Operation::List:
        what = QStringLiteral("Impossibile leggere la cartella «%1».").arg(first);
        break;
    case Operation::Copy:
        what = QStringLiteral("Impossibile copiare «%1» in «%2».").arg(first, second);
        break;
    case Operation::Rename:
        what = QStringLiteral("Impossibile spostare «%1» in «%2».").arg(first, second);
        break;
    case Operation::Delete:
        what = QStringLiteral("Impossibile eliminare «%1».").arg(first);
        break;
    case Operation::SetAttributes:
        what = QStringLiteral("Impossibile cambiare gli attributi di «%1».").arg(first);
        break;
    case Operation::ReadTime:
        what = QStringLiteral("Impossibile leggere la data di «%1».").arg(first);
        break;
    }
    return what + QStringLiteral("\n\n") + systemText();
}

namespace {

using Operation = FileError::Operation;

[[noreturn]] void fail(Operation operation, const QStringList &paths, int errorCode = errno)
{
    throw FileError(operation, paths, errorCode);
}

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

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

void flushFolder(const QByteArray &folder, const QStringList &paths)
{
    Descriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isValid() || ::fsync(fd.get()) != 0)
        fail(Operation::Copy, paths);
    if (const int error = fd.close())
        fail(Operation::Copy, paths, error);
}

// The file a copy writes into before it is published under its name: unnamed
// where the file system allows it, else under a hidden temporary name.
struct PendingFile
{
    Descriptor fd;
    QByteArray temporaryName;
};

PendingFile createPendingFile(const QByteArray &folder, const QStringList &paths)
{
    Descriptor unnamed(::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (unnamed.isValid())
        return { std::move(unnamed), {} };
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        fail(Operation::Copy, paths);

    QByteArray name = folder + "/.copia-e-rinomina-XXXXXX";
    Descriptor named(::mkostemp(name.data(), O_CLOEXEC));
    if (!named.isValid())
        fail(Operation::Copy, paths);
    return { std::move(named), name };
}

void writeAll(int fd, const char *data, size_t size, const QStringList &paths)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail(Operation::Copy, paths);
        }
        data += written;
        size -= size_t(written);
    }
}

void copyByReading(int in, int out, const QStringList &paths)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0)
            return;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            fail(Operation::Copy, paths);
        }
        writeAll(out, buffer.data(), size_t(got), paths);
    }
}

// Copies inside the kernel. The read/write loop stands in only where the
// kernel cannot copy between these files, and only before the first byte:
// after a partial copy every error is final.
void copyContent(int in, int out, const QStringList &paths)
{
    bool copiedAny = false;
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (copied == 0)
            return;
        if (copied > 0) {
            copiedAny = true;
            continue;
        }
        if (errno == EINTR)
            continue;
        const bool unsupported =
            errno == ENOSYS || errno == EXDEV || errno == EOPNOTSUPP || errno == EINVAL;
        if (copiedAny || !unsupported)
            fail(Operation::Copy, paths);
        copyByReading(in, out, paths);
        return;
    }
}

// Gives the finished file its name, never replacing an existing file. On
// failure nothing is left under target.
void publish(PendingFile &file, const QByteArray &target, const QStringList &paths)
{
    if (file.temporaryName.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.fd.get());
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW)
            != 0)
            fail(Operation::Copy, paths);
        if (const int error = file.fd.close()) {
            ::unlink(target.constData());
            fail(Operation::Copy, paths, error);
        }
        return;
    }

    if (const int error = file.fd.close())
        fail(Operation::Copy, paths, error);
    const char *temporary = file.temporaryName.constData();
    if (::renameat2(AT_FDCWD, temporary, AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) {
        file.temporaryName.clear();
        return;
    }
    if (errno != EINVAL && errno != ENOSYS)
        fail(Operation::Copy, paths);
    if (::link(temporary, target.constData()) != 0)
        fail(Operation::Copy, paths);
    ::unlink(temporary);
    file.temporaryName.clear();
}

} // namespace

void copyFile(const QString &source, const QString &target, Durability durability)
{
    const QStringList paths { source, target };
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(target);

    Descriptor in(::open(from.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in.isValid())
        fail(Operation::Copy, paths);
    struct stat status;
    if (::fstat(in.get(), &status) != 0)
        fail(Operation::Copy, paths);
    if (!S_ISREG(status.st_mode))
        fail(Operation::Copy, paths, S_ISDIR(status.st_mode) ? EISDIR : EINVAL);

    const QByteArray folder = folderOf(to);
    PendingFile out = createPendingFile(folder, paths);
    try {
        copyContent(in.get(), out.fd.get(), paths);
        if (::fchmod(out.fd.get(), status.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO)) != 0)
            fail(Operation::Copy, paths);
        // Both times are given: some FUSE file systems lose the modification
        // time when the access time is left out.
        const timespec times[2] = { status.st_atim, status.st_mtim };
        if (::futimens(out.fd.get(), times) != 0)
            fail(Operation::Copy, paths);
        if (durability == Durability::Flushed && ::fsync(out.fd.get()) != 0)
            fail(Operation::Copy, paths);
        publish(out, to, paths);
    } catch (const FileError &) {
        if (!out.temporaryName.isEmpty())
            ::unlink(out.temporaryName.constData());
        throw;
    }
    if (durability == Durability::Flushed)
        flushFolder(folder, paths);
}

void moveFile(const QString &source, const QString &target)
{
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(target);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return;
    int error = errno;
    if (error == EINVAL || error == ENOSYS) {
        // A file system without a rename that refuses to replace.
        if (::link(from.constData(), to.constData()) == 0) {
            removeFile(source);
            return;
        }
        error = errno;
    }
    if (error != EXDEV)
        fail(Operation::Rename, { source, target }, error);
    copyFile(source, target, Durability::Flushed);
    removeFile(source);
}

void removeFile(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        fail(Operation::Delete, { path });
}

void makeWritable(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status;
    if (::stat(name.constData(), &status) != 0
        || ::chmod(name.constData(), (status.st_mode & 07777) | S_IWUSR) != 0)
        fail(Operation::SetAttributes, { path });
}

QDateTime fileTime(const QString &path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        fail(Operation::ReadTime, { path });
    return QDateTime::fromSecsSinceEpoch(status.st_mtim.tv_sec);
}

bool isOrdinaryFile(const QString &path)
{
    if (path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).startsWith(QLatin1Char('.')))
        return false;
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

void setFileTime(const QString &path, const QDateTime &time)
{
    Descriptor fd(
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat status;
    if (!fd.isValid() || ::fstat(fd.get(), &status) != 0)
        return;
    // The access time is given as it stands rather than left out, which some
    // FUSE file systems mishandle.
    const timespec times[2] = { status.st_atim, { time_t(time.toSecsSinceEpoch()), 0 } };
    // Nothing is reported: a file whose time cannot be set keeps the one it has.
    ::futimens(fd.get(), times);
}

} // namespace platform
