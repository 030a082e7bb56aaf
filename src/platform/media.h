#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// What a run needs to know of the file system that holds a folder.
struct Medium
{
    // Tells one mounted file system from another.
    quint64 identity = 0;
    // The free space, or -1 where the file system does not tell it, as
    // fusefat reports no blocks at all.
    qint64 freeBytes = -1;
    // The unit it hands out space in, as FAT's and exFAT's clusters: each
    // file and each folder takes whole units.
    qint64 allocationUnit = 1;
    // The largest file it can hold, or -1 where no limit is known.
    qint64 largestFile = -1;
    // It takes names as FAT and exFAT do: no " * / : < > ? \ | nor control
    // characters, no final dot or blank, and letter case does not count.
    bool fatNames = false;
    bool writable = false;
};

// The medium of an existing folder; nothing for a folder that is missing.
// Where the file system's type does not tell how it takes names, as for
// most FUSE drivers, one hidden file tries a name with a ":".
std::optional<Medium> mediumOf(const QString &folder);

// The file system that holds an existing folder, as Medium::identity tells it.
std::optional<quint64> fileSystemOf(const QString &folder);

// Every name in the folder, hidden ones and folders included.
QStringList namesIn(const QString &folder);

// The size of a file, following a link; -1 when it cannot be read.
qint64 fileSize(const QString &path);

} // namespace platform
