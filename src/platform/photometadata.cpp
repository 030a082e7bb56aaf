#include "platform/photometadata.h"

#include "platform/filenames.h"
#include "platform/fileops.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>
#include <QtConcurrent>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <mutex>

namespace platform {

namespace {

// Exiv2 speaks on standard error of every damaged file, and its XMP toolkit
// must be set up once before threads use it.
void prepareExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

QString textOf(const Exiv2::ExifData &exif, const char *key)
{
    const auto datum = exif.findKey(Exiv2::ExifKey(key));
    return datum == exif.end() ? QString() : QString::fromStdString(datum->toString()).trimmed();
}

// "2026:08:10 11:03:00" with "12" (hundredths) and "+02:00", as EXIF keeps them.
std::optional<qint64> momentOf(
    const QString &clock, const QString &subSeconds, const QString &offset)
{
    const QDateTime face = QDateTime::fromString(clock, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!face.isValid())
        return std::nullopt;
    QDateTime moment(face.date(), face.time());
    static const QRegularExpression offsetForm(QStringLiteral("^([+-])(\\d\\d):(\\d\\d)$"));
    if (const QRegularExpressionMatch parts = offsetForm.match(offset); parts.hasMatch()) {
        const int seconds = parts.captured(2).toInt() * 3600 + parts.captured(3).toInt() * 60;
        moment = QDateTime(face.date(), face.time(),
            QTimeZone(parts.captured(1) == QLatin1String("-") ? -seconds : seconds));
    }
    if (!moment.isValid())
        return std::nullopt;
    qint64 nanoseconds = 0;
    const QString digits = subSeconds.left(9);
    if (!digits.isEmpty()
        && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
        nanoseconds = digits.leftJustified(9, QLatin1Char('0')).toLongLong();
    return moment.toSecsSinceEpoch() * 1'000'000'000LL + nanoseconds;
}

} // namespace

PhotoMetadata photoMetadata(const QString &path)
{
    prepareExiv2();
    PhotoMetadata metadata;
    // Exiv2 probes a file format by format, seeking about it; the first bytes
    // in memory tell as much of a file that is no photo at all, far sooner.
    const QByteArray start = fileStart(path, 4096);
    try {
        if (start.isEmpty()
            || Exiv2::ImageFactory::getType(
                   reinterpret_cast<const Exiv2::byte *>(start.constData()), start.size())
                == Exiv2::ImageType::none)
            return metadata;
        const auto image = Exiv2::ImageFactory::open(encodeFileName(path).toStdString());
        image->readMetadata();
        const Exiv2::ExifData &exif = image->exifData();
        metadata.captureTime = momentOf(textOf(exif, "Exif.Photo.DateTimeOriginal"),
            textOf(exif, "Exif.Photo.SubSecTimeOriginal"),
            textOf(exif, "Exif.Photo.OffsetTimeOriginal"));
        if (!metadata.captureTime)
            metadata.captureTime = momentOf(textOf(exif, "Exif.Photo.DateTimeDigitized"),
                textOf(exif, "Exif.Photo.SubSecTimeDigitized"),
                textOf(exif, "Exif.Photo.OffsetTimeDigitized"));
        metadata.model = textOf(exif, "Exif.Image.Model");
    } catch (const std::exception &) {
        // Not a photo exiv2 knows, or a damaged one: it tells nothing.
    }
    return metadata;
}

QList<PhotoMetadata> photoMetadata(const QStringList &paths)
{
    prepareExiv2();
    return QtConcurrent::blockingMapped<QList<PhotoMetadata>>(
        paths, [](const QString &path) { return photoMetadata(path); });
}

} // namespace platform
