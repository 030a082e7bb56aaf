#include "engine/piano.h"

#include "engine/controllo.h"
#include "engine/numerazione.h"
#include "engine/ordine.h"
#include "platform/filenames.h"
#include "platform/fileops.h"

#include <QSet>

#include <algorithm>
#include <limits>

namespace {

// The files in the order asked, with their sizes, each read once.
void ordina(const Richiesta &richiesta, PianoTrasferimento &piano)
{
    QList<std::optional<platform::FileFacts>> fatti;
    QList<std::optional<qint64>> ore;
    QStringList nomi;
    for (const QString &origine : richiesta.origini) {
        fatti.append(platform::fileFacts(origine));
        ore.append(fatti.last() ? std::optional(fatti.last()->modified) : std::nullopt);
        nomi.append(platform::namePart(origine));
    }
    const std::vector<qsizetype> ordine =
        richiesta.perNome ? ordinePerNome(nomi) : ordinePerData(richiesta.origini, ore);
    for (qsizetype posizione : ordine) {
        piano.origini.append(richiesta.origini.at(posizione));
        // A file gone since it was chosen ends the run when its turn comes.
        piano.dimensioni.append(fatti.at(posizione) ? fatti.at(posizione)->size : 0);
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
    piano.rinomina = richiesta.spostare && siRinomina(piano.origini, richiesta.destinazione);
    piano.correzione = richiesta.correzione;
    piano.liberaUltimo = richiesta.perNome;
    piano.supportoOrigine = richiesta.supportoOrigine;
    piano.supportoDestinazione = richiesta.supportoDestinazione;
    return controllaPiano(piano);
}
