#pragma once

#include "platform/filestamps.h"
#include <QByteArray>
#include <QDateTime>

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The plain operations on one file or folder.
namespace platform {

// Renames source to target without replacing an existing target; false,
// with nothing done, where it takes a copy: across file systems, and for a
// link, whose photo stays where it is.
bool renameFile(const QString &source, const QString &target);

// Lets the owner write the file: what clearing read-only means here.
void makeWritable(const QString &path);

// The folder's whole path as the system resolves it, links and ".." taken
// as the kernel takes them, with its final separator; nothing when it is not
// a folder that can be reached.
std::optional<QString> resolvedFolder(const QString &folder);

// Whether the two folders are known to be on different file systems, where a
// move copies.
bool onOtherFileSystems(const QString &folder, const QString &otherFolder);

// True for a regular file (or a link to one) whose name does not start with ".".
bool isOrdinaryFile(const QString &path);

// Sets only the modification time of an existing file, to the second; the
// owner may set it on a read-only file too.
void setFileTime(const QString &path, const QDateTime &time);
// The same to the nanosecond, given in nanoseconds since 1970.
void setFileTime(const QString &path, qint64 nanoseconds);

// Up to so many bytes from the start of a file, as many as could be read.
QByteArray fileStart(const QString &path, qint64 bytes);

// The XXH3-128 hash of a file's content in hex, as PendingCopy::hashHex
// gives it; empty when the file cannot be read, and for a link, which
// vouches for no content of its own.
QByteArray hashOfFile(const QString &path);

// The same with its capture-date fields blanked, as
// PendingCopy::hashWithoutDatesHex gives it: one for a photo and its copy
// whose dates were corrected. Empty too for a file read short.
QByteArray hashWithoutDates(const QString &path);

// The same of the file as its medium holds it: its cached pages are dropped
// first, so that the read reaches the medium, not the cache. Throws
// FileError (Operation::Read) for a file that cannot be read whole.
QByteArray hashWithoutDatesFromMedium(const QString &path);

// Puts the file and its folder's listing on the medium; 0 or the system's error.
int flushToMedium(const QString &path);

// Deletes a file; 0 or the system's error.
int removeFile(const QString &path);

// Whether the path is a folder itself: a link, even to a folder, is not.
bool isFolderItself(const QString &path);

// Makes the folders in their order, each within its parent, and puts the
// parents' listings on the medium, once each; then made hears of each it
// made, by its place in paths and its stamp. A folder that already has the
// name was not made here. Throws FileError (Operation::MakeFolder) at the
// first it cannot make, once made has heard of those before it.
void makeNewFolders(
    const QStringList &paths, const std::function<void(qsizetype, const FileStamp &)> &made);

// Removes the folder where it is empty; 0 or the system's error.
int removeEmptyFolder(const QString &path);

} // namespace platform
