#include "engine/completamento.h"

#include "engine/giornale.h"
#include "engine/ripresa.h"
#include "platform/fileerror.h"
#include "platform/publishing.h"

#include <QMap>

namespace {

// What went of a run's hidden copies in one folder.
struct Tolte
{
    int quante = 0;
    qint64 byte = 0;
};

// Removes, or with prova only finds, the hidden copies the run recorded that
// are still there, the very files; by folder, of those of soloIn alone where given.
QMap<QString, Tolte> togliNascoste(
    const Corsa &corsa, bool prova, const QSet<QString> *soloIn = nullptr)
{
    QMap<QString, Tolte> tolte;
    for (const CreatoDallaCorsa &nascosta : corsa.nascoste) {
        const QString cartella = platform::folderPart(nascosta.percorso);
        if (soloIn && !soloIn->contains(cartella))
            continue;
        if (const auto byte =
                platform::removeOwnTemporary(nascosta.percorso, nascosta.impronta, prova)) {
            ++tolte[cartella].quante;
            tolte[cartella].byte += *byte;
        }
    }
    return tolte;
}

// What a kill left of the files the run was writing goes at once, said
// folder by folder.
void togliNascosteLasciate(Corsa &corsa, Ripresa &ripresa)
{
    const QMap<QString, Tolte> tolte = togliNascoste(corsa, ripresa.prova);
    for (auto cartella = tolte.cbegin(); cartella != tolte.cend(); ++cartella) {
        const int quante = cartella->quante;
        corsa.nascosteTolte += quante;
        ripresa.dice(quante == 1 ? "Sarà eliminata" : "Saranno eliminate",
            quante == 1 ? "Eliminata" : "Eliminate",
            (quante == 1 ? QStringLiteral(" 1 copia nascosta lasciata")
                         : QStringLiteral(" %1 copie nascoste lasciate").arg(quante))
                + QStringLiteral(" in «%1» da una corsa interrotta")
                      .arg(platform::displayFolderName(cartella.key())));
    }
}

// A rename a kill kept from being recorded is known by its inode, which only
// the rename brings to the new name.
void riconosciRinomina(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (voce.confermato() || voce.perCopia() || !intento.spostato || !intento.sorgente
        || !forseNostro(voce, ripresa))
        return;
    voce.impronta = ripresa.impronta(intento.nuovoNome);
    ripresa.registra(corsa, rigaFatto('P', intento.posizione, corsa.comeNellaCorsa(voce.impronta)));
}

// Whether the original's folder is there, on the medium it was read from:
// only then does a missing original tell that it was deleted.
bool cartellaOrigineRaggiungibile(const Voce &voce, const Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    const Impronta cartella = ripresa.impronta(platform::folderPart(intento.origine));
    return cartella && (!intento.sorgente || cartella->device == intento.sorgente->device);
}

// Whether the file's backup copy, where the run made one, is confirmed and
// still the very copy: only then may its original go.
bool riservaAlSicuro(const Corsa &corsa, const Voce &voce, const Ripresa &ripresa)
{
    const Voce *riserva = riservaDi(corsa, voce);
    return !riserva || (!riserva->annullato && eQuello(*riserva, ripresa));
}

// Puts the file's new places on their media; false where one cannot be.
bool suSupporto(const Corsa &corsa, const Voce &voce)
{
    const Voce *riserva = riservaDi(corsa, voce);
    return platform::flushToMedium(voce.intento.nuovoNome) == 0
        && (!riserva || platform::flushToMedium(riserva->intento.nuovoNome) == 0);
}

void eliminaOriginale(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    // Deleted by the run just before the kill, or on a card not in its reader.
    const bool giaEliminato = !ripresa.esiste(intento.origine);
    if (giaEliminato && !cartellaOrigineRaggiungibile(voce, ripresa))
        return;
    if (!giaEliminato) {
        if (!eQuello(voce, ripresa) || !originaleIntatto(voce, ripresa)
            || !riservaAlSicuro(corsa, voce, ripresa))
            return;
        // The photo must be on the medium in its new places before it leaves the old.
        if (!ripresa.prova && !suSupporto(corsa, voce))
            return;
        if (ripresa.elimina(intento.origine) != 0)
            return;
        ripresa.dice("Sarà eliminato l'originale", "Eliminato l'originale",
            QStringLiteral(" «%1», già spostato in «%2»")
                .arg(mostra(intento.origine), mostra(intento.nuovoNome)));
    }
    voce.originaleEliminato = true;
    ripresa.registra(corsa, rigaFatto('O', intento.posizione));
}

void impostaOra(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (!eQuello(voce, ripresa))
        return;
    if (!ripresa.prova) {
        try {
            // To the whole second, as the run writes a corrected time.
            const qint64 ora = *intento.oraNuova;
            const qint64 frazione =
                (ora % platform::NanosecondsPerSecond + platform::NanosecondsPerSecond)
                % platform::NanosecondsPerSecond;
            platform::setFileTime(intento.nuovoNome, ora - frazione);
        } catch (const platform::FileError &) {
            return;
        }
        voce.impronta = platform::fileStamp(intento.nuovoNome);
    }
    voce.completato = true;
    ripresa.registra(corsa,
        rigaFatto(voce.lettera('T'), intento.posizione, corsa.comeNellaCorsa(voce.impronta)));
    ripresa.dice("Sarà corretta la data di", "Corretta la data di",
        QStringLiteral(" «%1», lasciata senza da una corsa interrotta")
            .arg(mostra(intento.nuovoNome)));
}

// What a killed run had done but not recorded as done.
void riprendi(Corsa &corsa, Ripresa &ripresa)
{
    bool elencati = false;
    for (Voce &voce : corsa.voci) {
        const VoceGiornale &intento = voce.intento;
        if (voce.annullato)
            continue;
        riconosciRinomina(corsa, voce, ripresa);
        if (!voce.confermato()) {
            // A kill between publishing and confirming: both stay, said once.
            if (!corsa.elencata && voce.perCopia() && intento.spostato
                && ripresa.esiste(intento.origine) && forseNostro(voce, ripresa)) {
                ripresa.esito.righe.append(
                    QStringLiteral("Restano sia «%1» sia l'originale «%2»: la corsa si è fermata "
                                   "prima di registrare lo spostamento")
                        .arg(mostra(intento.nuovoNome), mostra(intento.origine)));
                elencati = true;
            }
            continue;
        }
        if (voce.perCopia() && intento.spostato && !voce.originaleEliminato)
            eliminaOriginale(corsa, voce, ripresa);
        // A moved photo gets its time once it has left its old place.
        if (voce.siCorregge() && !voce.completato
            && (voce.copia() || !voce.perCopia() || voce.originaleEliminato))
            impostaOra(corsa, voce, ripresa);
    }
    for (Voce &riserva : corsa.riserve) {
        if (riserva.confermato() && !riserva.annullato && riserva.siCorregge()
            && !riserva.completato)
            impostaOra(corsa, riserva, ripresa);
    }
    if (elencati) {
        corsa.elencata = true;
        ripresa.registra(corsa, "K\n");
    }
}

} // namespace

std::map<QString, Corsa> completaCorse(const QStringList &tutti, Ripresa &ripresa)
{
    std::map<QString, Corsa> ripresi;
    for (const QString &percorso : tutti) {
        if (fineDi(percorso) != Fine::Aperta)
            continue;
        std::optional<Corsa> corsa = apriDaAgire(percorso, ripresa).corsa;
        if (!corsa)
            continue;
        togliNascosteLasciate(*corsa, ripresa);
        riprendi(*corsa, ripresa);
        liberaRitorni(*corsa, ripresa);
        ripresi.emplace(percorso, std::move(*corsa));
    }
    return ripresi;
}

EsitoAnnulla completaCorseInterrotte(bool prova)
{
    return ripercorri(prova, false,
        [](const QStringList &tutti, Ripresa &ripresa) { completaCorse(tutti, ripresa); });
}

QHash<QString, qint64> liberaCartelle(const QStringList &cartelle, bool prova)
{
    // Journals that cannot be read leave their files to the clean-up of strangers' files.
    const QSet<QString> soloIn(cartelle.begin(), cartelle.end());
    QHash<QString, qint64> byte;
    for (const QString &percorso : giornaliLeggibili()) {
        if (fineDi(percorso) != Fine::Aperta)
            continue;
        const Apertura apertura = apri(percorso);
        if (!apertura.corsa || apertura.corsa->annullata)
            continue;
        const QMap<QString, Tolte> tolte = togliNascoste(*apertura.corsa, prova, &soloIn);
        for (auto cartella = tolte.cbegin(); cartella != tolte.cend(); ++cartella)
            byte[cartella.key()] += cartella->byte;
    }
    return byte;
}
