#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// Tells one medium from another: the device its file system is mounted
// from, and, where the system tells it, the volume's own serial or UUID, as
// "7BF9-57C0", which tells apart two cards put in turn in one reader.
struct VolumeIdentity
{
    quint64 device = 0;
    QString volume;

    bool operator==(const VolumeIdentity &) const = default;
};

// What a run needs to know of the file system that holds a folder.
struct Medium
{
    VolumeIdentity identity;
    // The free space, or -1 where the file system does not tell it, as
    // fusefat reports no blocks at all.
    qint64 freeBytes = -1;
    // The unit it hands out space in, as FAT's and exFAT's clusters: each
    // file and each folder takes whole units.
    qint64 allocationUnit = 1;
    // The largest file it can hold, or -1 where no limit is known.
    qint64 largestFile = -1;
    // The longest name it holds, in bytes.
    qint64 longestName = 255;
    // It takes names as FAT and exFAT do: no " * / : < > ? \ | nor control
    // characters, no final dot or blank, and letter case does not count.
    bool fatNames = false;
    bool writable = false;
};

// The medium of an existing folder; nothing for a folder that is missing.
// Where the file system's type does not tell how it takes names, as for
// most FUSE drivers, one hidden file tries a name with a ":".
std::optional<Medium> mediumOf(const QString &folder);

// Whether the modes of an open file are its mount's rather than its own, as
// FAT and exFAT drivers show every file alike, by the mount's options.
bool modesAreMountOptions(int fd);

// The medium that holds an existing folder, as Medium::identity tells it.
std::optional<VolumeIdentity> fileSystemOf(const QString &folder);

// What names the file system that holds an existing folder whatever device
// number a mount gives it, where its files keep their inode numbers from
// mount to mount: the UUID its statfs id is made from, as ext2, ext3, ext4
// and btrfs make it, else its UUID as udev names it. Empty for FAT, exFAT and
// FUSE drivers, which number files anew at each mount, and where nothing
// names it.
QString lastingFileSystemName(const QString &folder);

// The serial of the FAT or exFAT volume on a device or in an image, written
// as blkid and udev write it: "1234-ABCD". Empty for another file system, or
// where it cannot be read.
QString volumeSerial(const QString &device);

// Every name in the folder, hidden ones and folders included.
QStringList namesIn(const QString &folder);

// Whether the folder looks its names up whatever their letter case, as FAT
// and exFAT do: told by looking up one of its names in other letter case,
// which writes nothing, as a trial must not. Nothing where the name has no
// letters or cannot be looked up.
std::optional<bool> namesIgnoreCase(const QString &folder, const QString &name);

// One line of /proc/self/mountinfo, its names as the kernel has them, with
// the octal escapes of blanks, tabs, line ends and backslashes undone.
struct MountEntry
{
    // The device number, as "8:17".
    QByteArray device;
    // The folder of the file system mounted there: "/" for all of it.
    QByteArray root;
    QString mountPoint;
    // As "vfat", "fuseblk" or "fuse.fusefat".
    QByteArray type;
    // As "/dev/sdb1".
    QByteArray source;
};

// The mounts a text of /proc/self/mountinfo lists, in its order.
QList<MountEntry> parseMountInfo(const QByteArray &text);

// A card as a camera leaves it: a file system whose top folder holds DCIM.
struct MountedCard
{
    QString mountPoint;
    // The volume's label as udev names it under /dev/disk/by-label, else
    // the mount point's last name: "EOS_DIGITAL".
    QString label;
    // Its DCIM folder, named in the letter case the card has it.
    QString cameraFolder;
    VolumeIdentity identity;

    bool operator==(const MountedCard &) const = default;
};

// The cards mounted now, in mount order: each file system mounted whole
// whose top folder holds a DCIM folder, in any letter case, once however
// many times it is mounted. File systems with no device behind them (proc,
// tmpfs...) are passed over, but for FUSE, through which cards are mounted
// too.
QList<MountedCard> mountedCards();

} // namespace platform
