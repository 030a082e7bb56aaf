#include "engine/ripresa.h"

#include "engine/giornale.h"
#include "platform/fileerror.h"
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

Apertura apriDaAgire(const QString &percorso, Ripresa &ripresa)
{
    Apertura apertura = apri(percorso);
    if (!apertura.ignorato.isEmpty() && !ripresa.esito.righe.contains(apertura.ignorato))
        ripresa.esito.righe.append(apertura.ignorato);
    if (apertura.corsa && apertura.corsa->annullata)
        apertura.corsa.reset();
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
