#include "terminal/riga.h"

#include "engine/annullamento.h"
#include "engine/completamento.h"
#include "engine/esecuzione.h"
#include "engine/impostazioni.h"
#include "engine/numerazione.h"
#include "engine/piano.h"
#include "engine/verifica.h"
#include "platform/background.h"
#include "platform/console.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "terminal/argomenti.h"
#include "terminal/sorgenti.h"
#include "terminal/stampa.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

constexpr int Riuscito = 0;
constexpr int Fermato = 1;
constexpr int UsoErrato = 2;

void completaInterrotte()
{
    const QStringList righe = completaCorseInterrotte().righe;
    if (!righe.isEmpty())
        scrivi(stderr, righe.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

// The undo finishes what killed runs left first, and its trial says so too.
int annulla(const Argomenti &argomenti)
{
    const EsitoAnnulla esito = annullaUltimaCorsa(argomenti.prova, argomenti.tieni);
    scriviEsitoAnnulla(argomenti, esito);
    return esito.tuttoAnnullato ? Riuscito : Fermato;
}

// Does the work on the worker thread, which it stops when asked by a
// signal; on a terminal, one line on standard error tells how far it has
// gone over the plan's files, four times a second. Returns the
// milliseconds it took; errore gets why it failed.
qint64 inDisparte(const PianoTrasferimento &piano, Avanzamento &avanzamento,
    const std::function<void(const platform::Progress &, const std::atomic<bool> &)> &lavoro,
    QString &errore)
{
    const bool terminale = platform::standardErrorIsTerminal();
    std::atomic<bool> ferma = false;
    platform::stopOnInterrupt(ferma);
    QElapsedTimer trascorso;
    trascorso.start();
    QTimer aggiornamento;
    QObject::connect(&aggiornamento, &QTimer::timeout,
        [&] { scriviAvanzamento(piano, avanzamento, trascorso.elapsed()); });
    if (terminale)
        aggiornamento.start(250);
    try {
        platform::runInBackground([&](const platform::Progress &avanza) { lavoro(avanza, ferma); });
    } catch (const platform::FileError &eccezione) {
        errore = eccezione.message();
    }
    aggiornamento.stop();
    if (terminale)
        cancellaAvanzamento();
    return trascorso.elapsed();
}

// Runs the plan, as inDisparte says.
int esegui(const Argomenti &argomenti, const PianoTrasferimento &piano, const NomiDati &nomi)
{
    const int totale = int(piano.file.size());
    Avanzamento avanzamento;
    QString errore;
    const qint64 millisecondi = inDisparte(
        piano, avanzamento,
        [&](const platform::Progress &avanza, const std::atomic<bool> &ferma) {
            eseguiPiano(piano, avanza, ferma, avanzamento);
        },
        errore);
    const int fatti = avanzamento.fatti;
    if (errore.isEmpty() && fatti < totale)
        errore = QStringLiteral("Interrotto dopo %1 file di %2 (%3).")
                     .arg(fatti)
                     .arg(totale)
                     .arg(platform::stopSignalName());
    scriviEsitoCorsa(argomenti, piano, nomi, avanzamento, errore, millisecondi);
    return fatti == totale ? Riuscito : Fermato;
}

// A run refused before any file is touched, its trial too.
int rifiuta(const Argomenti &argomenti, const QString &motivo)
{
    scriviRifiuto(argomenti, motivo);
    return Fermato;
}

// A folder given, as a whole path ending with its separator.
QString cartellaAssoluta(const QString &cartella)
{
    return platform::withSeparator(assoluto(platform::withSeparator(cartella)));
}

// What the arguments ask, with the window's remembered choices (read and
// never written) where they say nothing.
Richiesta richiestaDegliArgomenti(
    const Argomenti &argomenti, const QList<FileScelto> &scelti, const QStringList &lasciati)
{
    const QString sezione = nomeSezione(QCoreApplication::applicationFilePath());
    const QString ricordato =
        leggiImpostazione(sezione, QStringLiteral("NomeBase"), QStringLiteral("Img_"));
    Richiesta richiesta;
    for (const FileScelto &scelto : scelti)
        richiesta.origini.append(scelto.percorso);
    richiesta.lasciati = lasciati;
    richiesta.destinazione = cartellaAssoluta(argomenti.destinazione);
    if (!argomenti.riserva.isEmpty())
        richiesta.riserva = cartellaAssoluta(argomenti.riserva);
    richiesta.nomeBase =
        argomenti.nome.value_or(nomeBaseVuoto(ricordato) ? QStringLiteral("Img_") : ricordato);
    richiesta.perNome = argomenti.perNome.value_or(booleanoDaTesto(
        leggiImpostazione(sezione, QStringLiteral("OrdineNome"), testoBooleano(false))));
    richiesta.spostare = argomenti.comando == QLatin1String("sposta");
    richiesta.verifica = argomenti.verifica;
    richiesta.senzaEstensione = argomenti.senzaEstensione;
    richiesta.correzioni = argomenti.correzioni;
    richiesta.prova = argomenti.prova;
    richiesta.cartellePerData = argomenti.cartellePerData;
    if (argomenti.saltaDoppioni)
        richiesta.doppioni = Doppioni::Saltati;
    return richiesta;
}

// copia or sposta: the engine makes and checks the plan, as for the window;
// with --prova it is shown and nothing is touched.
int trasferisci(const Argomenti &argomenti)
{
    if (!argomenti.prova)
        completaInterrotte();
    QStringList lasciati;
    const QList<FileScelto> scelti =
        raccogli(argomenti.sorgenti, argomenti.sottocartelle, lasciati);
    if (scelti.isEmpty()) {
        QStringList sorgenti;
        for (const QString &sorgente : argomenti.sorgenti)
            sorgenti.append(QStringLiteral("«%1»").arg(platform::displayFolderName(sorgente)));
        return rifiuta(argomenti,
            QStringLiteral("Nessun file da %1 in %2")
                .arg(argomenti.comando == QLatin1String("sposta") ? QStringLiteral("spostare")
                                                                  : QStringLiteral("copiare"),
                    sorgenti.join(QStringLiteral(", "))));
    }
    const Richiesta richiesta = richiestaDegliArgomenti(argomenti, scelti, lasciati);
    PianoTrasferimento piano;
    QString rifiuto;
    platform::runInBackground(
        [&](const platform::Progress &) { rifiuto = preparaPiano(richiesta, piano); });
    if (!rifiuto.isEmpty())
        return rifiuta(argomenti, rifiuto);

    const NomiDati nomi(scelti, argomenti.destinazione, argomenti.riserva);
    if (argomenti.prova) {
        scriviProva(argomenti, piano, nomi);
        return Riuscito;
    }
    return esegui(argomenti, piano, nomi);
}

// verifica: the card's files read again and looked for among their copies;
// writes nothing anywhere.
int verifica(const Argomenti &argomenti)
{
    RichiestaVerifica richiesta;
    for (const QString &cartella : argomenti.sorgenti)
        richiesta.cartelle << cartellaAssoluta(cartella);
    richiesta.sottocartelle = argomenti.sottocartelle;
    richiesta.destinazione = cartellaAssoluta(argomenti.destinazione);
    richiesta.cartellePerData = argomenti.cartellePerData;
    if (!argomenti.riserva.isEmpty())
        richiesta.riserva = cartellaAssoluta(argomenti.riserva);
    Verifica verifica;
    QString rifiuto;
    platform::runInBackground(
        [&](const platform::Progress &) { rifiuto = preparaVerifica(richiesta, verifica); });
    if (!rifiuto.isEmpty())
        return rifiuta(argomenti, rifiuto);
    Avanzamento avanzamento;
    QString errore;
    const qint64 millisecondi = inDisparte(
        verifica.piano, avanzamento,
        [&](const platform::Progress &, const std::atomic<bool> &ferma) {
            eseguiVerifica(verifica, ferma, avanzamento);
        },
        errore);
    scriviEsitoVerifica(argomenti, verifica, errore, millisecondi);
    return errore.isEmpty() && verifica.siPuoFormattare() ? Riuscito : Fermato;
}

} // namespace

int eseguiRigaDiComando(int argc, char **argv)
{
    // The arguments' bytes, read before Qt sees them, each in the program's
    // form of a path, so that a name that is not UTF-8 reaches its very file.
    QStringList argomenti;
    for (int i = 0; i < argc; ++i)
        argomenti.append(platform::decodeFileName(argv[i]));

    QCoreApplication applicazione(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("copia-e-rinomina"));
    QCoreApplication::setApplicationVersion(QStringLiteral(COPIA_VERSIONE));
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    try {
        bool aiuto = false;
        bool versione = false;
        Argomenti letti = leggiArgomenti(argomenti, aiuto, versione);
        if (aiuto) {
            scrivi(stdout, testoAiuto());
            return Riuscito;
        }
        if (versione) {
            scrivi(stdout, QStringLiteral("copia-e-rinomina %1\n").arg(COPIA_VERSIONE));
            return Riuscito;
        }
        if (letti.scheda)
            prendiLaScheda(letti);
        if (letti.comando == QLatin1String("annulla"))
            return annulla(letti);
        try {
            if (letti.comando == QLatin1String("verifica"))
                return verifica(letti);
            return trasferisci(letti);
        } catch (const platform::FileError &errore) {
            // A source or the destination that cannot be read.
            return rifiuta(letti, errore.message());
        }
    } catch (const UsoSbagliato &errore) {
        scrivi(stderr,
            QStringLiteral("copia-e-rinomina: %1\n%2L'aiuto: copia-e-rinomina --help\n")
                .arg(errore.motivo, Uso));
        return UsoErrato;
    } catch (const platform::FileError &errore) {
        segnala(errore.message());
        return Fermato;
    }
}
