#include "platform/capturedates.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>

namespace platform {

namespace {

constexpr qsizetype FaceLength = 19;

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

    // The date fields of the main directory and of the EXIF one, or false
    // where a directory leads outside what was read.
    bool dates(QList<qint64> &offsets) const
    {
        const qint64 main = m_start + unsigned32(m_start + 4);
        qint64 exif = -1;
        if (!walk(main, { 0x0132 }, offsets, &exif))
            return false;
        return exif < 0 || walk(exif, { 0x9003, 0x9004 }, offsets, nullptr);
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

    // The 19 characters of each wanted tag that holds a date as text.
    bool walk(qint64 directory, std::initializer_list<quint32> wanted, QList<qint64> &offsets,
        qint64 *exif) const
    {
        if (!available(directory, 2))
            return false;
        const quint32 count = unsigned16(directory);
        if (!available(directory + 2, qint64(count) * 12))
            return false;
        for (quint32 i = 0; i < count; ++i) {
            const qint64 entry = directory + 2 + qint64(i) * 12;
            const quint32 tag = unsigned16(entry);
            if (exif && tag == 0x8769)
                *exif = m_start + unsigned32(entry + 8);
            const bool isText = unsigned16(entry + 2) == 2 && unsigned32(entry + 4) >= 20;
            if (!isText || std::find(wanted.begin(), wanted.end(), tag) == wanted.end())
                continue;
            const qint64 value = m_start + unsigned32(entry + 8);
            if (!available(value, FaceLength))
                return false;
            offsets.append(value);
        }
        return true;
    }

    QByteArrayView m_bytes;
    qint64 m_start;
};

void exifFields(const QList<qint64> &offsets, QList<DateField> &fields)
{
    for (const qint64 offset : offsets)
        fields.append({ offset, false });
}

// XMP keeps its dates as text: <xmp:CreateDate>2026-08-10T11:03:00+02:00<...
// or xmp:CreateDate="...", and darktable its exif:DateTimeOriginal as EXIF
// does, "2026:08:10 11:03:00". The clock face is the field; the offset stays.
void xmpFields(QByteArrayView bytes, qint64 start, qint64 end, QList<DateField> &fields)
{
    static const QRegularExpression date(QStringLiteral(
        "(?:xmp:CreateDate|xmp:ModifyDate|exif:DateTimeOriginal|exif:DateTimeDigitized|"
        "photoshop:DateCreated)(?:=[\"']|>)(\\d{4}(-\\d\\d-\\d\\dT|:\\d\\d:\\d\\d "
        ")\\d\\d:\\d\\d:\\d\\d)"));
    const QString text = QString::fromLatin1(bytes.sliced(start, end - start));
    for (auto match = date.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        fields.append(
            { start + found.capturedStart(1), found.captured(2).startsWith(QLatin1Char('-')) });
    }
}

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
            const Tiff tiff(bytes.first(end), body + 6);
            QList<qint64> offsets;
            if (!tiff.isTiff() || !tiff.dates(offsets))
                return false;
            exifFields(offsets, fields);
        } else if (marker == 0xE1 && segment.startsWith(xmpMark)) {
            xmpFields(bytes, body + xmpMark.size(), end, fields);
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

} // namespace

// A sidecar's dates may lie anywhere in it, so only a whole one tells.
std::optional<QList<DateField>> captureDateFields(QByteArrayView head, bool whole)
{
    QList<DateField> fields;
    if (isSidecar(head)) {
        if (!whole)
            return std::nullopt;
        xmpFields(head, 0, head.size(), fields);
        return fields;
    }
    if (head.startsWith("\xFF\xD8"))
        return jpegFields(head, fields) ? std::optional(fields) : std::nullopt;
    const Tiff tiff(head, 0);
    QList<qint64> offsets;
    if (!tiff.isTiff() || !tiff.dates(offsets))
        return std::nullopt;
    exifFields(offsets, fields);
    return fields;
}

bool mayHoldDates(QByteArrayView head)
{
    return head.startsWith("\xFF\xD8") || Tiff(head, 0).isTiff() || isSidecar(head);
}

// Clock faces, with no time zone in the arithmetic: the camera's clock was
// off by the span, whatever the season.
void shiftDates(QByteArray &head, const QList<DateField> &fields, qint64 seconds)
{
    for (const DateField &field : fields) {
        const QString form =
            QString::fromLatin1(field.isoForm ? "yyyy-MM-ddTHH:mm:ss" : "yyyy:MM:dd HH:mm:ss");
        const QDateTime read =
            QDateTime::fromString(QString::fromLatin1(head.mid(field.offset, FaceLength)), form);
        if (!read.isValid())
            continue;
        const QByteArray moved = QDateTime(read.date(), read.time(), QTimeZone::utc())
                                     .addSecs(seconds)
                                     .toString(form)
                                     .toLatin1();
        if (moved.size() == FaceLength)
            head.replace(field.offset, FaceLength, moved);
    }
}

void blankDates(QByteArray &head, const QList<DateField> &fields)
{
    for (const DateField &field : fields)
        head.replace(field.offset, FaceLength, QByteArray(FaceLength, '\0'));
}

} // namespace platform
