#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>

// What one look at a file tells of it: which file it is, its size and its
// times.
namespace platform {

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
// The file's stamp, and where asked its modification time in nanoseconds
// since 1970, from one look. It is of the very file at path: a link, whatever it
// leads to, has none, so that no decision that a file is still the one
// recorded is ever taken on another file. A folder's path ends with its
// separator, and leads through a link as the system resolves it.
std::optional<FileStamp> fileStamp(const QString &path, qint64 *modified = nullptr);
// The ordinary files of a folder but hidden ones, each with its stamp, from
// one pass over it: each is looked up by its name alone, not its whole path.
// A link is none of them: the photo it leads to is not in the folder.
struct StampedFile
{
    QString name;
    FileStamp stamp;
};
QList<StampedFile> visibleFilesIn(const QString &folder);

// The file's modification time, to the second. It is kept as a moment, not
// as a local clock time, as turning it into one costs a look at the zone's
// rules each time; compare and shift it freely, show it with toLocalTime().
QDateTime fileTime(const QString &path);

constexpr qint64 NanosecondsPerSecond = 1'000'000'000;

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

// A moment given in seconds since 1970, as fileTime() gives it.
QDateTime momentOf(qint64 seconds);

// The local time zone's rules, read once a thread: the C library's local
// time looks at the zone's file again at every call.
const QTimeZone &localZone();

} // namespace platform
