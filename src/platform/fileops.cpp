#include "platform/fileops.h"

#include "platform/filenames.h"

#include <QRandomGenerator>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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
    const QString first = displayFileName(m_paths.value(0));
    const QString second = displayFileName(m_paths.value(1));
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
    case Operation::SetTime:
        what = QStringLiteral("Impossibile correggere la data di «%1».").arg(first);
        break;
    case Operation::Move:
        what = QStringLiteral("La foto «%1» non è stata spostata in «%2», perché non è stato "
                              "possibile eliminare l'originale.")
                   .arg(first, second);
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

// The hidden names of the files a copy writes before it publishes them.
const QByteArray TemporaryPrefix = QByteArrayLiteral(".copia-e-rinomina-");

// Errors with which a file system says it cannot do this at all, as FAT
// has no hard links and keeps no permission bits.
bool unsupportedHere(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

// Renames without ever replacing an existing file, by the best means the
// file system has; returns 0 or the error. On failure both names are as they
// were.
int renameWithoutReplacing(const char *from, const char *to)
{
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::link(from, to) == 0) {
        if (::unlink(from) == 0)
            return 0;
        const int error = errno;
        ::unlink(to);
        return error;
    }
    if (!unsupportedHere(errno))
        return errno;
    // No hard links either, as on FAT and exFAT: the new name is reserved
    // exclusively, and only that empty reservation is then replaced.
    struct stat before;
    if (::stat(from, &before) != 0)
        return errno;
    Descriptor reservation(::open(to, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!reservation.isValid())
        return errno;
    reservation.close();
    if (::rename(from, to) != 0) {
        const int error = errno;
        ::unlink(to);
        return error;
    }
    // Some FAT drivers stamp a renamed file with the time of the rename.
    const timespec times[2] = { before.st_atim, before.st_mtim };
    return ::utimensat(AT_FDCWD, to, times, 0) == 0 ? 0 : errno;
}

// The file a copy writes into before it is published under its name: unnamed
// where the file system allows it, else under a hidden temporary name. A
// second descriptor holds a lock on a named one while it is in use, so that
// another run's clean-up leaves it alone.
struct PendingFile
{
    Descriptor fd;
    Descriptor lock;
    QByteArray temporaryName;

    PendingFile() = default;
    PendingFile(PendingFile &&) = default;
    ~PendingFile()
    {
        if (!temporaryName.isEmpty())
            ::unlink(temporaryName.constData());
    }
};

// Takes the lock of a temporary file, and checks that the name still leads
// to it: a clean-up may have removed it between its creation and the lock.
bool lockTemporary(PendingFile &file)
{
    file.lock =
        Descriptor(::open(file.temporaryName.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    // A file that cannot be reopened, or a medium without locks, is never
    // removed by a clean-up either, which locks before it removes.
    if (!file.lock.isValid())
        return true;
    if (::flock(file.lock.get(), LOCK_EX | LOCK_NB) != 0)
        return errno != EWOULDBLOCK;
    struct stat opened;
    struct stat named;
    return ::fstat(file.lock.get(), &opened) == 0
        && ::stat(file.temporaryName.constData(), &named) == 0 && opened.st_ino == named.st_ino
        && opened.st_dev == named.st_dev;
}

PendingFile createTemporary(const QByteArray &folder, mode_t mode, const QStringList &paths)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        PendingFile file;
        const QByteArray name = folder + '/' + TemporaryPrefix
            + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        file.fd = Descriptor(
            ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, mode));
        if (!file.fd.isValid()) {
            if (errno == EEXIST)
                continue;
            fail(Operation::Copy, paths);
        }
        file.temporaryName = name;
        if (lockTemporary(file))
            return file;
        file.temporaryName.clear();
    }
    fail(Operation::Copy, paths, EEXIST);
}

// The new file gets the source's permission bits less the umask, which the
// kernel takes off at creation, as cp does.
PendingFile createPendingFile(const QByteArray &folder, mode_t mode, const QStringList &paths)
{
    PendingFile file;
    file.fd = Descriptor(::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (file.fd.isValid())
        return file;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        fail(Operation::Copy, paths);
    return createTemporary(folder, mode, paths);
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

// Gives the written file the source's times and, for a move, puts it on
// disk. Some FUSE file systems write what they cached when the file is
// closed and stamp it then, so a named file gets its times by name once
// closed; its lock stays held by the second descriptor.
void finishContent(
    PendingFile &file, const struct stat &source, Durability durability, const QStringList &paths)
{
    // Both times are given: some FUSE file systems lose the modification
    // time when the access time is left out.
    const timespec times[2] = { source.st_atim, source.st_mtim };
    const bool flushed = durability == Durability::Flushed;
    if (file.temporaryName.isEmpty()) {
        if (::futimens(file.fd.get(), times) != 0 || (flushed && ::fsync(file.fd.get()) != 0))
            fail(Operation::Copy, paths);
        return;
    }
    if (flushed && ::fsync(file.fd.get()) != 0)
        fail(Operation::Copy, paths);
    if (const int error = file.fd.close())
        fail(Operation::Copy, paths, error);
    if (::utimensat(AT_FDCWD, file.temporaryName.constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        fail(Operation::Copy, paths);
    if (flushed && file.lock.isValid() && ::fsync(file.lock.get()) != 0)
        fail(Operation::Copy, paths);
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
    if (const int error =
            renameWithoutReplacing(file.temporaryName.constData(), target.constData()))
        fail(Operation::Copy, paths, error);
    file.temporaryName.clear();
}

} // namespace

void copyFile(const QString &source, const QString &target, Durability durability)
{
    const QStringList paths { source, target };
    const QByteArray from = encodeFileName(source);
    const QByteArray to = encodeFileName(target);

    Descriptor in(::open(from.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in.isValid())
        fail(Operation::Copy, paths);
    struct stat status;
    if (::fstat(in.get(), &status) != 0)
        fail(Operation::Copy, paths);
    if (!S_ISREG(status.st_mode))
        fail(Operation::Copy, paths, S_ISDIR(status.st_mode) ? EISDIR : EINVAL);

    const QByteArray folder = folderOf(to);
    PendingFile out = createPendingFile(folder, status.st_mode & 0777, paths);
    copyContent(in.get(), out.fd.get(), paths);
    finishContent(out, status, durability, paths);
    publish(out, to, paths);
    if (durability == Durability::Flushed)
        flushFolder(folder, paths);
}

void moveFile(const QString &source, const QString &target)
{
    const int error = renameWithoutReplacing(
        encodeFileName(source).constData(), encodeFileName(target).constData());
    if (error == EXDEV)
        moveByCopying(source, target);
    else if (error != 0)
        fail(Operation::Rename, { source, target }, error);
}

void moveByCopying(const QString &source, const QString &target)
{
    copyFile(source, target, Durability::Flushed);
    if (::unlink(encodeFileName(source).constData()) == 0)
        return;
    const int error = errno;
    ::unlink(encodeFileName(target).constData());
    fail(Operation::Move, { source, target }, error);
}

void removeStaleTemporaries(const QString &folder)
{
    DIR *dir = ::opendir(encodeFileName(folder).constData());
    if (!dir)
        return;
    const auto closing = qScopeGuard([dir] { ::closedir(dir); });
    while (const dirent *entry = ::readdir(dir)) {
        if (!QByteArrayView(entry->d_name).startsWith(TemporaryPrefix))
            continue;
        Descriptor file(
            ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat status;
        // A run still writing the file holds its lock.
        if (file.isValid() && ::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode)
            && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
}

void removeFile(const QString &path)
{
    if (::unlink(encodeFileName(path).constData()) != 0)
        fail(Operation::Delete, { path });
}

// A medium that keeps no permission bits (FAT) has nothing to clear.
void makeWritable(const QString &path)
{
    const QByteArray name = encodeFileName(path);
    struct stat status;
    if (::stat(name.constData(), &status) != 0)
        fail(Operation::SetAttributes, { path });
    if (::chmod(name.constData(), (status.st_mode & 07777) | S_IWUSR) != 0
        && !unsupportedHere(errno))
        fail(Operation::SetAttributes, { path });
}

QDateTime fileTime(const QString &path)
{
    struct stat status;
    if (::stat(encodeFileName(path).constData(), &status) != 0)
        fail(Operation::ReadTime, { path });
    return QDateTime::fromSecsSinceEpoch(status.st_mtim.tv_sec);
}

bool isOrdinaryFile(const QString &path)
{
    if (path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).startsWith(QLatin1Char('.')))
        return false;
    struct stat status;
    return ::stat(encodeFileName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// By name, so that the owner's read-only files get their time too.
void setFileTime(const QString &path, const QDateTime &time)
{
    const QByteArray name = encodeFileName(path);
    struct stat status;
    if (::stat(name.constData(), &status) != 0)
        fail(Operation::SetTime, { path });
    // The access time is given as it stands rather than left out, which some
    // FUSE file systems mishandle.
    const timespec times[2] = { status.st_atim, { time_t(time.toSecsSinceEpoch()), 0 } };
    if (::utimensat(AT_FDCWD, name.constData(), times, 0) != 0)
        fail(Operation::SetTime, { path });
}

} // namespace platform
