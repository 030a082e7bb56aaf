#include "engine/annullamento.h"

#include "engine/giornale.h"
#include "engine/ripresa.h"
#include "platform/copying.h"
#include "platform/fileerror.h"
#include "platform/media.h"

#include <algorithm>
#include <cerrno>

namespace {

// Whether a moved file is already back at its original name, put there by
// an undo that a kill stopped before it was recorded.
bool giaRiportato(const Voce &voce, const Ripresa &ripresa)
{
    if (voce.perCopia())
        return originaleIntatto(voce, ripresa);
    const Impronta ora = ripresa.impronta(voce.intento.origine);
    return ora && ora->device == voce.impronta->device && ora->inode == voce.impronta->inode;
}

void segnaAnnullato(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    voce.annullato = true;
    ripresa.registra(corsa, rigaFatto(voce.lettera('U'), voce.intento.posizione));
}

// A moved photo that an undo killed part way put back may still have the
// corrected time of its copy.
void rimettiOra(const Voce &voce, const Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (voce.copia() || !intento.oraOriginale || ripresa.prova)
        return;
    try {
        const auto ora = platform::fileFacts(intento.origine);
        if (ora && ora->modified != *intento.oraOriginale)
            platform::setFileTime(intento.origine, *intento.oraOriginale);
    } catch (const platform::FileError &) {
        // The photo is back whole; its time is only a help.
    }
}

// The new file is gone: taken back already, or out of reach.
void nuovoMancante(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    const QString cartella = platform::folderPart(intento.nuovoNome);
    const Impronta supporto = ripresa.impronta(cartella);
    if (!supporto || supporto->device != voce.impronta->device) {
        ripresa.lascia(voce,
            QStringLiteral("la cartella «%1» non è raggiungibile: il suo supporto è collegato?")
                .arg(platform::displayFolderName(cartella)));
        return;
    }
    if (!voce.copia() && !giaRiportato(voce, ripresa)) {
        ripresa.esito.righe.append(QStringLiteral("Non trovata «%1»: non può tornare in «%2»")
                                       .arg(mostra(intento.nuovoNome), mostra(intento.origine)));
        ripresa.esito.tuttoAnnullato = false;
        return;
    }
    rimettiOra(voce, ripresa);
    segnaAnnullato(corsa, voce, ripresa);
}

void eliminaCopia(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (!originaleIntatto(voce, ripresa)) {
        ripresa.lascia(voce,
            ripresa.esiste(intento.origine)
                ? QStringLiteral("l'originale «%1» è cambiato: la copia resta")
                      .arg(mostra(intento.origine))
                : QStringLiteral("l'originale non c'è più: la copia resta"));
        return;
    }
    if (const int errore = ripresa.elimina(intento.nuovoNome)) {
        ripresa.lascia(voce, platform::systemErrorText(errore));
        return;
    }
    rimettiOra(voce, ripresa);
    segnaAnnullato(corsa, voce, ripresa);
    ripresa.dice("Sarà eliminata la copia", "Eliminata la copia",
        QStringLiteral(" «%1»").arg(mostra(intento.nuovoNome))
            + (intento.spostato ? QStringLiteral(": l'originale «%1» è al suo posto")
                                      .arg(mostra(intento.origine))
                                : QString()));
}

// A moved photo whose capture dates were corrected goes back as it was: a
// copy with the dates shifted back, which must hold the original's very
// bytes before the corrected one goes.
void rimettiOriginale(const Voce &voce)
{
    const VoceGiornale &intento = voce.intento;
    const QStringList percorsi { intento.nuovoNome, intento.origine };
    // The copy's dates were shifted as its time was, unless it holds the
    // original's very bytes: dates a correction could not reach stayed.
    const bool dateSpostate = !intento.hashCopia.isEmpty() && intento.hashCopia != intento.hash;
    platform::PendingCopy copia = platform::writeCopy(intento.nuovoNome, intento.origine, nullptr,
        dateSpostate ? (*intento.oraOriginale - *intento.oraNuova) / platform::NanosecondsPerSecond
                     : 0);
    if (copia.hashHex() != intento.hash)
        throw platform::FileError(platform::FileError::Operation::Verify, percorsi, 0);
    platform::verifyCopy(copia, false);
    platform::publishCopy(copia);
    if (const int errore = platform::removeFile(intento.nuovoNome))
        throw platform::FileError(platform::FileError::Operation::Move, percorsi, errore);
}

void riportaIndietro(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (ripresa.esiste(intento.origine)) {
        ripresa.lascia(
            voce, QStringLiteral("il nome «%1» è già in uso").arg(mostra(intento.origine)));
        return;
    }
    if (ripresa.prova) {
        ripresa.riportati.insert(intento.origine);
        ripresa.eliminati.insert(intento.nuovoNome);
    } else {
        try {
            if (voce.corretta())
                rimettiOriginale(voce);
            else
                platform::moveFile(intento.nuovoNome, intento.origine);
        } catch (const platform::FileError &errore) {
            // A copy back whose bytes are not the original's has no system error.
            ripresa.lascia(voce,
                errore.errorCode() == 0
                    ? QStringLiteral("riportata indietro non ridarebbe i byte dell'originale")
                    : errore.systemText());
            return;
        }
        try {
            if (intento.oraOriginale)
                platform::setFileTime(intento.origine, *intento.oraOriginale);
        } catch (const platform::FileError &errore) {
            // Back where it was: only its time is wrong, which the line says.
            segnaAnnullato(corsa, voce, ripresa);
            ripresa.esito.righe.append(
                QStringLiteral("Riportata «%1» in «%2», ma senza la sua data: %3")
                    .arg(mostra(intento.nuovoNome), mostra(intento.origine), errore.systemText()));
            ripresa.esito.tuttoAnnullato = false;
            return;
        }
    }
    segnaAnnullato(corsa, voce, ripresa);
    ripresa.dice("Sarà riportata", "Riportata",
        QStringLiteral(" «%1» in «%2»").arg(mostra(intento.nuovoNome), mostra(intento.origine)));
}

// Why the new file is not taken for the run's own: it changed; or it was
// renamed, which leaves no hash, on a medium numbered anew whose file system
// has no lasting name, and whether it changed cannot be told.
QString nonRiconosciuta(const Voce &voce, const Ripresa &ripresa)
{
    const Impronta ora = ripresa.impronta(voce.intento.nuovoNome);
    if (!voce.perCopia() && ora && ora->device != voce.impronta->device)
        return QStringLiteral("non si può dire se sia cambiata: il suo supporto non si riconosce "
                              "come quello dello spostamento, forse perché è stato ricollegato");
    return voce.copia() ? QStringLiteral("è cambiata dopo la copia")
                        : QStringLiteral("è cambiata dopo lo spostamento");
}

void annullaVoce(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    if (voce.annullato)
        return;
    if (!voce.confermato()) {
        if (forseNostro(voce, ripresa))
            ripresa.lascia(voce, QStringLiteral("la corsa si è fermata prima di registrarla"));
        return;
    }
    if (!ripresa.esiste(voce.intento.nuovoNome)) {
        nuovoMancante(corsa, voce, ripresa);
        return;
    }
    if (!eQuello(voce, ripresa)) {
        ripresa.lascia(voce, nonRiconosciuta(voce, ripresa));
        return;
    }
    // A move whose original is still, or again, in place left a copy.
    if (voce.copia()
        || (voce.perCopia() && (!voce.originaleEliminato || originaleIntatto(voce, ripresa))))
        eliminaCopia(corsa, voce, ripresa);
    else
        riportaIndietro(corsa, voce, ripresa);
}

// The folder both are in: with folders by date, the destination they are in.
QString cartellaComune(const QString &una, const QString &altra)
{
    if (una.isEmpty())
        return altra;
    qsizetype comune = 0;
    for (qsizetype i = 0; i < std::min(una.size(), altra.size()) && una.at(i) == altra.at(i); ++i) {
        if (una.at(i) == QLatin1Char('/'))
            comune = i + 1;
    }
    return una.first(comune);
}

// When the run started, copy or move, how many files, from where to where.
QString descrizione(const Corsa &corsa, const Ripresa &ripresa)
{
    QSet<QString> origini;
    QString destinazione;
    QString riserva;
    bool spostamento = false;
    int fatti = 0;
    for (const Voce &voce : corsa.voci) {
        // Every file of a run is copied, or every file moved.
        spostamento = voce.intento.spostato;
        // A moved photo whose original stayed, and whose copy is gone but
        // not by an undo, had its copy taken away again by the run.
        if (!voce.confermato()
            || (voce.intento.spostato && voce.perCopia() && !voce.originaleEliminato
                && !voce.annullato && !ripresa.esiste(voce.intento.nuovoNome)))
            continue;
        ++fatti;
        origini.insert(platform::folderPart(voce.intento.origine));
        destinazione = cartellaComune(destinazione, platform::folderPart(voce.intento.nuovoNome));
        if (const Voce *copia = riservaDi(corsa, voce); copia && copia->confermato())
            riserva = cartellaComune(riserva, platform::folderPart(copia->intento.nuovoNome));
    }
    QString testo =
        QStringLiteral("%1 la corsa del %2: %3 di %4 file")
            .arg(ripresa.prova ? QStringLiteral("Sarà annullata") : QStringLiteral("Annullo"),
                corsa.inizio.toLocalTime().toString(QStringLiteral("dd/MM/yyyy 'alle' HH:mm:ss")),
                spostamento ? QStringLiteral("spostamento") : QStringLiteral("copia"))
            .arg(fatti);
    if (fatti == 0)
        return testo;
    QStringList cartelle = origini.values();
    std::sort(cartelle.begin(), cartelle.end());
    testo += QStringLiteral(" da «%1»").arg(platform::displayFolderName(cartelle.first()));
    if (cartelle.size() == 2)
        testo += QStringLiteral(" e da un'altra cartella");
    else if (cartelle.size() > 2)
        testo += QStringLiteral(" e da altre %1 cartelle").arg(cartelle.size() - 1);
    testo += QStringLiteral(" a «%1»").arg(platform::displayFolderName(destinazione));
    return riserva.isEmpty()
        ? testo
        : testo + QStringLiteral(" e a «%1»").arg(platform::displayFolderName(riserva));
}

// The files past the point where the journal could no longer be written
// cannot be taken back.
void avvisaIncompleto(const Corsa &corsa, Ripresa &ripresa)
{
    if (corsa.rottaDa < 0)
        return;
    ripresa.esito.righe.append(
        QStringLiteral("Il giornale di questa corsa non si è potuto scrivere oltre il file %1 di "
                       "%2: i file da lì in poi, se la corsa li ha trattati, vanno controllati a "
                       "mano.")
            .arg(corsa.rottaDa + 1)
            .arg(corsa.totale));
    ripresa.esito.tuttoAnnullato = false;
}

// Whether a trial would leave the folder empty: all it holds would go.
bool vuotaDopoLaProva(const QString &cartella, const Ripresa &ripresa)
{
    const QStringList nomi = platform::namesIn(cartella);
    return std::all_of(nomi.begin(), nomi.end(), [&](const QString &nome) {
        return ripresa.eliminati.contains(cartella + nome)
            || ripresa.eliminati.contains(cartella + nome + QLatin1Char('/'));
    });
}

// Removes the folders the run made, deepest first, each while it is still
// the very folder made, and only once empty again: what anyone put in one
// since keeps it there, and is said.
void togliCartelle(const Corsa &corsa, Ripresa &ripresa)
{
    QList<CreatoDallaCorsa> cartelle = corsa.cartelle;
    std::stable_sort(cartelle.begin(), cartelle.end(),
        [](const CreatoDallaCorsa &una, const CreatoDallaCorsa &altra) {
            return una.percorso.size() > altra.percorso.size();
        });
    for (const CreatoDallaCorsa &cartella : std::as_const(cartelle)) {
        const Impronta ora = corsa.comeNellaCorsa(ripresa.impronta(cartella.percorso));
        // Gone already, or another folder in its place.
        if (!ora || !platform::isFolderItself(cartella.percorso)
            || ora->device != cartella.impronta.device || ora->inode != cartella.impronta.inode)
            continue;
        const int errore = ripresa.prova
            ? (vuotaDopoLaProva(cartella.percorso, ripresa) ? 0 : ENOTEMPTY)
            : platform::removeEmptyFolder(cartella.percorso);
        if (errore != 0) {
            ripresa.esito.righe.append(QStringLiteral("Lasciata la cartella «%1»: %2")
                                           .arg(platform::displayFolderName(cartella.percorso),
                                               errore == ENOTEMPTY || errore == EEXIST
                                                   ? QStringLiteral("non è vuota")
                                                   : platform::systemErrorText(errore)));
            continue;
        }
        ripresa.eliminati.insert(cartella.percorso);
        ripresa.dice("Sarà eliminata la cartella", "Eliminata la cartella",
            QStringLiteral(" «%1»").arg(platform::displayFolderName(cartella.percorso)));
    }
}

void annullaCorsa(Corsa &corsa, Ripresa &ripresa)
{
    ripresa.esito.righe.append(descrizione(corsa, ripresa));
    // Should this undo be killed as it puts photos back, the next start
    // finds the run open, and frees their names.
    ripresa.registra(corsa, "B\n");
    liberaRitorni(corsa, ripresa);
    // Each file's backup copy after the file: a moved photo is back in its
    // place first, so that its backup copy is never the only one left.
    for (auto voce = corsa.voci.end(); voce != corsa.voci.begin();) {
        --voce;
        annullaVoce(corsa, *voce, ripresa);
        if (const auto riserva = corsa.riserve.find(voce.key()); riserva != corsa.riserve.end())
            annullaVoce(corsa, *riserva, ripresa);
    }
    togliCartelle(corsa, ripresa);
    // All the journal holds is taken back, or what is left is kept as asked:
    // the run counts as undone, and the next undo takes the one before. What
    // a journal cut short could not hold is said as it is left behind.
    if (!ripresa.esito.tuttoAnnullato && ripresa.tieni)
        ripresa.dice("Sarà chiusa la corsa", "Chiusa la corsa",
            QStringLiteral(" con i file lasciati al loro posto: il prossimo annullamento prende "
                           "la corsa precedente"));
    if (ripresa.esito.tuttoAnnullato || ripresa.tieni)
        ripresa.registra(corsa, "A\n");
    avvisaIncompleto(corsa, ripresa);
    ripresa.esito.tuttoAnnullato = ripresa.esito.tuttoAnnullato || ripresa.tieni;
}

// A run whose journal is empty may have placed files all the same: it is
// named and stays in the way, until kept as it is. It closes with a line of
// its own, as there is no header to add records to.
void senzaGiornale(const QString &percorso, Ripresa &ripresa)
{
    if (!ripresa.tieni) {
        ripresa.esito.righe.append(
            QStringLiteral("La corsa del giornale «%1» non si può annullare: il giornale è vuoto, "
                           "forse perché la cartella dei giornali era piena o non vi si poteva "
                           "scrivere; i file di quella corsa vanno controllati a mano")
                .arg(mostra(percorso)));
        ripresa.esito.tuttoAnnullato = false;
        ripresa.esito.fileLasciati = true;
        return;
    }
    if (!ripresa.prova) {
        const auto file = platform::AppendFile::openFree(percorso);
        if (!file || !file->append("\nA\n") || !file->sync()) {
            ripresa.esito.righe.append(
                QStringLiteral("Impossibile chiudere la corsa del giornale «%1»")
                    .arg(mostra(percorso)));
            ripresa.esito.tuttoAnnullato = false;
            return;
        }
    }
    ripresa.dice("Sarà chiusa", "Chiusa",
        QStringLiteral(" la corsa del giornale vuoto «%1»: il prossimo annullamento prende la "
                       "corsa precedente")
            .arg(mostra(percorso)));
}

// Runs the start-up finishing over every journal, then undoes the last run.
// A run the finishing read is undone as the finishing left it in memory, so
// that a trial sees what the finishing would have done.
void annullaUltima(const QStringList &tutti, Ripresa &ripresa)
{
    std::map<QString, Corsa> ripresi = completaCorse(tutti, ripresa);
    for (auto percorso = tutti.crbegin(); percorso != tutti.crend(); ++percorso) {
        std::optional<Corsa> corsa;
        if (const auto ripreso = ripresi.find(*percorso); ripreso != ripresi.end()) {
            corsa = std::move(ripreso->second);
        } else {
            if (fineDi(*percorso) == Fine::Annullata)
                continue;
            Apertura apertura = apriDaAgire(*percorso, ripresa);
            // A run still going is never passed over for the one before it.
            if (apertura.inCorso) {
                ripresa.esito.righe.append(QStringLiteral(
                    "Una corsa è ancora in corso: si potrà annullare quando sarà finita"));
                ripresa.esito.tuttoAnnullato = false;
                return;
            }
            // Nor is one whose journal holds nothing to take it back by, or
            // cannot be read and written.
            if (apertura.senzaIntestazione) {
                senzaGiornale(*percorso, ripresa);
                return;
            }
            if (apertura.errore != 0) {
                ripresa.esito.righe.append(
                    QStringLiteral("Impossibile aprire il giornale «%1»: %2. Quella corsa si "
                                   "potrà annullare quando si potrà scrivere nel giornale.")
                        .arg(mostra(*percorso), platform::systemErrorText(apertura.errore)));
                ripresa.esito.tuttoAnnullato = false;
                return;
            }
            corsa = std::move(apertura.corsa);
        }
        // One a kill stopped as it wrote its first files left only their
        // hidden copies, which the finishing just took away: all there was.
        if (corsa && corsa->voci.isEmpty() && corsa->nascosteTolte > 0) {
            ripresa.registra(*corsa, "A\n");
            return;
        }
        // A run that stopped before its first file has nothing to take
        // back, but the folders it made for it.
        if (corsa && (!corsa->voci.isEmpty() || !corsa->cartelle.isEmpty())) {
            annullaCorsa(*corsa, ripresa);
            return;
        }
    }
    ripresa.esito.righe.append(QStringLiteral("Nessuna corsa da annullare"));
}

} // namespace

EsitoAnnulla annullaUltimaCorsa(bool prova, bool tieni)
{
    return ripercorri(prova, tieni, annullaUltima);
}
