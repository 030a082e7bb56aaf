#include "engine/piano.h"

#include "engine/controllo.h"
#include "engine/doppioni.h"
#include "engine/numerazione.h"
#include "engine/ordine.h"
#include "engine/scatti.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"
#include "platform/photometadata.h"

#include <QSet>

#include <algorithm>
#include <limits>

namespace {

// The correction of a photo taken by the given camera model.
qint64 correzioneDi(const QList<Correzione> &correzioni, const QString &modello)
{
    qint64 perOgniAltra = 0;
    for (const Correzione &correzione : correzioni) {
        if (correzione.modello.isEmpty())
            perOgniAltra = correzione.secondi;
        else if (correzione.modello.trimmed().compare(modello.trimmed(), Qt::CaseInsensitive) == 0)
            return correzione.secondi;
    }
    return perOgniAltra;
}

// One file as the plan takes it, from one look at it and at its metadata.
struct FileInEsame
{
    std::optional<platform::FileFacts> fatti;
    platform::PhotoMetadata foto;
    qint64 correzione = 0;

    // When it was taken, in nanoseconds: as the photo says, else its file time.
    std::optional<qint64> scatto() const
    {
        if (foto.captureTime)
            return foto.captureTime;
        return fatti ? std::optional(fatti->modified) : std::nullopt;
    }
    std::optional<qint64> scattoCorretto() const
    {
        const std::optional<qint64> ora = scatto();
        return ora ? std::optional(*ora + correzione * 1'000'000'000) : std::nullopt;
    }
};

// Each file's size and time and its photo's metadata, each read side by
// side: a sidecar takes its photo's metadata, and an empty file holds no
// photo, nor is a folder of thousands of them a reason to open each.
void leggiFoto(const Richiesta &richiesta, const Scatti &gruppi, QList<FileInEsame> &file)
{
    const QList<std::optional<platform::FileFacts>> fatti = platform::fileFacts(richiesta.origini);
    QStringList foto;
    QList<qsizetype> posizioni;
    for (const Scatto &scatto : gruppi.scatti) {
        for (qsizetype j = 0; j < scatto.file.size(); ++j) {
            const qsizetype i = scatto.file.at(j);
            FileInEsame &esame = file[i];
            esame.fatti = fatti.at(i);
            if (scatto.foto.at(j) == i && esame.fatti && esame.fatti->size > 0) {
                foto.append(richiesta.origini.at(i));
                posizioni.append(i);
            }
        }
    }
    const QList<platform::PhotoMetadata> metadati = platform::photoMetadata(foto);
    for (qsizetype k = 0; k < posizioni.size(); ++k)
        file[posizioni.at(k)].foto = metadati.at(k);
    for (const Scatto &scatto : gruppi.scatti) {
        for (qsizetype j = 0; j < scatto.file.size(); ++j) {
            FileInEsame &esame = file[scatto.file.at(j)];
            esame.foto = file.at(scatto.foto.at(j)).foto;
            esame.correzione = correzioneDi(richiesta.correzioni, esame.foto.model);
        }
    }
}

// The files in the order asked, shot by shot, each shot in its place by its
// earliest photo or by the first of its names, with their sizes, times,
// corrections and the shot's number counted from 1.
void ordina(const Richiesta &richiesta, PianoTrasferimento &piano)
{
    const Scatti gruppi = raggruppaScatti(richiesta.origini, richiesta.senzaEstensione);
    QList<FileInEsame> file(richiesta.origini.size());
    leggiFoto(richiesta, gruppi, file);
    // Each shot's earliest moment and its photo first by name.
    QList<std::optional<qint64>> ore;
    QStringList prime;
    for (const Scatto &scatto : gruppi.scatti) {
        std::optional<qint64> primo;
        QString prima;
        for (qsizetype j = 0; j < scatto.file.size(); ++j) {
            const qsizetype i = scatto.file.at(j);
            if (scatto.foto.at(j) != i)
                continue;
            const std::optional<qint64> ora = file.at(i).scattoCorretto();
            if (ora && (!primo || *ora < *primo))
                primo = ora;
            if (prima.isEmpty() || richiesta.origini.at(i) < prima)
                prima = richiesta.origini.at(i);
        }
        ore.append(primo);
        prime.append(prima);
    }
    QStringList nomi;
    for (const QString &prima : std::as_const(prime))
        nomi.append(platform::namePart(prima));
    const std::vector<qsizetype> ordine =
        richiesta.perNome ? ordinePerNome(nomi) : ordinePerData(prime, ore);
    qint64 numero = 0;
    for (const qsizetype posizione : ordine) {
        ++numero;
        for (const qsizetype i : gruppi.scatti.at(posizione).file) {
            const FileInEsame &esame = file.at(i);
            piano.origini.append(richiesta.origini.at(i));
            piano.numeri.append(numero);
            // A file gone since it was chosen ends the run when its turn comes.
            piano.dimensioni.append(esame.fatti ? esame.fatti->size : 0);
            piano.scatti.append(esame.scatto());
            piano.scattoDallaFoto.append(esame.foto.captureTime.has_value());
            piano.correzioni.append(esame.correzione);
        }
    }
    for (const qsizetype i : gruppi.senzaFoto)
        piano.senzaFoto.append(richiesta.origini.at(i));
}

// Whether a move renames every file: each folder it comes from is on the
// destination's file system, so that no byte is copied.
bool siRinomina(const QStringList &origini, const QString &destinazione)
{
    QSet<QString> cartelle;
    for (const QString &origine : origini)
        cartelle.insert(platform::folderPart(origine));
    return std::none_of(cartelle.begin(), cartelle.end(), [&](const QString &cartella) {
        return platform::onOtherFileSystems(cartella, destinazione);
    });
}

// Fills in the plan's new names: each file under the base name in the
// destination, its shot numbered on from the plan's last number, the shots
// one after the other; or says that the numbers would pass the largest
// 64-bit one.
QString numeraPiano(PianoTrasferimento &piano, const Richiesta &richiesta)
{
    QList<qint64> numeri;
    qint64 numero = piano.ultimo;
    for (qsizetype i = 0; i < piano.numeri.size(); ++i) {
        if (i == 0 || piano.numeri.at(i) != piano.numeri.at(i - 1)) {
            if (numero == std::numeric_limits<qint64>::max())
                return QStringLiteral("Il numero progressivo supera il massimo possibile.");
            ++numero;
        }
        numeri.append(numero);
    }
    piano.numeri = numeri;
    piano.nuoviNomi.clear();
    for (qsizetype i = 0; i < piano.origini.size(); ++i)
        piano.nuoviNomi.append(richiesta.destinazione
            + nuovoNome(platform::namePart(piano.origini.at(i)), richiesta.nomeBase,
                piano.numeri.at(i), richiesta.senzaEstensione));
    return {};
}

// Keeps the entries of a list of the plan at the positions kept.
template<typename T> void tieni(QList<T> &lista, const QList<bool> &tenuti)
{
    qsizetype dove = 0;
    for (qsizetype i = 0; i < lista.size(); ++i) {
        if (tenuti.at(i))
            lista[dove++] = lista.at(i);
    }
    lista.resize(dove);
}

} // namespace

QString preparaPiano(const Richiesta &richiesta, PianoTrasferimento &piano)
{
    if (const QString motivo = motivoNomeBase(richiesta.nomeBase); !motivo.isEmpty())
        return motivo;
    // What a killed run left goes first, so that its empty reservations count
    // for nothing in the running number.
    if (!richiesta.prova)
        platform::prepareDestination(richiesta.destinazione);
    piano = {};
    ordina(richiesta, piano);
    if (piano.origini.isEmpty() && !piano.senzaFoto.isEmpty())
        return richiesta.spostare
            ? QStringLiteral("Tra i file scelti ci sono solo file .xmp, senza la loro foto: "
                             "nessun file è stato spostato.")
            : QStringLiteral("Tra i file scelti ci sono solo file .xmp, senza la loro foto: "
                             "nessun file è stato copiato.");
    piano.ultimo = richiesta.perNome ? 0 : ultimoNumero(richiesta.destinazione, richiesta.nomeBase);
    if (const QString oltre = numeraPiano(piano, richiesta); !oltre.isEmpty())
        return oltre;
    piano.spostare = richiesta.spostare;
    // A photo whose capture dates are corrected is a new file, even within
    // one file system.
    const bool correzioni = std::any_of(piano.correzioni.begin(), piano.correzioni.end(),
        [](qint64 correzione) { return correzione != 0; });
    piano.rinomina =
        richiesta.spostare && !correzioni && siRinomina(piano.origini, richiesta.destinazione);
    piano.liberaUltimo = richiesta.perNome;
    piano.supportoOrigine = richiesta.supportoOrigine;
    piano.supportoDestinazione = richiesta.supportoDestinazione;
    if (richiesta.doppioni != Doppioni::Trasferiti)
        piano.doppioni = doppioniNellaDestinazione(piano, richiesta.destinazione);
    if (richiesta.doppioni == Doppioni::Saltati)
        return saltaDoppioni(piano, richiesta);
    return controllaPiano(piano);
}

QString saltaDoppioni(PianoTrasferimento &piano, const Richiesta &richiesta)
{
    const QSet<QString> doppioni(piano.doppioni.begin(), piano.doppioni.end());
    QList<bool> tenuti;
    for (const QString &origine : std::as_const(piano.origini))
        tenuti.append(!doppioni.contains(origine));
    tieni(piano.origini, tenuti);
    tieni(piano.numeri, tenuti);
    tieni(piano.scatti, tenuti);
    tieni(piano.scattoDallaFoto, tenuti);
    tieni(piano.correzioni, tenuti);
    tieni(piano.dimensioni, tenuti);
    if (const QString oltre = numeraPiano(piano, richiesta); !oltre.isEmpty())
        return oltre;
    return controllaPiano(piano);
}
