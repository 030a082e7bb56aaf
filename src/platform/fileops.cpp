#include "platform/fileops.h"

#include "platform/capturedates.h"
#include "platform/filenames.h"
#include "platform/publishing.h"

#include <QScopeGuard>
#include <QThread>
#include <QTimeZone>

#include <xxhash.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <future>
#include <limits>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <vector>

namespace platform {

FileError::FileError(Operation operation, QStringList paths, int errorCode, QDateTime time)
    : m_operation(operation)
    , m_paths(std::move(paths))
    , m_errorCode(errorCode)
    , m_time(std::move(time))
    , m_what(message().toUtf8())
{ }

QString FileError::systemText() const
{
    return qt_error_string(m_errorCode);
}

QString FileError::message() const
{
    const QString first = displayFileName(m_paths.value(0));
    const QString second = displayFileName(m_paths.value(1));
    QString what;
    switch (m_operation) {
    case Operation::List:
        what = QStringLiteral("Impossibile leggere la cartella «%1».").arg(first);
        break;
    case Operation::Copy:
        what = QStringLiteral("Impossibile copiare «%1» in «%2».").arg(first, second);
        break;
    case Operation::Rename:
        what = QStringLiteral("Impossibile spostare «%1» in «%2».").arg(first, second);
        break;
    case Operation::SetAttributes:
        what = QStringLiteral("Impossibile cambiare gli attributi di «%1».").arg(first);
        break;
    case Operation::ReadTime:
        what = QStringLiteral("Impossibile leggere la data di «%1».").arg(first);
        break;
    case Operation::SetTime:
        what =
            QStringLiteral("La foto «%1» è al suo posto con il nuovo nome, ma non è stato "
                           "possibile darle la data %2.")
                .arg(first, m_time.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
        break;
    case Operation::Move:
        what = QStringLiteral("La foto «%1» non è stata spostata in «%2», perché non è stato "
                              "possibile eliminare l'originale.")
                   .arg(first, second);
        break;
    case Operation::Verify:
        what = QStringLiteral("La copia di «%1» in «%2» non corrisponde all'originale: il supporto "
                              "di destinazione o il lettore potrebbe essere difettoso. L'originale "
                              "non è stato toccato.")
                   .arg(first, second);
        break;
    case Operation::ShortRead:
        what = QStringLiteral("«%1» non è stata letta per intero: la lettura ha dato un numero di "
                              "byte diverso dalla sua dimensione. Il supporto d'origine o il "
                              "lettore potrebbe essere difettoso. L'originale non è stato toccato; "
                              "la copia in «%2» è stata tolta.")
                   .arg(first, second);
        break;
    case Operation::Reread:
        what = QStringLiteral("La foto «%1» non è stata spostata in «%2»: riletta dal supporto, "
                              "non coincide con quanto era stato copiato. La scheda o il lettore "
                              "(o il suo cavo) potrebbe essere difettoso. L'originale è al suo "
                              "posto; la copia è stata tolta.")
                   .arg(first, second);
        break;
    case Operation::MoveUndone:
        what = QStringLiteral("La foto «%1» non è stata spostata in «%2»: la copia non è stata "
                              "registrata per intero ed è stata tolta; l'originale è al suo posto.")
                   .arg(first, second);
        break;
    }
    // A copy that reads back other bytes than were written has no system error.
    if (m_errorCode == 0)
        return what;
    // A card pulled out, or a drive gone: the driver's words tell a
    // photographer nothing.
    if (m_errorCode == ENOTCONN || m_errorCode == ENODEV || m_errorCode == ENXIO
        || m_errorCode == EIO) {
        const QString medium = m_paths.size() > 1
            ? QStringLiteral("«%1» o quello di «%2»").arg(first, second)
            : QStringLiteral("«%1»").arg(first);
        return what
            + QStringLiteral("\n\nIl supporto di %1 non risponde più: la scheda o il disco "
                             "potrebbe essere stato rimosso.")
                  .arg(medium);
    }
    return what + QStringLiteral("\n\n") + systemText();
}

namespace {

using Operation = FileError::Operation;

[[noreturn]] void fail(Operation operation, const QStringList &paths, int errorCode = errno)
{
    throw FileError(operation, paths, errorCode);
}

// Puts the folder's names on disk; returns 0 or the error.
int flushFolder(const QByteArray &folder)
{
    Descriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isValid() || ::fsync(fd.get()) != 0)
        return errno;
    return fd.close();
}

constexpr size_t BufferSize = 1 << 20;

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

struct HashState
{
    void operator()(XXH3_state_t *state) const { XXH3_freeState(state); }
};
using Hasher = std::unique_ptr<XXH3_state_t, HashState>;

Hasher newHasher()
{
    Hasher hasher(XXH3_createState());
    if (!hasher || XXH3_128bits_reset(hasher.get()) != XXH_OK)
        throw std::bad_alloc();
    return hasher;
}

// Reads the file from offset to its end, or to until, through one buffer,
// hashing each piece and then handing it on, to change if need be; returns
// 0, or the error of a read that failed. Counts the bytes read into size,
// when given.
int hashPieces(int fd, XXH3_state_t *hasher,
    const std::function<void(char *, size_t)> &onPiece = {}, off_t *size = nullptr,
    off_t offset = 0, off_t until = std::numeric_limits<off_t>::max())
{
    std::vector<char> buffer(BufferSize);
    for (;;) {
        const ssize_t got = ::pread(fd, buffer.data(),
            size_t(std::min<off_t>(off_t(buffer.size()), until - offset)), offset);
        if (size)
            *size = offset;
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        XXH3_128bits_update(hasher, buffer.data(), size_t(got));
        if (onPiece)
            onPiece(buffer.data(), size_t(got));
        offset += got;
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

// The bytes are hashed in the very buffer they are written from: hashing
// costs far less than the medium's own speed, and the hash is of the bytes
// written. A source that gives other than its size of bytes (a read that
// ended early, a file still growing) fails the copy.
// Patches change a few bytes on the way: the hash of what was written is
// returned, and that of what was read goes to sourceHash.
XXH128_hash_t copyContent(int in, off_t size, int out, const QStringList &paths,
    const std::atomic<bool> *cancel, ReadBackAlongside *readBack, const QList<BytePatch> &patches,
    XXH128_hash_t &sourceHash)
{
    const Hasher hasher = newHasher();
    const Hasher patched = patches.isEmpty() ? Hasher() : newHasher();
    off_t read = 0;
    off_t written = 0;
    const int error = hashPieces(
        in, hasher.get(),
        [&](char *data, size_t count) {
            if (cancel && *cancel)
                fail(Operation::Copy, paths, ECANCELED);
            if (patched) {
                applyPatches(data, qint64(count), written, patches);
                XXH3_128bits_update(patched.get(), data, count);
            }
            writeAll(out, data, count, paths);
            written += off_t(count);
            if (readBack)
                readBack->writtenUpTo(written);
        },
        &read);
    if (error != 0)
        fail(Operation::Copy, paths, error);
    if (read != size)
        fail(Operation::ShortRead, paths, 0);
    sourceHash = XXH3_128bits_digest(hasher.get());
    return patched ? XXH3_128bits_digest(patched.get()) : sourceHash;
}

// Calls lookUp for 0 to count - 1, one share of them on each processor: a
// look-up of many files spends its time in the kernel's walk of each name,
// which the processors share, and a thread pool's hand-over of each would
// cost as much again.
void onEachProcessor(qsizetype count, const std::function<void(qsizetype)> &lookUp)
{
    const int shares = std::max(1, QThread::idealThreadCount());
    std::vector<std::future<void>> parts;
    for (int share = 0; share < shares; ++share)
        parts.push_back(std::async(std::launch::async, [&, share] {
            for (qsizetype i = share; i < count; i += shares)
                lookUp(i);
        }));
    for (std::future<void> &part : parts)
        part.get();
}

FileStamp stampOf(const struct stat &status)
{
    return FileStamp { status.st_dev, status.st_ino, status.st_size, status.st_ctim.tv_sec,
        status.st_ctim.tv_nsec };
}

Descriptor openToRead(const QString &path)
{
    return Descriptor(
        ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
}

QByteArray hexOf(const XXH128_hash_t &hash)
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, hash);
    return QByteArray(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest)
        .toHex();
}

} // namespace

struct PendingCopy::Private
{
    QStringList paths; // source, target
    QByteArray target;
    struct stat source;
    PendingFile file;
    // Of the bytes written, and of those read, which patches made differ.
    XXH128_hash_t hash;
    XXH128_hash_t sourceHash;
    qint64 written = 0;
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
    return hexOf(d->hash);
}

QByteArray PendingCopy::sourceHashHex() const
{
    return hexOf(d->sourceHash);
}

qint64 PendingCopy::size() const
{
    return d->written;
}

QDateTime PendingCopy::sourceTime() const
{
    return momentOf(d->source.st_mtim.tv_sec);
}

FileStamp PendingCopy::sourceStamp() const
{
    return stampOf(d->source);
}

PendingCopy writeCopy(const QString &source, const QString &target, const std::atomic<bool> *cancel,
    const QList<BytePatch> &patches)
{
    auto d = std::make_unique<PendingCopy::Private>();
    d->paths = QStringList { source, target };
    d->target = encodeFileName(target);
    const Descriptor in = openToRead(source);
    if (!in.isValid() || ::fstat(in.get(), &d->source) != 0)
        fail(Operation::Copy, d->paths);
    if (!S_ISREG(d->source.st_mode))
        fail(Operation::Copy, d->paths, S_ISDIR(d->source.st_mode) ? EISDIR : EINVAL);

    d->file = createPendingFile(d->target, d->source.st_mode & 0777, d->paths);
    if (d->file.temporaryName.isEmpty() && d->source.st_size >= 2 * ReadBackAlongside::Part)
        d->readBack = std::make_unique<ReadBackAlongside>(openToReadBack(d->file));
    d->hash = copyContent(in.get(), d->source.st_size, d->file.fd.get(), d->paths, cancel,
        d->readBack.get(), patches, d->sourceHash);
    struct stat written;
    if (::fstat(d->file.fd.get(), &written) != 0)
        fail(Operation::Copy, d->paths);
    d->written = written.st_size;
    return PendingCopy(std::move(d));
}

// A second flush finds nothing left to write, and costs next to nothing.
void flushCopy(PendingCopy &copy)
{
    if (::fdatasync(copy.d->file.fd.get()) != 0)
        fail(Operation::Copy, copy.d->paths);
}

namespace {

// A flaky reader or cable can hand out a wrong byte once: the copy then
// matches what was read, not the photo. Read again from the medium, a moved
// source must give the same bytes before it may go. It is opened afresh: a
// card driver may answer a second read of one handle from a stale buffer.
void rereadSource(const QStringList &paths, const struct stat &source, const XXH128_hash_t &hash)
{
    const Descriptor again = openToRead(paths.first());
    struct stat now;
    if (!again.isValid() || ::fstat(again.get(), &now) != 0)
        fail(Operation::Reread, paths);
    if (now.st_dev != source.st_dev || now.st_ino != source.st_ino
        || !XXH128_isEqual(hashFromMedium(again.get(), Operation::Reread, paths), hash))
        fail(Operation::Reread, paths, 0);
}

} // namespace

void verifyCopy(PendingCopy &copy, bool forMove)
{
    flushCopy(copy);
    PendingCopy::Private &d = *copy.d;
    closeAfterWriting(d.file, d.paths);
    d.forMove = forMove;
    // The source is read again while the copy is read back: most often they
    // are two media.
    std::future<void> again;
    if (forMove)
        again =
            std::async(std::launch::async, [&d] { rereadSource(d.paths, d.source, d.sourceHash); });
    // What was read back alongside the writing and the rest, or all of it now.
    const auto readBack = [&d] {
        if (d.readBack)
            return d.readBack->readRest(Operation::Verify, d.paths);
        const Descriptor reader = openToReadBack(d.file);
        if (!reader.isValid())
            fail(Operation::Verify, d.paths);
        return hashFromMedium(reader.get(), Operation::Verify, d.paths);
    };
    if (!XXH128_isEqual(readBack(), d.hash))
        fail(Operation::Verify, d.paths, 0);
    if (again.valid())
        again.get();
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

// Whatever fails here takes the copy away again, so that the photo stays in
// one place: where it was.
void removeMovedOriginal(PendingCopy &copy)
{
    PendingCopy::Private &d = *copy.d;
    const auto undo = [&](Operation operation, int error) {
        ::unlink(d.target.constData());
        fail(operation, d.paths, error);
    };
    // The copy itself was flushed before it was read back.
    if (const int error = flushFolder(folderOf(d.target)))
        undo(Operation::MoveUndone, error);
    // Another file put under the source's name since is not the one copied;
    // a link that still leads to it goes, and the photo it leads to stays.
    const QByteArray source = encodeFileName(d.paths.first());
    struct stat now;
    if (::stat(source.constData(), &now) != 0)
        undo(Operation::Move, errno);
    if (now.st_dev != d.source.st_dev || now.st_ino != d.source.st_ino)
        undo(Operation::Move, EEXIST);
    if (::unlink(source.constData()) != 0)
        undo(Operation::Move, errno);
}

// A link is moved as the photo it leads to, which stays where it is: renamed,
// a link would lose its way.
bool renameFile(const QString &source, const QString &target)
{
    const QByteArray from = encodeFileName(source);
    struct stat status;
    if (::lstat(from.constData(), &status) == 0 && S_ISLNK(status.st_mode))
        return false;
    try {
        renameWithoutReplacing(from, encodeFileName(target), Operation::Rename, { source, target });
    } catch (const FileError &error) {
        if (error.operation() != Operation::Rename || error.errorCode() != EXDEV)
            throw;
        return false;
    }
    return true;
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

// A medium that keeps no permission bits (FAT) has nothing to clear.
void makeWritable(const QString &path)
{
    const QByteArray name = encodeFileName(path);
    struct stat status;
    if (::stat(name.constData(), &status) != 0)
        fail(Operation::SetAttributes, { path });
    if (::chmod(name.constData(), (status.st_mode & 07777) | S_IWUSR) != 0
        && !unsupportedHere(errno))
        fail(Operation::SetAttributes, { path });
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
    return FileFacts { status.st_size,
        status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec };
}

QList<std::optional<FileFacts>> fileFacts(const QStringList &paths)
{
    QList<std::optional<FileFacts>> facts(paths.size());
    onEachProcessor(paths.size(), [&](qsizetype i) { facts[i] = fileFacts(paths.at(i)); });
    return facts;
}

std::optional<QString> resolvedFolder(const QString &folder)
{
    struct stat status;
    const QByteArray name = encodeFileName(folder);
    if (::stat(name.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(name.constData(), nullptr), &std::free);
    if (!resolved)
        return std::nullopt;
    return withSeparator(decodeFileName(resolved.get()));
}

QDateTime momentOf(qint64 seconds)
{
    static const QTimeZone utc = QTimeZone::utc();
    return QDateTime::fromSecsSinceEpoch(seconds, utc);
}

bool onOtherFileSystems(const QString &folder, const QString &otherFolder)
{
    struct stat one;
    struct stat other;
    return ::stat(encodeFileName(folder).constData(), &one) == 0
        && ::stat(encodeFileName(otherFolder).constData(), &other) == 0
        && one.st_dev != other.st_dev;
}

bool isOrdinaryFile(const QString &path)
{
    if (namePart(path).startsWith(QLatin1Char('.')))
        return false;
    struct stat status;
    return ::stat(encodeFileName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// By name, so that the owner's read-only files get their time too.
void setFileTime(const QString &path, const QDateTime &time)
{
    const QByteArray name = encodeFileName(path);
    struct stat status;
    if (::stat(name.constData(), &status) != 0)
        fail(Operation::SetTime, { path });
    // The access time is given as it stands rather than left out, which some
    // FUSE file systems mishandle.
    const timespec times[2] = { status.st_atim, { time_t(time.toSecsSinceEpoch()), 0 } };
    if (::utimensat(AT_FDCWD, name.constData(), times, 0) != 0)
        throw FileError(Operation::SetTime, { path }, errno, time);
}

std::optional<FileStamp> fileStamp(const QString &path, QDateTime *modified)
{
    struct stat status;
    if (::stat(encodeFileName(path).constData(), &status) != 0)
        return std::nullopt;
    if (modified)
        *modified = momentOf(status.st_mtim.tv_sec);
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
        if (::fstatat(::dirfd(dir), names.at(i).constData(), &status, 0) == 0
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

QByteArray fileStart(const QString &path, qint64 bytes)
{
    const Descriptor fd = openToRead(path);
    QByteArray start(bytes, Qt::Uninitialized);
    qint64 got = 0;
    while (fd.isValid() && got < bytes) {
        const ssize_t piece = ::pread(fd.get(), start.data() + got, size_t(bytes - got), got);
        if (piece < 0 && errno == EINTR)
            continue;
        if (piece <= 0)
            break;
        got += piece;
    }
    start.truncate(got);
    return start;
}

int flushToMedium(const QString &path)
{
    const QByteArray name = encodeFileName(path);
    Descriptor fd(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.isValid() || ::fsync(fd.get()) != 0)
        return errno;
    return flushFolder(folderOf(name));
}

int removeFile(const QString &path)
{
    return ::unlink(encodeFileName(path).constData()) == 0 ? 0 : errno;
}

QByteArray hashOfFile(const QString &path)
{
    const Descriptor fd = openToRead(path);
    const Hasher hasher = newHasher();
    if (!fd.isValid() || hashPieces(fd.get(), hasher.get()) != 0)
        return {};
    return hexOf(XXH3_128bits_digest(hasher.get()));
}

} // namespace platform
