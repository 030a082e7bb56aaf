#include "terminal/riga.h"

#include "engine/controllo.h"
#include "engine/esecuzione.h"
#include "engine/giornale.h"
#include "engine/impostazioni.h"
#include "engine/numerazione.h"
#include "engine/ordine.h"
#include "platform/background.h"
#include "platform/console.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/folderlisting.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#include <numeric>
#include <optional>

namespace {

constexpr int Riuscito = 0;
constexpr int Fermato = 1;
constexpr int UsoErrato = 2;

const QString Uso = QStringLiteral("Uso:\n"
                                   "  copia-e-rinomina copia  SORGENTE... DESTINAZIONE [opzioni]\n"
                                   "  copia-e-rinomina sposta SORGENTE... DESTINAZIONE [opzioni]\n"
                                   "  copia-e-rinomina annulla [--prova]\n"
                                   "  copia-e-rinomina --help | --version\n");

// One option, as the parser takes it and the help shows it.
struct Opzione
{
    QStringList nomi;
    QString valore;
    QString descrizione;
};

const QList<Opzione> &opzioni()
{
    static const QList<Opzione> elenco {
        { { QStringLiteral("n"), QStringLiteral("nome") }, QStringLiteral("BASE"),
            QStringLiteral("il nome base dei nuovi file (predefinito: quello ricordato dalla "
                           "finestra, altrimenti Img_)") },
        { { QStringLiteral("o"), QStringLiteral("ordine") }, QStringLiteral("data|nome"),
            QStringLiteral("data: per ora di modifica, dopo il numero più alto della "
                           "destinazione; nome: per nome del file, da 001 (predefinito: quello "
                           "ricordato dalla finestra, altrimenti data)") },
        { { QStringLiteral("c"), QStringLiteral("correggi") }, QStringLiteral("[+|-]H:MM:SS"),
            QStringLiteral("sposta l'ora di ogni nuovo file, al più di 12:59:59") },
        { { QStringLiteral("e"), QStringLiteral("senza-estensione") }, {},
            QStringLiteral("i nuovi nomi senza estensione") },
        { { QStringLiteral("prova") }, {},
            QStringLiteral("mostra che cosa farebbe, una riga ORIGINE<TAB>NUOVO per file, e non "
                           "tocca nulla") },
        { { QStringLiteral("json") }, {},
            QStringLiteral("scrive il piano o l'esito in JSON, per gli script") },
        { { QStringLiteral("h"), QStringLiteral("help") }, {},
            QStringLiteral("mostra questo aiuto") },
        { { QStringLiteral("version") }, {}, QStringLiteral("mostra la versione") },
    };
    return elenco;
}

// The words in lines of at most 80 columns, each indented.
QString aCapo(const QString &testo, int rientro)
{
    const QString margine(rientro, QLatin1Char(' '));
    QString righe;
    QString riga = margine;
    for (const QString &parola : testo.split(QLatin1Char(' '))) {
        if (riga.size() > rientro && riga.size() + 1 + parola.size() > 80) {
            righe += riga + QLatin1Char('\n');
            riga = margine;
        }
        riga += (riga.size() > rientro ? QStringLiteral(" ") : QString()) + parola;
    }
    return righe + riga + QLatin1Char('\n');
}

QString testoAiuto()
{
    QString testo = QStringLiteral(
        "Copia o sposta foto in una cartella e le rinomina: un nome base, un numero\n"
        "progressivo di almeno tre cifre e l'estensione del file in minuscolo.\n"
        "Senza argomenti apre la finestra.\n\n");
    testo += Uso;
    testo += QStringLiteral(
        "\nSORGENTE è un file o una cartella (tutti i suoi file ordinari); se ne possono\n"
        "dare più d'uno, anche da cartelle diverse. DESTINAZIONE è la cartella in cui\n"
        "vanno i file. copia li copia, sposta li sposta; in ordine di data i file di\n"
        "tutte le sorgenti sono numerati insieme per ora. annulla riporta indietro\n"
        "l'ultima corsa, della finestra o del terminale: toglie una copia solo se il\n"
        "suo originale è ancora al suo posto, intatto; ciò che non può riportare lo\n"
        "lascia e lo elenca, e la volta dopo torna alla stessa corsa.\n\n"
        "Opzioni:\n");
    for (const Opzione &opzione : opzioni()) {
        QString nomi = opzione.nomi.first().size() == 1
            ? QStringLiteral("-%1, --%2").arg(opzione.nomi.first(), opzione.nomi.last())
            : QStringLiteral("    --%1").arg(opzione.nomi.first());
        if (!opzione.valore.isEmpty())
            nomi += QLatin1Char(' ') + opzione.valore;
        testo += QStringLiteral("  %1\n%2").arg(nomi, aCapo(opzione.descrizione, 8));
    }
    testo += QStringLiteral(
        "\nEsempi:\n"
        "  Due fotocamere in una corsa, numerate insieme in ordine di scatto:\n"
        "    copia-e-rinomina copia /media/scheda/DCIM/100CANON /media/telefono/DCIM/Camera \\\n"
        "        ~/Foto/Vacanze -n Vacanze_\n"
        "  L'anteprima, che non tocca nulla:\n"
        "    copia-e-rinomina copia /media/scheda/DCIM/100CANON ~/Foto/Vacanze --prova\n"
        "  La fotocamera era un'ora e mezza avanti:\n"
        "    copia-e-rinomina sposta /media/scheda/DCIM/100CANON ~/Foto -c -1:30:00\n"
        "  Annullare l'ultima corsa, dopo aver visto che cosa farebbe:\n"
        "    copia-e-rinomina annulla --prova\n"
        "    copia-e-rinomina annulla\n\n"
        "Ctrl-C, SIGTERM o SIGHUP fermano la corsa dopo la foto in corso.\n\n"
        "Stato di uscita: 0 se ogni file è fatto (annulla: tutto è stato riportato\n"
        "indietro); 1 se la corsa si è fermata a un file o è stata rifiutata prima di\n"
        "cominciare; 2 per un uso sbagliato.\n");
    return testo;
}

void scrivi(std::FILE *flusso, const QByteArray &testo)
{
    std::fwrite(testo.constData(), 1, size_t(testo.size()), flusso);
    std::fflush(flusso);
}

void scrivi(std::FILE *flusso, const QString &testo)
{
    scrivi(flusso, testo.toUtf8());
}

// Wrong use of the command line: what is wrong.
struct UsoSbagliato
{
    QString motivo;
};

// What the arguments ask for.
struct Richiesta
{
    QString comando;
    // As given; each becomes a path of the program's form.
    QStringList sorgenti;
    QString destinazione;
    std::optional<QString> nome;
    std::optional<bool> perNome;
    qint64 correzione = 0;
    bool senzaEstensione = false;
    bool prova = false;
    bool json = false;
};

// The parser's own texts are English; these say the same in Italian.
QString motivoDelParser(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString nome = parser.unknownOptionNames().first();
        return QStringLiteral("opzione sconosciuta «%1%2»")
            .arg(nome.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), nome);
    }
    static const QRegularExpression citato(QStringLiteral("'([^']*)'"));
    const QString nome = citato.match(parser.errorText()).captured(1);
    if (parser.errorText().startsWith(QLatin1String("Missing value")))
        return QStringLiteral("manca il valore dopo «%1»").arg(nome);
    if (parser.errorText().startsWith(QLatin1String("Unexpected value")))
        return QStringLiteral("«%1» non prende un valore").arg(nome);
    return parser.errorText();
}

// A signed span of at most 12:59:59, in seconds.
qint64 correzioneDaTesto(const QString &testo)
{
    static const QRegularExpression forma(QStringLiteral("^([+-]?)(\\d{1,2}):(\\d\\d):(\\d\\d)$"));
    const QRegularExpressionMatch parti = forma.match(testo);
    const int ore = parti.captured(2).toInt();
    const int minuti = parti.captured(3).toInt();
    const int secondi = parti.captured(4).toInt();
    if (!parti.hasMatch() || ore > 12 || minuti > 59 || secondi > 59)
        throw UsoSbagliato {
            QStringLiteral("--correggi vuole [+|-]H:MM:SS, al più 12:59:59, non «%1»").arg(testo)
        };
    const qint64 span = ore * 3600LL + minuti * 60LL + secondi;
    return parti.captured(1) == QLatin1String("-") ? -span : span;
}

Richiesta leggiArgomenti(const QStringList &argomenti, bool &aiuto, bool &versione)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const Opzione &opzione : opzioni())
        parser.addOption(QCommandLineOption(opzione.nomi, opzione.descrizione, opzione.valore));
    if (!parser.parse(argomenti))
        throw UsoSbagliato { motivoDelParser(parser) };
    aiuto = parser.isSet(QStringLiteral("help"));
    versione = parser.isSet(QStringLiteral("version"));
    if (aiuto || versione)
        return {};

    Richiesta richiesta;
    QStringList posizionali = parser.positionalArguments();
    if (posizionali.isEmpty())
        throw UsoSbagliato { QStringLiteral("manca il comando: copia, sposta o annulla") };
    richiesta.comando = posizionali.takeFirst();
    richiesta.prova = parser.isSet(QStringLiteral("prova"));
    richiesta.json = parser.isSet(QStringLiteral("json"));
    if (richiesta.comando == QLatin1String("annulla")) {
        if (!posizionali.isEmpty())
            throw UsoSbagliato {
                QStringLiteral("annulla non prende argomenti, non «%1»").arg(posizionali.first())
            };
        for (const char *nome : { "nome", "ordine", "correggi", "senza-estensione" }) {
            if (parser.isSet(QLatin1String(nome)))
                throw UsoSbagliato {
                    QStringLiteral("--%1 vale per copia e sposta, non per annulla").arg(nome)
                };
        }
        return richiesta;
    }
    if (richiesta.comando != QLatin1String("copia") && richiesta.comando != QLatin1String("sposta"))
        throw UsoSbagliato { QStringLiteral("comando sconosciuto «%1»: copia, sposta o annulla")
                                 .arg(richiesta.comando) };
    if (posizionali.size() < 2)
        throw UsoSbagliato { posizionali.isEmpty()
                ? QStringLiteral("mancano le sorgenti e la destinazione")
                : QStringLiteral("manca la destinazione, dopo le sorgenti") };
    richiesta.destinazione = posizionali.takeLast();
    richiesta.sorgenti = posizionali;
    for (const QString &percorso : posizionali + QStringList { richiesta.destinazione }) {
        if (percorso.isEmpty())
            throw UsoSbagliato { QStringLiteral("un percorso vuoto") };
    }

    if (parser.isSet(QStringLiteral("nome"))) {
        richiesta.nome = parser.value(QStringLiteral("nome"));
        if (nomeBaseVuoto(*richiesta.nome))
            throw UsoSbagliato {
                QStringLiteral("il nome base «%1» non dà nomi ai file").arg(*richiesta.nome)
            };
    }
    if (parser.isSet(QStringLiteral("ordine"))) {
        const QString ordine = parser.value(QStringLiteral("ordine"));
        if (ordine != QLatin1String("data") && ordine != QLatin1String("nome"))
            throw UsoSbagliato {
                QStringLiteral("--ordine vuole data o nome, non «%1»").arg(ordine)
            };
        richiesta.perNome = ordine == QLatin1String("nome");
    }
    if (parser.isSet(QStringLiteral("correggi")))
        richiesta.correzione = correzioneDaTesto(parser.value(QStringLiteral("correggi")));
    richiesta.senzaEstensione = parser.isSet(QStringLiteral("senza-estensione"));
    return richiesta;
}

// The engine and its journal take whole paths, so that an undo run from
// another folder finds the files.
QString assoluto(const QString &percorso)
{
    if (percorso.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(percorso);
    return QDir::cleanPath(platform::pathFromQt(QDir::currentPath()) + QLatin1Char('/') + percorso);
}

// One file of the selection: its path for the engine, and as the user gave it.
struct FileScelto
{
    QString percorso;
    QString comeDato;
};

// The files the sources name, in argument order; a folder gives its ordinary
// files as start-up takes them. A file named twice counts once.
QList<FileScelto> raccogli(const QStringList &sorgenti)
{
    QList<FileScelto> scelti;
    QSet<QString> visti;
    const auto aggiungi = [&](const QString &percorso, const QString &comeDato) {
        if (!visti.contains(percorso)) {
            visti.insert(percorso);
            scelti.append({ percorso, comeDato });
        }
    };
    for (const QString &sorgente : sorgenti) {
        if (platform::isFolder(sorgente)) {
            const QString cartella = platform::withSeparator(assoluto(sorgente));
            const QString comeData = platform::withSeparator(sorgente);
            platform::FolderListing elenco(cartella + QStringLiteral("*.*"));
            for (QString nome = elenco.next(); !nome.isEmpty(); nome = elenco.next())
                aggiungi(cartella + nome, comeData + nome);
        } else if (platform::isOrdinaryFile(sorgente)) {
            aggiungi(assoluto(sorgente), sorgente);
        } else {
            throw UsoSbagliato { QStringLiteral("«%1» non è un file né una cartella")
                                     .arg(platform::displayFileName(sorgente)) };
        }
    }
    return scelti;
}

// The window's order: by time, merged across sources, or by name without
// folder; ties keep the order of the arguments.
void ordina(QList<FileScelto> &scelti, bool perNome)
{
    QStringList percorsi;
    for (const FileScelto &scelto : scelti)
        percorsi.append(perNome ? platform::namePart(scelto.percorso) : scelto.percorso);
    const std::vector<qsizetype> ordine =
        perNome ? ordinePerNome(percorsi) : ordinePerData(dateDeiFile(percorsi));
    QList<FileScelto> ordinati;
    ordinati.reserve(scelti.size());
    for (qsizetype posizione : ordine)
        ordinati.append(scelti.at(posizione));
    scelti = std::move(ordinati);
}

// The window's correction fields, hours with minutes and seconds added,
// that make the span: -1:30:00 is -2 hours and 30 minutes.
void impostaCorrezione(PianoTrasferimento &piano, qint64 span)
{
    const qint64 ore = span >= 0 ? span / 3600 : -((-span + 3599) / 3600);
    const qint64 resto = span - ore * 3600;
    piano.correzioneOre = int(ore);
    piano.correzioneMinuti = int(resto / 60);
    piano.correzioneSecondi = int(resto % 60);
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

QString dimensione(qint64 byte)
{
    return QLocale(QLocale::Italian).formattedDataSize(byte, 1, QLocale::DataSizeSIFormat);
}

void scriviJson(const QJsonObject &oggetto)
{
    scrivi(stdout, QJsonDocument(oggetto).toJson(QJsonDocument::Indented));
}

QJsonArray fileInJson(const QList<FileScelto> &scelti, const QStringList &nuovi, int fatti = -1)
{
    QJsonArray file;
    for (qsizetype i = 0; i < scelti.size(); ++i) {
        QJsonObject voce { { QStringLiteral("origine"),
                               platform::displayFileName(scelti.at(i).comeDato) },
            { QStringLiteral("nuovo"), platform::displayFileName(nuovi.at(i)) } };
        if (fatti >= 0)
            voce.insert(QStringLiteral("fatto"), i < fatti);
        file.append(voce);
    }
    return file;
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
int annulla(const Richiesta &richiesta)
{
    const EsitoAnnulla esito = annullaUltimaCorsa(richiesta.prova);
    if (richiesta.json) {
        scriviJson({ { QStringLiteral("comando"), QStringLiteral("annulla") },
            { QStringLiteral("prova"), richiesta.prova },
            { QStringLiteral("righe"), QJsonArray::fromStringList(esito.righe) },
            { QStringLiteral("tuttoAnnullato"), esito.tuttoAnnullato } });
    } else if (!esito.righe.isEmpty()) {
        scrivi(stdout, esito.righe.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
    return esito.tuttoAnnullato ? Riuscito : Fermato;
}

// Runs the plan on the worker thread; on a terminal, one line on standard
// error tells how far it has gone, four times a second.
int esegui(const Richiesta &richiesta, const PianoTrasferimento &piano,
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
        const qint64 millisecondi = trascorso.elapsed();
        // The window's "12/600 · 3:05", with the bytes and the speed between.
        const QString conto =
            testoAvanzamento(avanzamento.fatti, totale, avanzamento.byte, byteTotali, millisecondi);
        QStringList parti { conto.section(QStringLiteral(" · "), 0, 0) };
        if (!piano.rinomina) {
            parti << QStringLiteral("%1 di %2")
                         .arg(dimensione(avanzamento.byte), dimensione(byteTotali));
            if (millisecondi >= 100)
                parti << velocita(avanzamento.byte, millisecondi);
        }
        if (const QString resto = conto.section(QStringLiteral(" · "), 1); !resto.isEmpty())
            parti << QStringLiteral("mancano ") + resto;
        scrivi(stderr, QStringLiteral("\r%1\x1b[K").arg(parti.join(QStringLiteral(" · "))));
    });
    if (terminale && totale > 0)
        aggiornamento.start(250);

    QString errore;
    if (totale > 0) {
        try {
            platform::runInBackground(
                [&](const platform::Progress &avanza) {
                    eseguiPiano(piano, avanza, ferma, avanzamento);
                },
                [](int) {});
        } catch (const platform::FileError &eccezione) {
            errore = eccezione.message();
        }
    }
    aggiornamento.stop();
    const qint64 millisecondi = trascorso.elapsed();
    const int fatti = avanzamento.fatti;
    if (terminale && totale > 0)
        scrivi(stderr, QStringLiteral("\r\x1b[K"));
    if (!errore.isEmpty())
        segnala(errore);
    else if (fatti < totale)
        segnala(QStringLiteral("Interrotto dopo %1 file di %2.").arg(fatti).arg(totale));
    if (!avanzamento.avvisoGiornale.isEmpty())
        segnala(avanzamento.avvisoGiornale);

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
    if (richiesta.json) {
        QJsonObject esito { { QStringLiteral("comando"), richiesta.comando },
            { QStringLiteral("destinazione"), platform::displayFileName(destinazione) },
            { QStringLiteral("totale"), totale }, { QStringLiteral("fatti"), fatti },
            { QStringLiteral("byte"), qint64(avanzamento.byte) },
            { QStringLiteral("secondi"), double(millisecondi) / 1000 },
            { QStringLiteral("file"), fileInJson(scelti, nuovi, fatti) } };
        if (!errore.isEmpty())
            esito.insert(QStringLiteral("errore"), errore);
        if (!avanzamento.avvisoGiornale.isEmpty())
            esito.insert(QStringLiteral("giornale"), avanzamento.avvisoGiornale);
        scriviJson(esito);
    }
    return fatti == totale ? Riuscito : Fermato;
}

// A run refused before any file is touched: the report, and for a script the
// same in JSON.
int rifiuta(const Richiesta &richiesta, const QString &motivo)
{
    segnala(motivo);
    if (richiesta.json)
        scriviJson({ { QStringLiteral("comando"), richiesta.comando },
            { QStringLiteral("fatti"), 0 }, { QStringLiteral("errore"), motivo } });
    return Fermato;
}

// The plan of copia or sposta, made by the window's rules through the same
// engine; with --prova it is shown and nothing is touched.
int trasferisci(const Richiesta &richiesta)
{
    if (!richiesta.prova)
        completaInterrotte();
    // The window's remembered choices, read and never written.
    const QString sezione = nomeSezione(QCoreApplication::applicationFilePath());
    const QString ricordato =
        leggiImpostazione(sezione, QStringLiteral("NomeBase"), QStringLiteral("Img_"));
    const QString nome =
        richiesta.nome.value_or(nomeBaseVuoto(ricordato) ? QStringLiteral("Img_") : ricordato);
    const bool perNome = richiesta.perNome.value_or(booleanoDaTesto(
        leggiImpostazione(sezione, QStringLiteral("OrdineNome"), testoBooleano(false))));
    if (const QString motivo = motivoNomeBase(nome); !motivo.isEmpty())
        return rifiuta(richiesta, motivo);

    QList<FileScelto> scelti = raccogli(richiesta.sorgenti);
    ordina(scelti, perNome);
    const QString comeData = platform::withSeparator(richiesta.destinazione);
    const QString destinazione = platform::withSeparator(assoluto(comeData));
    // What a killed run left goes first, so that its reservations count for
    // nothing in the running number.
    if (!richiesta.prova)
        platform::prepareDestination(destinazione);
    const qint64 ultimo = perNome ? 0 : ultimoNumero(destinazione, nome);

    PianoTrasferimento piano;
    for (const FileScelto &scelto : scelti)
        piano.origini.append(scelto.percorso);
    if (const QString oltre =
            numeraPiano(piano, destinazione, nome, ultimo, richiesta.senzaEstensione);
        !oltre.isEmpty())
        return rifiuta(richiesta, oltre);
    piano.spostare = richiesta.comando == QLatin1String("sposta");
    piano.rinomina = piano.spostare && siRinomina(piano.origini, destinazione);
    impostaCorrezione(piano, richiesta.correzione);
    piano.liberaUltimo = perNome;

    // New paths as the destination was given.
    QStringList nuovi;
    for (const QString &nuovo : std::as_const(piano.nuoviNomi))
        nuovi.append(comeData + platform::namePart(nuovo));
    if (richiesta.prova) {
        if (richiesta.json) {
            scriviJson({ { QStringLiteral("comando"), richiesta.comando },
                { QStringLiteral("prova"), true },
                { QStringLiteral("destinazione"), platform::displayFileName(comeData) },
                { QStringLiteral("file"), fileInJson(scelti, nuovi) } });
            return Riuscito;
        }
        // The bytes of each name as on disk, so that a script can use them.
        QByteArray righe;
        for (qsizetype i = 0; i < scelti.size(); ++i)
            righe += platform::encodeFileName(scelti.at(i).comeDato) + '\t'
                + platform::encodeFileName(nuovi.at(i)) + '\n';
        scrivi(stdout, righe);
        return Riuscito;
    }

    QString rifiuto;
    platform::runInBackground([&](const platform::Progress &) { rifiuto = controllaPiano(piano); });
    if (!rifiuto.isEmpty())
        return rifiuta(richiesta, rifiuto);
    return esegui(richiesta, piano, scelti, nuovi, comeData);
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
        const Richiesta richiesta = leggiArgomenti(argomenti, aiuto, versione);
        if (aiuto) {
            scrivi(stdout, testoAiuto());
            return Riuscito;
        }
        if (versione) {
            scrivi(stdout, QStringLiteral("copia-e-rinomina %1\n").arg(COPIA_VERSIONE));
            return Riuscito;
        }
        if (richiesta.comando == QLatin1String("annulla"))
            return annulla(richiesta);
        try {
            return trasferisci(richiesta);
        } catch (const platform::FileError &errore) {
            // A source or the destination that cannot be read.
            return rifiuta(richiesta, errore.message());
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
