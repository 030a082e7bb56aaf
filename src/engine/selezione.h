#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// What a folder gives a run: the files it takes, and those it leaves where
// they are. Each is given as its path below the folder: "IMG_0001.JPG",
// "100CANON/IMG_0001.JPG".
struct CartellaLetta
{
    QStringList file;
    // The files of a walk of the subfolders that are not photos, videos,
    // sidecars or a shot's companions: the catalogues and indexes a camera
    // writes for itself (CANONMSC/M0100.CTG, PRIVATE/AVCHD/BDMV/INDEX.BDM),
    // which it reads back from the card, and any text or other file.
    QStringList lasciati;
};

// The files of a folder as a run takes them, in the window and the terminal
// alike: its ordinary files matching schema ("*.*" for all, "*.jpg"), and
// with sottocartelle those of its subfolders, but for hidden ones and links
// to folders, which may lead back up the tree or off the card. A walk of the
// subfolders, as of a whole card, takes only photos, videos, sidecars and
// companions; a folder chosen alone gives whatever it holds.
// Throws platform::FileError for a folder that cannot be read.
CartellaLetta fileDellaCartella(
    const QString &cartella, bool sottocartelle, const QString &schema = QStringLiteral("*.*"));

// The extensions of videos, in lower case: the source dialog offers them as
// a type, and the end of a run counts videos apart.
const QStringList &estensioniVideo();

// The extensions of photos, in lower case: every kind a walk of a card
// takes, and of RAW and HEIC photos, which the source dialog offers apart.
const QStringList &estensioniFoto();
const QStringList &estensioniRaw();
const QStringList &estensioniHeic();

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

// The models the files of the folder name (each given as its path below
// it), by name, each once however its letters and blanks vary as the plan's
// corrections match them; files that name none are not counted. Reads each
// file's metadata, one after the other, and stops early once basta says so.
QList<Fotocamera> fotocamereDi(
    const QString &cartella, const QStringList &file, const std::function<bool()> &basta = {});
