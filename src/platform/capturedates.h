#pragma once

#include <QByteArray>
#include <QList>

#include <functional>
#include <optional>
#include <utility>

namespace platform {

// The first bytes of a file, its head, hold the capture dates of most
// photos: the segments of a JPEG before its picture, the directories near a
// TIFF's start, and all of a sidecar no larger. Most photos keep them in the
// first FirstHeadBytes. A movie or a HEIC keeps them in boxes anywhere in
// the file, which are looked for box by box.
inline constexpr qint64 FirstHeadBytes = 256 << 10;
inline constexpr qint64 HeadBytes = 1 << 20;

// Where a capture date lies in a file, and what it holds there.
struct DateField
{
    qint64 offset = 0;
    // A clock face, "2026:08:10 11:03:00" as EXIF writes it, or as XMP does
    // "2026-08-10T11:03:00", "2026-08-10T11:03" or "2026-08-10"; the blanks
    // or zeros of a camera whose clock was never set; or, in a movie's
    // headers, seconds since 1904 in 4 or 8 bytes, most significant first.
    QByteArray value;
    bool movieTime = false;
    // The time zone written after a movie's clock face, "+0200", "+02:00" or
    // "Z", which a correction leaves as it is; empty where none is.
    QByteArray zone {};
};

struct CaptureDates
{
    QList<DateField> fields;
    // What was read past the head to find them, by offset: the file's own
    // read must give the very same bytes there, or the fields may be wrong.
    QList<std::pair<qint64, QByteArray>> readAside;
    // A HEIC's EXIF block, its TIFF structure, for a reader that cannot
    // find it.
    QByteArray exif;
};

// Reads count bytes of the file at offset; nothing where it cannot.
using ReadAt = std::function<std::optional<QByteArray>(qint64 offset, qint64 count)>;

// The capture-date fields of a file of the given size whose head is given:
// EXIF DateTimeOriginal, CreateDate and ModifyDate, and the same dates in
// its XMP, or in an XMP sidecar; a movie's creation and modification times
// and its XMP; a HEIC's or a CR3's EXIF and XMP. A field is one only where
// it lies in the metadata, never in the image data, and holds a date's
// form. Nothing where they cannot all be found, so that a copy never
// corrects some dates of a photo and leaves others: a format other than
// these, a directory that leads past the head, a date kept where this
// cannot rewrite it.
std::optional<CaptureDates> captureDates(QByteArrayView head, qint64 size, const ReadAt &readAt);

// Whether a head in which no dates were found may hold them further on: a
// JPEG's, a TIFF's or a sidecar's.
bool mayHoldDates(QByteArrayView head);

// The fields' values shifted by a span in seconds, as a camera whose clock
// was off would have shown them, each to its very length; a field that holds
// no date stays as it is. Nothing where a date would leave what its field
// can hold (the years 0001 to 9999 of a clock face): then every field stays.
std::optional<QList<QByteArray>> shiftedDates(const QList<DateField> &fields, qint64 seconds);

// Blanks for the fields: what is left is the same in a photo and in its copy
// whose dates were corrected.
QList<QByteArray> blankedDates(const QList<DateField> &fields);

// Whether a piece of the file read at offset holds there what was read aside.
bool agreesWithReadAside(QByteArrayView piece, qint64 offset, const CaptureDates &dates);

// Puts the values of the fields into a piece of the file read at offset,
// where they fall in it.
void putDates(char *piece, qint64 count, qint64 offset, const QList<DateField> &fields,
    const QList<QByteArray> &values);

// When a movie was made, as the creation time of its header says: the
// first of its times, as seconds since 1970 on a clock whose time zone it
// does not tell; nothing where it holds none.
std::optional<qint64> movieCreated(const CaptureDates &dates);

// When a movie was made, in seconds since 1970, as its dates that carry
// their own time zone say: the earliest, as a file is changed after it is
// made; nothing where none carries one.
std::optional<qint64> zonedCreated(const CaptureDates &dates);

// Whether a file of this head is of a format whose capture dates this
// reads: a JPEG, a TIFF, a sidecar, a movie, a HEIC, a CR3. Where their
// dates were not found, the file is damaged.
bool keepsDates(QByteArrayView head);

} // namespace platform
