#include "platform/media.h"

#include "platform/console.h"
#include "platform/filenames.h"
#include "platform/posix.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSet>

#include <cstring>
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

// A field of /proc/self/mountinfo with its octal escapes undone: the kernel
// writes a blank in a name as \040, as the fields are parted by blanks.
QByteArray unescaped(const QByteArray &field)
{
    const auto octal = [&field](qsizetype at) {
        return at < field.size() && field.at(at) >= '0' && field.at(at) <= '7';
    };
    QByteArray bytes;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            bytes += char(field.mid(i + 1, 3).toInt(nullptr, 8));
            i += 3;
        } else {
            bytes += field.at(i);
        }
    }
    return bytes;
}

QList<MountEntry> currentMounts()
{
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    return mounts.open(QIODevice::ReadOnly) ? parseMountInfo(mounts.readAll())
                                            : QList<MountEntry>();
}

// The mount of the file system that holds the folder; empty where it cannot
// be read.
MountEntry mountOf(const struct stat &folder)
{
    const QByteArray device =
        QByteArray::number(major(folder.st_dev)) + ':' + QByteArray::number(minor(folder.st_dev));
    for (const MountEntry &mount : currentMounts()) {
        if (mount.device == device)
            return mount;
    }
    return {};
}

// The block device a mount is from, as "/dev/sdb1"; nothing for a mount
// from anything else, as an image a FUSE driver reads.
std::optional<dev_t> blockDeviceOf(const MountEntry &mount)
{
    struct stat device;
    if (!mount.source.startsWith('/') || ::stat(mount.source.constData(), &device) != 0
        || !S_ISBLK(device.st_mode))
        return std::nullopt;
    return device.st_rdev;
}

// The name udev gives a block device in one of the folders of /dev/disk, as
// by-uuid or by-label; empty where it gives none, or where udev does not run.
QString udevNameOf(dev_t device, const QString &folder)
{
    for (const QString &name : namesIn(folder)) {
        struct stat named;
        if (::stat(encodeFileName(folder + name).constData(), &named) == 0 && S_ISBLK(named.st_mode)
            && named.st_rdev == device)
            return name;
    }
    return {};
}

// The volume's serial or UUID of a mount from a block device: the name udev
// gives it under /dev/disk/by-uuid, or, where udev does not run, the serial
// read off the device.
QString volumeOf(const MountEntry &mount)
{
    const std::optional<dev_t> device = blockDeviceOf(mount);
    if (!device)
        return {};
    const QString byUuid = udevNameOf(*device, QStringLiteral("/dev/disk/by-uuid/"));
    return byUuid.isEmpty() ? volumeSerial(decodeFileName(mount.source)) : byUuid;
}

// The volume's label as udev names it, with its blanks and other bytes
// written \x20 and so on, else the mount point's last name.
QString labelOf(const MountEntry &mount)
{
    const std::optional<dev_t> device = blockDeviceOf(mount);
    const QByteArray named = device
        ? encodeFileName(udevNameOf(*device, QStringLiteral("/dev/disk/by-label/")))
        : QByteArray();
    if (named.isEmpty())
        return namePart(mount.mountPoint);
    QByteArray label;
    for (qsizetype i = 0; i < named.size(); ++i) {
        bool hex = false;
        const int byte = named.mid(i + 2, 2).toInt(&hex, 16);
        if (named.mid(i, 2) == "\\x" && hex) {
            label += char(byte);
            i += 3;
        } else {
            label += named.at(i);
        }
    }
    return decodeFileName(label);
}

// The types of file system /proc/filesystems marks "nodev", which no device
// holds (proc, sysfs, tmpfs...), but FUSE's, as cards are mounted through
// it too.
QSet<QByteArray> typesWithoutDevice()
{
    QFile types(QStringLiteral("/proc/filesystems"));
    QSet<QByteArray> pseudo;
    if (!types.open(QIODevice::ReadOnly))
        return pseudo;
    for (const QByteArray &line : types.readAll().split('\n')) {
        if (line.startsWith("nodev\t"))
            pseudo.insert(line.mid(6).trimmed());
    }
    pseudo.remove("fuse");
    return pseudo;
}

// The DCIM folder at the top of a mounted file system, whatever its letter
// case; empty where it has none.
QString cameraFolderOf(const QString &mountPoint)
{
    const QString top = withSeparator(mountPoint);
    for (const QString &name : namesIn(top)) {
        if (name.compare(QLatin1String("DCIM"), Qt::CaseInsensitive) == 0 && isFolder(top + name))
            return top + name;
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
    const MountEntry mount = mountOf(status);
    Medium medium;
    medium.identity = { quint64(status.st_dev), volumeOf(mount) };
    if (space.f_frsize > 0)
        medium.allocationUnit = qint64(space.f_frsize);
    if (space.f_blocks > 0)
        medium.freeBytes = qint64(space.f_bavail) * medium.allocationUnit;
    if (space.f_namemax > 0)
        medium.longestName = qint64(space.f_namemax);
    medium.writable = ::access(path.constData(), W_OK | X_OK) == 0 && !(space.f_flag & ST_RDONLY);
    if (type.f_type == MSDOS_SUPER_MAGIC
        || (type.f_type == FuseMagic && mount.type == "fuse.fusefat")) {
        medium.fatNames = true;
        medium.largestFile = Fat32LargestFile;
    } else if (type.f_type == ExfatMagic) {
        medium.fatNames = true;
    } else if (type.f_type == FuseMagic && medium.writable) {
        medium.fatNames = refusesColon(path);
    }
    return medium;
}

bool modesAreMountOptions(int fd)
{
    // The type alone tells the kernel's drivers, at the cost of one call;
    // only a FUSE driver has the mounts read to be named. Block devices are
    // mounted through FUSE by exfat-fuse and ntfs-3g, both of which give
    // every file the mount's modes unless told otherwise.
    struct statfs type;
    if (::fstatfs(fd, &type) != 0)
        return false;
    if (type.f_type == MSDOS_SUPER_MAGIC || type.f_type == ExfatMagic)
        return true;
    struct stat status;
    if (type.f_type != FuseMagic || ::fstat(fd, &status) != 0)
        return false;
    const QByteArray mount = mountOf(status).type;
    return mount == "fuse.fusefat" || mount == "fuseblk";
}

std::optional<VolumeIdentity> fileSystemOf(const QString &folder)
{
    struct stat status;
    if (::stat(encodeFileName(folder).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    return VolumeIdentity { quint64(status.st_dev), volumeOf(mountOf(status)) };
}

QString lastingFileSystemName(const QString &folder)
{
    const QByteArray path = encodeFileName(folder);
    struct statfs type;
    struct stat status;
    if (::statfs(path.constData(), &type) != 0 || ::stat(path.constData(), &status) != 0)
        return {};
    if (type.f_type == EXT4_SUPER_MAGIC || type.f_type == BTRFS_SUPER_MAGIC) {
        quint32 id[2];
        static_assert(sizeof id == sizeof type.f_fsid);
        std::memcpy(id, &type.f_fsid, sizeof id);
        return id[0] == 0 && id[1] == 0 ? QString()
                                        : QString::asprintf("fsid:%08x%08x", id[0], id[1]);
    }
    if (type.f_type == MSDOS_SUPER_MAGIC || type.f_type == ExfatMagic || type.f_type == FuseMagic)
        return {};
    const QString volume = volumeOf(mountOf(status));
    return volume.isEmpty() ? QString() : QStringLiteral("uuid:") + volume;
}

QString volumeSerial(const QString &device)
{
    Descriptor fd(::open(encodeFileName(device).constData(), O_RDONLY | O_CLOEXEC));
    unsigned char sector[512];
    if (!fd.isValid() || ::pread(fd.get(), sector, sizeof sector, 0) != ssize_t(sizeof sector)
        || sector[510] != 0x55 || sector[511] != 0xAA)
        return {};
    // Where each boot sector keeps it: exFAT names itself; FAT32 has no
    // 16-bit FAT size; FAT12 and FAT16 mark theirs with 0x29 before it.
    qsizetype at = -1;
    if (std::memcmp(sector + 3, "EXFAT   ", 8) == 0)
        at = 0x64;
    else if (sector[0x16] == 0 && sector[0x17] == 0 && sector[0x42] == 0x29)
        at = 0x43;
    else if (sector[0x26] == 0x29)
        at = 0x27;
    if (at < 0)
        return {};
    return QString::asprintf(
        "%02X%02X-%02X%02X", sector[at + 3], sector[at + 2], sector[at + 1], sector[at]);
}

QList<MountEntry> parseMountInfo(const QByteArray &text)
{
    // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the
    // optional fields before "-" vary in number.
    QList<MountEntry> mounts;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-", 6);
        if (separator < 0 || separator + 2 >= fields.size())
            continue;
        mounts.append(
            { fields.at(2), unescaped(fields.at(3)), decodeFileName(unescaped(fields.at(4))),
                fields.at(separator + 1), unescaped(fields.at(separator + 2)) });
    }
    return mounts;
}

QList<MountedCard> mountedCards()
{
    const QSet<QByteArray> pseudo = typesWithoutDevice();
    QSet<QByteArray> devices;
    QList<MountedCard> cards;
    for (const MountEntry &mount : currentMounts()) {
        if (mount.root != "/" || pseudo.contains(mount.type) || devices.contains(mount.device))
            continue;
        devices.insert(mount.device);
        const QString cameraFolder = cameraFolderOf(mount.mountPoint);
        const std::optional<VolumeIdentity> identity = fileSystemOf(mount.mountPoint);
        if (!cameraFolder.isEmpty() && identity)
            cards.append({ mount.mountPoint, labelOf(mount), cameraFolder, *identity });
    }
    return cards;
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

std::optional<bool> namesIgnoreCase(const QString &folder, const QString &name)
{
    QString swapped = name;
    for (QChar &c : swapped)
        c = c.isUpper() ? c.toLower() : c.toUpper();
    struct stat given;
    if (swapped == name
        || ::lstat(encodeFileName(withSeparator(folder) + name).constData(), &given) != 0)
        return std::nullopt;
    struct stat other;
    if (::lstat(encodeFileName(withSeparator(folder) + swapped).constData(), &other) != 0)
        return false;
    // FUSE drivers may number one file anew under each name it is looked up
    // by: a file of the other name tells only where the folder lists it.
    return (given.st_dev == other.st_dev && given.st_ino == other.st_ino)
        || !namesIn(folder).contains(swapped);
}

} // namespace platform
