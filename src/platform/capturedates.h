#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace platform {

// A few bytes of a file written anew where they lie.
struct BytePatch
{
    qint64 offset = 0;
    QByteArray bytes;
};

// The changes that shift the capture dates a photo holds by a span in
// seconds, each date rewritten where it lies, to its very length: EXIF
// DateTimeOriginal, CreateDate and ModifyDate, and the same dates in its
// XMP, or in an XMP sidecar. Empty where it holds none; nothing where its
// dates lie where this cannot rewrite them in place (a format other than
// JPEG, TIFF's or a sidecar's).
std::optional<QList<BytePatch>> captureDatePatches(const QString &path, qint64 seconds);

// The bytes with the patches that fall in them, the first at offset.
void applyPatches(char *data, qint64 size, qint64 offset, const QList<BytePatch> &patches);

} // namespace platform
