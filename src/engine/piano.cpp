#include "engine/piano.h"

#include "engine/controllo.h"
#include "engine/numerazione.h"
#include "engine/ordine.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
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

// The files in the order asked, with their sizes, times and corrections.
void ordina(const Richiesta &richiesta, PianoTrasferimento &piano)
{
    QList<FileInEsame> file;
    QStringList foto;
    for (const QString &origine : richiesta.origini) {
        FileInEsame esame;
        esame.fatti = platform::fileFacts(origine);
        // An empty file holds no photo, and a folder of thousands of them
        // is no reason to open each.
        if (esame.fatti && esame.fatti->size > 0)
            foto.append(origine);
        file.append(esame);
    }
    const QList<platform::PhotoMetadata> metadati = platform::photoMetadata(foto);
    QList<std::optional<qint64>> ore;
    QStringList nomi;
    for (qsizetype i = 0, letta = 0; i < file.size(); ++i) {
        FileInEsame &esame = file[i];
        if (esame.fatti && esame.fatti->size > 0)
            esame.foto = metadati.at(letta++);
        esame.correzione = correzioneDi(richiesta.correzioni, esame.foto.model);
        ore.append(esame.scattoCorretto());
        nomi.append(platform::namePart(richiesta.origini.at(i)));
    }
    const std::vector<qsizetype> ordine =
        richiesta.perNome ? ordinePerNome(nomi) : ordinePerData(richiesta.origini, ore);
    for (qsizetype posizione : ordine) {
        const FileInEsame &esame = file.at(posizione);
        piano.origini.append(richiesta.origini.at(posizione));
        // A file gone since it was chosen ends the run when its turn comes.
        piano.dimensioni.append(esame.fatti ? esame.fatti->size : 0);
        piano.scatti.append(esame.scatto());
        piano.scattoDallaFoto.append(esame.foto.captureTime.has_value());
        piano.correzioni.append(esame.correzione);
    }
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
// destination, numbered on from the plan's last number; or says that the
// numbers would pass the largest 64-bit one.
QString numeraPiano(PianoTrasferimento &piano, const Richiesta &richiesta)
{
    if (piano.ultimo > std::numeric_limits<qint64>::max() - piano.origini.size())
        return QStringLiteral("Il numero progressivo supera il massimo possibile.");
    for (qsizetype i = 0; i < piano.origini.size(); ++i)
        piano.nuoviNomi.append(richiesta.destinazione
            + nuovoNome(platform::namePart(piano.origini.at(i)), richiesta.nomeBase,
                piano.ultimo + 1 + i, richiesta.senzaEstensione));
    return {};
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
    return controllaPiano(piano);
}
