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

} // namespace platform
