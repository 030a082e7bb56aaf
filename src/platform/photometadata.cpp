#include "platform/photometadata.h"

#include "platform/datefields.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"
#include "platform/hashing.h"
#include "platform/posix.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>
#include <QtConcurrent>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <mutex>

namespace platform {

namespace {

constexpr const char *PictureBrands[] = { "heic", "heix", "mif1", "msf1", "avif", "crx " };

// Exiv2 speaks on standard error of every damaged file.
void prepareExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // HEIC, AVIF and CR3 keep their EXIF in boxes, which exiv2 before
        // 0.28 reads only when asked to.
#if !EXIV2_TEST_VERSION(0, 28, 0)
        Exiv2::enableBMFF(true);
#endif
    });
}

// Opens a file exiv2 knows, its metadata read. The XMP toolkit that a
// photo's XMP packet needs must be set up once before threads use it: only
// once the first such file comes, as its tables take memory that a card of
// videos never needs.
std::unique_ptr<Exiv2::Image> openImage(const QString &path)
{
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::XmpParser::initialize(); });
    auto image = Exiv2::ImageFactory::open(encodeFileName(path).toStdString());
    image->readMetadata();
    return image;
}

QString textOf(const Exiv2::ExifData &exif, const char *key)
{
    const auto datum = exif.findKey(Exiv2::ExifKey(key));
    return datum == exif.end() ? QString() : QString::fromStdString(datum->toString()).trimmed();
}

// Nanoseconds since 1970 of so many seconds and nanoseconds; nothing past
// what they can count, about the years 1678 to 2261.
std::optional<qint64> nanosecondsOf(qint64 seconds, qint64 nanoseconds = 0)
{
    qint64 moment = 0;
    if (__builtin_mul_overflow(seconds, 1'000'000'000LL, &moment)
        || __builtin_add_overflow(moment, nanoseconds, &moment))
        return std::nullopt;
    return moment;
}

// The moment a clock face without a time zone shows in local time. An hour
// that the local clock skips in spring is read as a clock not yet moved
// on would show it, an hour it shows twice in autumn as the first.
qint64 localMoment(qint64 face)
{
    const QTimeZone &zone = localZone();
    const auto offsetAt = [&zone](qint64 moment) {
        return qint64(zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(moment, QTimeZone::utc())));
    };
    const qint64 before = offsetAt(face - 86400);
    const qint64 after = offsetAt(face + 86400);
    for (const qint64 offset : { std::max(before, after), std::min(before, after) }) {
        if (offsetAt(face - offset) == offset)
            return face - offset;
    }
    return face - std::min(before, after);
}

// "2026:08:10 11:03:00" with "12" (hundredths) and "+02:00", as EXIF keeps them.
std::optional<qint64> momentOf(
    const QString &clock, const QString &subSeconds, const QString &offset)
{
    const QDate date = QDate::fromString(clock.left(10), QStringLiteral("yyyy:MM:dd"));
    const QTime time = QTime::fromString(clock.mid(10).trimmed(), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid() || clock.size() != 19)
        return std::nullopt;
    const qint64 face = QDateTime(date, time, QTimeZone::utc()).toSecsSinceEpoch();
    qint64 moment = localMoment(face);
    static const QRegularExpression offsetForm(QStringLiteral("^([+-])(\\d\\d):(\\d\\d)$"));
    if (const QRegularExpressionMatch parts = offsetForm.match(offset); parts.hasMatch()) {
        const int seconds = parts.captured(2).toInt() * 3600 + parts.captured(3).toInt() * 60;
        moment = face - (parts.captured(1) == QLatin1String("-") ? -seconds : seconds);
    }
    qint64 nanoseconds = 0;
    const QString digits = subSeconds.left(9);
    if (!digits.isEmpty()
        && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
        nanoseconds = digits.leftJustified(9, QLatin1Char('0')).toLongLong();
    return nanosecondsOf(moment, nanoseconds);
}

// Whether a file of boxes names the brand among its own.
bool hasBrand(QByteArrayView start, const char *brand)
{
    return start.size() >= 16 && start.sliced(4, 4) == "ftyp"
        && start.sliced(8, std::min<qsizetype>(start.size() - 8, 64)).contains(brand);
}

// Whether a file of boxes holds a picture, whose EXIF exiv2 reads: a HEIC,
// an AVIF, a CR3; else it is a movie.
bool isPictureOfBoxes(QByteArrayView start)
{
    return std::any_of(std::begin(PictureBrands), std::end(PictureBrands),
        [&](const char *brand) { return hasBrand(start, brand); });
}

// The capture dates of a file of boxes, found box by box.
std::optional<CaptureDates> boxDates(const QString &path, const QByteArray &start)
{
    const Descriptor fd = openToRead(path);
    struct stat status;
    if (!fd.isValid() || ::fstat(fd.get(), &status) != 0)
        return std::nullopt;
    return captureDates(start, status.st_size,
        [&fd](qint64 offset, qint64 count) { return readAt(fd.get(), offset, count); });
}

// A JPEG's EXIF block, the TIFF structure of its first "Exif" APP1 segment,
// as exiv2 takes it: read here, the photo's XMP is not parsed as exiv2 would
// for every photo, which takes as long as all the rest and tells nothing
// asked. Empty where no such segment comes before the picture; nothing for
// a file that is not a JPEG, or whose segments are not a JPEG's, which exiv2
// then reads as it can.
std::optional<QByteArray> jpegExif(const QString &path, QByteArrayView start)
{
    static const QByteArray exifMark("Exif\0\0", 6);
    if (!start.startsWith("\xFF\xD8"))
        return std::nullopt;
    const Descriptor fd = openToRead(path);
    if (!fd.isValid())
        return std::nullopt;
    // A camera writes a few segments before the picture; a file of
    // thousands is left to exiv2.
    constexpr int MostSegments = 256;
    qint64 at = 2;
    for (int segment = 0; segment < MostSegments; ++segment) {
        const std::optional<QByteArray> header = readAt(fd.get(), at, 4);
        if (!header || uchar(header->at(0)) != 0xFF)
            return std::nullopt;
        const uchar marker = uchar(header->at(1));
        // A marker may follow fill bytes of 0xFF.
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return QByteArray();
        const qint64 length = qint64(uchar(header->at(2))) << 8 | uchar(header->at(3));
        if (length < 2)
            return std::nullopt;
        if (marker == 0xE1 && length >= 2 + exifMark.size()
            && readAt(fd.get(), at + 4, exifMark.size()) == exifMark)
            return readAt(fd.get(), at + 4 + exifMark.size(), length - 2 - exifMark.size());
        at += 2 + length;
    }
    return std::nullopt;
}

// When it was taken, as EXIF says, and by which camera.
PhotoMetadata metadataOf(const Exiv2::ExifData &exif)
{
    PhotoMetadata metadata;
    metadata.captureTime = momentOf(textOf(exif, "Exif.Photo.DateTimeOriginal"),
        textOf(exif, "Exif.Photo.SubSecTimeOriginal"),
        textOf(exif, "Exif.Photo.OffsetTimeOriginal"));
    if (!metadata.captureTime)
        metadata.captureTime = momentOf(textOf(exif, "Exif.Photo.DateTimeDigitized"),
            textOf(exif, "Exif.Photo.SubSecTimeDigitized"),
            textOf(exif, "Exif.Photo.OffsetTimeDigitized"));
    metadata.model = textOf(exif, "Exif.Image.Model");
    if (metadata.captureTime)
        metadata.source = MomentSource::Exif;
    return metadata;
}

// What an EXIF block, its TIFF structure, tells; nothing of an empty one.
PhotoMetadata metadataOfBlock(const QByteArray &block)
{
    Exiv2::ExifData exif;
    if (!block.isEmpty())
        Exiv2::ExifParser::decode(
            exif, reinterpret_cast<const Exiv2::byte *>(block.constData()), uint32_t(block.size()));
    return metadataOf(exif);
}

// A movie's moment: a date that carries its own time zone tells it; a
// CR3's header is in UTC, as Canon writes it; most cameras write their
// local clock in a movie's header, though the format would have it in UTC.
// A HEIC's EXIF block is found as its dates are: exiv2 0.27 misplaces an
// item its table places from a base offset, as exiftool writes them.
PhotoMetadata boxMetadata(const QString &path, const QByteArray &start)
{
    PhotoMetadata metadata;
    const std::optional<CaptureDates> dates = boxDates(path, start);
    if (!dates)
        return metadata;
    if (const std::optional<qint64> zoned = zonedCreated(*dates)) {
        metadata.captureTime = nanosecondsOf(*zoned);
        metadata.source = MomentSource::Offset;
    } else if (const std::optional<qint64> created = movieCreated(*dates)) {
        const bool utc = hasBrand(start, "crx ");
        metadata.captureTime = nanosecondsOf(utc ? *created : localMoment(*created));
        metadata.source = utc ? MomentSource::Utc : MomentSource::Local;
    }
    if (dates->exif.isEmpty())
        return metadata;
    try {
        metadata = metadataOfBlock(dates->exif);
    } catch (const std::exception &) {
        // A damaged block tells nothing.
    }
    return metadata;
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
        if (isBoxFile(start) && !isPictureOfBoxes(start))
            return boxMetadata(path, start);
        if (const std::optional<QByteArray> exif = jpegExif(path, start)) {
            metadata = metadataOfBlock(*exif);
        } else if (!start.isEmpty()
            && Exiv2::ImageFactory::getType(
                   reinterpret_cast<const Exiv2::byte *>(start.constData()), start.size())
                != Exiv2::ImageType::none) {
            metadata = metadataOf(openImage(path)->exifData());
        }
    } catch (const std::exception &) {
        // Not a photo exiv2 knows, or a damaged one: it tells nothing.
    }
    if (!metadata.captureTime && isBoxFile(start))
        return boxMetadata(path, start);
    return metadata;
}

QList<PhotoMetadata> photoMetadata(const QStringList &paths)
{
    prepareExiv2();
    return QtConcurrent::blockingMapped<QList<PhotoMetadata>>(
        paths, [](const QString &path) { return photoMetadata(path); });
}

QByteArray embeddedPreview(const QString &path)
{
    prepareExiv2();
    try {
        const auto image = openImage(path);
        const Exiv2::PreviewManager previews(*image);
        // Listed from the smallest up.
        const Exiv2::PreviewPropertiesList found = previews.getPreviewProperties();
        if (found.empty())
            return {};
        const Exiv2::PreviewImage preview = previews.getPreviewImage(found.front());
        return QByteArray(reinterpret_cast<const char *>(preview.pData()), preview.size());
    } catch (const std::exception &) {
        // No photo exiv2 knows, or a damaged one: no preview.
    }
    return {};
}

} // namespace platform
