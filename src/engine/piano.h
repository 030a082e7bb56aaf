#pragma once

#include "platform/media.h"

#include <QHash>
#include <QStringList>

#include <optional>

// A clock correction: a span in seconds added to the times of the photos of
// one camera model (letter case and blanks around it aside), or, without a
// model, of every photo that no other correction names.
struct Correzione
{
    QString modello;
    qint64 secondi = 0;
};

// What becomes of the files whose shot the destination already holds, byte
// for byte: by default they are not looked for and go as any other; or they
// are listed in the plan; or listed and left out of it.
enum class Doppioni { Trasferiti, Segnati, Saltati };

// The folders by date the new files are filed in, under the destination and
// the backup folder alike, by the corrected moment each shot was taken:
// none, AAAA-MM-GG, AAAA/AAAA-MM-GG or AAAA/MM.
enum class CartellePerData { Nessuna, Giorno, AnnoGiorno, AnnoMese };

// The schema's text, as the terminal takes it and the settings keep it;
// empty for none.
QString testoCartellePerData(CartellePerData schema);
// The schema a text names; nothing for a text that names none.
std::optional<CartellePerData> cartellePerDataDaTesto(const QString &testo);

// What a front end asks of the engine. The window and the terminal hand it
// the same; the engine makes the plan from it, orders, numbers and checks it.
struct Richiesta
{
    // The files chosen, as whole paths, each once.
    QStringList origini;
    // The files that are not photos or videos a walk of the folders left
    // where they are, as whole paths: the end of the run names them.
    QStringList lasciati;
    // The folder the new files go to, ending with its separator.
    QString destinazione;
    // A second folder that gets each new file under the same name in the
    // same run, ending with its separator; empty for none.
    QString riserva;
    QString nomeBase;
    bool perNome = false;
    bool spostare = false;
    // A copy reads each source again from its medium, as a move does, and a
    // copy counts only if the source gives the same bytes the second time.
    bool verifica = false;
    bool senzaEstensione = false;
    // None leaves each time as it is.
    QList<Correzione> correzioni;
    // The media the folders were on when they were chosen, if known: a card
    // unmounted since leaves its mount point on another one, and another
    // card in the same reader is another volume.
    std::optional<platform::VolumeIdentity> supportoOrigine;
    std::optional<platform::VolumeIdentity> supportoDestinazione;
    std::optional<platform::VolumeIdentity> supportoRiserva;
    // A trial reads and checks everything but touches nothing, not even what
    // a killed run left in the destination.
    bool prova = false;
    Doppioni doppioni = Doppioni::Trasferiti;
    CartellePerData cartellePerData = CartellePerData::Nessuna;
    // The files the user left out of the run, as whole paths: they stay
    // where they are, and a sidecar stays with its photo.
    QStringList fuori;
};

// Where a file's moment was read: its file time; its photo's EXIF; a
// movie's date that carries its own time zone; a CR3's header, in UTC; the
// photo of a movie's shot, its THM or JPEG; a movie's header, on its
// camera's local clock.
enum class FonteScatto { File, Exif, Fuso, Utc, Compagno, Locale };

// One file of a run, with everything the engine knows of it.
struct FileDelPiano
{
    QString origine;
    // Its size when the plan was made: a file gone since ends the run when
    // its turn comes.
    qint64 dimensione = 0;
    // The whole path it goes to; empty for a file that stays where it is.
    QString nuovoNome;
    // The folder by date its shot goes to, within the destination and the
    // backup folder, ending with its separator: "2024/2024-05-01/"; empty
    // without folders by date.
    QString cartella;
    // The whole path of its copy in the backup folder, under the same name;
    // empty without one.
    QString copiaDiRiserva;
    // Its running number: the files of one shot share theirs.
    qint64 numero = 0;
    // When it was taken, in nanoseconds since 1970, as its fonte says;
    // nothing where neither the file nor its time could be read. A sidecar
    // takes its photo's.
    std::optional<qint64> scatto;
    FonteScatto fonte = FonteScatto::File;
    // The camera model its photo names, else the one the files of its folder
    // all name; empty where there is none.
    QString modello;
    // Its clock correction in seconds.
    qint64 correzione = 0;
    // When it was taken, by its camera's corrected clock.
    std::optional<qint64> scattoCorretto() const;
    // Whether the other file is of its shot, as the plan numbers them: the
    // same number in the same folder.
    bool stessoScattoDi(const FileDelPiano &altro) const;
    // Whether the destination already holds its shot, byte for byte, where
    // that was looked for.
    bool doppione = false;
    // Whether the user left it out of the run, or its photo.
    bool fuori = false;
};

// What one run does: the files that go, in the order they go, and how.
struct PianoTrasferimento
{
    QList<FileDelPiano> file;
    // The files chosen that stay where they are: the sidecars without their
    // photo, then the doubles and the files the user left out.
    QList<FileDelPiano> restano;
    // The files the request left, as it gives them.
    QStringList lasciati;
    // The destination and the backup folder, ending with their separator;
    // the backup empty for none.
    QString destinazione;
    QString riserva;
    // The running number before the first new name; with folders by date,
    // before the first in each folder, by folder.
    qint64 ultimo = 0;
    QHash<QString, qint64> ultimoPerCartella;
    // The folders the run makes, each after its parent, as whole paths
    // ending with their separator: a destination or backup folder whose
    // parent is there, and the folders by date missing.
    QStringList cartelleNuove;
    bool spostare = false;
    // Each copy counts only once its source read again gave the same bytes.
    bool verifica = false;
    // A move within one file system: each file is renamed, no byte is copied.
    bool rinomina = false;
    // Name order leaves the last new file writable by its owner.
    bool liberaUltimo = false;
    std::optional<platform::VolumeIdentity> supportoOrigine;
    std::optional<platform::VolumeIdentity> supportoDestinazione;
    std::optional<platform::VolumeIdentity> supportoRiserva;
    // In a trial, the room of the hidden copies that killed runs of this
    // user left in the destination and in the backup folder: the run
    // removes them before anything else, and the check counts it free.
    qint64 nascosteDestinazione = 0;
    qint64 nascosteRiserva = 0;

    // The doubles among the files, those that go and those left out.
    qsizetype doppioni() const;
    // The bytes of the files that go.
    qint64 byteTotali() const;
    // The folders by date the first fatti files go to.
    qsizetype cartellePerData(qsizetype fatti) const;
};

// The plan of a request: its shots in date order, by the corrected moment
// each was taken, numbered on from the destination's highest number; or in
// name order from 001; then checked as a whole before any file is touched.
// Returns why the run is refused, or an empty text. Throws
// platform::FileError when the destination cannot be read.
QString preparaPiano(const Richiesta &richiesta, PianoTrasferimento &piano);

// Leaves out of the plan the files the request leaves out, and its doubles
// where it skips them; numbers the rest on from the same number, and checks
// it again. A move leaves their originals where they are. Returns why the
// run is refused, or an empty text.
QString lasciaFuori(PianoTrasferimento &piano, const Richiesta &richiesta);
