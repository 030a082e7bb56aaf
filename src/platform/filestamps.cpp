#include "platform/filestamps.h"

#include "platform/filenames.h"
#include "platform/posix.h"

#include <QScopeGuard>
#include <QThread>
#include <QTimeZone>

#include <algorithm>
#include <dirent.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <vector>

namespace platform {

namespace {

using Operation = FileError::Operation;

// Calls lookUp for 0 to count - 1, one share of them on each processor: a
// look-up of many files spends its time in the kernel's walk of each name,
// which the processors share, and a thread pool's hand-over of each would
// cost as much again. Each share is a run of neighbours, so that no two
// processors write to the same stretch of memory by turns.
void onEachProcessor(qsizetype count, const std::function<void(qsizetype)> &lookUp)
{
    const int shares = std::max(1, QThread::idealThreadCount());
    std::vector<std::future<void>> parts;
    for (int share = 0; share < shares; ++share)
        parts.push_back(std::async(std::launch::async, [&, share] {
            for (qsizetype i = count * share / shares; i < count * (share + 1) / shares; ++i)
                lookUp(i);
        }));
    for (std::future<void> &part : parts)
        part.get();
}

} // namespace

std::optional<FileStamp> fileStamp(const QString &path, qint64 *modified)
{
    struct stat status;
    if (::lstat(encodeFileName(path).constData(), &status) != 0 || S_ISLNK(status.st_mode))
        return std::nullopt;
    if (modified)
        *modified = nanosecondsOf(status.st_mtim);
    return stampOf(status);
}

QList<StampedFile> visibleFilesIn(const QString &folder)
{
    DIR *dir = ::opendir(encodeFileName(folder).constData());
    if (!dir)
        return {};
    const auto close = qScopeGuard([dir] { ::closedir(dir); });
    QByteArrayList names;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.' && entry->d_type != DT_DIR)
            names.append(entry->d_name);
    }
    QList<std::optional<FileStamp>> stamps(names.size());
    onEachProcessor(names.size(), [&](qsizetype i) {
        struct stat status;
        if (::fstatat(::dirfd(dir), names.at(i).constData(), &status, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(status.st_mode))
            stamps[i] = stampOf(status);
    });
    QList<StampedFile> files;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (stamps.at(i))
            files.append({ decodeFileName(names.at(i)), *stamps.at(i) });
    }
    return files;
}

QDateTime fileTime(const QString &path)
{
    struct stat status;
    if (::stat(encodeFileName(path).constData(), &status) != 0)
        fail(Operation::ReadTime, { path });
    return momentOf(status.st_mtim.tv_sec);
}

std::optional<FileFacts> fileFacts(const QString &path)
{
    struct stat status;
    if (::stat(encodeFileName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileFacts { status.st_size, nanosecondsOf(status.st_mtim) };
}

QList<std::optional<FileFacts>> fileFacts(const QStringList &paths)
{
    QList<std::optional<FileFacts>> facts(paths.size());
    onEachProcessor(paths.size(), [&](qsizetype i) { facts[i] = fileFacts(paths.at(i)); });
    return facts;
}

QDateTime momentOf(qint64 seconds)
{
    static const QTimeZone utc = QTimeZone::utc();
    return QDateTime::fromSecsSinceEpoch(seconds, utc);
}

const QTimeZone &localZone()
{
    thread_local const QTimeZone zone = QTimeZone::systemTimeZone();
    return zone;
}

} // namespace platform
