#pragma once

#include <QString>
#include <QStringList>

// The files of a folder as a run takes them, in the window and the terminal
// alike: its ordinary files matching schema ("*.*" for all, "*.jpg"), and
// with sottocartelle those of its subfolders, but for hidden ones and links
// to folders, which may lead back up the tree or off the card. Each is given
// as its path below the folder: "IMG_0001.JPG", "100CANON/IMG_0001.JPG".
// Throws platform::FileError for a folder that cannot be read.
QStringList fileDellaCartella(
    const QString &cartella, bool sottocartelle, const QString &schema = QStringLiteral("*.*"));

// How many folders the files, as fileDellaCartella gives them, lie in.
int cartelleDeiFile(const QStringList &file);

// A camera model the photos of a selection name, and how many of them.
struct Fotocamera
{
    QString modello;
    int foto = 0;
};

// The models the files name, by name, each once however its letters and
// blanks vary as the plan's corrections match them; files that name none
// are not counted. Reads each file's metadata, one after the other.
QList<Fotocamera> fotocamereDi(const QStringList &file);
