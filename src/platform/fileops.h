#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <exception>
#include <memory>

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
    // in hex, their count, and the source's modification time.
    QByteArray hashHex() const;
    qint64 size() const;
    QDateTime sourceTime() const;

private:
    struct Private;
    explicit PendingCopy(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;

    friend PendingCopy writeCopy(const QString &source, const QString &target);
    friend void flushCopy(PendingCopy &copy);
    friend void publishCopy(PendingCopy &copy);
    friend void publishMove(PendingCopy &copy);
};

// Writes the content and permission bits (less the umask) of source into a
// new file beside target.
PendingCopy writeCopy(const QString &source, const QString &target);

// Puts the copy on the medium; publishCopy does it too, where nobody did.
void flushCopy(PendingCopy &copy);

// Reads the copy back from the medium and, when it holds the very bytes of
// the source, gives it the source's modification time and publishes it under
// its new name; otherwise it is removed and the failure says so. Never
// replaces an existing file and never leaves a partial file under target,
// on any file system.
void publishCopy(PendingCopy &copy);

// publishCopy, then deletes the source. When the source cannot be deleted,
// or the copy cannot be completed, the copy is removed again: the file either
// moves or stays where it was.
void publishMove(PendingCopy &copy);

// writeCopy, then publishCopy.
void copyFile(const QString &source, const QString &target);

// Renames source to target without replacing an existing target. Across
// file systems, and for a link, whose photo stays, the file is moved by copying.
void moveFile(const QString &source, const QString &target);

// writeCopy, then publishMove.
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

// The XXH3-128 hash of a file's content in hex, as PendingCopy::hashHex
// gives it; empty when the file cannot be read.
QByteArray hashOfFile(const QString &path);

} // namespace platform
