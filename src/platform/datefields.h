#pragma once

#include "platform/capturedates.h"

// What the readers of each format of capture dates share.
namespace platform {

// The date fields of a TIFF structure that starts at start in bytes, which
// lie at base in the file: EXIF's in its main directory and its EXIF one,
// and those of the XMP it holds. False where a directory leads outside the
// bytes.
bool tiffFields(QByteArrayView bytes, qint64 start, qint64 base, QList<DateField> &fields);

// The date fields of XMP text, which lies at base in the file. False, and
// none, where one holds what this cannot rewrite as a date in place.
bool xmpFields(QByteArrayView bytes, qint64 base, QList<DateField> &fields);

// The length of the clock face at the start of text: 19, 16 without its
// seconds, 10 for a day alone; 0 where none starts there.
qsizetype faceLength(QByteArrayView text);

// The time zone written at the start of text, as after a clock face and
// its fraction of a second: "Z", "+02:00" or "+0200"; empty where none is.
QByteArray zoneAfter(QByteArrayView text);

// Whether the head is that of an ISO base media file: MP4, MOV, HEIC, CR3.
bool isBoxFile(QByteArrayView head);

// The date fields of an ISO base media file, box by box. False where one
// lies where this cannot find or rewrite it.
bool boxFields(QByteArrayView head, qint64 size, const ReadAt &readAt, CaptureDates &dates);

} // namespace platform
