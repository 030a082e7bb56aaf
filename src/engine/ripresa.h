#pragma once

#include "engine/completamento.h"
#include "engine/formatogiornale.h"
#include "platform/appendfile.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"

#include <QSet>

#include <map>
#include <optional>

// What the start-up finishing and the undo share as they go over the runs'
// journals, the checks of a file's identity above all.

inline QString mostra(const QString &percorso)
{
    return platform::displayFileName(percorso);
}

// An undo, or the start-up finishing, as it goes or as it would go: with
// prova, what would be deleted is only noted, and nothing is written.
struct Ripresa
{
    bool prova = false;
    // Keep what an undo must leave, and close its run all the same.
    bool tieni = false;
    EsitoAnnulla esito;
    QSet<QString> eliminati;
    // The originals a trial would have put back by then, whole.
    QSet<QString> riportati;

    bool esiste(const QString &percorso) const
    {
        return !eliminati.contains(percorso) && platform::nameExists(percorso);
    }
    Impronta impronta(const QString &percorso) const
    {
        return eliminati.contains(percorso) ? std::nullopt : platform::fileStamp(percorso);
    }
    // 0, or the system's error.
    int elimina(const QString &percorso)
    {
        if (!prova)
            return platform::removeFile(percorso);
        eliminati.insert(percorso);
        return 0;
    }
    void registra(Corsa &corsa, const QByteArray &riga)
    {
        if (!prova)
            corsa.aggiungi(riga);
    }
    void dice(const char *inProva, const char *fatto, const QString &resto)
    {
        esito.righe.append(QString::fromUtf8(prova ? inProva : fatto) + resto);
    }
    void lascia(const Voce &voce, const QString &perche)
    {
        esito.righe.append(
            QStringLiteral("Lasciata «%1»: %2").arg(mostra(voce.intento.nuovoNome), perche));
        esito.tuttoAnnullato = false;
        esito.fileLasciati = true;
    }
};

// The backup copy of the file of voce, where the run made one.
inline const Voce *riservaDi(const Corsa &corsa, const Voce &voce)
{
    const auto riserva = corsa.riserve.constFind(voce.intento.posizione);
    return riserva == corsa.riserve.cend() ? nullptr : &*riserva;
}

// Whether the new file is still exactly what the run recorded: its stamp,
// and where the medium's times are too coarse to tell a later write (FAT,
// exFAT) its verified content too; or, its stamp changed, that content.
bool eQuello(const Voce &voce, const Ripresa &ripresa);

// Whether the original is in place, whole: unchanged since it was read, or
// with the very bytes that were copied; never through a link, which may
// lead to the copy itself.
bool originaleIntatto(const Voce &voce, const Ripresa &ripresa);

// Whether a file under an unconfirmed entry's new name may be the run's own:
// a rename brings the original's inode, a copy the copied bytes. Another's
// file there is no concern of this run.
bool forseNostro(const Voce &voce, const Ripresa &ripresa);

// Frees the names the run's moved photos go back to of what an undo killed
// as it put them back left there: hidden copies, and the empty reservation
// of the name. Only where the photo's copy is still the very one the run
// made, which stays whole until its original is back.
void liberaRitorni(const Corsa &corsa, Ripresa &ripresa);

// Opens a journal to be acted on; says once why one is ignored. A run
// already undone comes without its journal.
Apertura apriDaAgire(const QString &percorso, Ripresa &ripresa);

// Runs the start-up finishing (completamento.cpp), which the undo does
// first, over the journals tutti, from the first run to
// the last: the runs it read, by path, as it left them in memory.
std::map<QString, Corsa> completaCorse(const QStringList &tutti, Ripresa &ripresa);

// Runs passo over every journal, first to last, with a new Ripresa: with
// prova, a trial. Whatever throws leaves the job not all done.
EsitoAnnulla ripercorri(
    bool prova, bool tieni, void (*passo)(const QStringList &tutti, Ripresa &ripresa));
