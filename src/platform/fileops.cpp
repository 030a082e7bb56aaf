#include "platform/fileops.h"

#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/hashing.h"
#include "platform/posix.h"
#include "platform/publishing.h"

#include <QSet>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace platform {

namespace {

using Operation = FileError::Operation;

} // namespace

// A link is moved as the photo it leads to, which stays where it is: renamed,
// a link would lose its way.
bool renameFile(const QString &source, const QString &target)
{
    const QByteArray from = encodeFileName(source);
    struct stat status;
    if (::lstat(from.constData(), &status) == 0 && S_ISLNK(status.st_mode))
        return false;
    try {
        renameWithoutReplacing(from, encodeFileName(target), Operation::Rename, { source, target });
    } catch (const FileError &error) {
        if (error.operation() != Operation::Rename || error.errorCode() != EXDEV)
            throw;
        return false;
    }
    return true;
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

std::optional<QString> resolvedFolder(const QString &folder)
{
    struct stat status;
    const QByteArray name = encodeFileName(folder);
    if (::stat(name.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(name.constData(), nullptr), &std::free);
    if (!resolved)
        return std::nullopt;
    return withSeparator(decodeFileName(resolved.get()));
}

bool onOtherFileSystems(const QString &folder, const QString &otherFolder)
{
    struct stat one;
    struct stat other;
    return ::stat(encodeFileName(folder).constData(), &one) == 0
        && ::stat(encodeFileName(otherFolder).constData(), &other) == 0
        && one.st_dev != other.st_dev;
}

bool isOrdinaryFile(const QString &path)
{
    if (namePart(path).startsWith(QLatin1Char('.')))
        return false;
    struct stat status;
    return ::stat(encodeFileName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// By name, so that the owner's read-only files get their time too.
void setFileTime(const QString &path, const QDateTime &time)
{
    setFileTime(path, time.toSecsSinceEpoch() * NanosecondsPerSecond);
}

void setFileTime(const QString &path, qint64 nanoseconds)
{
    const QByteArray name = encodeFileName(path);
    struct stat status;
    if (::stat(name.constData(), &status) != 0)
        fail(Operation::SetTime, { path });
    // Rounded down, so that a time before 1970 keeps its nanoseconds positive.
    const qint64 seconds =
        nanoseconds / NanosecondsPerSecond - (nanoseconds % NanosecondsPerSecond < 0 ? 1 : 0);
    // The access time is given as it stands rather than left out, which some
    // FUSE file systems mishandle.
    const timespec times[2] = { status.st_atim,
        { time_t(seconds), long(nanoseconds - seconds * NanosecondsPerSecond) } };
    if (::utimensat(AT_FDCWD, name.constData(), times, 0) != 0)
        throw FileError(Operation::SetTime, { path }, errno, momentOf(seconds));
}

QByteArray fileStart(const QString &path, qint64 bytes)
{
    const Descriptor fd = openToRead(path);
    QByteArray start(bytes, Qt::Uninitialized);
    qint64 got = 0;
    while (fd.isValid() && got < bytes) {
        const ssize_t piece = ::pread(fd.get(), start.data() + got, size_t(bytes - got), got);
        if (piece < 0 && errno == EINTR)
            continue;
        if (piece <= 0)
            break;
        got += piece;
    }
    start.truncate(got);
    return start;
}

int flushToMedium(const QString &path)
{
    const QByteArray name = encodeFileName(path);
    Descriptor fd(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.isValid() || ::fsync(fd.get()) != 0)
        return errno;
    return flushFolder(folderOf(name));
}

int removeFile(const QString &path)
{
    return ::unlink(encodeFileName(path).constData()) == 0 ? 0 : errno;
}

bool isFolderItself(const QString &path)
{
    struct stat status;
    const QByteArray name =
        encodeFileName(path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path);
    return ::lstat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

void makeNewFolders(
    const QStringList &paths, const std::function<void(qsizetype, const FileStamp &)> &made)
{
    QList<qsizetype> madeHere;
    QSet<QByteArray> parents;
    // A folder whose name is lost in a power cut would take its photos with
    // it: those made are put on the medium, one flush of each parent, and
    // only then heard of, even when a later one cannot be made.
    const auto flushAndTell = [&] {
        for (const QByteArray &parent : std::as_const(parents)) {
            if (const int error = flushFolder(parent))
                fail(FileError::Operation::MakeFolder, { decodeFileName(parent) }, error);
        }
        for (const qsizetype i : std::as_const(madeHere)) {
            const std::optional<FileStamp> stamp = fileStamp(withSeparator(paths.at(i)));
            if (!stamp)
                fail(FileError::Operation::MakeFolder, { paths.at(i) });
            made(i, *stamp);
        }
    };
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString &path = paths.at(i);
        const QByteArray name =
            encodeFileName(path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path);
        if (::mkdir(name.constData(), 0777) != 0) {
            const int error = errno;
            if (error == EEXIST && isFolderItself(path))
                continue;
            flushAndTell();
            fail(FileError::Operation::MakeFolder, { path }, error);
        }
        madeHere.append(i);
        parents.insert(folderOf(name));
    }
    flushAndTell();
}

int removeEmptyFolder(const QString &path)
{
    const QByteArray name =
        encodeFileName(path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path);
    return ::rmdir(name.constData()) == 0 ? 0 : errno;
}

QByteArray hashOfFile(const QString &path)
{
    const Descriptor fd = openToRead(path, O_NOFOLLOW);
    const Hasher hasher = newHasher();
    if (!fd.isValid() || hashPieces(fd.get(), hasher.get()) != 0)
        return {};
    return hexOf(XXH3_128bits_digest(hasher.get()));
}

namespace {

// The hash of the file's content through fd, its capture-date fields
// blanked. Throws for a read that failed, ended short, or gave the dates
// other bytes than the read aside that found them.
QByteArray blankedHash(int fd, const QString &path)
{
    struct stat status;
    Head head;
    if (::fstat(fd, &status) != 0)
        fail(FileError::Operation::Read, { path });
    if (const int error = readHead(fd, status.st_size, head))
        fail(FileError::Operation::Read, { path }, error);
    if (head.endedEarly)
        fail(FileError::Operation::Read, { path }, 0);
    const QList<DateField> fields = head.dates ? head.dates->fields : QList<DateField>();
    const QList<QByteArray> blanks = blankedDates(fields);
    const Hasher hasher = newHasher();
    bool steady = true;
    const auto blank = [&](char *data, size_t count, qint64 offset) {
        steady = steady
            && (!head.dates
                || agreesWithReadAside(
                    QByteArrayView(data, qsizetype(count)), offset, *head.dates));
        putDates(data, qint64(count), offset, fields, blanks);
        XXH3_128bits_update(hasher.get(), data, count);
    };
    blank(head.bytes.data(), size_t(head.bytes.size()), 0);
    off_t read = off_t(head.bytes.size());
    const auto next = [&](char *data, size_t count) {
        blank(data, count, read);
        read += off_t(count);
    };
    if (const int error = hashPieces(fd, nullptr, next, nullptr, read))
        fail(FileError::Operation::Read, { path }, error);
    if (read != status.st_size || !steady)
        fail(FileError::Operation::Read, { path }, 0);
    return hexOf(XXH3_128bits_digest(hasher.get()));
}

} // namespace

QByteArray hashWithoutDates(const QString &path)
{
    const Descriptor fd = openToRead(path, O_NOFOLLOW);
    if (!fd.isValid())
        return {};
    try {
        return blankedHash(fd.get(), path);
    } catch (const FileError &) {
        return {};
    }
}

QByteArray hashWithoutDatesFromMedium(const QString &path)
{
    const Descriptor fd = openToRead(path, O_NOFOLLOW);
    if (!fd.isValid())
        fail(FileError::Operation::Read, { path });
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
    return blankedHash(fd.get(), path);
}

} // namespace platform
