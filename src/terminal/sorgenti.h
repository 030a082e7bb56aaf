#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

struct Argomenti;
struct FileDelPiano;

// One file of the selection: its path for the engine, and as the user gave it.
struct FileScelto
{
    QString percorso;
    QString comeDato;
};

// The engine and its journal take whole paths, so that an undo run from
// another folder finds the files. A folder is taken as the system resolves
// it, so that "link/.." is the parent of the link's target; a path that leads
// nowhere is kept as given, for the check to name.
QString assoluto(const QString &percorso);

// The files the sources name, in argument order; a folder gives its ordinary
// files as start-up takes them, and with sottocartelle those of its
// subfolders, where lasciati gets the whole paths of the files it leaves,
// those that are not photos or videos. A file named twice counts once.
// Throws UsoSbagliato for a source that is neither a file nor a folder, and
// for a file named as a folder, with a final separator.
QList<FileScelto> raccogli(const QStringList &sorgenti, bool sottocartelle, QStringList &lasciati);

// --scheda: the DCIM folder of the one card mounted becomes the source,
// walked with its subfolders as with -r. Throws UsoSbagliato, naming the
// cards, where none is mounted or more than one.
void prendiLaScheda(Argomenti &argomenti);

// The plan's files as the user named them, for what the terminal prints:
// each source, and the destination and backup folders its new names go
// under, as given.
struct NomiDati
{
    // The path as given of each file's path for the engine.
    QHash<QString, QString> origini;
    QString destinazione;
    // Empty without a backup.
    QString riserva;

    NomiDati(const QList<FileScelto> &scelti, const QString &destinazioneData,
        const QString &riservaData);
    QString origine(const FileDelPiano &file) const;
    // Of a file that goes.
    QString nuovo(const FileDelPiano &file) const;
    QString copiaDiRiserva(const FileDelPiano &file) const;
};
