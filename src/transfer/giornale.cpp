#include "transfer/giornale.h"

#include "platform/appendfile.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/media.h"

#include <QDir>
#include <QHash>
#include <QList>
#include <QRegularExpression>

#include <algorithm>
#include <future>
#include <optional>

// One line per record, fields split by tabs, paths as their bytes on disk
// with "\", tab and newline escaped:
//   V  position  C|S|R  size  hash|-  original time|-  new time|-  original  new
//   F  position [device inode size change-seconds change-nanoseconds]  (done)
//   A                  (undone)
// C is a copy, S a move by copy, R a rename; times are seconds since the
// epoch. A line without its newline is what a kill cut short, and is skipped.

namespace {

constexpr int CorseTenute = 50;
constexpr int VociPerSync = 64;
// A file system with two-second times (FAT) keeps a time to that.
constexpr qint64 ToleranzaOra = 2;
const QByteArray Intestazione = QByteArrayLiteral("#copia-e-rinomina giornale 1\n");

bool nomeDiGiornale(const QString &nome)
{
    static const QRegularExpression forma(QStringLiteral("^\\d{8}T\\d{9}-\\d{2}\\.giornale$"));
    return forma.match(nome).hasMatch();
}

// The journals in the folder, from the oldest: names sort as the start times.
QStringList giornali(const QString &cartella)
{
    QStringList nomi = platform::namesIn(cartella);
    nomi.removeIf([](const QString &nome) { return !nomeDiGiornale(nome); });
    std::sort(nomi.begin(), nomi.end());
    for (QString &nome : nomi)
        nome.prepend(cartella + QLatin1Char('/'));
    return nomi;
}

QByteArray testoPercorso(const QString &percorso)
{
    const QByteArray byte = platform::encodeFileName(percorso);
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
    if (byte.isEmpty())
        return std::nullopt;
    return platform::decodeFileName(byte);
}

QByteArray testoOra(const QDateTime &ora)
{
    return ora.isValid() ? QByteArray::number(ora.toSecsSinceEpoch()) : QByteArray("-");
}

std::optional<QDateTime> oraDaTesto(const QByteArray &testo)
{
    if (testo == "-")
        return QDateTime();
    bool numero = false;
    const qint64 secondi = testo.toLongLong(&numero);
    if (!numero)
        return std::nullopt;
    return platform::momentOf(secondi);
}

// A relative path would lead elsewhere once the undo runs in another folder.
QString assoluto(const QString &percorso)
{
    if (percorso.startsWith(QLatin1Char('/')))
        return percorso;
    return platform::pathFromQt(QDir::currentPath()) + QLatin1Char('/') + percorso;
}

QByteArray rigaVoce(const VoceGiornale &voce)
{
    const char *modo = !voce.spostato ? "C" : voce.hash.isEmpty() ? "R" : "S";
    return "V\t" + QByteArray::number(voce.posizione) + '\t' + modo + '\t'
        + QByteArray::number(voce.dimensione) + '\t'
        + (voce.hash.isEmpty() ? QByteArray("-") : voce.hash) + '\t' + testoOra(voce.oraOriginale)
        + '\t' + testoOra(voce.oraNuova) + '\t' + testoPercorso(assoluto(voce.origine)) + '\t'
        + testoPercorso(assoluto(voce.nuovoNome)) + '\n';
}

using Impronta = std::optional<platform::FileStamp>;

QByteArray rigaFatta(int posizione, const Impronta &impronta = {})
{
    QByteArray riga = "F\t" + QByteArray::number(posizione);
    if (impronta) {
        for (const qint64 campo : { qint64(impronta->device), qint64(impronta->inode),
                 impronta->size, impronta->changeSeconds, impronta->changeNanoseconds })
            riga += '\t' + QByteArray::number(campo);
    }
    return riga + '\n';
}

// A done mark, and the stamp of the new file if it has one.
std::optional<std::pair<int, Impronta>> fattaDaRiga(const QByteArray &riga)
{
    const QList<QByteArray> campi = riga.split('\t');
    if (campi.size() != 2 && campi.size() != 7)
        return std::nullopt;
    bool numeri[6] = { true, true, true, true, true, true };
    const int posizione = campi[1].toInt(&numeri[0]);
    Impronta impronta;
    if (campi.size() == 7) {
        impronta = platform::FileStamp { quint64(campi[2].toLongLong(&numeri[1])),
            quint64(campi[3].toLongLong(&numeri[2])), campi[4].toLongLong(&numeri[3]),
            campi[5].toLongLong(&numeri[4]), campi[6].toLongLong(&numeri[5]) };
    }
    if (std::find(std::begin(numeri), std::end(numeri), false) != std::end(numeri))
        return std::nullopt;
    return std::pair(posizione, impronta);
}

std::optional<VoceGiornale> voceDaRiga(const QList<QByteArray> &campi)
{
    if (campi.size() != 9 || (campi[2] != "C" && campi[2] != "S" && campi[2] != "R"))
        return std::nullopt;
    VoceGiornale voce;
    bool numeri[2] = {};
    voce.posizione = campi[1].toInt(&numeri[0]);
    voce.dimensione = campi[3].toLongLong(&numeri[1]);
    voce.spostato = campi[2] != "C";
    if (campi[4] != "-")
        voce.hash = campi[4];
    const auto ora = oraDaTesto(campi[5]);
    const auto nuova = oraDaTesto(campi[6]);
    const auto origine = percorsoDaTesto(campi[7]);
    const auto nuovoNome = percorsoDaTesto(campi[8]);
    if (!numeri[0] || !numeri[1] || (campi[2] == "R") != voce.hash.isEmpty() || !ora || !nuova
        || !origine || !nuovoNome)
        return std::nullopt;
    voce.oraOriginale = *ora;
    voce.oraNuova = *nuova;
    voce.origine = *origine;
    voce.nuovoNome = *nuovoNome;
    return voce;
}

// A journal as read back, held open and locked while it is worked on.
struct Corsa
{
    std::unique_ptr<platform::AppendFile> file;
    QList<VoceGiornale> voci;
    // The done entries, with the stamp of their new file.
    QHash<int, Impronta> fatte;
    bool annullata = false;
    // A kill cut the last line short: what is added starts on a line of its own.
    bool troncata = false;

    void aggiungi(QByteArray righe)
    {
        if (troncata)
            righe.prepend('\n');
        troncata = false;
        file->append(righe);
        file->sync();
    }
};

// Reads every whole line and skips the damaged ones; a journal that another
// run still writes, or that cannot be opened, gives nothing. With
// soloSpostamentiAperti, only the moves not done are read in full, which
// keeps a start-up quick over many long journals.
std::optional<Corsa> apri(const QString &percorso, bool soloSpostamentiAperti = false)
{
    Corsa corsa;
    corsa.file = platform::AppendFile::openFree(percorso);
    if (!corsa.file)
        return std::nullopt;
    const QByteArray testo = corsa.file->readAll();
    QList<QByteArray> righe = testo.split('\n');
    corsa.troncata = !righe.constLast().isEmpty();
    righe.removeLast();
    for (const QByteArray &riga : std::as_const(righe)) {
        if (riga == "A") {
            corsa.annullata = true;
        } else if (riga.startsWith("F\t")) {
            if (const auto fatta = fattaDaRiga(riga))
                corsa.fatte.insert(fatta->first, fatta->second);
        }
    }
    if (soloSpostamentiAperti && corsa.annullata)
        return corsa;
    for (const QByteArray &riga : std::as_const(righe)) {
        if (!riga.startsWith("V\t"))
            continue;
        if (soloSpostamentiAperti) {
            const qsizetype fine = riga.indexOf('\t', 2);
            if (fine < 0 || corsa.fatte.contains(riga.mid(2, fine - 2).toInt())
                || riga.mid(fine + 1, 2) == "C\t")
                continue;
        }
        if (const auto voce = voceDaRiga(riga.split('\t')))
            corsa.voci.append(*voce);
    }
    return corsa;
}

QString mostra(const QString &percorso)
{
    return platform::displayFileName(percorso);
}

// Whether the file holds the given size and content. A file whose stamp is
// the one it had when done was not written since, and is not read; a stamp
// of whole seconds (FAT) could hide a write in the same second.
bool haContenuto(const QString &percorso, qint64 dimensione, const QByteArray &hash,
    const Impronta &impronta = {})
{
    if (hash.isEmpty())
        return false;
    if (impronta && impronta->changeNanoseconds != 0 && impronta->size == dimensione
        && platform::fileStamp(percorso) == impronta)
        return true;
    return platform::fileSize(percorso) == dimensione && platform::hashOfFile(percorso) == hash;
}

bool oraVicina(const QDateTime &ora, const QDateTime &attesa)
{
    return !attesa.isValid() || qAbs(ora.secsTo(attesa)) <= ToleranzaOra;
}

// Whether the new file is as the run left it. A rename is known by its size
// and time: before its correction, if a kill came between the two.
bool nuovoIntatto(const VoceGiornale &voce, bool fatta, const Impronta &impronta = {})
{
    if (!voce.hash.isEmpty())
        return haContenuto(voce.nuovoNome, voce.dimensione, voce.hash, impronta);
    if (platform::fileSize(voce.nuovoNome) != voce.dimensione)
        return false;
    try {
        const QDateTime ora = platform::fileTime(voce.nuovoNome);
        return oraVicina(ora, voce.oraNuova) || (!fatta && oraVicina(ora, voce.oraOriginale));
    } catch (const platform::FileError &) {
        return false;
    }
}

// Whether the original of a move is still there, with the bytes now in place
// under the new name: a kill came between publishing and deleting it.
bool originaleRimasto(const VoceGiornale &voce)
{
    if (!platform::nameExists(voce.origine))
        return false;
    const QByteArray hash = voce.hash.isEmpty() ? platform::hashOfFile(voce.nuovoNome) : voce.hash;
    return haContenuto(voce.origine, voce.dimensione, hash);
}

// Finishes the move of a killed run; true once nothing is left to do.
bool completaSpostamento(const VoceGiornale &voce, QStringList &righe)
{
    if (!voce.spostato || !nuovoIntatto(voce, false))
        return false;
    if (!platform::nameExists(voce.origine))
        return true;
    if (!originaleRimasto(voce) || platform::removeFile(voce.origine) != 0)
        return false;
    righe.append(QStringLiteral("Eliminato l'originale «%1», già spostato in «%2»")
                     .arg(mostra(voce.origine), mostra(voce.nuovoNome)));
    return true;
}

void annullaVoce(
    const VoceGiornale &voce, bool fatta, const Impronta &impronta, bool prova, EsitoAnnulla &esito)
{
    const QString nuovo = mostra(voce.nuovoNome);
    const QString origine = mostra(voce.origine);
    const auto lascia = [&](const QString &perche) {
        esito.righe.append(QStringLiteral("Lasciata «%1»: %2").arg(nuovo, perche));
        esito.tuttoAnnullato = false;
    };
    if (!platform::nameExists(voce.nuovoNome)) {
        // A file a kill stopped before it was published has nothing to take back.
        if (fatta && voce.spostato) {
            esito.righe.append(
                QStringLiteral("Non trovata «%1»: non può tornare in «%2»").arg(nuovo, origine));
            esito.tuttoAnnullato = false;
        }
        return;
    }
    if (!nuovoIntatto(voce, fatta, impronta)) {
        lascia(voce.spostato ? QStringLiteral("è cambiata dopo lo spostamento")
                             : QStringLiteral("è cambiata dopo la copia"));
        return;
    }
    // A move that a kill stopped before its original was deleted made a copy.
    const bool copia = !voce.spostato || (!fatta && originaleRimasto(voce));
    if (copia) {
        if (!prova) {
            if (const int errore = platform::removeFile(voce.nuovoNome)) {
                lascia(qt_error_string(errore));
                return;
            }
        }
        esito.righe.append((prova ? QStringLiteral("Sarà eliminata la copia «%1»")
                                  : QStringLiteral("Eliminata la copia «%1»"))
                               .arg(nuovo)
            + (voce.spostato ? QStringLiteral(": l'originale «%1» è al suo posto").arg(origine)
                             : QString()));
        return;
    }
    if (platform::nameExists(voce.origine)) {
        lascia(QStringLiteral("il nome «%1» è già in uso").arg(origine));
        return;
    }
    if (!prova) {
        try {
            platform::moveFile(voce.nuovoNome, voce.origine);
        } catch (const platform::FileError &errore) {
            lascia(errore.systemText());
            return;
        }
        try {
            if (voce.oraOriginale.isValid())
                platform::setFileTime(voce.origine, voce.oraOriginale);
        } catch (const platform::FileError &errore) {
            esito.righe.append(QStringLiteral("Riportata «%1» in «%2», ma senza la sua data: %3")
                                   .arg(nuovo, origine, errore.systemText()));
            esito.tuttoAnnullato = false;
            return;
        }
    }
    esito.righe.append((prova ? QStringLiteral("Sarà riportata «%1» in «%2»")
                              : QStringLiteral("Riportata «%1» in «%2»"))
                           .arg(nuovo, origine));
}

// A new journal named by the start time; the oldest beyond the last 50 go.
std::unique_ptr<platform::AppendFile> nuovoGiornale()
{
    const QString cartella = cartellaGiornali();
    if (cartella.isEmpty() || !platform::makeFolders(cartella))
        return nullptr;
    const QString inizio =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz"));
    std::unique_ptr<platform::AppendFile> file;
    QString percorso;
    for (int conta = 0; conta < 100 && !file; ++conta) {
        percorso = QStringLiteral("%1/%2-%3.giornale")
                       .arg(cartella, inizio)
                       .arg(conta, 2, 10, QLatin1Char('0'));
        file = platform::AppendFile::create(percorso);
    }
    if (!file)
        return nullptr;
    QStringList vecchi = giornali(cartella);
    vecchi.removeOne(percorso);
    for (qsizetype i = 0; i < vecchi.size() - (CorseTenute - 1); ++i)
        platform::removeFile(vecchi.at(i));
    return file;
}

} // namespace

struct Giornale::Private
{
    std::unique_ptr<platform::AppendFile> file;
    bool provato = false;
    // Done marks and the entry to come go out in one write.
    QByteArray inAttesa;
    int senzaSync = 0;
    // A sync waits for the medium aside, so that the run does not.
    std::future<void> sincronia;

    bool sincronizzaInCorso() const
    {
        return sincronia.valid()
            && sincronia.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
    }
    void attendiSincronia()
    {
        if (sincronia.valid())
            sincronia.wait();
    }
};

Giornale::Giornale()
    : d(std::make_unique<Private>())
{ }

Giornale::~Giornale()
{
    try {
        if (!d->file)
            return;
        d->attendiSincronia();
        if (!d->inAttesa.isEmpty())
            d->file->append(d->inAttesa);
        d->file->sync();
    } catch (...) {
        // The run is done; its journal is only a help.
    }
}

void Giornale::registra(const VoceGiornale &voce)
{
    registra(QList<VoceGiornale> { voce });
}

void Giornale::registra(const QList<VoceGiornale> &voci)
{
    try {
        if (!d->provato) {
            d->provato = true;
            d->file = nuovoGiornale();
            d->inAttesa.prepend(Intestazione);
        }
        if (!d->file)
            return;
        for (const VoceGiornale &voce : voci)
            d->inAttesa.append(rigaVoce(voce));
        d->file->append(d->inAttesa);
        d->inAttesa.clear();
        // A sync still under way puts the next one off to a later entry.
        d->senzaSync += int(voci.size());
        if (d->senzaSync >= VociPerSync && !d->sincronizzaInCorso()) {
            d->sincronia = std::async(std::launch::async, [file = d->file.get()] { file->sync(); });
            d->senzaSync = 0;
        }
    } catch (...) {
        // A journal that cannot be written never stops a run.
    }
}

void Giornale::concludi(int posizione, const QString &nuovoNome)
{
    try {
        if (d->file)
            d->inAttesa.append(rigaFatta(
                posizione, nuovoNome.isEmpty() ? Impronta() : platform::fileStamp(nuovoNome)));
    } catch (...) { }
}

QString cartellaGiornali()
{
    const QByteArray stato = qgetenv("XDG_STATE_HOME");
    if (stato.startsWith('/'))
        return platform::decodeFileName(stato) + QStringLiteral("/copia-e-rinomina");
    const QByteArray casa = qgetenv("HOME");
    if (!casa.startsWith('/'))
        return {};
    return platform::decodeFileName(casa) + QStringLiteral("/.local/state/copia-e-rinomina");
}

QStringList completaCorseInterrotte()
{
    QStringList righe;
    try {
        const QString cartella = cartellaGiornali();
        if (cartella.isEmpty())
            return righe;
        for (const QString &percorso : giornali(cartella)) {
            std::optional<Corsa> corsa = apri(percorso, true);
            if (!corsa || corsa->annullata)
                continue;
            QByteArray fatte;
            for (const VoceGiornale &voce : std::as_const(corsa->voci)) {
                if (!corsa->fatte.contains(voce.posizione) && completaSpostamento(voce, righe))
                    fatte.append(rigaFatta(voce.posizione));
            }
            if (!fatte.isEmpty())
                corsa->aggiungi(fatte);
        }
    } catch (...) {
        // What cannot be finished now is left for the next undo.
    }
    return righe;
}

EsitoAnnulla annullaUltimaCorsa(bool prova)
{
    EsitoAnnulla esito;
    try {
        const QString cartella = cartellaGiornali();
        const QStringList tutti = cartella.isEmpty() ? QStringList() : giornali(cartella);
        for (auto percorso = tutti.crbegin(); percorso != tutti.crend(); ++percorso) {
            std::optional<Corsa> corsa = apri(*percorso);
            if (!corsa || corsa->annullata || corsa->voci.isEmpty())
                continue;
            for (auto voce = corsa->voci.crbegin(); voce != corsa->voci.crend(); ++voce)
                annullaVoce(*voce, corsa->fatte.contains(voce->posizione),
                    corsa->fatte.value(voce->posizione), prova, esito);
            if (!prova)
                corsa->aggiungi("A\n");
            return esito;
        }
        esito.righe.append(QStringLiteral("Nessuna corsa da annullare"));
    } catch (...) {
        esito.tuttoAnnullato = false;
    }
    return esito;
}
