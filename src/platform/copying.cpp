#include "platform/copying.h"

#include "platform/capturedates.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/hashing.h"
#include "platform/media.h"
#include "platform/posix.h"
#include "platform/publishing.h"

#include <QHash>
#include <QSet>

#include <cerrno>
#include <condition_variable>
#include <future>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace platform {

namespace {

using Operation = FileError::Operation;

// A read of the source that failed: its medium, not the copy's, is at fault.
[[noreturn]] void failReading(const QStringList &paths, int error = errno)
{
    throw FileError(Operation::Copy, paths, error, FileError::Side::Read);
}

void writeAll(int fd, const char *data, size_t size, const QStringList &paths)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail(Operation::Copy, paths);
        }
        data += written;
        size -= size_t(written);
    }
}

// The hash of the file as the medium holds it: its pages are dropped from
// memory first, so that the read reaches the medium, not the cache.
XXH128_hash_t hashFromMedium(int fd, Operation operation, const QStringList &paths)
{
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    const Hasher hasher = newHasher();
    if (const int error = hashPieces(fd, hasher.get()))
        fail(operation, paths, error);
    return XXH3_128bits_digest(hasher.get());
}

// Reads a large copy back while it is still being written: each part the
// writer has passed is put on the medium, dropped from memory and hashed from
// there, while the medium takes the parts after it, so that reading back
// overlaps writing instead of following it. Only for a file of the kernel's
// own file systems, which reads back through a second descriptor what the
// first wrote.
class ReadBackAlongside
{
public:
    static constexpr off_t Part = off_t(32) << 20;

    explicit ReadBackAlongside(Descriptor reader)
        : m_reader(std::move(reader))
        , m_hasher(newHasher())
        , m_worker(std::async(std::launch::async, [this] { readParts(); }))
    { }
    // A copy that failed is not read any further.
    ~ReadBackAlongside() { end(Ending::Abandoned); }

    void writtenUpTo(off_t offset)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_written = offset;
        }
        m_change.notify_one();
    }

    // Once the copy is written and flushed: reads the rest, and gives the
    // hash of all that was read back, or the error of a read that failed.
    XXH128_hash_t readRest(Operation operation, const QStringList &paths)
    {
        end(Ending::Written);
        if (m_error != 0)
            fail(operation, paths, m_error);
        return XXH3_128bits_digest(m_hasher.get());
    }

private:
    enum class Ending { None, Written, Abandoned };

    void end(Ending ending)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_ending = ending;
        }
        m_change.notify_one();
        if (m_worker.valid())
            m_worker.get();
    }

    void readParts()
    {
        for (;;) {
            off_t until = 0;
            off_t written = 0;
            {
                std::unique_lock lock(m_mutex);
                m_change.wait(lock,
                    [this] { return m_ending != Ending::None || m_written - m_read >= Part; });
                if (m_ending == Ending::Abandoned
                    || (m_ending == Ending::Written && m_read == m_written))
                    return;
                written = m_written;
                until =
                    m_ending == Ending::Written ? std::min(m_read + Part, written) : m_read + Part;
            }
            const int fd = m_reader.get();
            // The medium takes what follows while this part is read back.
            ::sync_file_range(fd, until, written - until, SYNC_FILE_RANGE_WRITE);
            constexpr unsigned int Flush =
                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
            if (::sync_file_range(fd, m_read, until - m_read, Flush) != 0) {
                m_error = errno;
                return;
            }
            ::posix_fadvise(fd, m_read, until - m_read, POSIX_FADV_DONTNEED);
            if ((m_error = hashPieces(fd, m_hasher.get(), {}, nullptr, m_read, until)))
                return;
            m_read = until;
        }
    }

    Descriptor m_reader;
    Hasher m_hasher;
    std::mutex m_mutex;
    std::condition_variable m_change;
    off_t m_written = 0;
    Ending m_ending = Ending::None;
    // The worker's own, read by others once it ended.
    off_t m_read = 0;
    int m_error = 0;
    std::future<void> m_worker;
};

// The hashes of a copy's content: of the bytes read, of those written,
// other where its capture dates were shifted, and of both with their date
// fields blanked, which are one.
struct ContentHashes
{
    XXH128_hash_t read;
    XXH128_hash_t written;
    XXH128_hash_t withoutDates;
    bool keepsDates = false;
    bool datesCorrected = false;
};

// A file a copy's bytes go to, with the names its failures give, and its
// read-back alongside the writing, if any.
struct Output
{
    int fd;
    const QStringList *paths;
    ReadBackAlongside *readBack;
};

// The bytes are read once and written to every output, as a photo goes to
// its destination and to a backup folder in one reading of the card.
// The bytes are hashed in the very buffer they are written from: hashing
// costs far less than the medium's own speed, and the hash is of the bytes
// written. A source that gives other than its size of bytes (a read that
// ended early, a file still growing) fails the copy.
// The capture dates a correction shifts are shifted in those very bytes:
// where they were found in bytes read aside, the copy's read must give the
// same bytes there; for a move, the source's second read then vouches for
// the dates as for every other byte.
ContentHashes copyContent(int in, off_t size, const QList<Output> &outputs,
    const QStringList &paths, const std::atomic<bool> *cancel, qint64 shift)
{
    Head head;
    if (const int error = readHead(in, size, head))
        failReading(paths, error);
    if (head.endedEarly)
        fail(Operation::ShortRead, paths, 0);
    const std::optional<CaptureDates> &dates = head.dates;
    const QList<DateField> fields = dates ? dates->fields : QList<DateField>();
    const std::optional<QList<QByteArray>> shifted =
        dates && shift != 0 ? shiftedDates(fields, shift) : std::nullopt;
    const QList<QByteArray> blanks = blankedDates(fields);
    const Hasher hasher = newHasher();
    const Hasher blanked = fields.isEmpty() ? Hasher() : newHasher();
    const Hasher shiftedHasher = shifted ? newHasher() : Hasher();
    // Each piece, hashed as read, is shifted, hashed and written, then
    // blanked where it lies, and hashed once more.
    off_t offset = 0;
    const auto onPiece = [&](char *data, size_t count) {
        if (cancel && *cancel)
            fail(Operation::Copy, paths, ECANCELED);
        if (dates && !agreesWithReadAside(QByteArrayView(data, qsizetype(count)), offset, *dates))
            fail(Operation::UnsteadyRead, paths, 0);
        if (shiftedHasher) {
            putDates(data, qint64(count), offset, fields, *shifted);
            XXH3_128bits_update(shiftedHasher.get(), data, count);
        }
        for (const Output &output : outputs)
            writeAll(output.fd, data, count, *output.paths);
        if (blanked) {
            putDates(data, qint64(count), offset, fields, blanks);
            XXH3_128bits_update(blanked.get(), data, count);
        }
        offset += off_t(count);
        for (const Output &output : outputs) {
            if (output.readBack)
                output.readBack->writtenUpTo(offset);
        }
    };
    XXH3_128bits_update(hasher.get(), head.bytes.constData(), size_t(head.bytes.size()));
    onPiece(head.bytes.data(), size_t(head.bytes.size()));
    off_t read = 0;
    if (const int error = hashPieces(in, hasher.get(), onPiece, &read, offset))
        failReading(paths, error);
    if (read != size)
        fail(Operation::ShortRead, paths, 0);
    ContentHashes hashes;
    hashes.read = XXH3_128bits_digest(hasher.get());
    hashes.written = shiftedHasher ? XXH3_128bits_digest(shiftedHasher.get()) : hashes.read;
    hashes.withoutDates = blanked ? XXH3_128bits_digest(blanked.get()) : hashes.read;
    // A photo whose dates were not all found still holds them.
    hashes.keepsDates = dates.has_value() || keepsDates(head.bytes);
    hashes.datesCorrected = shift == 0 || shifted;
    return hashes;
}

} // namespace

struct PendingCopy::Private
{
    QStringList paths; // source, target
    QByteArray target;
    struct stat source;
    PendingFile file;
    ContentHashes hashes;
    qint64 written = 0;
    bool flushed = false;
    int flushError = 0;
    bool forMove = false;
    // For a large copy, its read-back so far.
    std::unique_ptr<ReadBackAlongside> readBack;
};

PendingCopy::PendingCopy(std::unique_ptr<Private> d)
    : d(std::move(d))
{ }

PendingCopy::PendingCopy(PendingCopy &&) noexcept = default;
PendingCopy &PendingCopy::operator=(PendingCopy &&) noexcept = default;
PendingCopy::~PendingCopy() = default;

QByteArray PendingCopy::hashHex() const
{
    return hexOf(d->hashes.written);
}

QByteArray PendingCopy::sourceHashHex() const
{
    return hexOf(d->hashes.read);
}

QByteArray PendingCopy::hashWithoutDatesHex() const
{
    return hexOf(d->hashes.withoutDates);
}

bool PendingCopy::keepsDates() const
{
    return d->hashes.keepsDates;
}

bool PendingCopy::datesCorrected() const
{
    return d->hashes.datesCorrected;
}

qint64 PendingCopy::size() const
{
    return d->written;
}

qint64 PendingCopy::sourceTime() const
{
    return nanosecondsOf(d->source.st_mtim);
}

FileStamp PendingCopy::sourceStamp() const
{
    return stampOf(d->source);
}

std::vector<PendingCopy> writeCopies(const QString &source, const QStringList &targets,
    const std::atomic<bool> *cancel, qint64 shift, const HiddenFilesMade &made)
{
    struct stat sourceStat;
    const QStringList sourcePaths { source, targets.first() };
    const Descriptor in = openToRead(source);
    if (!in.isValid() || ::fstat(in.get(), &sourceStat) != 0)
        failReading(sourcePaths);
    if (!S_ISREG(sourceStat.st_mode))
        failReading(sourcePaths, S_ISDIR(sourceStat.st_mode) ? EISDIR : EINVAL);

    // A copy is a document, never a program, whatever the source's execute
    // bits; a FAT card's modes are its mount's, not the photo's, and the
    // copy gets those of any new document. The umask applies on creation.
    const mode_t mode = modesAreMountOptions(in.get()) ? 0666 : sourceStat.st_mode & 0666;
    std::vector<std::unique_ptr<PendingCopy::Private>> copies;
    QList<Output> outputs;
    QList<HiddenFile> hidden;
    for (const QString &target : targets) {
        auto d = std::make_unique<PendingCopy::Private>();
        d->paths = QStringList { source, target };
        d->target = encodeFileName(target);
        d->source = sourceStat;
        d->file = createPendingFile(d->target, mode, d->paths);
        if (d->file.temporaryName.isEmpty() && sourceStat.st_size >= 2 * ReadBackAlongside::Part)
            d->readBack = std::make_unique<ReadBackAlongside>(openToReadBack(d->file));
        outputs.append({ d->file.fd.get(), &d->paths, d->readBack.get() });
        struct stat file;
        if (!d->file.temporaryName.isEmpty() && ::fstat(d->file.fd.get(), &file) == 0)
            hidden.append({ decodeFileName(d->file.temporaryName), stampOf(file) });
        copies.push_back(std::move(d));
    }
    if (made && !hidden.isEmpty())
        made(hidden);
    const ContentHashes hashes =
        copyContent(in.get(), sourceStat.st_size, outputs, sourcePaths, cancel, shift);
    std::vector<PendingCopy> written;
    for (std::unique_ptr<PendingCopy::Private> &d : copies) {
        d->hashes = hashes;
        struct stat copy;
        if (::fstat(d->file.fd.get(), &copy) != 0)
            fail(Operation::Copy, d->paths);
        d->written = copy.st_size;
        // An unnamed copy gets its times now, for its flush to put them on
        // the medium with its content; a named one once closed.
        if (d->file.temporaryName.isEmpty())
            finishContent(d->file, d->source, d->paths);
        written.push_back(PendingCopy(std::move(d)));
    }
    return written;
}

PendingCopy writeCopy(
    const QString &source, const QString &target, const std::atomic<bool> *cancel, qint64 shift)
{
    return std::move(writeCopies(source, { target }, cancel, shift).front());
}

// All of the file, its times too, which an unnamed copy has by now. A flush
// that failed fails again: asked once more, the system would say nothing of
// the pages it could not write.
void flushCopy(PendingCopy &copy)
{
    PendingCopy::Private &d = *copy.d;
    if (!d.flushed && d.flushError == 0 && ::fsync(d.file.fd.get()) != 0)
        d.flushError = errno;
    if (d.flushError != 0)
        fail(Operation::Copy, d.paths, d.flushError);
    d.flushed = true;
}

void flushCopies(const QList<PendingCopy *> &copies)
{
    // The first copy on each file system: its descriptor, opened before the
    // others were written, hears of a failure to write any of them.
    QHash<dev_t, int> fileSystems;
    for (PendingCopy *copy : copies) {
        struct stat file;
        if (copy->d->file.temporaryName.isEmpty() && ::fstat(copy->d->file.fd.get(), &file) == 0
            && !fileSystems.contains(file.st_dev))
            fileSystems.insert(file.st_dev, copy->d->file.fd.get());
    }
    QSet<dev_t> flushed;
    for (auto fileSystem = fileSystems.cbegin(); fileSystem != fileSystems.cend(); ++fileSystem) {
        if (::syncfs(fileSystem.value()) == 0)
            flushed.insert(fileSystem.key());
    }
    for (PendingCopy *copy : copies) {
        PendingCopy::Private &d = *copy->d;
        struct stat file;
        if (d.file.temporaryName.isEmpty() && ::fstat(d.file.fd.get(), &file) == 0
            && flushed.contains(file.st_dev))
            d.flushed = true;
        if (!d.flushed && ::fsync(d.file.fd.get()) != 0) {
            // Its verification tells; the copies after it wait for theirs.
            d.flushError = errno;
            return;
        }
        d.flushed = true;
    }
}

namespace {

// A flaky reader or cable can hand out a wrong byte once: the copy then
// matches what was read, not the photo. Read again from the medium, a moved
// source must give the same bytes before it may go, and a copied one where
// asked before its copy counts. It is opened afresh: a card driver may
// answer a second read of one handle from a stale buffer.
void rereadSource(const QStringList &paths, const struct stat &source, const XXH128_hash_t &hash,
    Operation operation)
{
    const Descriptor again = openToRead(paths.first());
    struct stat now;
    if (!again.isValid() || ::fstat(again.get(), &now) != 0)
        fail(operation, paths);
    if (now.st_dev != source.st_dev || now.st_ino != source.st_ino
        || !XXH128_isEqual(hashFromMedium(again.get(), operation, paths), hash))
        fail(operation, paths, 0);
}

} // namespace

void verifyCopy(PendingCopy &copy, bool forMove, bool rereadCopied)
{
    flushCopy(copy);
    PendingCopy::Private &d = *copy.d;
    closeAfterWriting(d.file, d.paths);
    d.forMove = forMove;
    // The source is read again while the copy is read back: most often they
    // are two media.
    std::future<void> again;
    if (forMove || rereadCopied)
        again = std::async(std::launch::async, [&d, forMove] {
            rereadSource(d.paths, d.source, d.hashes.read,
                forMove ? Operation::Reread : Operation::CopyReread);
        });
    // What was read back alongside the writing and the rest, or all of it now.
    const auto readBack = [&d] {
        if (d.readBack)
            return d.readBack->readRest(Operation::Verify, d.paths);
        const Descriptor reader = openToReadBack(d.file);
        if (!reader.isValid())
            fail(Operation::Verify, d.paths);
        return hashFromMedium(reader.get(), Operation::Verify, d.paths);
    };
    if (!XXH128_isEqual(readBack(), d.hashes.written))
        fail(Operation::Verify, d.paths, 0);
    if (again.valid())
        again.get();
    if (!d.file.temporaryName.isEmpty())
        finishContent(d.file, d.source, d.paths);
}

void publishCopy(PendingCopy &copy)
{
    PendingCopy::Private &d = *copy.d;
    try {
        publish(d.file, d.target, d.paths);
    } catch (const FileError &error) {
        // Only a time that could not be kept comes after the copy is
        // published: a moved photo then stays where it was.
        if (!d.forMove || error.operation() != Operation::SetTime)
            throw;
        ::unlink(d.target.constData());
        fail(Operation::MoveUndone, d.paths, error.errorCode());
    }
}

namespace {

// A file system may give a deleted file's inode number to the next new
// file: the same number, size and modification time tell the very file. Not
// its change time, which a FUSE driver may give from before a rename.
bool stillTheFileRead(const struct stat &now, const struct stat &read)
{
    return now.st_dev == read.st_dev && now.st_ino == read.st_ino && now.st_size == read.st_size
        && now.st_mtim.tv_sec == read.st_mtim.tv_sec && now.st_mtim.tv_nsec == read.st_mtim.tv_nsec;
}

} // namespace

// Whatever fails here while the source is in place takes the copies away
// again, so that the photo stays in one place: where it was.
void removeMovedOriginal(PendingCopy &copy, PendingCopy *backup)
{
    PendingCopy::Private &d = *copy.d;
    // Takes the copies away again; the failure names the paths of what failed.
    const auto undo = [&](Operation operation, int error, const QStringList &paths) {
        ::unlink(d.target.constData());
        if (backup)
            ::unlink(backup->d->target.constData());
        fail(operation, paths, error);
    };
    // The copies themselves were flushed before they were read back.
    for (const PendingCopy *published : { &copy, backup }) {
        if (!published)
            continue;
        if (const int error = flushFolder(folderOf(published->d->target)))
            undo(Operation::MoveUndone, error, published->d->paths);
    }
    // A source gone since, or another file put under its name, may leave the
    // copies the only ones of the photo: they stay. A link that still leads
    // to it goes, and the photo it leads to stays.
    const QByteArray source = encodeFileName(d.paths.first());
    struct stat now;
    if (::stat(source.constData(), &now) != 0)
        fail(Operation::Move, d.paths, errno);
    if (!stillTheFileRead(now, d.source))
        fail(Operation::Move, d.paths, EEXIST);
    if (::unlink(source.constData()) != 0)
        undo(Operation::Move, errno, d.paths);
}

void moveFile(const QString &source, const QString &target)
{
    if (!renameFile(source, target))
        moveByCopying(source, target);
}

void moveByCopying(const QString &source, const QString &target)
{
    PendingCopy copy = writeCopy(source, target);
    verifyCopy(copy, true);
    publishCopy(copy);
    removeMovedOriginal(copy);
}

} // namespace platform
