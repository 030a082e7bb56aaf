#pragma once

#include "platform/fileerror.h"
#include "platform/filestamps.h"
#include "platform/posix.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <ctime>
#include <optional>
#include <sys/stat.h>

// How a new file gets its final name without ever replacing another: the
// file a copy writes first, and the renames that publish it.
namespace platform {

// How many characters longer, at most, the hidden name a copy is written
// under is than the final name it stands for.
constexpr qsizetype TemporaryNameExtra = 32;

// The file a copy writes before it is published: unnamed where the file
// system has unnamed files, else a hidden temporary whose name tells which
// final name it is for. A second descriptor holds a lock on a named one while
// it is in use, so that another run's clean-up leaves it alone.
struct PendingFile
{
    Descriptor fd;
    Descriptor lock;
    QByteArray temporaryName;

    PendingFile() = default;
    PendingFile(PendingFile &&) = default;
    PendingFile &operator=(PendingFile &&) = default;
    ~PendingFile();
};

// Readies a folder for a run into it, before any other call of the run:
// removes the hidden files, and the empty reservations, that a run killed
// part way left there (those another run is still writing are kept: locked,
// or written within ten minutes of now), and forgets what was learned of the
// media, which the run finds out afresh.
void prepareDestination(const QString &folder, time_t now = ::time(nullptr));

// What copies killed part way left in the folder, given with its final
// separator, whatever their age, by
// the path each stood for: that path first where it is their empty
// reservation, then the hidden files that nobody holds.
QHash<QString, QStringList> leftoversIn(const QString &folder);

// Removes a hidden file that a copy wrote at path and that its run, now
// over, recorded as made, stamp and all; and with it the empty reservation
// its name tells. Only while it is still that very file: an ordinary file,
// not a link, of the recorded device and inode, that nobody holds locked.
// Gives the bytes it took, or nothing where it is not that file or could
// not be removed. With trial, only says what it would free.
std::optional<qint64> removeOwnTemporary(
    const QString &path, const FileStamp &made, bool trial = false);

// Creates the pending file of target in target's folder, open to write and
// read back, with the given permission bits less the umask, as cp does.
PendingFile createPendingFile(const QByteArray &target, mode_t mode, const QStringList &paths);

// Ends the writing of the file: from here on it is only read back.
void closeAfterWriting(PendingFile &file, const QStringList &paths);

// A descriptor to read the written file back through, or an invalid one.
Descriptor openToReadBack(const PendingFile &file);

// Gives the written file the source's times: an unnamed one through its
// descriptor, for the flush of its content to put them on disk; a named one
// by name once it is closed, as some FUSE drivers stamp a file as it
// closes, on disk.
void finishContent(PendingFile &file, const struct stat &source, const QStringList &paths);

// Gives the finished file its final name, never replacing an existing file.
// On failure nothing is left under target, but for a time that could not be
// kept (FileError::Operation::SetTime): the file is then in place.
void publish(PendingFile &file, const QByteArray &target, const QStringList &paths);

// Renames without ever replacing an existing file, by the best means the
// file system has, keeping the file's times. Fails with the given operation
// and both names as they were; or, once renamed, with Operation::SetTime
// when the medium's new time cannot be put back.
void renameWithoutReplacing(const QByteArray &from, const QByteArray &to,
    FileError::Operation operation, const QStringList &paths);

} // namespace platform
