#include "platform/media.h"

#include "platform/filenames.h"
#include "platform/posix.h"

#include <QFile>
#include <QRandomGenerator>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

namespace platform {

namespace {

constexpr long ExfatMagic = 0x2011BAB0;
constexpr long FuseMagic = 0x65735546;
constexpr qint64 Fat32LargestFile = (qint64(1) << 32) - 1;

// The type that /proc/self/mountinfo gives the mount holding the folder, as
// "fuse.fusefat" or "fuseblk"; empty where it cannot be read.
QByteArray mountType(const struct stat &folder)
{
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return {};
    const QByteArray device =
        QByteArray::number(major(folder.st_dev)) + ':' + QByteArray::number(minor(folder.st_dev));
    for (const QByteArray &line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() > 2 && fields.at(2) == device && separator > 0
            && separator + 1 < fields.size())
            return fields.at(separator + 1);
    }
    return {};
}

// Whether the folder's file system refuses a name with a ":", as FAT
// drivers do, tried with a hidden file that goes at once.
bool refusesColon(const QByteArray &folder)
{
    const QByteArray probe = folder + "/.copia-e-rinomina-"
        + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ":";
    Descriptor fd(::open(probe.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
    if (!fd.isValid())
        return true;
    ::unlink(probe.constData());
    return false;
}

} // namespace

std::optional<Medium> mediumOf(const QString &folder)
{
    const QByteArray path = encodeFileName(folder);
    struct stat status;
    struct statfs type;
    struct statvfs space;
    if (::stat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode)
        || ::statfs(path.constData(), &type) != 0 || ::statvfs(path.constData(), &space) != 0)
        return std::nullopt;
    Medium medium;
    medium.identity = quint64(status.st_dev);
    if (space.f_frsize > 0)
        medium.allocationUnit = qint64(space.f_frsize);
    if (space.f_blocks > 0)
        medium.freeBytes = qint64(space.f_bavail) * medium.allocationUnit;
    medium.writable = ::access(path.constData(), W_OK | X_OK) == 0 && !(space.f_flag & ST_RDONLY);
    const QByteArray mount = type.f_type == FuseMagic ? mountType(status) : QByteArray();
    if (type.f_type == MSDOS_SUPER_MAGIC || mount == "fuse.fusefat") {
        medium.fatNames = true;
        medium.largestFile = Fat32LargestFile;
    } else if (type.f_type == ExfatMagic) {
        medium.fatNames = true;
    } else if (type.f_type == FuseMagic && medium.writable) {
        medium.fatNames = refusesColon(path);
    }
    return medium;
}

std::optional<quint64> fileSystemOf(const QString &folder)
{
    struct stat status;
    if (::stat(encodeFileName(folder).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    return quint64(status.st_dev);
}

QStringList namesIn(const QString &folder)
{
    QStringList names;
    DIR *dir = ::opendir(encodeFileName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name != "." && name != "..")
            names.append(decodeFileName(name));
    }
    ::closedir(dir);
    return names;
}

qint64 fileSize(const QString &path)
{
    struct stat status;
    return ::stat(encodeFileName(path).constData(), &status) == 0 ? qint64(status.st_size) : -1;
}

} // namespace platform
