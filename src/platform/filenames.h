#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// File names on disk are bytes, mostly UTF-8; a card written by another
// system or an old camera may hold names that are not. Each byte that is not
// part of well-formed UTF-8 travels in the name as one character of the
// private use area, U+EF80..U+EFFF, and turns back into the same byte, so
// every file can be listed, ordered, opened and renamed whatever its name.
QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(QStringView name);

// The name as a display can show it: U+FFFD for each byte that is not UTF-8.
QString displayFileName(QString name);

// Qt's own file widgets show the bytes of a name that are not UTF-8 as
// U+FFFD, and such a path names no file. This finds the file of the folder
// that the path stands for; a path that names a file, or that stands for
// none or for several, comes back as it is.
QString pathOnDisk(const QString &shownPath);

} // namespace platform
