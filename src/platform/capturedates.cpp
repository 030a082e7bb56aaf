#include "platform/capturedates.h"

#include "platform/datefields.h"

#include <QDate>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>

namespace platform {

namespace {

constexpr qint64 SecondsPerDay = 86400;
// From 1904, where a movie's times count from, to 1970.
constexpr qint64 MovieEpoch = 2082844800;
// The first second of the year 10000, counted as a movie counts it.
constexpr qint64 MovieYear10000 = 253402300800 + MovieEpoch;

// Whether a date field holds a date's form: a clock face, or what a camera
// whose clock was never set writes, blanks or zeros.
bool holdsDateForm(QByteArrayView value)
{
    return faceLength(value) == value.size() || std::all_of(value.begin(), value.end(), [](char c) {
        return c == ' ' || c == ':' || c == '\0';
    });
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

    // The dates of the directories: the main one and those after it, their
    // EXIF ones and those of their images. A CR3's EXIF directory is the
    // main one of its own structure. A date lies in the metadata, outside
    // the directories themselves and the image data they point to; a field
    // that does not, or holds no date's form, is none. False where such a
    // field holds a clock face, which this cannot rewrite where it lies.
    bool dates(qint64 base, QList<DateField> &fields) const
    {
        Walk walked;
        follow(m_start + unsigned32(m_start + 4), true, walked);
        for (qsizetype i = 0; i < walked.directories.size(); ++i) {
            const auto [directory, mainChain] = walked.directories.at(i);
            if (i == MostDirectories || !walk(directory, mainChain, walked))
                return false;
        }
        for (const DateField &field : std::as_const(walked.fields)) {
            const auto overlaps = [&](const std::pair<qint64, qint64> &span) {
                return field.offset < span.second && span.first < field.offset + field.value.size();
            };
            if (std::none_of(walked.notMetadata.cbegin(), walked.notMetadata.cend(), overlaps)
                && holdsDateForm(field.value)) {
                fields.append({ base + field.offset, field.value });
            } else if (faceLength(field.value) > 0) {
                return false;
            }
        }
        return true;
    }

private:
    // More than any camera writes: a structure that leads further is not
    // walked to its end.
    static constexpr qsizetype MostDirectories = 64;

    // What the directories hold, in the bytes: date fields, and the spans,
    // from and to, where no date may lie.
    struct Walk
    {
        // Those to walk, and whether each is of the main chain, whose next
        // directory comes after it.
        QList<std::pair<qint64, bool>> directories;
        QList<DateField> fields;
        QList<std::pair<qint64, qint64>> notMetadata;
    };

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

    // The numbers of an entry typed SHORT, LONG or IFD, in it or where it
    // points; nothing where it is of another type or they lie outside the
    // bytes.
    std::optional<QList<qint64>> numbers(qint64 entry, Walk &walked) const
    {
        constexpr quint32 Short = 3, Long = 4, Ifd = 13;
        const quint32 type = unsigned16(entry + 2);
        const qint64 count = unsigned32(entry + 4);
        const qint64 size = type == Short ? 2 : 4;
        if (type != Short && type != Long && type != Ifd)
            return std::nullopt;
        qint64 at = entry + 8;
        if (count * size > 4) {
            at = m_start + unsigned32(entry + 8);
            if (!available(at, count * size))
                return std::nullopt;
            walked.notMetadata.append({ at, at + count * size });
        }
        QList<qint64> numbers;
        for (qint64 i = 0; i < count; ++i)
            numbers.append(size == 2 ? unsigned16(at + 2 * i) : unsigned32(at + 4 * i));
        return numbers;
    }

    // Each date as text, typed ASCII or, as some cameras write it,
    // UNDEFINED, with or without its closing NUL; the XMP packet of a
    // TIFF-based file, its tag 700; the directories it leads to; and its
    // image data: strips, tiles or a JPEG thumbnail, each at its offset for
    // its count of bytes, or to the end where that is not given.
    bool walk(qint64 directory, bool mainChain, Walk &walked) const
    {
        constexpr quint32 Ascii = 2, Undefined = 7, Byte = 1;
        constexpr qint64 FaceLength = 19;
        constexpr quint32 Exif = 0x8769, SubDirectories = 0x014A;
        // The tags of each kind of image data's offsets and counts.
        constexpr std::pair<quint32, quint32> ImageData[] = { { 0x0111, 0x0117 },
            { 0x0144, 0x0145 }, { 0x0201, 0x0202 } };
        if (!available(directory, 2))
            return false;
        const quint32 count = unsigned16(directory);
        const qint64 end = directory + 2 + qint64(count) * 12;
        if (!available(directory + 2, qint64(count) * 12 + (mainChain ? 4 : 0)))
            return false;
        walked.notMetadata.append({ directory, end + 4 });
        QMap<quint32, QList<qint64>> pointers;
        for (qint64 entry = directory + 2; entry < end; entry += 12) {
            const quint32 tag = unsigned16(entry);
            const quint32 type = unsigned16(entry + 2);
            const qint64 length = unsigned32(entry + 4);
            const qint64 value = m_start + unsigned32(entry + 8);
            const auto isImageTag = [&](const std::pair<quint32, quint32> &tags) {
                return tag == tags.first || tag == tags.second;
            };
            if (tag == Exif || tag == SubDirectories
                || std::any_of(std::begin(ImageData), std::end(ImageData), isImageTag)) {
                const std::optional<QList<qint64>> found = numbers(entry, walked);
                if (!found)
                    return false;
                pointers.insert(tag, *found);
            } else if ((tag == 0x0132 || tag == 0x9003 || tag == 0x9004)
                && (type == Ascii || type == Undefined) && length >= FaceLength) {
                if (!available(value, FaceLength))
                    return false;
                walked.fields.append({ value, m_bytes.sliced(value, FaceLength).toByteArray() });
            } else if (tag == 700 && (type == Byte || type == Undefined) && length > 4) {
                if (!available(value, length)
                    || !xmpFields(m_bytes.sliced(value, length), value, walked.fields))
                    return false;
            }
        }
        for (const auto &[offsetsTag, countsTag] : ImageData) {
            const QList<qint64> offsets = pointers.value(offsetsTag);
            const QList<qint64> counts = pointers.value(countsTag);
            for (qsizetype i = 0; i < offsets.size(); ++i) {
                const qint64 from = m_start + offsets.at(i);
                walked.notMetadata.append(
                    { from, i < counts.size() ? from + counts.at(i) : m_bytes.size() });
            }
        }
        for (const qint64 next : pointers.value(Exif) + pointers.value(SubDirectories))
            follow(m_start + next, false, walked);
        if (mainChain && unsigned32(end) != 0)
            follow(m_start + unsigned32(end), true, walked);
        return true;
    }

    // Walks a directory once, however many lead to it.
    static void follow(qint64 directory, bool mainChain, Walk &walked)
    {
        const auto same = [&](const std::pair<qint64, bool> &other) {
            return other.first == directory;
        };
        if (walked.directories.size() <= MostDirectories
            && std::none_of(walked.directories.cbegin(), walked.directories.cend(), same))
            walked.directories.append({ directory, mainChain });
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
            if (!xmpFields(segment.sliced(xmpMark.size()), body + xmpMark.size(), fields))
                return false;
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

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
        || c == '-' || c == '.' || c == ':';
}

// An XMP property that holds a date: its namespace, the prefix exiftool
// reads it by where the document declares none, and its name.
struct XmpDate
{
    QByteArrayView uri;
    QByteArrayView prefix;
    QByteArrayView name;
};

// The properties exiftool reads as times, the capture's first: a day alone
// moves as the first full date does. xmpMM's history, versions and the
// documents a file came from keep theirs in their structures' namespaces.
// GPS times stay: a satellite's clock gave them, not the camera's.
constexpr XmpDate XmpDates[] = {
    { "http://ns.adobe.com/exif/1.0/", "exif", "DateTimeOriginal" },
    { "http://ns.adobe.com/exif/1.0/", "exif", "DateTimeDigitized" },
    { "http://ns.adobe.com/xap/1.0/", "xmp", "CreateDate" },
    { "http://ns.adobe.com/photoshop/1.0/", "photoshop", "DateCreated" },
    { "http://ns.adobe.com/xap/1.0/", "xmp", "ModifyDate" },
    { "http://ns.adobe.com/xap/1.0/", "xmp", "MetadataDate" },
    { "http://ns.adobe.com/tiff/1.0/", "tiff", "DateTime" },
    { "http://ns.adobe.com/xap/1.0/sType/ResourceEvent#", "stEvt", "when" },
    { "http://ns.adobe.com/xap/1.0/sType/ResourceRef#", "stRef", "lastModifyDate" },
    { "http://ns.adobe.com/xap/1.0/sType/Version#", "stVer", "modifyDate" },
    { "http://ns.adobe.com/xmp/1.0/DynamicMedia/", "xmpDM", "shotDate" },
    { "http://ns.adobe.com/xmp/1.0/DynamicMedia/", "xmpDM", "releaseDate" },
    { "http://ns.adobe.com/xmp/1.0/DynamicMedia/", "xmpDM", "metadataModDate" },
    { "http://ns.adobe.com/xmp/1.0/DynamicMedia/", "xmpDM", "videoModDate" },
    { "http://ns.adobe.com/xmp/1.0/DynamicMedia/", "xmpDM", "audioModDate" },
};

bool isDateNamespace(QByteArrayView uri)
{
    return std::any_of(std::begin(XmpDates), std::end(XmpDates),
        [&](const XmpDate &property) { return property.uri == uri; });
}

// The value of an attribute whose name ends at end: from its opening quote
// to its closing one, or to the end of the bytes; nothing where no value
// is given there.
std::optional<QByteArrayView> attributeValue(QByteArrayView bytes, qsizetype end)
{
    const auto afterBlanks = [&](qsizetype at) {
        while (at < bytes.size() && isBlank(bytes.at(at)))
            ++at;
        return at;
    };
    const qsizetype equals = afterBlanks(end);
    if (equals == bytes.size() || bytes.at(equals) != '=')
        return std::nullopt;
    const qsizetype quote = afterBlanks(equals + 1);
    if (quote == bytes.size() || (bytes.at(quote) != '"' && bytes.at(quote) != '\''))
        return std::nullopt;
    const qsizetype close = bytes.indexOf(bytes.at(quote), quote + 1);
    return bytes.sliced(quote + 1, (close < 0 ? bytes.size() : close) - quote - 1);
}

// The value of the property whose name lies at `at`: an attribute's, or an
// element's text up to its closing tag; nothing where the name is not a
// property's there.
std::optional<QByteArrayView> xmpValue(QByteArrayView bytes, qsizetype at, qsizetype length)
{
    const qsizetype end = at + length;
    if (at == 0 || (end < bytes.size() && isNameChar(bytes.at(end))))
        return std::nullopt;
    if (isBlank(bytes.at(at - 1)))
        return attributeValue(bytes, end);
    if (bytes.at(at - 1) != '<')
        return std::nullopt;
    const qsizetype tagEnd = bytes.indexOf('>', end);
    if (tagEnd < 0 || bytes.at(tagEnd - 1) == '/')
        return QByteArrayView();
    const qsizetype close = bytes.indexOf("</", tagEnd);
    return bytes.sliced(tagEnd + 1, (close < 0 ? bytes.size() : close) - tagEnd - 1);
}

// A prefix and the namespace of dates it stands for.
struct Binding
{
    QByteArrayView prefix;
    QByteArrayView uri;
    bool operator==(const Binding &) const = default;
};

// The prefixes of the namespaces of XmpDates, as the document declares
// them, xmlns:prefix="uri"; a namespace's own prefix where it declares no
// such prefix. Nothing where a prefix stands for one of them and for another
// namespace besides, or one of them is the default namespace: which
// properties are its would take the document's scopes.
std::optional<QList<Binding>> xmpBindings(QByteArrayView bytes)
{
    QList<std::pair<QByteArrayView, QByteArrayView>> declared;
    for (qsizetype equals = bytes.indexOf('='); equals >= 0;
         equals = bytes.indexOf('=', equals + 1)) {
        qsizetype end = equals;
        while (end > 0 && isBlank(bytes.at(end - 1)))
            --end;
        qsizetype from = end;
        while (from > 0 && isNameChar(bytes.at(from - 1)))
            --from;
        const QByteArrayView name = bytes.sliced(from, end - from);
        if (from == 0 || !isBlank(bytes.at(from - 1))
            || !(name == "xmlns" || name.startsWith("xmlns:")))
            continue;
        if (const std::optional<QByteArrayView> uri = attributeValue(bytes, end))
            declared.append({ name == "xmlns" ? QByteArrayView() : name.sliced(6), *uri });
    }
    QList<Binding> bindings;
    for (const auto &[prefix, uri] : declared) {
        if (!isDateNamespace(uri))
            continue;
        const auto other = [&](const auto &declaration) {
            return declaration.first == prefix && declaration.second != uri;
        };
        if (prefix.isEmpty() || std::any_of(declared.cbegin(), declared.cend(), other))
            return std::nullopt;
        if (!bindings.contains(Binding { prefix, uri }))
            bindings.append({ prefix, uri });
    }
    for (const XmpDate &property : XmpDates) {
        const auto same = [&](const auto &declaration) {
            return declaration.first == property.prefix;
        };
        const Binding own { property.prefix, property.uri };
        if (std::none_of(declared.cbegin(), declared.cend(), same) && !bindings.contains(own))
            bindings.append(own);
    }
    return bindings;
}

// The place in XmpDates of the property named prefix:name; -1 for another.
qsizetype dateProperty(const QList<Binding> &bindings, QByteArrayView prefix, QByteArrayView name)
{
    for (const Binding &binding : bindings) {
        if (binding.prefix != prefix)
            continue;
        for (qsizetype i = 0; i < qsizetype(std::size(XmpDates)); ++i) {
            if (XmpDates[i].uri == binding.uri && XmpDates[i].name == name)
                return i;
        }
    }
    return -1;
}

// Whether what follows a clock face in XMP is what a date may end with: a
// fraction of its second, and its offset from UTC.
bool endsDate(QByteArrayView rest)
{
    static const QRegularExpression end(QStringLiteral("^(?:\\.\\d+)?(?:Z|[+-]\\d\\d:\\d\\d)?$"));
    return end.match(QString::fromLatin1(rest)).hasMatch();
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
// The clock face is the field; the offset stays. A property is known by its
// namespace, whatever prefix the document binds to it.
bool xmpFields(QByteArrayView bytes, qint64 base, QList<DateField> &fields)
{
    const std::optional<QList<Binding>> bindings = xmpBindings(bytes);
    if (!bindings)
        return false;
    // Each name prefix:name, by its colon, with its place in XmpDates.
    QList<std::pair<qsizetype, DateField>> found;
    for (qsizetype colon = bytes.indexOf(':'); colon >= 0; colon = bytes.indexOf(':', colon + 1)) {
        qsizetype from = colon;
        while (from > 0 && isNameChar(bytes.at(from - 1)) && bytes.at(from - 1) != ':')
            --from;
        qsizetype to = colon + 1;
        while (to < bytes.size() && isNameChar(bytes.at(to)) && bytes.at(to) != ':')
            ++to;
        const qsizetype rank = dateProperty(
            *bindings, bytes.sliced(from, colon - from), bytes.sliced(colon + 1, to - colon - 1));
        const std::optional<QByteArrayView> value =
            rank < 0 ? std::nullopt : xmpValue(bytes, from, to - from);
        if (!value || value->isEmpty())
            continue;
        const qsizetype length = faceLength(*value);
        if (length == 0 || !endsDate(value->sliced(length)))
            return false;
        found.append({ rank,
            { base + (value->data() - bytes.data()), value->first(length).toByteArray() } });
    }
    std::stable_sort(found.begin(), found.end(),
        [](const auto &one, const auto &other) { return one.first < other.first; });
    for (const auto &[rank, field] : std::as_const(found))
        fields.append(field);
    return true;
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
        if (!xmpFields(head, 0, dates.fields))
            return std::nullopt;
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
