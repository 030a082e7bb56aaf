#pragma once

#include "platform/filestamps.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// The copy of a photo that counts only once proven: written and hashed,
// read back from the medium, published under its new name, and for a move
// its original deleted.
namespace platform {

// The hidden file a copy is written into before it is published, where the
// medium has no unnamed files, as it was made.
struct HiddenFile
{
    QString path;
    FileStamp stamp;
};
// Hears of a copy's hidden files once made, before a byte is written into
// them: a run records them, so that what a kill leaves is known for its own.
using HiddenFilesMade = std::function<void(const QList<HiddenFile> &files)>;

// A copy written beside its new name, hashed as it was written; not yet
// flushed to the medium, read back nor published. It is removed with the object
// unless published.
class PendingCopy
{
public:
    PendingCopy(PendingCopy &&) noexcept;
    PendingCopy &operator=(PendingCopy &&) noexcept;
    ~PendingCopy();

    // What the journal of a run keeps: the XXH3-128 hash of the bytes written,
    // in hex, that of the bytes read (another where dates were shifted), that
    // of both with their capture-date fields blanked, their count, and the
    // source's modification time in nanoseconds since 1970.
    QByteArray hashHex() const;
    QByteArray sourceHashHex() const;
    QByteArray hashWithoutDatesHex() const;
    qint64 size() const;
    qint64 sourceTime() const;
    // Whether the file is of a format whose capture dates this reads, found
    // or, the file being damaged, not: not a PNG, say.
    bool keepsDates() const;
    // Whether the correction reached every capture date: none was asked, or
    // each was found where it lies and shifted. Otherwise the copy holds the
    // dates as they were, all of them.
    bool datesCorrected() const;
    // The source as it was opened.
    FileStamp sourceStamp() const;

private:
    struct Private;
    explicit PendingCopy(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;

    friend std::vector<PendingCopy> writeCopies(const QString &source, const QStringList &targets,
        const std::atomic<bool> *cancel, qint64 shift, const HiddenFilesMade &made);
    friend void flushCopy(PendingCopy &copy);
    friend void flushCopies(const QList<PendingCopy *> &copies);
    friend void verifyCopy(PendingCopy &copy, bool forMove, bool rereadCopied);
    friend void publishCopy(PendingCopy &copy);
    friend void removeMovedOriginal(PendingCopy &copy, PendingCopy *backup);
};

// Writes the content and permission bits (less the umask) of source into a
// new file beside target, its capture dates shifted on the way by shift
// seconds. Fails when the source gives another count of bytes than its size
// (a read that ended early), and as soon as cancel is set.
PendingCopy writeCopy(const QString &source, const QString &target,
    const std::atomic<bool> *cancel = nullptr, qint64 shift = 0);

// writeCopy to each of the targets from one reading of the source: the
// same bytes, one hash, a pending copy for each, in their order. made hears
// of the hidden files among them.
std::vector<PendingCopy> writeCopies(const QString &source, const QStringList &targets,
    const std::atomic<bool> *cancel = nullptr, qint64 shift = 0, const HiddenFilesMade &made = {});

// Puts the copy on the medium; verifyCopy does it too, where nobody did.
void flushCopy(PendingCopy &copy);

// flushCopy for many copies at once: those in unnamed files, on the
// kernel's own file systems, by one flush of each file system, which costs
// far less than one of each file and tells a failure of any; the others,
// and all where that flush fails, one by one, in their order. Throws
// nothing: the first copy that fails keeps its failure for verifyCopy to
// throw, and those after it are left to theirs, so that the copies before
// it can still be proven.
void flushCopies(const QList<PendingCopy *> &copies);

// Reads the copy back from the medium, which must hold the very bytes of the
// source, and, for a move or where rereadCopied asks, the source again from
// its medium, which must give them too; then gives the copy the source's
// modification time. A copy that fails is removed with the object, and the
// failure says why.
void verifyCopy(PendingCopy &copy, bool forMove, bool rereadCopied = false);

// Gives a verified copy its new name. Never replaces an existing file and
// never leaves a partial file under target, on any file system. For a move,
// a copy that cannot be completed once published is removed again.
void publishCopy(PendingCopy &copy);

// Puts the published copy's folder on the medium, and that of its backup
// copy if any, then deletes the source, if it is still the file that was
// read. When it is in place and cannot be deleted the copies are removed
// again: the photo either moves or stays where it was. When it is gone, or
// another file has its name, the copies stay.
void removeMovedOriginal(PendingCopy &copy, PendingCopy *backup = nullptr);

// renameFile, else moveByCopying.
void moveFile(const QString &source, const QString &target);

// writeCopy, verifyCopy, publishCopy, then removeMovedOriginal.
void moveByCopying(const QString &source, const QString &target);

} // namespace platform
