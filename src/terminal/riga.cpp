#include "terminal/riga.h"

#include "engine/controllo.h"
#include "engine/esecuzione.h"
#include "engine/giornale.h"
#include "engine/impostazioni.h"
#include "engine/numerazione.h"
#include "engine/piano.h"
#include "platform/background.h"
#include "platform/console.h"
#include "platform/fileerror.h"
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
#include <functional>
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
            QStringLiteral("data: per momento dello scatto, dopo il numero più alto della "
                           "destinazione; nome: per nome del file, da 001 (predefinito: quello "
                           "ricordato dalla finestra, altrimenti data)") },
        { { QStringLiteral("c"), QStringLiteral("correggi") },
            QStringLiteral("[MODELLO=][+|-]H:MM:SS"),
            QStringLiteral("sposta l'ora di ogni nuovo file e le date di scatto dentro la copia, "
                           "al più di 12:59:59; con MODELLO solo delle foto di quella fotocamera "
                           "(il modello che la foto porta con sé), senza di tutte le altre; si può "
                           "ripetere, una volta per fotocamera") },
        { { QStringLiteral("r"), QStringLiteral("sottocartelle") }, {},
            QStringLiteral("prende da ogni cartella anche i file delle sue sottocartelle (non "
                           "quelle nascoste, né i collegamenti a cartelle): copia -r "
                           "/media/scheda/DCIM prende tutta la scheda") },
        { { QStringLiteral("e"), QStringLiteral("senza-estensione") }, {},
            QStringLiteral("i nuovi nomi senza estensione") },
        { { QStringLiteral("salta-doppioni") }, {},
            QStringLiteral("non copia né sposta le foto che la destinazione ha già, con gli stessi "
                           "byte sotto qualsiasi nome (uno scatto solo se le ha tutte); una foto "
                           "non spostata resta dov'è") },
        { { QStringLiteral("prova") }, {},
            QStringLiteral(
                "controlla la corsa come se cominciasse e mostra che cosa farebbe, una "
                "riga ORIGINE<TAB>NUOVO per file (NUOVO è - per un file che resta dov'è: "
                "un file .xmp senza la sua foto, o con --salta-doppioni una foto che la "
                "destinazione ha già), senza toccare nulla; nei nomi \\, "
                "tabulazione e a capo sono scritti \\\\, \\t e \\n") },
        { { QStringLiteral("json") }, {},
            QStringLiteral("scrive il piano o l'esito in JSON, per gli script; un byte di un nome "
                           "che non è UTF-8 vi è scritto \\udcXX, come lo legge il "
                           "\"surrogateescape\" di Python; un file che resta dov'è vi ha "
                           "\"nuovo\": null, e una foto che la destinazione ha già anche "
                           "\"doppione\": true") },
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
        "tutte le sorgenti sono numerati insieme per il momento dello scatto che la\n"
        "foto porta con sé (altrimenti per l'ora del file). I file di una cartella\n"
        "con lo stesso nome ma per l'ultima estensione, come IMG_0001.CR2 e\n"
        "IMG_0001.JPG, sono uno scatto e prendono un solo numero; un file .xmp va con\n"
        "la sua foto (IMG_0001.xmp con lo scatto, IMG_0001.CR2.xmp con il file) e ne\n"
        "prende il nome, e senza la sua foto resta dov'è. annulla riporta indietro\n"
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
        "  Una seconda importazione della stessa scheda, senza le foto già importate:\n"
        "    copia-e-rinomina copia -r /media/scheda/DCIM ~/Foto/Vacanze --salta-doppioni\n"
        "  La fotocamera era un'ora e mezza avanti:\n"
        "    copia-e-rinomina sposta /media/scheda/DCIM/100CANON ~/Foto -c -1:30:00\n"
        "  Due fotocamere, la Canon un'ora avanti e la Nikon giusta:\n"
        "    copia-e-rinomina copia /media/canon/DCIM/100CANON /media/nikon/DCIM/100NIKON \\\n"
        "        ~/Foto/Gita -n Gita_ -c \"Canon EOS R6=-1:00:00\"\n"
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
struct Argomenti
{
    QString comando;
    // As given; each becomes a path of the program's form.
    QStringList sorgenti;
    QString destinazione;
    std::optional<QString> nome;
    std::optional<bool> perNome;
    QList<Correzione> correzioni;
    bool senzaEstensione = false;
    bool sottocartelle = false;
    bool saltaDoppioni = false;
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

// "[MODELLO=][+|-]H:MM:SS": a signed span of at most 12:59:59, in seconds,
// for the photos of one camera model or, without it, for every other.
Correzione correzioneDaTesto(const QString &testo)
{
    static const QRegularExpression forma(
        QStringLiteral("^(?:([^=]*)=)?([+-]?)(\\d{1,2}):(\\d\\d):(\\d\\d)$"));
    const QRegularExpressionMatch parti = forma.match(testo);
    const int ore = parti.captured(3).toInt();
    const int minuti = parti.captured(4).toInt();
    const int secondi = parti.captured(5).toInt();
    if (!parti.hasMatch() || ore > 12 || minuti > 59 || secondi > 59)
        throw UsoSbagliato { QStringLiteral(
            "--correggi vuole [MODELLO=][+|-]H:MM:SS, al più 12:59:59, non «%1»")
                                 .arg(testo) };
    const qint64 span = ore * 3600LL + minuti * 60LL + secondi;
    return { parti.captured(1).trimmed(), parti.captured(2) == QLatin1String("-") ? -span : span };
}

// One correction a camera, and one for all the others.
QList<Correzione> correzioniDaTesti(const QStringList &testi)
{
    QList<Correzione> correzioni;
    QSet<QString> modelli;
    for (const QString &testo : testi) {
        const Correzione correzione = correzioneDaTesto(testo);
        const QString chiave = correzione.modello.toCaseFolded();
        if (modelli.contains(chiave))
            throw UsoSbagliato {
                correzione.modello.isEmpty()
                    ? QStringLiteral("--correggi senza modello si dà una volta sola")
                    : QStringLiteral("--correggi dà due correzioni a «%1»").arg(correzione.modello)
            };
        modelli.insert(chiave);
        correzioni.append(correzione);
    }
    return correzioni;
}

Argomenti leggiArgomenti(const QStringList &argomenti, bool &aiuto, bool &versione)
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

    Argomenti letti;
    QStringList posizionali = parser.positionalArguments();
    if (posizionali.isEmpty())
        throw UsoSbagliato { QStringLiteral("manca il comando: copia, sposta o annulla") };
    letti.comando = posizionali.takeFirst();
    letti.prova = parser.isSet(QStringLiteral("prova"));
    letti.json = parser.isSet(QStringLiteral("json"));
    if (letti.comando == QLatin1String("annulla")) {
        if (!posizionali.isEmpty())
            throw UsoSbagliato {
                QStringLiteral("annulla non prende argomenti, non «%1»").arg(posizionali.first())
            };
        for (const char *nome : { "nome", "ordine", "correggi", "senza-estensione", "sottocartelle",
                 "salta-doppioni" }) {
            if (parser.isSet(QLatin1String(nome)))
                throw UsoSbagliato {
                    QStringLiteral("--%1 vale per copia e sposta, non per annulla").arg(nome)
                };
        }
        return letti;
    }
    if (letti.comando != QLatin1String("copia") && letti.comando != QLatin1String("sposta"))
        throw UsoSbagliato {
            QStringLiteral("comando sconosciuto «%1»: copia, sposta o annulla").arg(letti.comando)
        };
    if (posizionali.size() < 2)
        throw UsoSbagliato { posizionali.isEmpty()
                ? QStringLiteral("mancano le sorgenti e la destinazione")
                : QStringLiteral("manca la destinazione, dopo le sorgenti") };
    letti.destinazione = posizionali.takeLast();
    letti.sorgenti = posizionali;
    for (const QString &percorso : posizionali + QStringList { letti.destinazione }) {
        if (percorso.isEmpty())
            throw UsoSbagliato { QStringLiteral("un percorso vuoto") };
    }

    if (parser.isSet(QStringLiteral("nome"))) {
        letti.nome = parser.value(QStringLiteral("nome"));
        if (nomeBaseVuoto(*letti.nome))
            throw UsoSbagliato {
                QStringLiteral("il nome base «%1» non dà nomi ai file").arg(*letti.nome)
            };
    }
    if (parser.isSet(QStringLiteral("ordine"))) {
        const QString ordine = parser.value(QStringLiteral("ordine"));
        if (ordine != QLatin1String("data") && ordine != QLatin1String("nome"))
            throw UsoSbagliato {
                QStringLiteral("--ordine vuole data o nome, non «%1»").arg(ordine)
            };
        letti.perNome = ordine == QLatin1String("nome");
    }
    letti.correzioni = correzioniDaTesti(parser.values(QStringLiteral("correggi")));
    letti.senzaEstensione = parser.isSet(QStringLiteral("senza-estensione"));
    letti.sottocartelle = parser.isSet(QStringLiteral("sottocartelle"));
    letti.saltaDoppioni = parser.isSet(QStringLiteral("salta-doppioni"));
    return letti;
}

// The engine and its journal take whole paths, so that an undo run from
// another folder finds the files. A folder is taken as the system resolves
// it, so that "link/.." is the parent of the link's target; a path that leads
// nowhere is kept as given, for the check to name.
QString assoluto(const QString &percorso)
{
    if (const std::optional<QString> cartella = platform::resolvedFolder(percorso))
        return *cartella;
    const QString cartella = platform::folderPart(percorso);
    const std::optional<QString> dove = cartella.isEmpty()
        ? platform::resolvedFolder(QStringLiteral("."))
        : platform::resolvedFolder(cartella);
    return dove ? *dove + platform::namePart(percorso) : percorso;
}

// One file of the selection: its path for the engine, and as the user gave it.
struct FileScelto
{
    QString percorso;
    QString comeDato;
};

// The files the sources name, in argument order; a folder gives its ordinary
// files as start-up takes them, and with sottocartelle those of its
// subfolders. A file named twice counts once.
QList<FileScelto> raccogli(const QStringList &sorgenti, bool sottocartelle)
{
    QList<FileScelto> scelti;
    QSet<QString> visti;
    const auto aggiungi = [&](const QString &percorso, const QString &comeDato) {
        if (!visti.contains(percorso)) {
            visti.insert(percorso);
            scelti.append({ percorso, comeDato });
        }
    };
    const std::function<void(const QString &, const QString &)> cartella =
        [&](const QString &percorso, const QString &comeData) {
            platform::FolderListing elenco(percorso + QStringLiteral("*.*"));
            for (QString nome = elenco.next(); !nome.isEmpty(); nome = elenco.next())
                aggiungi(percorso + nome, comeData + nome);
            if (sottocartelle) {
                for (const QString &sotto : platform::subfoldersOf(percorso))
                    cartella(percorso + sotto + u'/', comeData + sotto + u'/');
            }
        };
    for (const QString &sorgente : sorgenti) {
        if (platform::isFolder(sorgente)) {
            cartella(assoluto(sorgente), platform::withSeparator(sorgente));
        } else if (platform::isOrdinaryFile(sorgente)) {
            aggiungi(assoluto(sorgente), sorgente);
        } else {
            throw UsoSbagliato { QStringLiteral("«%1» non è un file né una cartella")
                                     .arg(platform::displayFileName(sorgente)) };
        }
    }
    return scelti;
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
