#include "platform/filenames.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace platform {

namespace {

// The escapes stand in the private use area: Qt's text functions keep them as
// they are, where a lone surrogate, the other usual escape, is lost to
// toLower() once it meets a letter to change.
constexpr char16_t EscapeBase = 0xEF00;

bool isEscape(char32_t c)
{
    return c >= EscapeBase + 0x80u && c <= EscapeBase + 0xFFu;
}

// The length of the well-formed UTF-8 sequence that starts the bytes, or 0:
// no overlong forms, no surrogates, nothing past U+10FFFF.
qsizetype sequenceLength(QByteArrayView bytes)
{
    const uchar lead = uchar(bytes[0]);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    uchar low = 0x80; // the range of the second byte
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (bytes.size() < length || uchar(bytes[1]) < low || uchar(bytes[1]) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if ((uchar(bytes[i]) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

char32_t codePoint(QByteArrayView sequence)
{
    const uchar lead = uchar(sequence[0]);
    char32_t code = sequence.size() == 1 ? lead : lead & (0x7F >> sequence.size());
    for (qsizetype i = 1; i < sequence.size(); ++i)
        code = (code << 6) | (uchar(sequence[i]) & 0x3F);
    return code;
}

} // namespace

// Decoded by hand rather than by Qt, which would also drop a leading byte
// order mark. A name that really holds a character of the escapes' range has
// its bytes escaped too, so that no two names decode alike.
QString decodeFileName(QByteArrayView bytes)
{
    // Most names are plain ASCII, which needs no look at each byte's sequence.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = sequenceLength(bytes.sliced(i));
        const char32_t code = length > 0 ? codePoint(bytes.sliced(i, length)) : 0;
        if (length == 0 || isEscape(code)) {
            name += QChar(EscapeBase + uchar(bytes[i]));
            ++i;
        } else {
            name += QChar::fromUcs4(code);
            i += length;
        }
    }
    return name;
}

QByteArray encodeFileName(QStringView name)
{
    QByteArray bytes;
    qsizetype start = 0; // of the text not yet encoded
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscape(name[i].unicode()))
            continue;
        bytes += name.sliced(start, i - start).toUtf8();
        bytes += char(name[i].unicode() - EscapeBase);
        start = i + 1;
    }
    if (start == 0)
        return name.toUtf8();
    bytes += name.sliced(start).toUtf8();
    return bytes;
}

namespace {

// The name's bytes as text: its characters as they are, and each byte that is
// not UTF-8 as replacement gives it.
template<typename Replacement> QString textOfName(QString name, Replacement replacement)
{
    if (std::none_of(name.begin(), name.end(), [](QChar c) { return isEscape(c.unicode()); }))
        return name;
    const QByteArray bytes = encodeFileName(name);
    QString text;
    text.reserve(name.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = sequenceLength(bytes.sliced(i));
        if (length == 0) {
            text += replacement(uchar(bytes[i]));
            ++i;
        } else {
            text += QChar::fromUcs4(codePoint(bytes.sliced(i, length)));
            i += length;
        }
    }
    return text;
}

} // namespace

QString displayFileName(QString name)
{
    return textOfName(std::move(name), [](uchar) { return QChar(QChar::ReplacementCharacter); });
}

QString surrogateEscapedName(QString name)
{
    return textOfName(std::move(name), [](uchar byte) { return QChar(0xDC00 + byte); });
}

namespace {

// Anything but "no such name" counts as there: only a missing name is looked for.
bool isThere(const QByteArray &path)
{
    struct stat status;
    return ::lstat(path.constData(), &status) == 0 || errno != ENOENT;
}

// The one name of the folder that Qt shows as shown; none if none or several do.
QByteArray nameShownAs(const QByteArray &folder, const QString &shown)
{
    DIR *dir = ::opendir(folder.isEmpty() ? "." : folder.constData());
    if (!dir)
        return {};
    QByteArray found;
    int matches = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (QFile::decodeName(entry->d_name) == shown && ++matches == 1)
            found = entry->d_name;
    }
    ::closedir(dir);
    return matches == 1 ? found : QByteArray();
}

} // namespace

// Worked in bytes, as Qt reaches the disk, and decoded once at the end.
QString pathFromQt(const QString &qtPath)
{
    const QByteArray bytes = QFile::encodeName(qtPath);
    if (bytes.isEmpty() || isThere(bytes))
        return decodeFileName(bytes);
    QByteArray path;
    const QStringList components = qtPath.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < components.size(); ++i) {
        if (i > 0)
            path += '/';
        QByteArray component = QFile::encodeName(components.at(i));
        if (!component.isEmpty() && !isThere(path + component)) {
            const QByteArray onDisk = nameShownAs(path, components.at(i));
            if (!onDisk.isEmpty())
                component = onDisk;
        }
        path += component;
    }
    return decodeFileName(path);
}

QString folderPart(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentFolder(const QString &folder)
{
    const QString parent = folderPart(folder.chopped(1));
    return parent.isEmpty() ? QStringLiteral("./") : parent;
}

QString namePart(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString withSeparator(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString displayFolderName(const QString &folder)
{
    QString name = folder;
    while (name.size() > 1 && name.endsWith(QLatin1Char('/')))
        name.chop(1);
    return displayFileName(name);
}

QString pathToQt(const QString &path)
{
    return QFile::decodeName(encodeFileName(path));
}

} // namespace platform
