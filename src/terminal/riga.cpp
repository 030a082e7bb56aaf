#include "terminal/riga.h"

#include "engine/controllo.h"
#include "engine/esecuzione.h"
#include "engine/giornale.h"
#include "engine/impostazioni.h"
#include "engine/numerazione.h"
#include "engine/piano.h"
#include "platform/background.h"
#include "platform/console.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "terminal/argomenti.h"
#include "terminal/sorgenti.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTimer>

#include <cstdio>
#include <numeric>
#include <optional>

namespace {

constexpr int Riuscito = 0;
constexpr int Fermato = 1;
constexpr int UsoErrato = 2;

void scrivi(std::FILE *flusso, const QByteArray &testo)
{
    std::fwrite(testo.constData(), 1, size_t(testo.size()), flusso);
    std::fflush(flusso);
}

void scrivi(std::FILE *flusso, const QString &testo)
{
    scrivi(flusso, testo.toUtf8());
}

QString decimale(double valore, int cifre)
{
    return QLocale(QLocale::Italian).toString(valore, 'f', cifre);
}

// "96 MB/s", or "4,5 MB/s" when slow; decimal megabytes.
QString velocita(qint64 byte, qint64 millisecondi)
{
    const double megaAlSecondo = double(byte) / 1e6 / (double(millisecondi) / 1000);
    return decimale(megaAlSecondo, megaAlSecondo < 10 ? 1 : 0) + QStringLiteral(" MB/s");
}

void scriviJson(const QJsonObject &oggetto)
{
    scrivi(stdout, QJsonDocument(oggetto).toJson(QJsonDocument::Indented));
}

// A name in JSON keeps every byte, as a script reads it back.
QJsonValue nomeInJson(const QString &nome)
{
    return platform::surrogateEscapedName(nome);
}

// When a photo was taken, in local time with its offset, to the millisecond.
QJsonValue scattoInJson(const std::optional<qint64> &scatto)
{
    if (!scatto)
        return QJsonValue::Null;
    const QDateTime ora = QDateTime::fromMSecsSinceEpoch(*scatto / 1'000'000);
    return ora.toOffsetFromUtc(ora.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QJsonArray fileInJson(const PianoTrasferimento &piano, const QList<FileScelto> &scelti,
    const QStringList &nuovi, int fatti = -1)
{
    QJsonArray file;
    for (qsizetype i = 0; i < scelti.size(); ++i) {
        QJsonObject voce { { QStringLiteral("origine"), nomeInJson(scelti.at(i).comeDato) } };
        if (i < piano.origini.size()) {
            voce.insert(QStringLiteral("nuovo"), nomeInJson(nuovi.at(i)));
            voce.insert(QStringLiteral("scatto"), scattoInJson(piano.scatti.at(i)));
            voce.insert(QStringLiteral("fonte"),
                piano.scattoDallaFoto.at(i) ? QStringLiteral("exif") : QStringLiteral("file"));
        } else {
            voce.insert(QStringLiteral("nuovo"), QJsonValue::Null);
            // After the sidecars without their photo come the doubles.
            if (i >= piano.origini.size() + piano.senzaFoto.size())
                voce.insert(QStringLiteral("doppione"), true);
        }
        if (fatti >= 0)
            voce.insert(QStringLiteral("fatto"), i < fatti);
        file.append(voce);
    }
    return file;
}

// A name's bytes for a line of --prova: a backslash, a tab or a newline in
// it would break the line, and are written \\, \t and \n.
QByteArray nomeInRiga(const QString &nome)
{
    QByteArray riga;
    for (const char c : platform::encodeFileName(nome)) {
        if (c == '\\')
            riga += "\\\\";
        else if (c == '\t')
            riga += "\\t";
        else if (c == '\n')
            riga += "\\n";
        else
            riga += c;
    }
    return riga;
}

// A report on standard error, line by line as the engine wrote it.
void segnala(const QString &testo)
{
    QString righe = testo;
    righe.replace(QStringLiteral("\n\n"), QStringLiteral("\n"));
    scrivi(stderr, righe + QLatin1Char('\n'));
}

void completaInterrotte()
{
    const QStringList righe = completaCorseInterrotte().righe;
    if (!righe.isEmpty())
        scrivi(stderr, righe.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

// The undo finishes what killed runs left first, and its trial says so too.
int annulla(const Argomenti &argomenti)
{
    const EsitoAnnulla esito = annullaUltimaCorsa(argomenti.prova);
    if (argomenti.json) {
        scriviJson({ { QStringLiteral("comando"), QStringLiteral("annulla") },
            { QStringLiteral("prova"), argomenti.prova },
            { QStringLiteral("righe"), QJsonArray::fromStringList(esito.righe) },
            { QStringLiteral("tuttoAnnullato"), esito.tuttoAnnullato } });
    } else if (!esito.righe.isEmpty()) {
        scrivi(stdout, esito.righe.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
    return esito.tuttoAnnullato ? Riuscito : Fermato;
}

// The line that tells how far the run has gone: the window's "12/600 · 3:05",
// with the bytes and the speed between.
QString rigaAvanzamento(const PianoTrasferimento &piano, const Avanzamento &avanzamento,
    qint64 byteTotali, qint64 millisecondi)
{
    const QString conto = testoAvanzamento(
        avanzamento.fatti, int(piano.nuoviNomi.size()), avanzamento.byte, byteTotali, millisecondi);
    QStringList parti { conto.section(QStringLiteral(" · "), 0, 0) };
    if (!piano.rinomina) {
        parti << QStringLiteral("%1 di %2")
                     .arg(testoDimensione(avanzamento.byte), testoDimensione(byteTotali));
        if (millisecondi >= 100)
            parti << velocita(avanzamento.byte, millisecondi);
    }
    if (const QString resto = conto.section(QStringLiteral(" · "), 1); !resto.isEmpty())
        parti << QStringLiteral("mancano ") + resto;
    return parti.join(QStringLiteral(" · "));
}

// Runs the plan on the worker thread; on a terminal, one line on standard
// error tells how far it has gone, four times a second.
int esegui(const Argomenti &argomenti, const PianoTrasferimento &piano,
    const QList<FileScelto> &scelti, const QStringList &nuovi, const QString &destinazione)
{
    const bool terminale = platform::standardErrorIsTerminal();
    const qint64 byteTotali =
        std::accumulate(piano.dimensioni.begin(), piano.dimensioni.end(), 0LL);
    const int totale = int(piano.nuoviNomi.size());
    Avanzamento avanzamento;
    std::atomic<bool> ferma = false;
    platform::stopOnInterrupt(ferma);
    QElapsedTimer trascorso;
    trascorso.start();
    QTimer aggiornamento;
    QObject::connect(&aggiornamento, &QTimer::timeout, [&] {
        scrivi(stderr,
            QStringLiteral("\r%1\x1b[K")
                .arg(rigaAvanzamento(piano, avanzamento, byteTotali, trascorso.elapsed())));
    });
    if (terminale)
        aggiornamento.start(250);

    QString errore;
    try {
        platform::runInBackground([&](const platform::Progress &avanza) {
            eseguiPiano(piano, avanza, ferma, avanzamento);
        });
    } catch (const platform::FileError &eccezione) {
        errore = eccezione.message();
    }
    aggiornamento.stop();
    const qint64 millisecondi = trascorso.elapsed();
    const int fatti = avanzamento.fatti;
    if (terminale)
        scrivi(stderr, QStringLiteral("\r\x1b[K"));
    if (errore.isEmpty() && fatti < totale)
        errore = QStringLiteral("Interrotto dopo %1 file di %2 (%3).")
                     .arg(fatti)
                     .arg(totale)
                     .arg(platform::stopSignalName());
    if (!errore.isEmpty())
        segnala(errore);
    const QString dateNonCorrette = avvisoDateNonCorrette(avanzamento.dateNonCorrette);
    for (const QString &avviso :
        { avanzamento.avvisoGiornale, dateNonCorrette, avvisoSenzaFoto(piano) }) {
        if (!avviso.isEmpty())
            segnala(avviso);
    }

    if (terminale) {
        const bool una = fatti == 1;
        QString riepilogo = QStringLiteral("%1 foto %2 in %3 s")
                                .arg(fatti)
                                .arg(QLatin1String(piano.spostare ? (una ? "spostata" : "spostate")
                                                                  : (una ? "copiata" : "copiate")))
                                .arg(decimale(double(millisecondi) / 1000, 1));
        if (!piano.rinomina && avanzamento.byte > 0 && millisecondi >= 100)
            riepilogo += QStringLiteral(" (%1)").arg(velocita(avanzamento.byte, millisecondi));
        scrivi(stderr, riepilogo + QLatin1Char('\n'));
    }
    if (const qsizetype saltate = piano.doppioni.size())
        scrivi(stderr,
            (saltate == 1 ? QStringLiteral("1 foto già presente, saltata\n")
                          : QStringLiteral("%1 foto già presenti, saltate\n").arg(saltate)));
    if (argomenti.json) {
        QJsonObject esito { { QStringLiteral("comando"), argomenti.comando },
            { QStringLiteral("destinazione"), nomeInJson(destinazione) },
            { QStringLiteral("totale"), totale }, { QStringLiteral("fatti"), fatti },
            { QStringLiteral("byte"), qint64(avanzamento.byte) },
            { QStringLiteral("secondi"), double(millisecondi) / 1000 },
            { QStringLiteral("file"), fileInJson(piano, scelti, nuovi, fatti) } };
        if (!errore.isEmpty())
            esito.insert(QStringLiteral("errore"), errore);
        if (!avanzamento.avvisoGiornale.isEmpty())
            esito.insert(QStringLiteral("giornale"), avanzamento.avvisoGiornale);
        if (!dateNonCorrette.isEmpty())
            esito.insert(QStringLiteral("dateNonCorrette"), dateNonCorrette);
        scriviJson(esito);
    }
    return fatti == totale ? Riuscito : Fermato;
}

// A run refused before any file is touched, its trial too: the report, and
// for a script the same in JSON.
int rifiuta(const Argomenti &argomenti, const QString &motivo)
{
    segnala(motivo);
    if (argomenti.json)
        scriviJson({ { QStringLiteral("comando"), argomenti.comando },
            { QStringLiteral("prova"), argomenti.prova }, { QStringLiteral("fatti"), 0 },
            { QStringLiteral("errore"), motivo } });
    return Fermato;
}

// The trial: the plan as it would run, one line or one JSON entry a file.
int mostraPiano(const Argomenti &argomenti, const PianoTrasferimento &piano,
    const QList<FileScelto> &scelti, const QStringList &nuovi, const QString &destinazione)
{
    if (argomenti.json) {
        scriviJson(
            { { QStringLiteral("comando"), argomenti.comando }, { QStringLiteral("prova"), true },
                { QStringLiteral("destinazione"), nomeInJson(destinazione) },
                { QStringLiteral("file"), fileInJson(piano, scelti, nuovi) } });
        return Riuscito;
    }
    QByteArray righe;
    for (qsizetype i = 0; i < scelti.size(); ++i)
        righe += nomeInRiga(scelti.at(i).comeDato) + '\t'
            + (i < piano.origini.size() ? nomeInRiga(nuovi.at(i)) : QByteArray("-")) + '\n';
    scrivi(stdout, righe);
    return Riuscito;
}

// What the arguments ask, with the window's remembered choices (read and
// never written) where they say nothing.
Richiesta richiestaDegliArgomenti(const Argomenti &argomenti, const QList<FileScelto> &scelti)
{
    const QString sezione = nomeSezione(QCoreApplication::applicationFilePath());
    const QString ricordato =
        leggiImpostazione(sezione, QStringLiteral("NomeBase"), QStringLiteral("Img_"));
    Richiesta richiesta;
    for (const FileScelto &scelto : scelti)
        richiesta.origini.append(scelto.percorso);
    richiesta.destinazione =
        platform::withSeparator(assoluto(platform::withSeparator(argomenti.destinazione)));
    richiesta.nomeBase =
        argomenti.nome.value_or(nomeBaseVuoto(ricordato) ? QStringLiteral("Img_") : ricordato);
    richiesta.perNome = argomenti.perNome.value_or(booleanoDaTesto(
        leggiImpostazione(sezione, QStringLiteral("OrdineNome"), testoBooleano(false))));
    richiesta.spostare = argomenti.comando == QLatin1String("sposta");
    richiesta.senzaEstensione = argomenti.senzaEstensione;
    richiesta.correzioni = argomenti.correzioni;
    richiesta.prova = argomenti.prova;
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
    const QList<FileScelto> scelti = raccogli(argomenti.sorgenti, argomenti.sottocartelle);
    if (scelti.isEmpty()) {
        QStringList sorgenti;
        for (const QString &sorgente : argomenti.sorgenti)
            sorgenti.append(QStringLiteral("«%1»").arg(platform::displayFileName(sorgente)));
        return rifiuta(argomenti,
            QStringLiteral("Nessun file da %1 in %2")
                .arg(argomenti.comando == QLatin1String("sposta") ? QStringLiteral("spostare")
                                                                  : QStringLiteral("copiare"),
                    sorgenti.join(QStringLiteral(", "))));
    }
    const Richiesta richiesta = richiestaDegliArgomenti(argomenti, scelti);
    PianoTrasferimento piano;
    QString rifiuto;
    platform::runInBackground(
        [&](const platform::Progress &) { rifiuto = preparaPiano(richiesta, piano); });
    if (!rifiuto.isEmpty())
        return rifiuta(argomenti, rifiuto);

    // Each file and new path as the user gave them, in the plan's order.
    QHash<QString, qsizetype> posizioni;
    for (qsizetype i = 0; i < scelti.size(); ++i)
        posizioni.insert(scelti.at(i).percorso, i);
    QList<FileScelto> ordinati;
    QStringList nuovi;
    const QString comeData = platform::withSeparator(argomenti.destinazione);
    for (qsizetype i = 0; i < piano.origini.size(); ++i) {
        ordinati.append(scelti.at(posizioni.value(piano.origini.at(i))));
        nuovi.append(comeData + platform::namePart(piano.nuoviNomi.at(i)));
    }
    // Then the files that stay where they are, with no new name: the
    // sidecars without their photo, and the photos the destination has.
    for (const QString &resta : piano.senzaFoto + piano.doppioni)
        ordinati.append(scelti.at(posizioni.value(resta)));
    if (argomenti.prova)
        return mostraPiano(argomenti, piano, ordinati, nuovi, comeData);
    return esegui(argomenti, piano, ordinati, nuovi, comeData);
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
        const Argomenti letti = leggiArgomenti(argomenti, aiuto, versione);
        if (aiuto) {
            scrivi(stdout, testoAiuto());
            return Riuscito;
        }
        if (versione) {
            scrivi(stdout, QStringLiteral("copia-e-rinomina %1\n").arg(COPIA_VERSIONE));
            return Riuscito;
        }
        if (letti.comando == QLatin1String("annulla"))
            return annulla(letti);
        try {
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
