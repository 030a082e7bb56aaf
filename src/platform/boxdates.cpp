#include "platform/datefields.h"

#include <QHash>
#include <QSet>

namespace platform {

namespace {

// A box this reads whole: a movie's header, XMP, a HEIC's item table, an
// EXIF block. Larger ones are not a camera's, and are not read into memory.
constexpr qint64 LargestRead = 1 << 20;
constexpr int DeepestBox = 8;
constexpr int MostBoxes = 100000;

// A box, its header and its body, as offsets in the file.
struct Box
{
    qint64 start = 0;
    qint64 body = 0;
    qint64 end = 0;
    QByteArray type;
    QByteArray userType;
};

// Reads numbers most significant byte first, and fails softly: a number
// past the end reads as 0 and marks the cursor as gone past it.
class Cursor
{
public:
    Cursor(QByteArrayView bytes, qint64 at)
        : m_bytes(bytes)
        , m_at(at)
    { }

    quint64 number(int size)
    {
        quint64 value = 0;
        if (size < 0 || m_at < 0 || m_at + size > m_bytes.size()) {
            m_past = true;
            return 0;
        }
        for (int i = 0; i < size; ++i)
            value = value << 8 | uchar(m_bytes.at(m_at + i));
        m_at += size;
        return value;
    }
    QByteArray type()
    {
        const qint64 at = m_at;
        number(4);
        return m_past ? QByteArray() : m_bytes.sliced(at, 4).toByteArray();
    }
    QByteArray text()
    {
        const qsizetype end = m_bytes.indexOf('\0', m_at);
        if (m_at > m_bytes.size() || end < 0) {
            m_past = true;
            return {};
        }
        const QByteArray read = m_bytes.sliced(m_at, end - m_at).toByteArray();
        m_at = end + 1;
        return read;
    }
    void skip(qint64 count) { m_at += count; }
    qint64 at() const { return m_at; }
    bool past() const { return m_past; }

private:
    QByteArrayView m_bytes;
    qint64 m_at;
    bool m_past = false;
};

// Where a HEIF item lies in the file, as its location table says.
struct Item
{
    QByteArray type;
    bool xmp = false;
    qint64 offset = -1;
    qint64 length = 0;
};

class Boxes
{
public:
    Boxes(QByteArrayView head, qint64 size, const ReadAt &readAt, CaptureDates &dates)
        : m_head(head)
        , m_size(size)
        , m_readAt(readAt)
        , m_dates(dates)
    { }

    bool walk(qint64 from, qint64 to, int depth)
    {
        // A few bytes of padding after the last box are no box.
        for (qint64 at = from; to - at >= 8;) {
            const std::optional<Box> box = boxAt(at, to);
            if (!box || ++m_boxes > MostBoxes || !visit(*box, depth))
                return false;
            at = box->end;
        }
        return true;
    }

private:
    static inline const QByteArray XmpUuid =
        QByteArray::fromHex("be7acfcb97a942e89c71999491e3afac");
    static inline const QByteArray CanonUuid =
        QByteArray::fromHex("85c0b687820f11e08111f4ce462b6a48");
    static inline const QByteArray CreationDate =
        QByteArrayLiteral("mdtacom.apple.quicktime.creationdate");

    // The file's bytes from its head where they lie there; else read aside
    // and, where kept, checked by the copy against its own read.
    std::optional<QByteArray> bytes(qint64 at, qint64 count, bool keep)
    {
        if (at < 0 || count < 0 || count > LargestRead || at + count > m_size)
            return std::nullopt;
        if (at + count <= m_head.size())
            return m_head.sliced(at, count).toByteArray();
        std::optional<QByteArray> read = m_readAt(at, count);
        if (!read || read->size() != count)
            return std::nullopt;
        if (keep)
            m_dates.readAside.append({ at, *read });
        return read;
    }

    std::optional<Box> boxAt(qint64 at, qint64 to)
    {
        const std::optional<QByteArray> header = bytes(at, std::min<qint64>(32, to - at), false);
        if (!header)
            return std::nullopt;
        Cursor cursor(*header, 0);
        Box box;
        box.start = at;
        quint64 size = cursor.number(4);
        box.type = cursor.type();
        if (size == 1)
            size = cursor.number(8);
        else if (size == 0)
            size = quint64(to - at);
        if (box.type == "uuid") {
            box.userType = header->mid(cursor.at(), 16);
            cursor.skip(16);
        }
        box.body = at + cursor.at();
        if (cursor.past() || box.body > to || size > quint64(to - at) || qint64(size) < cursor.at())
            return std::nullopt;
        box.end = at + qint64(size);
        return box;
    }

    bool visit(const Box &box, int depth)
    {
        static const QSet<QByteArray> containers { "moov", "trak", "mdia", "udta", "ilst" };
        if (depth >= DeepestBox)
            return true;
        if (containers.contains(box.type))
            return walk(box.body, box.end, depth + 1);
        if (box.type == "mvhd" || box.type == "tkhd" || box.type == "mdhd")
            return movieTimes(box);
        if (box.type
            == "\xA9"
               "day")
            return dayText(box);
        if (box.type == "XMP_" || box.userType == XmpUuid)
            return xmp(box);
        if (box.userType == CanonUuid)
            return walk(box.body, box.end, depth + 1);
        if (box.type == "CMT1" || box.type == "CMT2")
            return tiff(box);
        if (box.type == "meta")
            return depth == 0 ? items(box) : movieMeta(box, depth);
        if (box.type == "keys")
            return keys(box);
        // QuickTime types an item by the number of its key.
        if (const qsizetype key = qsizetype(Cursor(box.type, 0).number(4));
            key >= 1 && key <= m_keys.size() && m_keys.at(key - 1) == CreationDate)
            return dayText(box, true);
        return true;
    }

    // The names QuickTime keeps its items by: a full box with the count of
    // its keys, each sized, with its namespace and its name.
    bool keys(const Box &box)
    {
        const std::optional<QByteArray> read = bytes(box.body, box.end - box.body, true);
        if (!read)
            return false;
        Cursor cursor(*read, 4);
        const quint64 count = cursor.number(4);
        m_keys.clear();
        for (quint64 i = 0; i < count && !cursor.past(); ++i) {
            const qint64 at = cursor.at();
            const qint64 size = qint64(cursor.number(4));
            if (size < 8 || at + size > read->size())
                return false;
            m_keys.append(read->mid(at + 4, size - 4));
            cursor = Cursor(*read, at + size);
        }
        return !cursor.past();
    }

    // The creation and modification times of a movie, a track or its media.
    bool movieTimes(const Box &box)
    {
        const std::optional<QByteArray> read = bytes(
            box.start, std::min<qint64>(box.end - box.start, box.body - box.start + 20), true);
        if (!read)
            return false;
        Cursor cursor(*read, box.body - box.start);
        const int size = cursor.number(1) == 1 ? 8 : 4;
        cursor.skip(3);
        for (int time = 0; time < 2; ++time) {
            const qint64 at = cursor.at();
            cursor.number(size);
            if (cursor.past())
                return false;
            m_dates.fields.append({ box.start + at, read->mid(at, size), true });
        }
        return true;
    }

    // A QuickTime date as text, "2026-08-10T11:03:00+0200", or an MP4's or
    // a keyed item's in its data box; its time zone, where it has one, stays.
    // A creation date by key that holds no clock face is one this cannot
    // correct.
    bool dayText(const Box &box, bool required = false)
    {
        const std::optional<QByteArray> read = bytes(box.body, box.end - box.body, true);
        if (!read)
            return false;
        const qint64 text = read->mid(4, 4) == "data" ? 16 : 4;
        const QByteArrayView value =
            QByteArrayView(*read).sliced(std::min<qint64>(text, read->size()));
        const qsizetype length = faceLength(value);
        if (length > 0)
            m_dates.fields.append({ box.body + text, read->mid(text, length), false,
                zoneAfter(value.sliced(length)) });
        return length > 0 || !required;
    }

    bool xmp(const Box &box)
    {
        const std::optional<QByteArray> read = bytes(box.body, box.end - box.body, true);
        if (!read)
            return false;
        const qsizetype first = m_dates.fields.size();
        if (!xmpFields(*read, box.body, m_dates.fields))
            return false;
        for (qsizetype i = first; i < m_dates.fields.size(); ++i) {
            DateField &field = m_dates.fields[i];
            field.zone = zoneAfter(
                QByteArrayView(*read).sliced(field.offset - box.body + field.value.size()));
        }
        return true;
    }

    // A CR3's EXIF: its main directory and its EXIF one, each a TIFF structure.
    bool tiff(const Box &box)
    {
        const std::optional<QByteArray> read = bytes(box.body, box.end - box.body, true);
        return read && tiffFields(*read, 0, box.body, m_dates.fields);
    }

    // A movie's metadata: a full box in MP4, a plain one in QuickTime. Its
    // items are numbered by its own keys.
    bool movieMeta(const Box &box, int depth)
    {
        m_keys.clear();
        const std::optional<QByteArray> start = bytes(box.body, 8, false);
        const qint64 children = start && start->mid(4, 4) == "hdlr" ? box.body : box.body + 4;
        return walk(children, box.end, depth + 1);
    }

    // A HEIC's or an AVIF's metadata: items, among them its EXIF block and
    // its XMP, found by their type and placed by the location table.
    bool items(const Box &box)
    {
        const std::optional<QByteArray> meta = bytes(box.start, box.end - box.start, true);
        if (!meta)
            return false;
        QHash<quint32, Item> found;
        for (qint64 at = box.body - box.start + 4; at + 8 <= meta->size();) {
            Cursor cursor(*meta, at);
            const qint64 size = qint64(cursor.number(4));
            const QByteArray type = cursor.type();
            if (size < 8 || at + size > meta->size())
                return false;
            const QByteArrayView child = QByteArrayView(*meta).sliced(at + 8, size - 8);
            if ((type == "iinf" && !itemTypes(child, found))
                || (type == "iloc" && !itemPlaces(child, found)))
                return false;
            at += size;
        }
        for (const Item &item : std::as_const(found)) {
            if (item.type != "Exif" && !item.xmp)
                continue;
            const std::optional<QByteArray> read =
                item.offset < 0 ? std::nullopt : bytes(item.offset, item.length, true);
            if (!read)
                return false;
            // An EXIF item starts with the offset of its TIFF structure.
            const qint64 tiff = 4 + qint64(Cursor(*read, 0).number(4));
            if (item.xmp) {
                if (!xmpFields(*read, item.offset, m_dates.fields))
                    return false;
            } else {
                if (!tiffFields(*read, tiff, item.offset, m_dates.fields))
                    return false;
                m_dates.exif = read->mid(tiff);
            }
        }
        return true;
    }

    static bool itemTypes(QByteArrayView table, QHash<quint32, Item> &found)
    {
        Cursor cursor(table, 0);
        const quint64 version = cursor.number(1);
        cursor.skip(3);
        const quint64 count = cursor.number(version == 0 ? 2 : 4);
        for (quint64 i = 0; i < count && !cursor.past(); ++i) {
            const qint64 at = cursor.at();
            const qint64 size = qint64(cursor.number(4));
            if (cursor.type() != "infe" || size < 8)
                return false;
            const quint64 infeVersion = cursor.number(1);
            cursor.skip(3);
            if (infeVersion >= 2) {
                const auto id = quint32(cursor.number(infeVersion == 2 ? 2 : 4));
                cursor.number(2);
                Item &item = found[id];
                item.type = cursor.type();
                if (item.type == "mime") {
                    cursor.text();
                    item.xmp = cursor.text().contains("rdf+xml");
                }
            }
            cursor = Cursor(table, at + size);
        }
        return !cursor.past();
    }

    // Where items lie, those placed in the file in one piece; one placed
    // otherwise, or in pieces, cannot have its dates rewritten in place.
    static bool itemPlaces(QByteArrayView table, QHash<quint32, Item> &found)
    {
        Cursor cursor(table, 0);
        const quint64 version = cursor.number(1);
        cursor.skip(3);
        const quint64 sizes = cursor.number(1);
        const int offsetSize = int(sizes >> 4), lengthSize = int(sizes & 15);
        const quint64 more = cursor.number(1);
        const int baseSize = int(more >> 4), indexSize = version >= 1 ? int(more & 15) : 0;
        const quint64 count = cursor.number(version < 2 ? 2 : 4);
        for (quint64 i = 0; i < count && !cursor.past(); ++i) {
            const auto id = quint32(cursor.number(version < 2 ? 2 : 4));
            const quint64 method = version >= 1 ? cursor.number(2) & 15 : 0;
            cursor.number(2);
            const quint64 base = cursor.number(baseSize);
            const quint64 extents = cursor.number(2);
            quint64 offset = 0, length = 0;
            for (quint64 e = 0; e < extents && !cursor.past(); ++e) {
                cursor.number(indexSize);
                offset = cursor.number(offsetSize);
                length = cursor.number(lengthSize);
            }
            // The table may come before the types.
            Item &item = found[id];
            if (method == 0 && extents == 1 && length > 0 && base + offset < quint64(1) << 62) {
                item.offset = qint64(base + offset);
                item.length = qint64(length);
            }
        }
        return !cursor.past();
    }

    QByteArrayView m_head;
    qint64 m_size;
    const ReadAt &m_readAt;
    CaptureDates &m_dates;
    int m_boxes = 0;
    // The keys of the movie metadata being walked, each its namespace and name.
    QList<QByteArray> m_keys;
};

} // namespace

bool isBoxFile(QByteArrayView head)
{
    static const QSet<QByteArray> first { "ftyp", "moov", "mdat", "wide", "free", "skip" };
    return head.size() >= 8 && first.contains(head.sliced(4, 4).toByteArray());
}

bool boxFields(QByteArrayView head, qint64 size, const ReadAt &readAt, CaptureDates &dates)
{
    return Boxes(head, size, readAt, dates).walk(0, size, 0);
}

} // namespace platform
