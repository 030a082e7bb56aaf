#pragma once

#include "platform/capturedates.h"

#include <QByteArray>

#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <unistd.h>

// The XXH3-128 hashing that a copy and a file's own hash share, over the
// system's reads.
namespace platform {

// Large enough that a read costs little more than its copying; small enough
// that the readers a move keeps going at once (its writer, the read-back of
// a copy, the second read of its source) hold little memory, and that each
// piece is still in the processor's cache when it is hashed and written.
inline constexpr size_t BufferSize = 128 << 10;

struct HashState
{
    void operator()(XXH3_state_t *state) const { XXH3_freeState(state); }
};
using Hasher = std::unique_ptr<XXH3_state_t, HashState>;

inline Hasher newHasher()
{
    Hasher hasher(XXH3_createState());
    if (!hasher || XXH3_128bits_reset(hasher.get()) != XXH_OK)
        throw std::bad_alloc();
    return hasher;
}

// Reads the file from offset to its end, or to until, through one buffer,
// hashing each piece, where a hasher is given, and then handing it on, to change if need be;
// returns 0, or the error of a read that failed. Counts the bytes read into size, when given.
inline int hashPieces(int fd, XXH3_state_t *hasher,
    const std::function<void(char *, size_t)> &onPiece = {}, off_t *size = nullptr,
    off_t offset = 0, off_t until = std::numeric_limits<off_t>::max())
{
    // Left as it comes: a read fills what is used of it.
    const auto buffer = std::make_unique_for_overwrite<char[]>(BufferSize);
    for (;;) {
        const ssize_t got = ::pread(
            fd, buffer.get(), size_t(std::min<off_t>(off_t(BufferSize), until - offset)), offset);
        if (size)
            *size = offset;
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (hasher)
            XXH3_128bits_update(hasher, buffer.get(), size_t(got));
        if (onPiece)
            onPiece(buffer.get(), size_t(got));
        offset += got;
    }
}

// A file's head, where the capture dates of most photos lie, and those
// dates, wherever they lie.
struct Head
{
    QByteArray bytes;
    std::optional<CaptureDates> dates;
    // A read gave fewer bytes than the file's size asked.
    bool endedEarly = false;
};

// Reads count bytes at offset, all of them or nothing.
inline std::optional<QByteArray> readAt(int fd, qint64 offset, qint64 count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (qint64 got = 0; got < count;) {
        const ssize_t piece = ::pread(fd, bytes.data() + got, size_t(count - got), offset + got);
        if (piece < 0 && errno == EINTR)
            continue;
        if (piece <= 0)
            return std::nullopt;
        got += piece;
    }
    return bytes;
}

// Reads the file's head and finds its capture dates: first in the bytes
// most photos keep them in, then, for a photo whose dates lie further, up to
// HeadBytes. Returns 0, or the error of a read that failed.
inline int readHead(int fd, qint64 size, Head &head)
{
    const ReadAt pieceAt = [fd](qint64 offset, qint64 count) { return readAt(fd, offset, count); };
    for (const qint64 limit : { FirstHeadBytes, HeadBytes }) {
        qsizetype got = head.bytes.size();
        head.bytes.resize(std::min(size, limit));
        while (got < head.bytes.size()) {
            const ssize_t piece =
                ::pread(fd, head.bytes.data() + got, size_t(head.bytes.size() - got), got);
            if (piece < 0 && errno == EINTR)
                continue;
            if (piece <= 0) {
                head.bytes.truncate(got);
                head.endedEarly = true;
                return piece < 0 ? errno : 0;
            }
            got += piece;
        }
        head.dates = captureDates(head.bytes, size, pieceAt);
        if (head.dates || size <= limit || !mayHoldDates(head.bytes))
            return 0;
    }
    return 0;
}

inline QByteArray hexOf(const XXH128_hash_t &hash)
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, hash);
    return QByteArray(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest)
        .toHex();
}

} // namespace platform
