#include "platform/capturedates.h"

#include "platform/fileops.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>

namespace platform {

namespace {

// The metadata of a JPEG lies in its first segments; a TIFF's (and most raw
// formats') directories near its start.
constexpr qint64 FirstMetadataBytes = 128 << 10;
constexpr qint64 MetadataBytes = 1 << 20;

// A clock face shifted by the span, as a camera whose clock was off shows it.
QByteArray shifted(const QByteArray &face, const char *format, qint64 seconds)
{
    const QString form = QString::fromLatin1(format);
    const QDateTime read = QDateTime::fromString(QString::fromLatin1(face), form);
    if (!read.isValid())
        return {};
    const QDateTime moved = QDateTime(read.date(), read.time(), QTimeZone::utc()).addSecs(seconds);
    return moved.toString(form).toLatin1();
}

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
            if (!available(value, 19))
                return false;
            offsets.append(value);
        }
        return true;
    }

    QByteArrayView m_bytes;
    qint64 m_start;
};

void patchExif(const QByteArray &bytes, const QList<qint64> &offsets, qint64 seconds,
    QList<BytePatch> &patches)
{
    for (const qint64 offset : offsets) {
        const QByteArray date = shifted(bytes.mid(offset, 19), "yyyy:MM:dd HH:mm:ss", seconds);
        if (!date.isEmpty())
            patches.append({ offset, date });
    }
}

// XMP keeps its dates as text: <xmp:CreateDate>2026-08-10T11:03:00+02:00<...
// or xmp:CreateDate="...", and darktable its exif:DateTimeOriginal as EXIF
// does, "2026:08:10 11:03:00". The clock face is rewritten, the offset kept.
void patchXmp(
    const QByteArray &bytes, qint64 start, qint64 end, qint64 seconds, QList<BytePatch> &patches)
{
    static const QRegularExpression date(QStringLiteral(
        "(?:xmp:CreateDate|xmp:ModifyDate|exif:DateTimeOriginal|exif:DateTimeDigitized|"
        "photoshop:DateCreated)(?:=[\"']|>)(\\d{4}(-\\d\\d-\\d\\dT|:\\d\\d:\\d\\d "
        ")\\d\\d:\\d\\d:\\d\\d)"));
    const QString text = QString::fromLatin1(bytes.mid(start, end - start));
    for (auto match = date.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        const char *format = found.captured(2).startsWith(QLatin1Char('-')) ? "yyyy-MM-ddTHH:mm:ss"
                                                                            : "yyyy:MM:dd HH:mm:ss";
        const QByteArray moved = shifted(found.captured(1).toLatin1(), format, seconds);
        if (!moved.isEmpty())
            patches.append({ start + found.capturedStart(1), moved });
    }
}

// The segments of a JPEG before its picture: EXIF and XMP are APP1 ones.
bool patchJpeg(const QByteArray &bytes, qint64 seconds, QList<BytePatch> &patches)
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
        if (marker == 0xE1 && bytes.mid(body, 6) == exifMark) {
            const Tiff tiff(QByteArrayView(bytes).first(end), body + 6);
            QList<qint64> offsets;
            if (!tiff.isTiff() || !tiff.dates(offsets))
                return false;
            patchExif(bytes, offsets, seconds, patches);
        } else if (marker == 0xE1 && bytes.mid(body, xmpMark.size()) == xmpMark) {
            patchXmp(bytes, body + xmpMark.size(), end, seconds, patches);
        }
        at = end;
    }
    return false;
}

// Whether the bytes are an XMP sidecar's, as editors write them beside a
// photo: a packet from its first character, perhaps after an XML header.
bool isSidecar(const QByteArray &bytes)
{
    QByteArrayView start = QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 1024));
    if (start.startsWith("\xEF\xBB\xBF"))
        start = start.sliced(3);
    return start.trimmed().startsWith('<') && start.contains("<x:xmpmeta");
}

// The patches of the bytes a file starts with, whole or not; nothing where
// its dates cannot be found in them. A sidecar's dates may lie anywhere in
// it, so only a whole one tells.
std::optional<QList<BytePatch>> patchesOf(const QByteArray &bytes, bool whole, qint64 seconds)
{
    QList<BytePatch> patches;
    if (isSidecar(bytes)) {
        if (!whole)
            return std::nullopt;
        patchXmp(bytes, 0, bytes.size(), seconds, patches);
        return patches;
    }
    if (bytes.startsWith("\xFF\xD8"))
        return patchJpeg(bytes, seconds, patches) ? std::optional(patches) : std::nullopt;
    const Tiff tiff(bytes, 0);
    QList<qint64> offsets;
    if (!tiff.isTiff() || !tiff.dates(offsets))
        return std::nullopt;
    patchExif(bytes, offsets, seconds, patches);
    return patches;
}

} // namespace

// Most photos hold their dates in their first segments: a larger start is
// read only where those do not tell.
std::optional<QList<BytePatch>> captureDatePatches(const QString &path, qint64 seconds)
{
    for (const qint64 size : { FirstMetadataBytes, MetadataBytes }) {
        const QByteArray bytes = fileStart(path, size);
        const bool whole = bytes.size() < size;
        const auto patches = patchesOf(bytes, whole, seconds);
        if (patches || whole)
            return patches;
    }
    return std::nullopt;
}

void applyPatches(char *data, qint64 size, qint64 offset, const QList<BytePatch> &patches)
{
    for (const BytePatch &patch : patches) {
        const qint64 from = std::max(patch.offset, offset);
        const qint64 to = std::min(patch.offset + patch.bytes.size(), offset + size);
        for (qint64 at = from; at < to; ++at)
            data[at - offset] = patch.bytes.at(at - patch.offset);
    }
}

} // namespace platform
