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

// The name as text that keeps every byte: each byte that is not UTF-8 as the
// lone surrogate U+DC80..U+DCFF, as Python's "surrogateescape" reads bytes.
QString surrogateEscapedName(QString name);

// Paths as Qt gives and takes them (its dialogs, the settings file) are
// plain text: a character of U+EF80..U+EFFF is itself there, and each byte
// that is not UTF-8 shows as U+FFFD. pathFromQt turns such a path into the
// program's form; a component that names nothing becomes the one name of its
// folder that Qt shows so, if there is exactly one. pathToQt is the way back.
QString pathFromQt(const QString &qtPath);
QString pathToQt(const QString &path);

// The parts of a path text: its folder with the final separator, and its name.
QString folderPart(const QString &path);
// The folder a folder given with its separator is in, with its separator:
// "./" for a single name relative to the working folder.
QString parentFolder(const QString &folder);
QString namePart(const QString &path);

// A folder text that ends with its separator.
QString withSeparator(const QString &folder);

// A folder as messages name it: as a display can show it, without its final
// separator ("/media/scheda/DCIM"), but for the root, "/".
QString displayFolderName(const QString &folder);

} // namespace platform
