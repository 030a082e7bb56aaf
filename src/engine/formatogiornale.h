#pragma once

#include "engine/giornale.h"
#include "platform/appendfile.h"
#include "platform/filestamps.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The record format of the journals, written by a run and read back by the
// start-up finishing, the undo and the look-up of doubles; the engine's own.
//
// One line per record, fields split by tabs, paths as their bytes on disk
// with "\", tab and newline escaped:
// clang-format off
//   #copia-e-rinomina giornale 2  start (ms since the epoch)  files planned  failed at
//   I  position  C|S|R  size  hash|-  original time|-  new time|-  stamp|-  original  new
//   P  position  stamp      (published: the new file as it then was)
//   O  position             (the original of a move deleted)
//   T  position  stamp      (the new file with its final time)
//   U  position             (taken back by an undo)
//   B                       (an undo began)
//   E                       (the run ended with its journal whole)
//   K                       (a killed run's unconfirmed files were listed)
//   A                       (the run is undone, or closed keeping what it left)
//   i p t u                 (as I P T U, of the file's copy in the backup folder)
//   V  device  file system  (what names the file system of that device number)
//   H  position  stamp  hidden file   (a copy's hidden file, once made)
//   D  position  stamp  folder        (a folder the run made, once made)
// clang-format on
// I is an intent: C a copy, S a move by copy, R a rename, which has no hash.
// A hash is the content's XXH3-128 in hex; a copy whose capture dates were
// corrected has a hash of its own, after the original's and a colon; then,
// after another colon, comes that of both with their date fields blanked
// (journals of earlier versions lack it, and vouch for no copy by it). A
// stamp is device, inode, size and change time in seconds and nanoseconds,
// split by commas; a P or T whose new file could not be looked at goes
// without it, and counts for nothing. Times are seconds since the epoch, a
// point and nine digits of nanoseconds (journals of earlier versions give
// whole seconds). A V comes before the first stamp on its device, where the
// file system has a lasting name (platform::lastingFileSystemName): a
// remount numbers the device anew, and the name tells the file system
// again (journals of earlier versions have none, and their stamps hold only
// on the device they name).
// "failed at" is dashes, overwritten in place with the position at which
// the journal could no longer be written, in as many digits: that needs no
// more room, which a full disk would refuse. A journal that ends without E
// and without it was cut short by a kill, and holds all the run did. A line
// without its newline is what a failed write left, and is skipped.

using Impronta = std::optional<platform::FileStamp>;

// The width of the header's last field, "failed at", which ends the line.
constexpr int CifreRotta = 10;

// The header of a new journal, for a run of totale files starting now.
QByteArray rigaIntestazione(int totale);
// What overwrites the header's "failed at" dashes, as wide as they are.
QByteArray testoRotta(int posizione);
QByteArray rigaIntento(const VoceGiornale &voce);
QByteArray rigaFatto(char tipo, int posizione, const Impronta &impronta = {});
QByteArray rigaSupporto(quint64 dispositivo, const QByteArray &fileSystem);
// H of a hidden file, or D of a folder.
QByteArray rigaCreato(
    char tipo, int posizione, const QString &percorso, const platform::FileStamp &impronta);
// The letter of a record of the given kind: lower case for a backup copy's.
char letteraFatto(char tipo, bool riserva);

// The journals in the folder, from the first run to the last. Throws
// platform::FileError when the folder cannot be read.
QStringList giornali(const QString &cartella);
// This user's journals, as giornali gives them; none where their folder
// cannot be read, as what only reads them for facts then finds none.
QStringList giornaliLeggibili();

// One file of a run as read back: its intent and what was recorded of it.
struct Voce
{
    VoceGiornale intento;
    // The new file as last recorded: published, then with its final time.
    Impronta impronta;
    bool completato = false;
    bool originaleEliminato = false;
    bool annullato = false;

    // The letter of its records of the given kind.
    char lettera(char tipo) const { return letteraFatto(tipo, intento.riserva); }
    bool confermato() const { return impronta.has_value(); }
    bool copia() const { return !intento.spostato; }
    bool perCopia() const { return !intento.hash.isEmpty(); }
    // The copy's dates were corrected: its bytes are not the original's.
    bool corretta() const { return !intento.hashCopia.isEmpty(); }
    const QByteArray &hashCopia() const { return corretta() ? intento.hashCopia : intento.hash; }
    bool siCorregge() const { return intento.oraNuova != intento.oraOriginale; }
    // Whether the new file's stamp alone tells it unchanged: a change time
    // without nanoseconds, as FAT's and exFAT's, may not show a later write.
    bool improntaBasta() const { return impronta && impronta->changeNanoseconds != 0; }
};

// What a run made, as it recorded it once made: a hidden file it wrote a
// copy into, or a folder.
struct CreatoDallaCorsa
{
    QString percorso;
    platform::FileStamp impronta;
};

// A journal as read back, held open and locked while it is worked on.
struct Corsa
{
    std::unique_ptr<platform::AppendFile> file;
    QDateTime inizio;
    int totale = 0;
    QMap<int, Voce> voci;
    // The copies in the backup folder, by the position of their file.
    QMap<int, Voce> riserve;
    int rottaDa = -1;
    QList<CreatoDallaCorsa> nascoste;
    // The folders it made, in the order it made them: each after its parent.
    QList<CreatoDallaCorsa> cartelle;
    // How many of them a kill left that the start-up finishing removed, or
    // in a trial would.
    int nascosteTolte = 0;
    bool elencata = false;
    bool annullamentoIniziato = false;
    bool annullata = false;
    // The lasting names of the file systems its stamps are on, by the device
    // number they had in the run.
    QHash<quint64, QByteArray> supporti;
    // Those numbered anew since, as a remount does: by the number in the
    // run, the one they have now, which the stamps read back have taken.
    QHash<quint64, quint64> rinumerati;
    // A kill cut the last line short: what is added starts on a line of its own.
    bool troncata = false;

    // A stamp taken now, with its device as the run numbered it: the one its
    // records have.
    Impronta comeNellaCorsa(Impronta impronta) const
    {
        for (auto numero = rinumerati.cbegin(); impronta && numero != rinumerati.cend(); ++numero) {
            if (impronta->device == numero.value()) {
                impronta->device = numero.key();
                break;
            }
        }
        return impronta;
    }

    // The facts an undo or a start-up records go to the medium at once.
    void aggiungi(QByteArray righe)
    {
        if (troncata)
            righe.prepend('\n');
        troncata = false;
        file->append(righe);
        file->sync();
    }
};

// Why a journal that opens is not acted on, or nothing.
struct Apertura
{
    std::optional<Corsa> corsa;
    bool inCorso = false;
    QString ignorato;
    // Empty, or without the header a run writes first: a full or read-only
    // state folder leaves it so, and with it no record of what the run did.
    bool senzaIntestazione = false;
    // Why it could not be opened to be worked on, as the system says it; 0
    // where it could, or was gone.
    int errore = 0;
};

// Reads every whole line and skips the damaged ones. A journal still being
// written, or one that another user could have written, is not read.
Apertura apri(const QString &percorso);

// How a journal ends, read from its last bytes, so that a start-up stays
// quick over many long journals: a run that closed or was undone leaves
// nothing to finish.
enum class Fine { Chiusa, Annullata, Aperta, InUso };

Fine fineDi(const QString &percorso);

// The hashes without dates the journals hold of the given files, as
// platform::hashWithoutDates gives them: each a copy a run published, while
// it is still exactly as the run recorded it, on a medium whose times tell a
// later write. By path; a file they cannot vouch for is not there.
QHash<QString, QByteArray> hashDaiGiornali(const QStringList &copie);

// The copies the journals say runs made of the given originals and did not
// take back, in the destination and the backup folder alike, by original:
// where a verification looks first. They vouch for no content.
QMultiHash<QString, QString> copieDaiGiornali(const QStringList &originali);

// Whether the file is one an undo began to take back and did not: of a run
// whose undo began and did not end, placed by the run and not yet back.
bool lasciatoDaAnnullamento(const QString &percorso);
