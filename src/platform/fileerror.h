#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <exception>

namespace platform {

// The reason an error code gives, in Italian, as a clause without its full
// stop: this program's own words for the errors it meets, the system's for
// any other.
QString systemErrorText(int errorCode);

// A file operation that the system refused. It carries what was attempted,
// on which paths, and the reason.
class FileError : public std::exception
{
public:
    enum class Operation {
        List,
        Copy,
        Rename,
        // A move whose original could not be deleted; its copies were
        // removed, unless it was gone or replaced.
        Move,
        // A move whose copy could not be completed once published; it was removed.
        MoveUndone,
        // A copy that did not read back as the source's bytes; it was removed.
        Verify,
        // A source that gave another count of bytes than its size; the copy was removed.
        ShortRead,
        // A source that gave other bytes on a second read of its capture
        // dates than on the first; the copy was removed.
        UnsteadyRead,
        // A moved source that read again other bytes than were copied; the copy was removed.
        Reread,
        // The same of a source copied with a second read asked for.
        CopyReread,
        // A file that could not be read whole, as a verification reads it:
        // a read that failed, or, without an error, one short or unsteady.
        Read,
        SetAttributes,
        ReadTime,
        // The time that a file now in place could not get.
        SetTime,
        // A folder the new files go to, which could not be made.
        MakeFolder,
    };

    // Which of the paths the system refused: the file read, the first path,
    // or the one written, the last. Each operation has its own, but a copy
    // fails on either.
    enum class Side { Read, Written };

    FileError(Operation operation, QStringList paths, int errorCode, QDateTime time = {});
    FileError(
        Operation operation, QStringList paths, int errorCode, Side side, QDateTime time = {});

    Operation operation() const { return m_operation; }
    const QStringList &paths() const { return m_paths; }
    int errorCode() const { return m_errorCode; }
    // The same failure of a copy that moves a photo, said as a move that failed.
    FileError asMove() const;
    QString systemText() const;
    // The text shown to the user, in Italian, with U+FFFD for each byte of a
    // name that is not UTF-8.
    QString message() const;
    const char *what() const noexcept override { return m_what.constData(); }

private:
    bool tellsMediumGone() const;

    Operation m_operation;
    QStringList m_paths;
    int m_errorCode;
    QDateTime m_time;
    Side m_side;
    // The medium of the path refused went away, as a card pulled out.
    bool m_mediumGone;
    QByteArray m_what;
};

} // namespace platform
