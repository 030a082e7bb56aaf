#include "platform/publishing.h"

#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"

#include <QMutex>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <algorithm>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <sys/file.h>

namespace platform {

namespace {

using Operation = FileError::Operation;

// The hidden names of the files a copy writes before it publishes them.
const QByteArray TemporaryPrefix = QByteArrayLiteral(".copia-e-rinomina-");

// Locks do not reach across the mounts of a shared folder, nor across
// machines: a temporary is stale only once nobody has written it for this long.
constexpr time_t StaleAfterSeconds = 10 * 60;

// A hidden name for a file that stands for target until it is published:
// the final name follows a random part and a ".". A target without a name,
// or a name too long for the file system, keeps only the random part.
// The prefix, 13 base-36 digits at most and the dot make TemporaryNameExtra.
QByteArray temporaryNameFor(const QByteArray &target)
{
    const QByteArray hidden =
        TemporaryPrefix + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    const QByteArray telling = hidden + '.' + nameOf(target);
    const bool tells = !nameOf(target).isEmpty() && telling.size() <= NAME_MAX;
    return folderOf(target) + '/' + (tells ? telling : hidden);
}

// The final name that a temporary stood for, or an empty one.
QByteArray reservedBy(const QByteArray &temporaryName)
{
    const QByteArray name = nameOf(temporaryName);
    if (!name.startsWith(TemporaryPrefix))
        return {};
    const qsizetype dot = name.indexOf('.', TemporaryPrefix.size());
    return dot < 0 ? QByteArray() : name.mid(dot + 1);
}

// Takes the lock of a temporary file, and checks that the name still leads
// to it: a clean-up may have removed it between its creation and the lock.
bool lockTemporary(PendingFile &file)
{
    file.lock =
        Descriptor(::open(file.temporaryName.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    // A medium that cannot reopen the file cannot lock it either; the age of
    // the file then keeps a clean-up away.
    if (!file.lock.isValid())
        return errno != ENOENT;
    if (::flock(file.lock.get(), LOCK_EX | LOCK_NB) != 0)
        return errno != EWOULDBLOCK;
    struct stat opened;
    struct stat named;
    return ::fstat(file.lock.get(), &opened) == 0
        && ::stat(file.temporaryName.constData(), &named) == 0 && opened.st_ino == named.st_ino
        && opened.st_dev == named.st_dev;
}

// A hidden, locked file of its own for target; one that vanishes before it
// is locked is given up for another name.
PendingFile createTemporary(
    const QByteArray &target, mode_t mode, Operation operation, const QStringList &paths)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        PendingFile file;
        const QByteArray name = temporaryNameFor(target);
        file.fd = Descriptor(
            ::open(name.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, mode));
        if (!file.fd.isValid()) {
            if (errno == EEXIST)
                continue;
            fail(operation, paths);
        }
        file.temporaryName = name;
        if (lockTemporary(file))
            return file;
        file.temporaryName.clear();
    }
    fail(operation, paths, EEXIST);
}

// Whether a plain rename in the folder replaces an existing name, found out
// with two hidden files of its own. A folder that cannot tell is taken to
// replace, which the reservation keeps safe.
bool probePlainRenameReplaces(const QByteArray &folder, const QStringList &paths)
{
    PendingFile first = createTemporary(folder + '/', 0600, Operation::Copy, paths);
    PendingFile second = createTemporary(folder + '/', 0600, Operation::Copy, paths);
    // Closed, as a reservation is when it is replaced: FUSE drivers move an
    // open file aside first, which would make any rename look as if it replaced.
    for (PendingFile *file : { &first, &second }) {
        file->fd.close();
        file->lock.close();
    }
    if (::rename(first.temporaryName.constData(), second.temporaryName.constData()) == 0)
        return true;
    return errno != EEXIST;
}

// What a run learned of each destination's medium, until its next run.
struct LearnedMedia
{
    QMutex mutex;
    std::map<std::pair<dev_t, ino_t>, bool> renameReplaces;
};

LearnedMedia &learnedMedia()
{
    static LearnedMedia media;
    return media;
}

std::optional<std::pair<dev_t, ino_t>> folderIdentity(const QByteArray &folder)
{
    struct stat status;
    if (::stat(folder.constData(), &status) != 0)
        return std::nullopt;
    return std::pair(status.st_dev, status.st_ino);
}

bool plainRenameReplaces(const QByteArray &folder, const QStringList &paths)
{
    const auto identity = folderIdentity(folder);
    if (!identity)
        return true;
    LearnedMedia &media = learnedMedia();
    QMutexLocker locker(&media.mutex);
    const auto known = media.renameReplaces.find(*identity);
    if (known != media.renameReplaces.end())
        return known->second;
    const bool replaces = probePlainRenameReplaces(folder, paths);
    media.renameReplaces.emplace(*identity, replaces);
    return replaces;
}

// Where a plain rename replaces, the final name is first reserved
// exclusively, and only that reservation is replaced. A hidden marker whose
// name tells the reserved name lets the clean-up after a killed run remove an
// empty reservation with it: a copy's temporary is that marker already.
void renameOverReservation(
    const QByteArray &from, const QByteArray &to, Operation operation, const QStringList &paths)
{
    std::optional<PendingFile> marker;
    if (reservedBy(from) != nameOf(to) || folderOf(from) != folderOf(to))
        marker.emplace(createTemporary(to, 0600, operation, paths));

    Descriptor reservation(::open(to.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
    struct stat reserved;
    if (!reservation.isValid() || ::fstat(reservation.get(), &reserved) != 0)
        fail(operation, paths);
    reservation.close();
    // Only the empty file made here may be replaced. Another program can
    // still write the name between this check and the rename, a window of
    // one system call that such a medium leaves open.
    struct stat current;
    if (::lstat(to.constData(), &current) != 0 || current.st_dev != reserved.st_dev
        || current.st_ino != reserved.st_ino || current.st_size != 0)
        fail(operation, paths, EEXIST);
    if (::rename(from.constData(), to.constData()) != 0) {
        const int error = errno;
        ::unlink(to.constData());
        fail(operation, paths, error);
    }
}

// The hidden file a copy wrote, opened with its lock taken, or an invalid
// descriptor where it is not an ordinary file or somebody holds it.
Descriptor openUnheld(int folder, const char *name, struct stat &status)
{
    Descriptor file(::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (file.isValid()
        && (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)
            || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0))
        file.close();
    return file;
}

// Calls act with each hidden file a copy wrote in the folder that nobody
// holds locked, with the name it stood for and its status.
void forEachUnheldTemporary(const QByteArray &folder,
    const std::function<void(
        int dir, const char *name, const QByteArray &reserved, const struct stat &status)> &act)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const auto closing = qScopeGuard([dir] { ::closedir(dir); });
    while (const dirent *entry = ::readdir(dir)) {
        if (!QByteArrayView(entry->d_name).startsWith(TemporaryPrefix))
            continue;
        struct stat status;
        const Descriptor held = openUnheld(::dirfd(dir), entry->d_name, status);
        if (held.isValid())
            act(::dirfd(dir), entry->d_name, reservedBy(entry->d_name), status);
    }
}

// Removes the empty reservation that a killed run made for name beside its
// hidden file, if any: not the hidden file itself under its final name, as
// a kill between linking it there and unlinking the hidden name leaves it.
void removeEmptyReservation(int folder, const QByteArray &name, const struct stat &temporary)
{
    struct stat status;
    if (!name.isEmpty() && ::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(status.st_mode) && status.st_size == 0
        && (status.st_dev != temporary.st_dev || status.st_ino != temporary.st_ino))
        ::unlinkat(folder, name.constData(), 0);
}

} // namespace

PendingFile::~PendingFile()
{
    if (!temporaryName.isEmpty())
        ::unlink(temporaryName.constData());
}

PendingFile createPendingFile(const QByteArray &target, mode_t mode, const QStringList &paths)
{
    // An unnamed file is published through /proc, which a container or a
    // rescue system may lack.
    if (::access("/proc/self/fd", X_OK) == 0) {
        PendingFile file;
        file.fd =
            Descriptor(::open(folderOf(target).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
        if (file.fd.isValid())
            return file;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            fail(Operation::Copy, paths);
    }
    return createTemporary(target, mode, Operation::Copy, paths);
}

// Some FUSE file systems write what they cached only when the file is
// closed, and stamp it then: a named file is closed before it is read back
// or gets its times, and its lock stays held by the second descriptor.
void closeAfterWriting(PendingFile &file, const QStringList &paths)
{
    if (file.temporaryName.isEmpty())
        return;
    if (const int error = file.fd.close())
        fail(Operation::Copy, paths, error);
}

// A named file is opened afresh: some FUSE drivers read back wrong bytes, or
// none, through a descriptor opened before the file was written and closed.
Descriptor openToReadBack(const PendingFile &file)
{
    if (file.temporaryName.isEmpty())
        return Descriptor(::dup(file.fd.get()));
    return Descriptor(
        ::open(file.temporaryName.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
}

void finishContent(PendingFile &file, const struct stat &source, const QStringList &paths)
{
    // Both times are given: some FUSE file systems lose the modification
    // time when the access time is left out.
    const timespec times[2] = { source.st_atim, source.st_mtim };
    if (file.temporaryName.isEmpty()) {
        if (::futimens(file.fd.get(), times) != 0)
            fail(Operation::Copy, paths);
        return;
    }
    if (::utimensat(AT_FDCWD, file.temporaryName.constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        fail(Operation::Copy, paths);
    if (file.lock.isValid() && ::fsync(file.lock.get()) != 0)
        fail(Operation::Copy, paths);
}

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
    try {
        renameWithoutReplacing(file.temporaryName, target, Operation::Copy, paths);
    } catch (const FileError &error) {
        // Published all the same: the temporary name is gone.
        if (error.operation() == Operation::SetTime)
            file.temporaryName.clear();
        throw;
    }
    file.temporaryName.clear();
}

void renameWithoutReplacing(
    const QByteArray &from, const QByteArray &to, Operation operation, const QStringList &paths)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS)
        fail(operation, paths);
    if (::link(from.constData(), to.constData()) == 0) {
        if (::unlink(from.constData()) == 0)
            return;
        const int error = errno;
        ::unlink(to.constData());
        fail(operation, paths, error);
    }
    if (!unsupportedHere(errno))
        fail(operation, paths);

    // No hard links either, as on FAT and exFAT: a plain rename, which some
    // drivers let replace an existing name and others refuse.
    struct stat before;
    if (::stat(from.constData(), &before) != 0)
        fail(operation, paths);
    if (plainRenameReplaces(folderOf(to), paths))
        renameOverReservation(from, to, operation, paths);
    else if (::rename(from.constData(), to.constData()) != 0)
        fail(operation, paths);
    // Some FAT drivers stamp a renamed file with the time of the rename.
    const timespec times[2] = { before.st_atim, before.st_mtim };
    if (::utimensat(AT_FDCWD, to.constData(), times, 0) != 0)
        throw FileError(
            Operation::SetTime, { paths.last() }, errno, momentOf(before.st_mtim.tv_sec));
}

void prepareDestination(const QString &folder, time_t now)
{
    // A folder's identity may pass to another once its medium is unmounted.
    {
        LearnedMedia &media = learnedMedia();
        QMutexLocker locker(&media.mutex);
        media.renameReplaces.clear();
    }
    // A copy's temporary takes its photo's old time once verified: the
    // change time tells when it was last written.
    forEachUnheldTemporary(encodeFileName(folder),
        [now](int dir, const char *name, const QByteArray &reserved, const struct stat &status) {
            if (now - std::max(status.st_mtime, status.st_ctime) < StaleAfterSeconds)
                return;
            // The reservation first: a temporary left alone is found again next time.
            removeEmptyReservation(dir, reserved, status);
            ::unlinkat(dir, name, 0);
        });
}

QHash<QString, QStringList> leftoversIn(const QString &folder)
{
    QHash<QString, QStringList> leftovers;
    forEachUnheldTemporary(encodeFileName(folder),
        [&](int dir, const char *name, const QByteArray &reserved, const struct stat &) {
            if (reserved.isEmpty())
                return;
            const QString target = folder + decodeFileName(reserved);
            QStringList &files = leftovers[target];
            struct stat status;
            if (files.isEmpty()
                && ::fstatat(dir, reserved.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISREG(status.st_mode) && status.st_size == 0)
                files.append(target);
            files.append(folder + decodeFileName(name));
        });
    return leftovers;
}

std::optional<qint64> removeOwnTemporary(const QString &path, const FileStamp &made, bool trial)
{
    const QByteArray bytes = encodeFileName(path);
    const QByteArray name = nameOf(bytes);
    const Descriptor folder(
        ::open(folderOf(bytes).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!name.startsWith(TemporaryPrefix) || !folder.isValid())
        return std::nullopt;
    // Held until it is gone, so that nobody else takes it meanwhile.
    struct stat status;
    const Descriptor held = openUnheld(folder.get(), name.constData(), status);
    const FileStamp now = held.isValid() ? stampOf(status) : FileStamp();
    if (!held.isValid() || now.device != made.device || now.inode != made.inode)
        return std::nullopt;
    if (!trial) {
        removeEmptyReservation(folder.get(), reservedBy(name), status);
        if (::unlinkat(folder.get(), name.constData(), 0) != 0)
            return std::nullopt;
    }
    return qint64(status.st_blocks) * 512;
}

} // namespace platform
