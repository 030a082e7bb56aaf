#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <exception>

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

enum class Durability {
    Normal,
    // The copy is on disk, and so is its name, when the call returns: the
    // caller is about to delete the only other copy.
    Flushed,
};

// Copies the content, permission bits (less the umask) and modification
// time of source to a new file named target. Never replaces an existing file
// and never leaves a partial file under target, on any file system.
void copyFile(const QString &source, const QString &target, Durability durability);

// Renames source to target without replacing an existing target. Across
// file systems, and for a link, whose photo stays, the file is moved by copying.
void moveFile(const QString &source, const QString &target);

// Copies source to target, flushed to disk, then deletes source. When source
// cannot be deleted, or the copy cannot be completed, the copy is removed
// again: the file either moves or stays where it was.
void moveByCopying(const QString &source, const QString &target);

// Readies a folder for a run into it, before any other call of the run:
// removes the hidden files, and the empty reservations, that a run killed
// part way left there (those another run is still writing are kept), and
// forgets what was learned of the media, which the run finds out afresh.
void prepareDestination(const QString &folder);

// Lets the owner write the file: what clearing read-only means here.
void makeWritable(const QString &path);

// The file's modification time, local time, to the second.
QDateTime fileTime(const QString &path);

// True for a regular file (or a link to one) whose name does not start with ".".
bool isOrdinaryFile(const QString &path);

// Sets only the modification time of an existing file, to the second; the
// owner may set it on a read-only file too.
void setFileTime(const QString &path, const QDateTime &time);

} // namespace platform
