#pragma once

#include "platform/capturedates.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <exception>
#include <memory>
#include <optional>

namespace platform {

// A file operation that the system refused. It carries what was attempted,
// on which paths, and the system's own words for the reason.
class FileError : public std::exception
{
public:
    enum class Operation {
        List,
        Copy,
        Rename,
        // A move whose original could not be deleted; its copy was removed.
        Move,
        // A move whose copy could not be completed once published; it was removed.
        MoveUndone,
        // A copy that did not read back as the source's bytes; it was removed.
        Verify,
        // A source that gave another count of bytes than its size; the copy was removed.
        ShortRead,
        // A moved source that read again other bytes than were copied; the copy was removed.
        Reread,
        SetAttributes,
        ReadTime,
        // The time that a file now in place could not get.
        SetTime,
    };

    FileError(Operation operation, QStringList paths, int errorCode, QDateTime time = {});

    Operation operation() const { return m_operation; }
    const QStringList &paths() const { return m_paths; }
    int errorCode() const { return m_errorCode; }
    QString systemText() const;
    // The text shown to the user, in Italian, with U+FFFD for each byte of a
    // name that is not UTF-8.
    QString message() const;
    const char *what() const noexcept override { return m_what.constData(); }

private:
    Operation m_operation;
    QStringList m_paths;
    int m_errorCode;
    QDateTime m_time;
    QByteArray m_what;
};

// What tells that a file was not written since: a write, or a change of its
// times or attributes, gives it a new change time, which no program can set.
struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 changeSeconds = 0;
    qint64 changeNanoseconds = 0;
    bool operator==(const FileStamp &) const = default;
};
// The file's stamp, and where asked its modification time as fileTime() gives
// it, from one look.
std::optional<FileStamp> fileStamp(const QString &path, QDateTime *modified = nullptr);
// The ordinary files of a folder but hidden ones, each with its stamp, from
// one pass over it: each is looked up by its name alone, not its whole path.
struct StampedFile
{
    QString name;
    FileStamp stamp;
};
QList<StampedFile> visibleFilesIn(const QString &folder);

// A copy written beside its new name, hashed as it was written; not yet
// flushed to the medium, read back nor published. It is removed with the object
// unless published.
class PendingCopy
{
public:
    PendingCopy(PendingCopy &&) noexcept;
    PendingCopy &operator=(PendingCopy &&) noexcept;
    ~PendingCopy();

    // What the journal of a run keeps: the XXH3-128 hash of the bytes written,
    // in hex, that of the bytes read (another where patches changed some),
    // their count, and the source's modification time.
    QByteArray hashHex() const;
    QByteArray sourceHashHex() const;
    qint64 size() const;
    QDateTime sourceTime() const;
    // The source as it was opened.
    FileStamp sourceStamp() const;

private:
    struct Private;
    explicit PendingCopy(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;

    friend PendingCopy writeCopy(const QString &source, const QString &target,
        const std::atomic<bool> *cancel, const QList<BytePatch> &patches);
    friend void flushCopy(PendingCopy &copy);
    friend void verifyCopy(PendingCopy &copy, bool forMove);
    friend void publishCopy(PendingCopy &copy);
    friend void removeMovedOriginal(PendingCopy &copy);
};

// Writes the content and permission bits (less the umask) of source into a
// new file beside target, with the patches applied on the way. Fails when the
// source gives another count of bytes than its size (a read that ended
// early), and as soon as cancel is set.
PendingCopy writeCopy(const QString &source, const QString &target,
    const std::atomic<bool> *cancel = nullptr, const QList<BytePatch> &patches = {});

// Puts the copy on the medium; verifyCopy does it too, where nobody did.
void flushCopy(PendingCopy &copy);

// Reads the copy back from the medium, which must hold the very bytes of the
// source, and, for a move, the source again from its medium, which must give
// them too; then gives the copy the source's modification time. A copy that
// fails is removed with the object, and the failure says why.
void verifyCopy(PendingCopy &copy, bool forMove);

// Gives a verified copy its new name. Never replaces an existing file and
// never leaves a partial file under target, on any file system. For a move,
// a copy that cannot be completed once published is removed again.
void publishCopy(PendingCopy &copy);

// Puts the published copy's folder on the medium, then deletes the
// source, if it is still the file that was read. When it cannot be deleted
// the copy is removed again: the photo either moves or stays where it was.
void removeMovedOriginal(PendingCopy &copy);

// Renames source to target without replacing an existing target; false,
// with nothing done, where it takes a copy: across file systems, and for a
// link, whose photo stays where it is.
bool renameFile(const QString &source, const QString &target);

// renameFile, else moveByCopying.
void moveFile(const QString &source, const QString &target);

// writeCopy, verifyCopy, publishCopy, then removeMovedOriginal.
void moveByCopying(const QString &source, const QString &target);

// Readies a folder for a run into it, before any other call of the run:
// removes the hidden files, and the empty reservations, that a run killed
// part way left there (those another run is still writing are kept), and
// forgets what was learned of the media, which the run finds out afresh.
void prepareDestination(const QString &folder);

// Lets the owner write the file: what clearing read-only means here.
void makeWritable(const QString &path);

// The file's modification time, to the second. It is kept as a moment, not
// as a local clock time, as turning it into one costs a look at the zone's
// rules each time; compare and shift it freely, show it with toLocalTime().
QDateTime fileTime(const QString &path);

// What a run is planned with, from one look at a file (or the file a link
// leads to): its size, and its modification time in nanoseconds since 1970,
// as finely as its medium keeps it.
struct FileFacts
{
    qint64 size = 0;
    qint64 modified = 0;
};
std::optional<FileFacts> fileFacts(const QString &path);
// The same of many files, looked at side by side: most of the time goes in
// the kernel's walk of each path, which the processors share.
QList<std::optional<FileFacts>> fileFacts(const QStringList &paths);

// The folder's whole path as the system resolves it, links and ".." taken
// as the kernel takes them, with its final separator; nothing when it is not
// a folder that can be reached.
std::optional<QString> resolvedFolder(const QString &folder);

// A moment given in seconds since 1970, as fileTime() gives it.
QDateTime momentOf(qint64 seconds);

// Whether the two folders are known to be on different file systems, where a
// move copies.
bool onOtherFileSystems(const QString &folder, const QString &otherFolder);

// True for a regular file (or a link to one) whose name does not start with ".".
bool isOrdinaryFile(const QString &path);

// Sets only the modification time of an existing file, to the second; the
// owner may set it on a read-only file too.
void setFileTime(const QString &path, const QDateTime &time);

// Up to so many bytes from the start of a file, as many as could be read.
QByteArray fileStart(const QString &path, qint64 bytes);

// The XXH3-128 hash of a file's content in hex, as PendingCopy::hashHex
// gives it; empty when the file cannot be read.
QByteArray hashOfFile(const QString &path);

// Puts the file and its folder's listing on the medium; 0 or the system's error.
int flushToMedium(const QString &path);

// Deletes a file; 0 or the system's error.
int removeFile(const QString &path);

} // namespace platform
