#include "platform/fileops.h"

#include "platform/filenames.h"
#include "platform/publishing.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace platform {

FileError::FileError(Operation operation, QStringList paths, int errorCode, QDateTime time)
    : m_operation(operation)
    , m_paths(std::move(paths))
    , m_errorCode(errorCode)
    , m_time(std::move(time))
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
    case Operation::SetAttributes:
        what = QStringLiteral("Impossibile cambiare gli attributi di «%1».").arg(first);
        break;
    case Operation::ReadTime:
        what = QStringLiteral("Impossibile leggere la data di «%1».").arg(first);
        break;
    case Operation::SetTime:
        what = QStringLiteral("La foto «%1» è al suo posto con il nuovo nome, ma non è stato "
                              "possibile darle la data %2.")
                   .arg(first, m_time.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
        break;
    case Operation::Move:
        what = QStringLiteral("La foto «%1» non è stata spostata in «%2», perché non è stato "
                              "possibile eliminare l'originale.")
                   .arg(first, second);
        break;
    case Operation::MoveUndone:
        what = QStringLiteral("La foto «%1» non è stata spostata in «%2»: la copia non è stata "
                              "registrata per intero ed è stata tolta; l'originale è al suo posto.")
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

// Puts the folder's names on disk; returns 0 or the error.
int flushFolder(const QByteArray &folder)
{
    Descriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isValid() || ::fsync(fd.get()) != 0)
        return errno;
    return fd.close();
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

    PendingFile out = createPendingFile(to, status.st_mode & 0777, paths);
    copyContent(in.get(), out.fd.get(), paths);
    finishContent(out, status, durability, paths);
    publish(out, to, paths);
}

// A link is moved as the photo it leads to, which stays where it is: renamed,
// a link would lose its way.
void moveFile(const QString &source, const QString &target)
{
    const QByteArray from = encodeFileName(source);
    struct stat status;
    if (::lstat(from.constData(), &status) == 0 && S_ISLNK(status.st_mode)) {
        moveByCopying(source, target);
        return;
    }
    try {
        renameWithoutReplacing(from, encodeFileName(target), Operation::Rename, { source, target });
    } catch (const FileError &error) {
        if (error.operation() != Operation::Rename || error.errorCode() != EXDEV)
            throw;
        moveByCopying(source, target);
    }
}

// Whatever fails once the copy is published takes the copy away again, so
// that the photo stays in one place: where it was.
void moveByCopying(const QString &source, const QString &target)
{
    const QStringList paths { source, target };
    const QByteArray to = encodeFileName(target);
    const auto undo = [&](Operation operation, int error) {
        ::unlink(to.constData());
        fail(operation, paths, error);
    };
    try {
        copyFile(source, target, Durability::Flushed);
    } catch (const FileError &error) {
        // Only a time that could not be kept comes after the copy is published.
        if (error.operation() != Operation::SetTime)
            throw;
        undo(Operation::MoveUndone, error.errorCode());
    }
    if (const int error = flushFolder(folderOf(to)))
        undo(Operation::MoveUndone, error);
    if (::unlink(encodeFileName(source).constData()) != 0)
        undo(Operation::Move, errno);
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
        throw FileError(Operation::SetTime, { path }, errno, time);
}

} // namespace platform
