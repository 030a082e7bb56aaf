#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace platform {

// A file that grows by whole records, for a record of work that must outlive
// a kill of the process: each append reaches the kernel in one write, and
// sync puts what was written on the medium. While open it holds an exclusive
// lock, by which another reader tells a file still in use.
class AppendFile
{
public:
    // A new file under a name not yet taken; null when it cannot be made.
    static std::unique_ptr<AppendFile> create(const QString &path);
    // An existing file, to read and add to; null when it cannot be opened
    // or another holds it.
    static std::unique_ptr<AppendFile> openFree(const QString &path);
    ~AppendFile();
    AppendFile(const AppendFile &) = delete;
    AppendFile &operator=(const AppendFile &) = delete;

    bool append(QByteArrayView bytes);
    // The file's data on the medium; the first sync of a new file also puts
    // its name there.
    bool sync();
    // All the file holds, or what could be read of it.
    QByteArray readAll() const;

private:
    AppendFile(int fd, QByteArray folder);
    int m_fd;
    // The folder whose listing still has to reach the medium, if any.
    QByteArray m_folderToSync;
};

// Makes the folder and any missing folder above it; false when it cannot.
bool makeFolders(const QString &path);

// Whether anything has the name, even a link that leads nowhere.
bool nameExists(const QString &path);

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
std::optional<FileStamp> fileStamp(const QString &path);

// Deletes a file; 0 or the system's error.
int removeFile(const QString &path);

} // namespace platform
