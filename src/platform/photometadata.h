#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// Where a capture time was read: a photo's EXIF; a movie's date that
// carries its own time zone; a movie's header, in UTC or on the camera's
// local clock.
enum class MomentSource { None, Exif, Offset, Utc, Local };

// What a photo tells of itself in its metadata.
struct PhotoMetadata
{
    // When it was taken, in nanoseconds since 1970: EXIF DateTimeOriginal
    // with its sub-seconds and offset, else CreateDate; a movie's, as its
    // source says. A time without an offset is the machine's local time, as
    // a card's file times are.
    std::optional<qint64> captureTime;
    MomentSource source = MomentSource::None;
    // The camera's model, as it gives it.
    QString model;
};

// Reads the metadata alone, never the picture. A file that is no photo, lies
// about its format or is damaged tells nothing; reading never fails.
PhotoMetadata photoMetadata(const QString &path);

// The same of many files, read side by side: most of the time goes in
// opening each, which the processors share.
QList<PhotoMetadata> photoMetadata(const QStringList &paths);

// The smallest picture a photo carries of itself, its EXIF thumbnail or a
// preview, as encoded bytes (mostly JPEG); empty where it has none.
QByteArray embeddedPreview(const QString &path);

} // namespace platform
