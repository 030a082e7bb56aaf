#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace platform {

// The first bytes of a file, its head, hold the capture dates of the photos
// this can correct: the segments of a JPEG before its picture, the
// directories near a TIFF's start, and all of a sidecar no larger. Most
// photos keep them in the first FirstHeadBytes.
inline constexpr qint64 FirstHeadBytes = 256 << 10;
inline constexpr qint64 HeadBytes = 1 << 20;

// Where a capture date lies in a file: the 19 characters of a clock face.
struct DateField
{
    qint64 offset = 0;
    // "2026-08-10T11:03:00", as XMP writes it, rather than EXIF's
    // "2026:08:10 11:03:00".
    bool isoForm = false;
};

// The capture-date fields of a file, found in its head, which is whole when
// the file is no larger: EXIF DateTimeOriginal, CreateDate and ModifyDate,
// and the same dates in its XMP, or in an XMP sidecar. Nothing where its
// dates cannot be found there: a format other than JPEG, TIFF's or a
// sidecar's, or a directory that leads past the head.
std::optional<QList<DateField>> captureDateFields(QByteArrayView head, bool whole);

// Whether a head in which no dates were found may hold them further on: a
// JPEG's, a TIFF's or a sidecar's.
bool mayHoldDates(QByteArrayView head);

// Shifts each date of the head by a span in seconds, as a camera whose clock
// was off would have shown it, each to its very length; a field that holds
// no date stays as it is.
void shiftDates(QByteArray &head, const QList<DateField> &fields, qint64 seconds);

// Blanks the date fields: what is left is the same in a photo and in its copy
// whose dates were corrected.
void blankDates(QByteArray &head, const QList<DateField> &fields);

} // namespace platform
