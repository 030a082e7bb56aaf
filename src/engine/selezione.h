#pragma once

#include <QString>
#include <QStringList>

// What a folder gives a run: the files it takes, and those it leaves where
// they are. Each is given as its path below the folder: "IMG_0001.JPG",
// "100CANON/IMG_0001.JPG".
struct CartellaLetta
{
    QStringList file;
    // The catalogues and indexes a camera writes for itself beside its
    // photos, as CANONMSC/M0100.CTG or PRIVATE/AVCHD/BDMV/INDEX.BDM: the
    // camera reads them back from the card, and they hold no picture.
    QStringList lasciati;
};

// The files of a folder as a run takes them, in the window and the terminal
// alike: its ordinary files matching schema ("*.*" for all, "*.jpg"), and
// with sottocartelle those of its subfolders, but for hidden ones and links
// to folders, which may lead back up the tree or off the card. A walk of the
// subfolders, as of a whole card, leaves the camera's own files.
// Throws platform::FileError for a folder that cannot be read.
CartellaLetta fileDellaCartella(
    const QString &cartella, bool sottocartelle, const QString &schema = QStringLiteral("*.*"));

// The extensions of videos, in lower case: the source dialog offers them as
// a type, and the end of a run counts videos apart.
const QStringList &estensioniVideo();

// What a file is, by its extension, as the end of a run counts it: a
// sidecar is NAME.xmp, a shot's companion a camera's THM preview or WAV
// voice memo, and anything else not a video a photo.
enum class Genere { Foto, Video, Sidecar, Compagno };
Genere genereDi(const QString &nomeFile);

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
