#include "engine/ripresa.h"

#include "engine/giornale.h"
#include "platform/fileerror.h"
#include "platform/media.h"
#include "platform/publishing.h"

bool eQuello(const Voce &voce, const Ripresa &ripresa)
{
    if (!voce.impronta)
        return false;
    const Impronta ora = ripresa.impronta(voce.intento.nuovoNome);
    if (ora == voce.impronta && (voce.improntaBasta() || !voce.perCopia()))
        return true;
    // Where the stamp does not vouch for the file, as once an undo of a later
    // run moved it back, or a driver numbered it anew after a remount, the
    // verified content decides: only the very copy has it.
    return ora && voce.perCopia() && ora->size == voce.impronta->size
        && platform::hashOfFile(voce.intento.nuovoNome) == voce.hashCopia();
}

bool originaleIntatto(const Voce &voce, const Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (ripresa.riportati.contains(intento.origine))
        return true;
    const Impronta ora = ripresa.impronta(intento.origine);
    if (!ora || ora->size != intento.dimensione || !voce.perCopia())
        return false;
    if (intento.sorgente && intento.sorgente->changeNanoseconds != 0 && ora == intento.sorgente)
        return true;
    return platform::hashOfFile(intento.origine) == intento.hash;
}

bool forseNostro(const Voce &voce, const Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    const Impronta ora = ripresa.impronta(intento.nuovoNome);
    if (!ora || ora->size != intento.dimensione)
        return false;
    if (!voce.perCopia())
        return !intento.sorgente
            || (ora->device == intento.sorgente->device && ora->inode == intento.sorgente->inode);
    return platform::hashOfFile(intento.nuovoNome) == voce.hashCopia();
}

void liberaRitorni(const Corsa &corsa, Ripresa &ripresa)
{
    QHash<QString, QHash<QString, QStringList>> resti;
    for (const Voce &voce : corsa.voci) {
        const VoceGiornale &intento = voce.intento;
        if (!intento.spostato || !voce.confermato() || voce.annullato)
            continue;
        const QString cartella = platform::folderPart(intento.origine);
        auto nellaCartella = resti.constFind(cartella);
        if (nellaCartella == resti.cend())
            nellaCartella = resti.insert(cartella, platform::leftoversIn(cartella));
        const QStringList file = nellaCartella->value(intento.origine);
        if (file.isEmpty() || !eQuello(voce, ripresa))
            continue;
        for (const QString &resto : file)
            ripresa.elimina(resto);
    }
}

namespace {

// The number the device of a stamp the run recorded has now, found from the
// folder the stamp's file is in: a remount numbers a device anew, and the
// file system's lasting name, recorded with the run, tells it again.
void cercaNumero(Corsa &corsa, const Impronta &impronta, const QString &file, QSet<QString> &viste)
{
    if (!impronta || !corsa.supporti.contains(impronta->device)
        || corsa.rinumerati.contains(impronta->device))
        return;
    const QString cartella = platform::folderPart(file);
    if (viste.contains(cartella))
        return;
    viste.insert(cartella);
    const Impronta ora = platform::fileStamp(cartella);
    if (ora && ora->device != impronta->device
        && platform::lastingFileSystemName(cartella).toUtf8()
            == corsa.supporti.value(impronta->device))
        corsa.rinumerati.insert(impronta->device, ora->device);
}

// The run's stamps on file systems numbered anew take their new numbers, so
// that each still tells its file.
void rinumera(Corsa &corsa)
{
    QSet<QString> viste;
    for (QMap<int, Voce> *voci : { &corsa.voci, &corsa.riserve }) {
        for (const Voce &voce : std::as_const(*voci)) {
            cercaNumero(corsa, voce.impronta, voce.intento.nuovoNome, viste);
            cercaNumero(corsa, voce.intento.sorgente, voce.intento.origine, viste);
        }
    }
    if (corsa.rinumerati.isEmpty())
        return;
    for (QMap<int, Voce> *voci : { &corsa.voci, &corsa.riserve }) {
        for (Voce &voce : *voci) {
            for (Impronta *impronta : { &voce.impronta, &voce.intento.sorgente }) {
                if (*impronta)
                    (*impronta)->device =
                        corsa.rinumerati.value((*impronta)->device, (*impronta)->device);
            }
        }
    }
}

} // namespace

Apertura apriDaAgire(const QString &percorso, Ripresa &ripresa)
{
    Apertura apertura = apri(percorso);
    if (!apertura.ignorato.isEmpty() && !ripresa.esito.righe.contains(apertura.ignorato))
        ripresa.esito.righe.append(apertura.ignorato);
    if (apertura.corsa && apertura.corsa->annullata)
        apertura.corsa.reset();
    if (apertura.corsa && !apertura.corsa->supporti.isEmpty())
        rinumera(*apertura.corsa);
    return apertura;
}

EsitoAnnulla ripercorri(
    bool prova, bool tieni, void (*passo)(const QStringList &tutti, Ripresa &ripresa))
{
    Ripresa ripresa;
    ripresa.prova = prova;
    ripresa.tieni = tieni;
    try {
        const QString cartella = cartellaGiornali();
        passo(cartella.isEmpty() ? QStringList() : giornali(cartella), ripresa);
    } catch (const platform::FileError &errore) {
        // The folder of the journals, or one of them, cannot be read.
        ripresa.esito.righe.append(errore.message());
        ripresa.esito.tuttoAnnullato = false;
    } catch (...) {
        ripresa.esito.tuttoAnnullato = false;
    }
    return ripresa.esito;
}
