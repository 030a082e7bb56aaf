// A FUSE file system over a folder that behaves like a memory card's driver,
// with faults to order: no unnamed files, no hard links, no rename that
// refuses to replace by flag, and, as asked on the command line,
//   refuse-replace  a plain rename onto an existing name fails, as fusefat 0.3 does
//   meddle          another program writes each new visible file as it is closed
//   no-times        visible files refuse a new time
//   no-folder-sync  a folder cannot be flushed
//   no-blocks       the file system tells no block count, so no free space
//                   either, as fusefat does
//   corrupt=TEXT    the first byte written to a file whose name holds TEXT is
//                   stored flipped, while the page cache keeps what was written
//   flaky=TEXT[@N]  the first copy's read of a file whose name holds TEXT hands
//                   out its first byte, or that at offset N, flipped, once, as a
//                   flaky reader or cable may
//   short=TEXT      the first opening of such a file a copy reads ends it at
//                   its middle
//   hold=TEXT       a copy's read of such a file waits until BACKING.release
//                   exists, and says so by making BACKING.held
//   full=TEXT       the flush of a file whose name holds TEXT fails for want
//                   of room, as from a driver that takes room only then
//   vanish=TEXT     the card is pulled out as a written file whose name holds
//                   TEXT is opened again: the driver ends, and the opening
//                   fails as the connection breaks
// The files of flaky, short and hold are read past the page cache. A copy
// reads in large pieces; what reads a photo's metadata first reads a page at
// a time, and meets none of these faults.
// It counts the bytes it hands out to readers in the file BACKING.reads, and
// writes its process number in BACKING.pid.
// Usage: quirkyfs FAULTS[,FAULTS] BACKING MOUNTPOINT [FUSE OPTIONS]

#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::string backing;
bool refuseReplace = false;
bool meddle = false;
bool noTimes = false;
bool noFolderSync = false;
bool noBlocks = false;
std::string corrupted; // the text a corrupted name holds
std::string flaky;
off_t flakyAt = 0;
std::string cutShort;
std::string held;
std::string full;
std::string vanish;
uint64_t bytesRead = 0;

// Marks, in a file handle, a file to be written by "another program" on close.
constexpr uint64_t Meddled = uint64_t(1) << 32;
bool cutShortDone = false;
// The opening that the short fault ends at its middle, if any.
int cutShortFile = -1;
constexpr size_t CopyRead = 8192;

std::string real(const char *path)
{
    return backing + path;
}

bool hidden(const char *path)
{
    const char *name = std::strrchr(path, '/');
    return name && name[1] == '.';
}

int result(int value)
{
    return value < 0 ? -errno : 0;
}

bool named(const char *path, const std::string &text)
{
    return !text.empty() && std::strstr(path, text.c_str());
}

int descriptor(const fuse_file_info *info)
{
    return int(info->fh & 0xffffffff);
}

void *init(fuse_conn_info *connection, fuse_config *config)
{
    // Written pages stay in the cache, whatever the file's new time: only a
    // reader that drops them reaches what is stored.
    connection->want &= ~FUSE_CAP_AUTO_INVAL_DATA;
    config->use_ino = 1;
    // As card drivers do, an open file removed or replaced is moved aside
    // to a hidden name until it is closed.
    config->hard_remove = 0;
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->kernel_cache = 1;
    // The driver, once on its own, says who it is: a test pulls the card
    // out by ending it.
    const std::string pid = std::to_string(::getpid()) + "\n";
    const int fd = ::open((backing + ".pid").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, pid.data(), pid.size());
        ::close(fd);
    }
    return nullptr;
}

int getattr(const char *path, struct stat *status, fuse_file_info *info)
{
    return result(info ? ::fstat(descriptor(info), status) : ::lstat(real(path).c_str(), status));
}

int readdir(const char *path, void *buffer, fuse_fill_dir_t fill, off_t, fuse_file_info *,
    fuse_readdir_flags)
{
    DIR *dir = ::opendir(real(path).c_str());
    if (!dir)
        return -errno;
    while (const dirent *entry = ::readdir(dir)) {
        struct stat status = {};
        status.st_ino = entry->d_ino;
        status.st_mode = mode_t(entry->d_type) << 12;
        if (fill(buffer, entry->d_name, &status, 0, fuse_fill_dir_flags(0)))
            break;
    }
    ::closedir(dir);
    return 0;
}

int rename(const char *from, const char *to, unsigned int flags)
{
    struct stat status;
    if (flags != 0)
        return -EINVAL;
    if (refuseReplace && ::lstat(real(to).c_str(), &status) == 0)
        return -EEXIST;
    return result(::rename(real(from).c_str(), real(to).c_str()));
}

int open(const char *path, fuse_file_info *info)
{
    struct stat status;
    if (named(path, vanish) && ::stat(real(path).c_str(), &status) == 0 && status.st_size > 0)
        std::_Exit(0);
    const int fd = ::open(real(path).c_str(), info->flags);
    info->fh = uint64_t(fd);
    info->direct_io = named(path, held) || named(path, flaky) || named(path, cutShort);
    return result(fd);
}

int create(const char *path, mode_t mode, fuse_file_info *info)
{
    const int fd = ::open(real(path).c_str(), info->flags, mode);
    info->fh = uint64_t(fd) | (meddle && !hidden(path) ? Meddled : 0);
    return result(fd);
}

// On flush, which close() waits for; the release that follows comes later.
int flush(const char *, fuse_file_info *info)
{
    if ((info->fh & Meddled) && ::pwrite(descriptor(info), "altro", 5, 0) != 5)
        return -EIO;
    return 0;
}

int release(const char *, fuse_file_info *info)
{
    if (descriptor(info) == cutShortFile)
        cutShortFile = -1;
    return result(::close(descriptor(info)));
}

// Waits, in this one-threaded file system, until the test lets the read go on.
void holdUntilReleased()
{
    const std::string release = backing + ".release";
    const int fd = ::open((backing + ".held").c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd >= 0)
        ::close(fd);
    while (::access(release.c_str(), F_OK) != 0)
        ::usleep(1000);
}

int read(const char *path, char *buffer, size_t size, off_t offset, fuse_file_info *info)
{
    const bool copying = size > CopyRead;
    if (named(path, held) && copying)
        holdUntilReleased();
    if (named(path, cutShort) && copying && !std::exchange(cutShortDone, true))
        cutShortFile = descriptor(info);
    struct stat status;
    if (descriptor(info) == cutShortFile && ::fstat(descriptor(info), &status) == 0
        && offset + off_t(size) > status.st_size / 2)
        size = size_t(std::max<off_t>(0, status.st_size / 2 - offset));
    const ssize_t got = ::pread(descriptor(info), buffer, size, offset);
    if (got < 0)
        return -errno;
    if (named(path, flaky) && copying && offset <= flakyAt && flakyAt < offset + got) {
        flaky.clear();
        buffer[flakyAt - offset] = char(~buffer[flakyAt - offset]);
    }
    bytesRead += uint64_t(got);
    const std::string count = std::to_string(bytesRead) + "\n";
    const int fd = ::open((backing + ".reads").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, count.data(), count.size());
        ::close(fd);
    }
    return int(got);
}

int write(const char *path, const char *buffer, size_t size, off_t offset, fuse_file_info *info)
{
    std::string stored(buffer, size);
    if (named(path, corrupted) && offset == 0 && size > 0)
        stored[0] = char(~stored[0]);
    const ssize_t written = ::pwrite(descriptor(info), stored.data(), size, offset);
    return written < 0 ? -errno : int(written);
}

int utimens(const char *path, const timespec times[2], fuse_file_info *)
{
    if (noTimes && !hidden(path))
        return -EPERM;
    return result(::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int fsyncdir(const char *path, int, fuse_file_info *)
{
    if (noFolderSync)
        return -EIO;
    const int fd = ::open(real(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return -errno;
    const int synced = ::fsync(fd);
    ::close(fd);
    return result(synced);
}

fuse_operations operations()
{
    fuse_operations ops = {};
    ops.init = init;
    ops.getattr = getattr;
    ops.readdir = readdir;
    ops.rename = rename;
    ops.open = open;
    ops.create = create;
    ops.flush = flush;
    ops.release = release;
    ops.read = read;
    ops.write = write;
    ops.utimens = utimens;
    ops.fsyncdir = fsyncdir;
    ops.mkdir = [](const char *path, mode_t mode) {
        return result(::mkdir(real(path).c_str(), mode));
    };
    ops.unlink = [](const char *path) { return result(::unlink(real(path).c_str())); };
    ops.rmdir = [](const char *path) { return result(::rmdir(real(path).c_str())); };
    // FAT has no hard links.
    ops.link = [](const char *, const char *) { return -EPERM; };
    ops.chmod = [](const char *path, mode_t mode, fuse_file_info *) {
        return result(::chmod(real(path).c_str(), mode));
    };
    ops.chown = [](const char *path, uid_t user, gid_t group, fuse_file_info *) {
        return result(::lchown(real(path).c_str(), user, group));
    };
    ops.truncate = [](const char *path, off_t size, fuse_file_info *info) {
        return result(
            info ? ::ftruncate(descriptor(info), size) : ::truncate(real(path).c_str(), size));
    };
    ops.fsync = [](const char *path, int, fuse_file_info *info) {
        if (named(path, full))
            return -ENOSPC;
        return result(::fsync(descriptor(info)));
    };
    ops.statfs = [](const char *path, struct statvfs *status) {
        const int answer = result(::statvfs(real(path).c_str(), status));
        if (noBlocks)
            status->f_blocks = status->f_bfree = status->f_bavail = 0;
        return answer;
    };
    return ops;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: quirkyfs FAULTS BACKING MOUNTPOINT [FUSE OPTIONS]\n");
        return 2;
    }
    const std::string faults = std::string(",") + argv[1] + ",";
    refuseReplace = faults.find(",refuse-replace,") != std::string::npos;
    meddle = faults.find(",meddle,") != std::string::npos;
    noTimes = faults.find(",no-times,") != std::string::npos;
    noFolderSync = faults.find(",no-folder-sync,") != std::string::npos;
    noBlocks = faults.find(",no-blocks,") != std::string::npos;
    const auto text = [&](const std::string &fault) {
        const size_t at = faults.find("," + fault + "=");
        if (at == std::string::npos)
            return std::string();
        const size_t start = at + fault.size() + 2;
        return faults.substr(start, faults.find(',', start) - start);
    };
    corrupted = text("corrupt");
    flaky = text("flaky");
    if (const size_t at = flaky.find('@'); at != std::string::npos) {
        flakyAt = std::stoll(flaky.substr(at + 1));
        flaky.resize(at);
    }
    cutShort = text("short");
    held = text("hold");
    full = text("full");
    vanish = text("vanish");
    char resolved[PATH_MAX];
    if (!::realpath(argv[2], resolved)) {
        std::perror(argv[2]);
        return 1;
    }
    backing = resolved;
    // One thread, so that the count of bytes read is kept in order.
    std::vector<char *> arguments { argv[0] };
    arguments.insert(arguments.end(), argv + 3, argv + argc);
    char singleThread[] = "-s";
    arguments.push_back(singleThread);
    const fuse_operations ops = operations();
    return fuse_main(int(arguments.size()), arguments.data(), &ops, nullptr);
}
