#include "platform/capturedates.h"

#include "platform/datefields.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>

namespace platform {

namespace {

constexpr qint64 SecondsPerDay = 86400;
// From 1904, where a movie's times count from, to 1970.
constexpr qint64 MovieEpoch = 2082844800;
// The first second of the year 10000, counted as a movie counts it.
constexpr qint64 MovieYear10000 = 253402300800 + MovieEpoch;

// The TIFF structure of EXIF: directories of 12-byte entries, in either byte
// order, offsets from the structure's start.
class Tiff
{
public:
    Tiff(QByteArrayView bytes, qint64 start)
        : m_bytes(bytes)
        , m_start(start)
    { }

    bool isTiff() const
    {
        if (!available(m_start, 8))
            return false;
        const QByteArrayView order = m_bytes.sliced(m_start, 2);
        return (order == "II" || order == "MM") && unsigned16(m_start + 2) == 42;
    }

    // The dates of the main directory and of the EXIF one, where a CR3's
    // EXIF directory is the main one of its own structure.
    bool dates(qint64 base, QList<DateField> &fields) const
    {
        qint64 exif = -1;
        if (!walk(m_start + unsigned32(m_start + 4), base, fields, &exif))
            return false;
        return exif < 0 || walk(exif, base, fields, nullptr);
    }

private:
    bool available(qint64 at, qint64 count) const
    {
        return at >= 0 && count >= 0 && at + count <= m_bytes.size();
    }
    bool littleEndian() const { return m_bytes.at(m_start) == 'I'; }
    quint32 unsigned16(qint64 at) const
    {
        const auto b = [&](int i) { return quint32(uchar(m_bytes.at(at + i))); };
        return littleEndian() ? b(0) | b(1) << 8 : b(0) << 8 | b(1);
    }
    quint32 unsigned32(qint64 at) const
    {
        return littleEndian() ? unsigned16(at) | unsigned16(at + 2) << 16
                              : unsigned16(at) << 16 | unsigned16(at + 2);
    }

    // Each date as text, typed ASCII or, as some cameras write it,
    // UNDEFINED, with or without its closing NUL; and the XMP packet of a
    // TIFF-based file, its tag 700.
    bool walk(qint64 directory, qint64 base, QList<DateField> &fields, qint64 *exif) const
    {
        constexpr quint32 Ascii = 2, Undefined = 7, Byte = 1;
        constexpr qint64 FaceLength = 19;
        if (!available(directory, 2))
            return false;
        const quint32 count = unsigned16(directory);
        if (!available(directory + 2, qint64(count) * 12))
            return false;
        for (quint32 i = 0; i < count; ++i) {
            const qint64 entry = directory + 2 + qint64(i) * 12;
            const quint32 tag = unsigned16(entry);
            const quint32 type = unsigned16(entry + 2);
            const qint64 length = unsigned32(entry + 4);
            const qint64 value = m_start + unsigned32(entry + 8);
            if (exif && tag == 0x8769)
                *exif = m_start + unsigned32(entry + 8);
            if ((tag == 0x0132 || tag == 0x9003 || tag == 0x9004)
                && (type == Ascii || type == Undefined) && length >= FaceLength) {
                if (!available(value, FaceLength))
                    return false;
                fields.append({ base + value, m_bytes.sliced(value, FaceLength).toByteArray() });
            } else if (tag == 700 && (type == Byte || type == Undefined) && length > 4) {
                if (!available(value, length))
                    return false;
                xmpFields(m_bytes.sliced(value, length), base + value, fields);
            }
        }
        return true;
    }

    QByteArrayView m_bytes;
    qint64 m_start;
};

// The segments of a JPEG before its picture: EXIF and XMP are APP1 ones.
bool jpegFields(QByteArrayView bytes, QList<DateField> &fields)
{
    static const QByteArray exifMark("Exif\0\0", 6);
    static const QByteArray xmpMark("http://ns.adobe.com/xap/1.0/\0", 29);
    for (qint64 at = 2; at + 4 <= bytes.size();) {
        if (uchar(bytes.at(at)) != 0xFF)
            return false;
        const uchar marker = uchar(bytes.at(at + 1));
        if (marker == 0xDA || marker == 0xD9)
            return true;
        const qint64 length = qint64(uchar(bytes.at(at + 2))) << 8 | uchar(bytes.at(at + 3));
        const qint64 body = at + 4;
        const qint64 end = at + 2 + length;
        if (length < 2 || end > bytes.size())
            return false;
        const QByteArrayView segment = bytes.sliced(body, end - body);
        if (marker == 0xE1 && segment.startsWith(exifMark)) {
            if (!tiffFields(bytes.first(end), body + 6, 0, fields))
                return false;
        } else if (marker == 0xE1 && segment.startsWith(xmpMark)) {
            xmpFields(segment.sliced(xmpMark.size()), body + xmpMark.size(), fields);
        }
        at = end;
    }
    return false;
}

// Whether the bytes are an XMP sidecar's, as editors write them beside a
// photo: a packet from its first character, perhaps after an XML header.
bool isSidecar(QByteArrayView bytes)
{
    QByteArrayView start = bytes.first(std::min<qsizetype>(bytes.size(), 1024));
    if (start.startsWith("\xEF\xBB\xBF"))
        start = start.sliced(3);
    return start.trimmed().startsWith('<') && start.contains("<x:xmpmeta");
}

// A clock face read as it is, with no time zone: seconds from the start of
// the proleptic calendar's day 0, and its length. Nothing for a field that
// holds no date, as a camera that never had its clock set writes.
struct Face
{
    qint64 day = 0;
    qint64 second = 0;
};

std::optional<Face> faceOf(QByteArrayView value)
{
    const auto number = [&](qsizetype at, qsizetype digits) -> int {
        int n = 0;
        for (qsizetype i = at; i < at + digits; ++i) {
            if (value.at(i) < '0' || value.at(i) > '9')
                return -1;
            n = n * 10 + (value.at(i) - '0');
        }
        return n;
    };
    if (faceLength(value) != value.size())
        return std::nullopt;
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const int hour = value.size() > 10 ? number(11, 2) : 0;
    const int minute = value.size() > 10 ? number(14, 2) : 0;
    const int second = value.size() > 16 ? number(17, 2) : 0;
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return Face { date.toJulianDay(), hour * 3600LL + minute * 60 + second };
}

// The face moved by whole days and seconds, written in its own form; nothing
// where it would leave the years 0001 to 9999.
std::optional<QByteArray> movedFace(const QByteArray &value, const Face &face, qint64 seconds)
{
    qint64 moment = 0;
    if (__builtin_add_overflow(face.day * SecondsPerDay + face.second, seconds, &moment))
        return std::nullopt;
    const qint64 day = moment / SecondsPerDay - (moment % SecondsPerDay < 0);
    const qint64 second = moment - day * SecondsPerDay;
    const QDate date = QDate::fromJulianDay(day);
    if (date.year() < 1 || date.year() > 9999)
        return std::nullopt;
    QByteArray moved = value;
    const auto put = [&](qsizetype at, qsizetype digits, qint64 number) {
        if (at + digits <= moved.size())
            moved.replace(at, digits, QByteArray::number(number).rightJustified(digits, '0'));
    };
    put(0, 4, date.year());
    put(5, 2, date.month());
    put(8, 2, date.day());
    put(11, 2, second / 3600);
    put(14, 2, second / 60 % 60);
    put(17, 2, second % 60);
    return moved;
}

quint64 bigEndian(const QByteArray &value)
{
    quint64 number = 0;
    for (const char c : value)
        number = number << 8 | uchar(c);
    return number;
}

// A movie's time moved; nothing where it would leave what its field holds,
// or the years 1904 to 9999. 0 is a time never set.
std::optional<QByteArray> movedMovieTime(const QByteArray &value, qint64 seconds)
{
    const quint64 time = bigEndian(value);
    if (time == 0 || time >= quint64(MovieYear10000))
        return value;
    qint64 moved = 0;
    const qint64 largest = value.size() == 4 ? 0xFFFFFFFFLL : MovieYear10000 - 1;
    if (__builtin_add_overflow(qint64(time), seconds, &moved) || moved <= 0 || moved > largest)
        return std::nullopt;
    QByteArray bytes(value.size(), '\0');
    for (qsizetype i = bytes.size() - 1; i >= 0; --i, moved >>= 8)
        bytes[i] = char(moved & 0xFF);
    return bytes;
}

} // namespace

bool tiffFields(QByteArrayView bytes, qint64 start, qint64 base, QList<DateField> &fields)
{
    const Tiff tiff(bytes, start);
    return tiff.isTiff() && tiff.dates(base, fields);
}

// XMP keeps its dates as text: <xmp:CreateDate>2026-08-10T11:03:00+02:00<...
// or xmp:CreateDate = "...", with or without its seconds or its time, and
// darktable its exif:DateTimeOriginal as EXIF does, "2026:08:10 11:03:00".
// The clock face is the field; the offset stays.
void xmpFields(QByteArrayView bytes, qint64 base, QList<DateField> &fields)
{
    static const QRegularExpression date(QStringLiteral(
        "(?:xmp:CreateDate|xmp:ModifyDate|exif:DateTimeOriginal|exif:DateTimeDigitized|"
        "photoshop:DateCreated)(?:\\s*=\\s*[\"']|>)(\\d{4}[-:]\\d\\d[-:]\\d\\d)"));
    const QString text = QString::fromLatin1(bytes);
    for (auto match = date.globalMatch(text); match.hasNext();) {
        const qsizetype at = match.next().capturedStart(1);
        if (const qsizetype length = faceLength(bytes.sliced(at)))
            fields.append({ base + at, bytes.sliced(at, length).toByteArray() });
    }
}

qsizetype faceLength(QByteArrayView text)
{
    static const QRegularExpression face(QStringLiteral(
        "^(?:\\d{4}-\\d\\d-\\d\\d(?:[T ]\\d\\d:\\d\\d(?::\\d\\d)?)?|\\d{4}:\\d\\d:\\d\\d "
        "\\d\\d:\\d\\d(?::\\d\\d)?)(?![\\d:T])"));
    const QRegularExpressionMatch found =
        face.match(QString::fromLatin1(text.first(std::min<qsizetype>(text.size(), 20))));
    return found.hasMatch() ? found.capturedLength() : 0;
}

QByteArray zoneAfter(QByteArrayView text)
{
    static const QRegularExpression zone(
        QStringLiteral("^(?:\\.\\d{1,9})?(Z|[+-]\\d\\d:?\\d\\d)(?![\\d:])"));
    const QRegularExpressionMatch found =
        zone.match(QString::fromLatin1(text.first(std::min<qsizetype>(text.size(), 17))));
    return found.hasMatch() ? found.captured(1).toLatin1() : QByteArray();
}

std::optional<CaptureDates> captureDates(QByteArrayView head, qint64 size, const ReadAt &readAt)
{
    CaptureDates dates;
    if (isSidecar(head)) {
        // A sidecar's dates may lie anywhere in it, so only a whole one tells.
        if (head.size() < size)
            return std::nullopt;
        xmpFields(head, 0, dates.fields);
        return dates;
    }
    if (head.startsWith("\xFF\xD8")) {
        if (!jpegFields(head, dates.fields))
            return std::nullopt;
        return dates;
    }
    if (isBoxFile(head)) {
        if (!boxFields(head, size, readAt, dates))
            return std::nullopt;
        return dates;
    }
    if (!tiffFields(head, 0, 0, dates.fields))
        return std::nullopt;
    return dates;
}

bool mayHoldDates(QByteArrayView head)
{
    return head.startsWith("\xFF\xD8") || Tiff(head, 0).isTiff() || isSidecar(head);
}

// Clock faces, with no time zone in the arithmetic: the camera's clock was
// off by the span, whatever the season, and an hour a local clock skips is
// like any other. A day alone moves only when the photo's day does, as its
// first full date tells, or else by the span's whole days.
std::optional<QList<QByteArray>> shiftedDates(const QList<DateField> &fields, qint64 seconds)
{
    qint64 days = seconds / SecondsPerDay;
    for (const DateField &field : fields) {
        const std::optional<Face> face =
            field.movieTime || field.value.size() == 10 ? std::nullopt : faceOf(field.value);
        if (face) {
            const std::optional<QByteArray> moved = movedFace(field.value, *face, seconds);
            if (!moved)
                return std::nullopt;
            days = faceOf(*moved)->day - face->day;
            break;
        }
    }
    QList<QByteArray> values;
    for (const DateField &field : fields) {
        std::optional<QByteArray> moved = field.value;
        if (field.movieTime) {
            moved = movedMovieTime(field.value, seconds);
        } else if (const std::optional<Face> face = faceOf(field.value)) {
            moved = field.value.size() == 10 ? movedFace(field.value, *face, days * SecondsPerDay)
                                             : movedFace(field.value, *face, seconds);
        }
        if (!moved)
            return std::nullopt;
        values.append(*moved);
    }
    return values;
}

QList<QByteArray> blankedDates(const QList<DateField> &fields)
{
    QList<QByteArray> blanks;
    for (const DateField &field : fields)
        blanks.append(QByteArray(field.value.size(), '\0'));
    return blanks;
}

bool agreesWithReadAside(QByteArrayView piece, qint64 offset, const CaptureDates &dates)
{
    for (const auto &[at, bytes] : dates.readAside) {
        const qint64 from = std::max(at, offset);
        const qint64 to = std::min(at + bytes.size(), offset + piece.size());
        if (from < to
            && piece.sliced(from - offset, to - from)
                != QByteArrayView(bytes).sliced(from - at, to - from))
            return false;
    }
    return true;
}

void putDates(char *piece, qint64 count, qint64 offset, const QList<DateField> &fields,
    const QList<QByteArray> &values)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const qint64 at = fields.at(i).offset;
        const qint64 from = std::max(at, offset);
        const qint64 to = std::min(at + values.at(i).size(), offset + count);
        if (from < to)
            std::copy_n(values.at(i).constData() + (from - at), to - from, piece + (from - offset));
    }
}

std::optional<qint64> zonedCreated(const CaptureDates &dates)
{
    std::optional<qint64> earliest;
    for (const DateField &field : dates.fields) {
        const std::optional<Face> face = field.zone.isEmpty() ? std::nullopt : faceOf(field.value);
        if (!face)
            continue;
        const qint64 east = field.zone == "Z"
            ? 0
            : (field.zone.mid(1, 2).toLongLong() * 60 + field.zone.right(2).toLongLong()) * 60;
        const qint64 moment = (face->day - QDate(1970, 1, 1).toJulianDay()) * SecondsPerDay
            + face->second - (field.zone.startsWith('-') ? -east : east);
        earliest = std::min(moment, earliest.value_or(moment));
    }
    return earliest;
}

bool keepsDates(QByteArrayView head)
{
    return mayHoldDates(head) || isBoxFile(head);
}

std::optional<qint64> movieCreated(const CaptureDates &dates)
{
    for (const DateField &field : dates.fields) {
        if (!field.movieTime)
            continue;
        const quint64 time = bigEndian(field.value);
        if (time == 0 || time >= quint64(MovieYear10000))
            return std::nullopt;
        return qint64(time) - MovieEpoch;
    }
    return std::nullopt;
}

} // namespace platform
