#include "engine/formatogiornale.h"

#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/folderlisting.h"
#include "platform/media.h"

#include <QDir>
#include <QSet>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <functional>

namespace {

const QByteArray Intestazione = QByteArrayLiteral("#copia-e-rinomina giornale 2");
// The header's last field while nothing failed.
const QByteArray NonRotta(CifreRotta, '-');

// The number of a journal named «corsa-N.giornale», N of up to 15 digits;
// 0 for any other name. Read by hand: a regular expression's engine alone
// would cost every start more memory than all the journals.
qint64 numeroDiGiornale(const QString &nome)
{
    const QLatin1String prima("corsa-");
    const QLatin1String dopo(".giornale");
    if (!nome.startsWith(prima) || !nome.endsWith(dopo))
        return 0;
    const QStringView cifre =
        QStringView(nome).mid(prima.size(), nome.size() - prima.size() - dopo.size());
    const bool numero = !cifre.isEmpty() && cifre.size() <= 15
        && std::all_of(cifre.begin(), cifre.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    return numero ? cifre.toLongLong() : 0;
}

QByteArray testoPercorso(const QString &percorso)
{
    const QByteArray byte = platform::encodeFileName(percorso);
    // Most paths hold none of the three, and are written as they are.
    if (std::none_of(
            byte.begin(), byte.end(), [](char c) { return c == '\\' || c == '\t' || c == '\n'; }))
        return byte;
    QByteArray testo;
    testo.reserve(byte.size() + 4);
    for (const char c : byte) {
        if (c == '\\')
            testo.append("\\\\");
        else if (c == '\t')
            testo.append("\\t");
        else if (c == '\n')
            testo.append("\\n");
        else
            testo.append(c);
    }
    return testo;
}

std::optional<QString> percorsoDaTesto(QByteArrayView testo)
{
    QByteArray byte;
    byte.reserve(testo.size());
    for (qsizetype i = 0; i < testo.size(); ++i) {
        if (testo[i] != '\\') {
            byte.append(testo[i]);
            continue;
        }
        if (++i == testo.size())
            return std::nullopt;
        const char c = testo[i];
        if (c != '\\' && c != 't' && c != 'n')
            return std::nullopt;
        byte.append(c == 't' ? '\t' : c == 'n' ? '\n' : '\\');
    }
    if (!byte.startsWith('/'))
        return std::nullopt;
    return platform::decodeFileName(byte);
}

// Seconds, and after a point the nanoseconds, nine digits; journals of
// earlier versions give whole seconds alone.
QByteArray testoOra(const std::optional<qint64> &ora)
{
    if (!ora)
        return "-";
    const std::lldiv_t parti = std::lldiv(*ora, platform::NanosecondsPerSecond);
    // Rounded down, so that a time before 1970 keeps its nanoseconds positive.
    const bool prima = parti.rem < 0;
    return QByteArray::number(parti.quot - prima) + '.'
        + QByteArray::number(parti.rem + (prima ? platform::NanosecondsPerSecond : 0))
              .rightJustified(9, '0');
}

// Nothing inside for "-"; nullopt for a damaged text.
std::optional<std::optional<qint64>> oraDaTesto(const QByteArray &testo)
{
    if (testo == "-")
        return std::optional<qint64>();
    const qsizetype punto = testo.indexOf('.');
    bool numeri[2] = { false, punto < 0 };
    const qint64 secondi = (punto < 0 ? testo : testo.first(punto)).toLongLong(&numeri[0]);
    const qint64 nanosecondi = punto < 0 ? 0 : testo.mid(punto + 1).toLongLong(&numeri[1]);
    if (!numeri[0] || !numeri[1] || (punto >= 0 && testo.size() - punto != 10) || nanosecondi < 0)
        return std::nullopt;
    return std::optional(secondi * platform::NanosecondsPerSecond + nanosecondi);
}

QByteArray testoImpronta(const Impronta &impronta)
{
    if (!impronta)
        return "-";
    QByteArray testo;
    for (const qint64 campo : { qint64(impronta->device), qint64(impronta->inode), impronta->size,
             impronta->changeSeconds, impronta->changeNanoseconds })
        testo.append(testo.isEmpty() ? "" : ",").append(QByteArray::number(campo));
    return testo;
}

// Nothing for "-"; nullopt inside for a damaged text.
std::optional<Impronta> improntaDaTesto(const QByteArray &testo)
{
    if (testo == "-")
        return Impronta();
    const QList<QByteArray> campi = testo.split(',');
    if (campi.size() != 5)
        return std::nullopt;
    qint64 numeri[5];
    for (int i = 0; i < 5; ++i) {
        bool numero = false;
        numeri[i] = campi[i].toLongLong(&numero);
        if (!numero)
            return std::nullopt;
    }
    return Impronta(platform::FileStamp {
        quint64(numeri[0]), quint64(numeri[1]), numeri[2], numeri[3], numeri[4] });
}

// A relative path would lead elsewhere once the undo runs in another folder.
QString assoluto(const QString &percorso)
{
    if (percorso.startsWith(QLatin1Char('/')))
        return percorso;
    return platform::pathFromQt(QDir::currentPath()) + QLatin1Char('/') + percorso;
}

std::optional<VoceGiornale> intentoDaRiga(const QList<QByteArray> &campi)
{
    if (campi.size() != 10 || (campi[2] != "C" && campi[2] != "S" && campi[2] != "R"))
        return std::nullopt;
    VoceGiornale voce;
    bool numeri[2] = {};
    voce.posizione = campi[1].toInt(&numeri[0]);
    voce.dimensione = campi[3].toLongLong(&numeri[1]);
    voce.spostato = campi[2] != "C";
    if (campi[4] != "-") {
        const QList<QByteArray> hash = campi[4].split(':');
        voce.hash = hash.first();
        voce.hashCopia = hash.value(1);
        voce.hashSenzaDate = hash.value(2);
    }
    const auto ora = oraDaTesto(campi[5]);
    const auto nuova = oraDaTesto(campi[6]);
    const auto sorgente = improntaDaTesto(campi[7]);
    const auto origine = percorsoDaTesto(campi[8]);
    const auto nuovoNome = percorsoDaTesto(campi[9]);
    if (!numeri[0] || !numeri[1] || (campi[2] == "R") != voce.hash.isEmpty() || !ora || !nuova
        || !sorgente || !origine || !nuovoNome)
        return std::nullopt;
    voce.oraOriginale = *ora;
    voce.oraNuova = *nuova;
    voce.sorgente = *sorgente;
    voce.origine = *origine;
    voce.nuovoNome = *nuovoNome;
    return voce;
}

void leggiRiga(Corsa &corsa, const QByteArray &riga)
{
    const QList<QByteArray> campi = riga.split('\t');
    const QByteArray &tipo = campi.first();
    if (tipo == "E" || tipo == "K" || tipo == "B" || tipo == "A") {
        corsa.elencata |= tipo == "K";
        corsa.annullamentoIniziato |= tipo == "B";
        corsa.annullata |= tipo == "A";
        return;
    }
    if (tipo == "V") {
        bool numero = false;
        const quint64 dispositivo = campi.value(1).toULongLong(&numero);
        if (numero && campi.size() == 3 && !campi[2].isEmpty())
            corsa.supporti.insert(dispositivo, campi[2]);
        return;
    }
    if (campi.size() < 2)
        return;
    bool numero = false;
    const int posizione = campi[1].toInt(&numero);
    if (!numero)
        return;
    // A hidden file or a folder is known by its own name, before its file
    // has an intent.
    if (tipo == "H" || tipo == "D") {
        const auto impronta = campi.size() == 4 ? improntaDaTesto(campi[2]) : std::nullopt;
        const auto percorso = campi.size() == 4 ? percorsoDaTesto(campi[3]) : std::nullopt;
        if (impronta && *impronta && percorso)
            (tipo == "H" ? corsa.nascoste : corsa.cartelle).append({ *percorso, **impronta });
        return;
    }
    // A backup copy's records are those of a file, in lower case.
    const bool riserva = tipo.size() == 1 && std::islower(uchar(tipo.front()));
    QMap<int, Voce> &voci = riserva ? corsa.riserve : corsa.voci;
    const QByteArray fatto = tipo.toUpper();
    if (fatto == "I") {
        if (auto voce = intentoDaRiga(campi)) {
            voce->riserva = riserva;
            voci[posizione] = Voce { *voce, {}, false, false, false };
        }
        return;
    }
    // A fact about a file whose intent is missing is not acted on.
    if (!voci.contains(posizione))
        return;
    Voce &voce = voci[posizione];
    if ((fatto == "P" || fatto == "T") && campi.size() == 3) {
        if (const auto impronta = improntaDaTesto(campi[2]); impronta && *impronta) {
            voce.impronta = *impronta;
            voce.completato |= fatto == "T";
        }
    } else if (tipo == "O") {
        voce.originaleEliminato = true;
    } else if (fatto == "U") {
        voce.annullato = true;
    }
}

} // namespace

QByteArray rigaIntestazione(int totale)
{
    return Intestazione + '\t' + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + '\t'
        + QByteArray::number(totale) + '\t' + NonRotta + '\n';
}

QByteArray testoRotta(int posizione)
{
    return QByteArray::number(posizione).rightJustified(CifreRotta, '0');
}

// A run writes a few lines for every file: each is put together in one
// buffer, not from a chain of temporaries.
QByteArray rigaIntento(const VoceGiornale &voce)
{
    QByteArray riga;
    riga.reserve(256);
    riga.append(letteraFatto('I', voce.riserva))
        .append('\t')
        .append(QByteArray::number(voce.posizione))
        .append('\t')
        .append(!voce.spostato        ? 'C'
                : voce.hash.isEmpty() ? 'R'
                                      : 'S')
        .append('\t')
        .append(QByteArray::number(voce.dimensione))
        .append('\t');
    if (voce.hash.isEmpty())
        riga.append('-');
    else
        riga.append(voce.hash);
    if (!voce.hashSenzaDate.isEmpty())
        riga.append(':').append(voce.hashCopia).append(':').append(voce.hashSenzaDate);
    else if (!voce.hashCopia.isEmpty())
        riga.append(':').append(voce.hashCopia);
    return riga.append('\t')
        .append(testoOra(voce.oraOriginale))
        .append('\t')
        .append(testoOra(voce.oraNuova))
        .append('\t')
        .append(testoImpronta(voce.sorgente))
        .append('\t')
        .append(testoPercorso(assoluto(voce.origine)))
        .append('\t')
        .append(testoPercorso(assoluto(voce.nuovoNome)))
        .append('\n');
}

QByteArray rigaFatto(char tipo, int posizione, const Impronta &impronta)
{
    QByteArray riga;
    riga.reserve(64);
    riga.append(tipo).append('\t').append(QByteArray::number(posizione));
    if (impronta)
        riga.append('\t').append(testoImpronta(impronta));
    return riga.append('\n');
}

QByteArray rigaSupporto(quint64 dispositivo, const QByteArray &fileSystem)
{
    return "V\t" + QByteArray::number(dispositivo) + '\t' + fileSystem + '\n';
}

QByteArray rigaCreato(
    char tipo, int posizione, const QString &percorso, const platform::FileStamp &impronta)
{
    return rigaFatto(tipo, posizione, impronta).chopped(1) + '\t'
        + testoPercorso(assoluto(percorso)) + '\n';
}

char letteraFatto(char tipo, bool riserva)
{
    return riserva ? char(tipo - 'A' + 'a') : tipo;
}

QStringList giornali(const QString &cartella)
{
    if (cartella.isEmpty())
        return {};
    QList<std::pair<qint64, QString>> numerati;
    platform::FolderListing elenco(cartella + QStringLiteral("/corsa-*.giornale"));
    for (QString nome = elenco.next(); !nome.isEmpty(); nome = elenco.next()) {
        if (const qint64 numero = numeroDiGiornale(nome))
            numerati.append({ numero, cartella + QLatin1Char('/') + nome });
    }
    std::sort(numerati.begin(), numerati.end());
    QStringList percorsi;
    for (const auto &numerato : std::as_const(numerati))
        percorsi.append(numerato.second);
    return percorsi;
}

Apertura apri(const QString &percorso)
{
    Apertura apertura;
    Corsa corsa;
    corsa.file = platform::AppendFile::openFree(percorso, &apertura.inCorso);
    if (!corsa.file) {
        if (!apertura.inCorso && errno != ENOENT)
            apertura.errore = errno;
        return apertura;
    }
    if (!corsa.file->isPrivate()) {
        apertura.ignorato = QStringLiteral("Ignorato il giornale «%1»: non è dell'utente, o altri "
                                           "possono modificarlo")
                                .arg(platform::displayFileName(percorso));
        return apertura;
    }
    QList<QByteArray> righe = corsa.file->readAll().split('\n');
    corsa.troncata = !righe.constLast().isEmpty();
    righe.removeLast();
    const QList<QByteArray> intestazione =
        righe.isEmpty() ? QList<QByteArray>() : righe.first().split('\t');
    if (intestazione.size() != 4 || intestazione[0] != Intestazione) {
        apertura.senzaIntestazione = true;
        return apertura;
    }
    corsa.inizio = QDateTime::fromMSecsSinceEpoch(intestazione[1].toLongLong());
    corsa.totale = intestazione[2].toInt();
    if (intestazione[3] != NonRotta)
        corsa.rottaDa = intestazione[3].toInt();
    for (qsizetype i = 1; i < righe.size(); ++i)
        leggiRiga(corsa, righe.at(i));
    apertura.corsa = std::move(corsa);
    return apertura;
}

Fine fineDi(const QString &percorso)
{
    bool inUso = false;
    const auto file = platform::AppendFile::openFree(percorso, &inUso);
    // One gone since the listing is no run; one that cannot be opened, as on a
    // medium mounted read-only, is opened in full, to be said.
    if (!file)
        return inUso ? Fine::InUso : errno == ENOENT ? Fine::Chiusa : Fine::Aperta;
    // One that is not the user's own is opened in full, to be said.
    if (!file->isPrivate())
        return Fine::Aperta;
    const QByteArray coda = file->readAll(std::max<qint64>(0, file->size() - 64));
    return coda.endsWith("\nA\n") ? Fine::Annullata
        : coda.endsWith("\nE\n")  ? Fine::Chiusa
                                  : Fine::Aperta;
}

QStringList giornaliLeggibili()
{
    try {
        return giornali(cartellaGiornali());
    } catch (const platform::FileError &) {
        return {};
    }
}

namespace {

// Hands visita each entry of each journal that can be read, the copies in a
// backup folder too: a journal that cannot be read vouches for nothing.
void perOgniVoce(const std::function<void(const Voce &)> &visita)
{
    for (const QString &percorso : giornaliLeggibili()) {
        const Apertura apertura = apri(percorso);
        if (!apertura.corsa)
            continue;
        for (const QMap<int, Voce> *voci : { &apertura.corsa->voci, &apertura.corsa->riserve }) {
            for (const Voce &voce : *voci)
                visita(voce);
        }
    }
}

} // namespace

QHash<QString, QByteArray> hashDaiGiornali(const QStringList &copie)
{
    const QSet<QString> cercate(copie.begin(), copie.end());
    QHash<QString, QByteArray> hash;
    // A copy no journal vouches for is read instead.
    perOgniVoce([&](const Voce &voce) {
        const QString &copia = voce.intento.nuovoNome;
        if (cercate.contains(copia) && !voce.intento.hashSenzaDate.isEmpty() && !voce.annullato
            && voce.improntaBasta() && platform::fileStamp(copia) == voce.impronta)
            hash.insert(copia, voce.intento.hashSenzaDate);
    });
    return hash;
}

QMultiHash<QString, QString> copieDaiGiornali(const QStringList &originali)
{
    const QSet<QString> cercati(originali.begin(), originali.end());
    QMultiHash<QString, QString> copie;
    perOgniVoce([&](const Voce &voce) {
        if (cercati.contains(voce.intento.origine) && voce.confermato() && !voce.annullato)
            copie.insert(voce.intento.origine, voce.intento.nuovoNome);
    });
    return copie;
}

bool lasciatoDaAnnullamento(const QString &file)
{
    // As a run records it.
    const QString percorso = assoluto(file);
    for (const QString &giornale : giornaliLeggibili()) {
        if (fineDi(giornale) != Fine::Aperta)
            continue;
        const Apertura apertura = apri(giornale);
        if (!apertura.corsa || !apertura.corsa->annullamentoIniziato || apertura.corsa->annullata)
            continue;
        for (const QMap<int, Voce> *voci : { &apertura.corsa->voci, &apertura.corsa->riserve }) {
            for (const Voce &voce : *voci) {
                if (voce.intento.nuovoNome == percorso && voce.confermato() && !voce.annullato)
                    return true;
            }
        }
    }
    return false;
}
