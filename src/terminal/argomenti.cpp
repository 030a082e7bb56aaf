#include "terminal/argomenti.h"

#include "engine/correzione.h"
#include "engine/numerazione.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

const QString Uso =
    QStringLiteral("Uso:\n"
                   "  copia-e-rinomina copia  SORGENTE... DESTINAZIONE [opzioni]\n"
                   "  copia-e-rinomina sposta SORGENTE... DESTINAZIONE [opzioni]\n"
                   "  copia-e-rinomina copia|sposta --scheda DESTINAZIONE [opzioni]\n"
                   "  copia-e-rinomina verifica CARTELLA... DESTINAZIONE [--riserva "
                   "CARTELLA]\n"
                   "                            [-r] [--json]\n"
                   "  copia-e-rinomina annulla [--prova] [--tieni]\n"
                   "  copia-e-rinomina --help | --version\n");

namespace {

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
            QStringLiteral("sposta l'ora di ogni nuovo file e le date di scatto dentro la copia "
                           "(foto, filmati, HEIC), al più di 12:59:59; con MODELLO solo dei file "
                           "di quella fotocamera (il modello che la foto porta con sé, o per un "
                           "filmato quello delle foto della sua cartella), senza di tutti gli "
                           "altri; si può ripetere, una volta per fotocamera; un MODELLO che "
                           "nessun file nomina è rifiutato") },
        { { QStringLiteral("r"), QStringLiteral("sottocartelle") }, {},
            QStringLiteral("prende da ogni cartella anche i file delle sue sottocartelle (non "
                           "quelle nascoste, né i collegamenti a cartelle), ma solo foto, video, "
                           "file .xmp e i THM e WAV della fotocamera; il resto (i suoi cataloghi "
                           ".CTG, .BDM, .MPL..., un testo) resta dov'è: copia -r "
                           "/media/scheda/DCIM prende tutta la scheda") },
        { { QStringLiteral("scheda") }, {},
            QStringLiteral("al posto delle sorgenti: la cartella DCIM della scheda montata, con le "
                           "sue sottocartelle come con -r; se nessuna scheda montata ha una "
                           "cartella DCIM, o più d'una, non fa nulla e le nomina") },
        { { QStringLiteral("e"), QStringLiteral("senza-estensione") }, {},
            QStringLiteral("i nuovi nomi senza estensione; un file .xmp tiene la sua e il nome "
                           "della sua foto") },
        { { QStringLiteral("riserva") }, QStringLiteral("CARTELLA"),
            QStringLiteral("una seconda cartella che riceve ogni nuovo file con lo stesso nome, "
                           "nella stessa corsa: ogni foto è letta una volta e scritta in tutte e "
                           "due, e ogni copia è verificata; sposta cancella l'originale solo "
                           "quando le due copie sono verificate, e annulla le riprende tutte e "
                           "due, mai l'unica copia di una foto; la corsa è rifiutata prima di "
                           "toccare nulla se la cartella non c'è o è il punto di montaggio vuoto "
                           "di un disco non collegato, se un nuovo nome vi è già preso o se vi "
                           "manca lo spazio") },
        { { QStringLiteral("cartelle-per-data") }, QStringLiteral("SCHEMA"),
            QStringLiteral("ogni scatto va nella cartella del giorno in cui è stato scattato, "
                           "per l'ora corretta, fatta dove manca: AAAA-MM-GG (2024-05-01), "
                           "AAAA/AAAA-MM-GG (2024/2024-05-01) o AAAA/MM (2024/05); in ogni "
                           "cartella i numeri seguono il più alto che vi si trova, e con "
                           "--riserva la stessa cartella vi è fatta; --salta-doppioni e verifica "
                           "cercano le foto anche in quelle cartelle; annulla toglie le cartelle "
                           "che la corsa ha fatto, quando sono di nuovo vuote") },
        { { QStringLiteral("salta-doppioni") }, {},
            QStringLiteral("non copia né sposta le foto che la destinazione ha già, con gli stessi "
                           "byte sotto qualsiasi nome, salvo le date di scatto che una correzione "
                           "sposta (uno scatto solo se le ha tutte), e con --riserva solo quelle "
                           "che hanno tutte e due le cartelle; una foto non spostata resta "
                           "dov'è") },
        { { QStringLiteral("verifica") }, {},
            QStringLiteral("copia rilegge ogni foto dalla scheda, come fa sposta prima di "
                           "cancellare l'originale, e la copia conta solo se la seconda lettura "
                           "dà gli stessi byte; se no la copia è tolta, la foto nominata e la "
                           "corsa si ferma lì") },
        { { QStringLiteral("prova") }, {},
            QStringLiteral(
                "controlla la corsa come se cominciasse e mostra che cosa farebbe, una "
                "riga ORIGINE<TAB>NUOVO per file, e con --riserva ORIGINE<TAB>NUOVO<TAB>"
                "RISERVA (NUOVO e RISERVA sono - per un file che resta dov'è: un file .xmp "
                "senza la sua foto, o con --salta-doppioni una foto che la destinazione ha "
                "già), senza toccare nulla; nei nomi \\, "
                "tabulazione e a capo sono scritti \\\\, \\t e \\n") },
        { { QStringLiteral("tieni") }, {},
            QStringLiteral("con annulla: tiene al loro posto i file che l'annullamento deve "
                           "lasciare (cambiati dopo la corsa, o il cui originale non c'è più) e "
                           "chiude la corsa, così che il prossimo annulla prenda quella "
                           "precedente") },
        { { QStringLiteral("json") }, {},
            QStringLiteral("scrive il piano o l'esito (di verifica: ogni file con \"destinazione\" "
                           "e \"riserva\" identica, manca o diversa, o \"illeggibile\") in JSON, "
                           "per gli script; un byte di un nome "
                           "che non è UTF-8 vi è scritto \\udcXX, come lo legge il "
                           "\"surrogateescape\" di Python; un file che resta dov'è vi ha "
                           "\"nuovo\": null, e una foto che la destinazione ha già anche "
                           "\"doppione\": true; ogni file che va dice da dove ha l'ora in "
                           "\"fonte\": exif (una foto), offset, utc, compagno o locale (un "
                           "video) o file; con --riserva la cartella e ogni file hanno "
                           "\"riserva\", il percorso della copia di riserva o null") },
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
Correzione correzioneDiModello(const QString &testo)
{
    const qsizetype uguale = testo.indexOf(QLatin1Char('='));
    const std::optional<qint64> span = correzioneDaTesto(testo.mid(uguale + 1));
    if (!span)
        throw UsoSbagliato { QStringLiteral(
            "--correggi vuole [MODELLO=][+|-]H:MM:SS, al più 12:59:59, non «%1»")
                                 .arg(testo) };
    return { testo.left(std::max<qsizetype>(uguale, 0)).trimmed(), *span };
}

// One correction a camera, and one for all the others.
QList<Correzione> correzioniDaTesti(const QStringList &testi)
{
    QList<Correzione> correzioni;
    QSet<QString> modelli;
    for (const QString &testo : testi) {
        const Correzione correzione = correzioneDiModello(testo);
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

// The sources, then the destination; with --scheda the destination alone,
// as the card takes the place of the sources.
void leggiSorgentiEDestinazione(Argomenti &letti, QStringList posizionali, const QString &sorgenti)
{
    if (letti.scheda && posizionali.size() > 1)
        throw UsoSbagliato { QStringLiteral(
            "con --scheda si dà solo la destinazione: la scheda prende il posto di «%1»")
                                 .arg(posizionali.first()) };
    if (posizionali.isEmpty())
        throw UsoSbagliato { letti.scheda
                ? QStringLiteral("manca la destinazione")
                : QStringLiteral("mancano le %1 e la destinazione").arg(sorgenti) };
    if (posizionali.size() < 2 && !letti.scheda)
        throw UsoSbagliato { QStringLiteral("manca la destinazione, dopo le %1").arg(sorgenti) };
    letti.destinazione = posizionali.takeLast();
    letti.sorgenti = posizionali;
}

} // namespace

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
        "lascia e lo elenca, e la volta dopo torna alla stessa corsa; con --tieni\n"
        "tiene ciò che resta e passa alla corsa precedente.\n\n"
        "verifica rilegge dal supporto ogni foto, video e file .xmp delle CARTELLE di\n"
        "una scheda (con -r delle loro sottocartelle) e cerca ciascuno per contenuto\n"
        "nella DESTINAZIONE, e con --riserva anche in quella cartella, riletta anch'essa\n"
        "dal supporto; le date di scatto corrette da una corsa non contano. Dice se la\n"
        "scheda si può formattare, o quali file mancano o hanno una copia diversa.\n\n"
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
        "    copia-e-rinomina copia /media/scheda/DCIM/100CANON \\\n"
        "        /media/telefono/DCIM/Camera ~/Foto/Vacanze -n Vacanze_\n"
        "  L'anteprima, che non tocca nulla:\n"
        "    copia-e-rinomina copia /media/scheda/DCIM/100CANON ~/Foto/Vacanze --prova\n"
        "  Tutta la scheda montata, qualunque sia il suo punto di montaggio:\n"
        "    copia-e-rinomina copia --scheda ~/Foto/Vacanze\n"
        "  Una seconda importazione della stessa scheda, senza le foto già importate:\n"
        "    copia-e-rinomina copia -r /media/scheda/DCIM ~/Foto/Vacanze --salta-doppioni\n"
        "  Una cartella per giorno, 2024/2024-05-01 e così via:\n"
        "    copia-e-rinomina copia --scheda ~/Foto --cartelle-per-data AAAA/AAAA-MM-GG\n"
        "  Una copia anche su un disco esterno, nella stessa corsa:\n"
        "    copia-e-rinomina copia /media/scheda/DCIM/100CANON ~/Foto/Gita \\\n"
        "        --riserva /media/riserva/Gita\n"
        "  La fotocamera era un'ora e mezza avanti:\n"
        "    copia-e-rinomina sposta /media/scheda/DCIM/100CANON ~/Foto -c -1:30:00\n"
        "  Due fotocamere, la Canon un'ora avanti e la Nikon giusta:\n"
        "    copia-e-rinomina copia /media/canon/DCIM/100CANON \\\n"
        "        /media/nikon/DCIM/100NIKON ~/Foto/Gita -n Gita_ \\\n"
        "        -c \"Canon EOS R6=-1:00:00\"\n"
        "  Prima di formattare la scheda, la prova che ogni foto è nelle due copie:\n"
        "    copia-e-rinomina verifica -r /media/scheda/DCIM ~/Foto/Gita \\\n"
        "        --riserva /media/riserva/Gita\n"
        "  Annullare l'ultima corsa, dopo aver visto che cosa farebbe:\n"
        "    copia-e-rinomina annulla --prova\n"
        "    copia-e-rinomina annulla\n\n"
        "Ctrl-C, SIGTERM o SIGHUP fermano la corsa dopo la foto in corso.\n\n"
        "Stato di uscita: 0 se ogni file è fatto (annulla: tutto è stato riportato\n"
        "indietro); 1 se la corsa si è fermata a un file o è stata rifiutata prima di\n"
        "cominciare; 2 per un uso sbagliato. verifica: 0 se la scheda si può\n"
        "formattare, 1 altrimenti.\n");
    return testo;
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
        throw UsoSbagliato { QStringLiteral(
            "manca il comando: copia, sposta, verifica o annulla") };
    letti.comando = posizionali.takeFirst();
    letti.prova = parser.isSet(QStringLiteral("prova"));
    letti.json = parser.isSet(QStringLiteral("json"));
    letti.tieni = parser.isSet(QStringLiteral("tieni"));
    letti.scheda = parser.isSet(QStringLiteral("scheda"));
    if (letti.comando == QLatin1String("annulla")) {
        if (!posizionali.isEmpty())
            throw UsoSbagliato {
                QStringLiteral("annulla non prende argomenti, non «%1»").arg(posizionali.first())
            };
        for (const char *nome : { "nome", "ordine", "correggi", "senza-estensione", "sottocartelle",
                 "riserva", "salta-doppioni", "scheda", "verifica", "cartelle-per-data" }) {
            if (parser.isSet(QLatin1String(nome)))
                throw UsoSbagliato {
                    QStringLiteral("--%1 vale per copia e sposta, non per annulla").arg(nome)
                };
        }
        return letti;
    }
    const bool verifica = letti.comando == QLatin1String("verifica");
    if (letti.comando != QLatin1String("copia") && letti.comando != QLatin1String("sposta")
        && !verifica)
        throw UsoSbagliato { QStringLiteral(
            "comando sconosciuto «%1»: copia, sposta, verifica o annulla")
                                 .arg(letti.comando) };
    if (verifica) {
        for (const char *nome :
            { "nome", "ordine", "correggi", "senza-estensione", "salta-doppioni", "prova" }) {
            if (parser.isSet(QLatin1String(nome)))
                throw UsoSbagliato {
                    QStringLiteral("--%1 vale per copia e sposta, non per verifica").arg(nome)
                };
        }
    }
    if (letti.tieni)
        throw UsoSbagliato {
            QStringLiteral("--tieni vale per annulla, non per %1").arg(letti.comando)
        };
    leggiSorgentiEDestinazione(
        letti, posizionali, verifica ? QStringLiteral("cartelle") : QStringLiteral("sorgenti"));
    QStringList percorsi = letti.sorgenti + QStringList { letti.destinazione };
    if (parser.isSet(QStringLiteral("riserva"))) {
        letti.riserva = parser.value(QStringLiteral("riserva"));
        percorsi.append(letti.riserva);
    }
    for (const QString &percorso : percorsi) {
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
    letti.verifica = parser.isSet(QStringLiteral("verifica"));
    if (parser.isSet(QStringLiteral("cartelle-per-data"))) {
        const QString testo = parser.value(QStringLiteral("cartelle-per-data"));
        const std::optional<CartellePerData> schema = cartellePerDataDaTesto(testo);
        if (!schema || *schema == CartellePerData::Nessuna)
            throw UsoSbagliato { QStringLiteral("--cartelle-per-data vuole AAAA-MM-GG, "
                                                "AAAA/AAAA-MM-GG o AAAA/MM, non «%1»")
                                     .arg(testo) };
        letti.cartellePerData = *schema;
    }
    return letti;
}
