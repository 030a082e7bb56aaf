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
