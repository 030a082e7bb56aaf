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
    // or another holds it, which inUse then tells.
    static std::unique_ptr<AppendFile> openFree(const QString &path, bool *inUse = nullptr);
    ~AppendFile();
    AppendFile(const AppendFile &) = delete;
    AppendFile &operator=(const AppendFile &) = delete;

    bool append(QByteArrayView bytes);
    // Writes over bytes the file already holds, which takes no more room.
    bool overwrite(qint64 offset, QByteArrayView bytes);
    // The file's data on the medium; the first sync of a new file also puts
    // its name there.
    bool sync();
    // All the file holds from the offset on, or what could be read of it.
    QByteArray readAll(qint64 from = 0) const;
    qint64 size() const;
    // Whether the file is the user's own and nobody else may write it: only
    // then may what it says be acted on.
    bool isPrivate() const;

private:
    AppendFile(int fd, QByteArray folder);
    int m_fd;
    // The folder whose listing still has to reach the medium, if any.
    QByteArray m_folderToSync;
};

// Makes the folder and any missing folder above it; false when it cannot.
bool makeFolders(const QString &path);

// Adds one to the number kept in the file, made at 0 where missing, with a
// lock against other processes doing the same; the new number, or 0 when
// it cannot be kept.
qint64 takeNextNumber(const QString &path);

// Whether anything has the name, even a link that leads nowhere.
bool nameExists(const QString &path);

} // namespace platform
