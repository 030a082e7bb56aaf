#include "engine/giornale.h"

#include "platform/appendfile.h"
#include "platform/capturedates.h"
#include "platform/copying.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"
#include "platform/media.h"

#include <QDir>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <future>
#include <map>

// One line per record, fields split by tabs, paths as their bytes on disk
// with "\", tab and newline escaped:
//   #copia-e-rinomina giornale 2  start (ms since the epoch)  files planned  failed at
//   I  position  C|S|R  size  hash[:copy's hash]|-  original time|-  new time|-  stamp|-  original
//   new P  position  stamp          (published: the new file as it then was) O  position (the
//   original of a move deleted) T  position  stamp          (the new file with its final time) U
//   position                 (taken back by an undo) E                           (the run ended
//   with its journal whole) K                           (a killed run's unconfirmed files were
//   listed) A                           (the run is undone)
// I is an intent: C a copy, S a move by copy, R a rename; a copy whose capture
// dates were corrected has a hash of its own. A stamp is device,
// inode, size and change time in seconds and nanoseconds, split by commas.
// Times are seconds since the epoch. "failed at" is dashes, overwritten in
// place with the position at which the journal could no longer be written:
// that needs no more room, which a full disk would refuse. A journal that
// ends without E and without it was cut short by a kill, and holds all the
// run did. A line without its newline is what a failed write left, and is
// skipped.

namespace {

constexpr int CorseTenute = 50;
// The journal reaches the medium every so many files, aside from the run.
constexpr int FilePerSync = 64;
const QByteArray Intestazione = QByteArrayLiteral("#copia-e-rinomina giornale 2");
// The width of the header's last field, and its value while nothing failed.
constexpr int CifreRotta = 10;
const QByteArray NonRotta(CifreRotta, '-');

using Impronta = std::optional<platform::FileStamp>;

QString mostra(const QString &percorso)
{
    return platform::displayFileName(percorso);
}

qint64 numeroDiGiornale(const QString &nome)
{
    static const QRegularExpression forma(QStringLiteral("^corsa-(\\d{1,15})\\.giornale$"));
    const QRegularExpressionMatch parti = forma.match(nome);
    return parti.hasMatch() ? parti.captured(1).toLongLong() : 0;
}

// The journals in the folder, from the first run to the last.
QStringList giornali(const QString &cartella)
{
    QList<std::pair<qint64, QString>> numerati;
    for (const QString &nome : platform::namesIn(cartella)) {
        if (const qint64 numero = numeroDiGiornale(nome))
            numerati.append({ numero, cartella + QLatin1Char('/') + nome });
    }
    std::sort(numerati.begin(), numerati.end());
    QStringList percorsi;
    for (const auto &numerato : std::as_const(numerati))
        percorsi.append(numerato.second);
    return percorsi;
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
    if (!byte.startsWith('/'))
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

QByteArray testoImpronta(const Impronta &impronta)
{
    if (!impronta)
        return "-";
    QByteArrayList campi;
    for (const qint64 campo : { qint64(impronta->device), qint64(impronta->inode), impronta->size,
             impronta->changeSeconds, impronta->changeNanoseconds })
        campi.append(QByteArray::number(campo));
    return campi.join(',');
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

QByteArray rigaIntento(const VoceGiornale &voce)
{
    const char *modo = !voce.spostato ? "C" : voce.hash.isEmpty() ? "R" : "S";
    return "I\t" + QByteArray::number(voce.posizione) + '\t' + modo + '\t'
        + QByteArray::number(voce.dimensione) + '\t'
        + (voce.hash.isEmpty()
                ? QByteArray("-")
                : voce.hash + (voce.hashCopia.isEmpty() ? QByteArray() : ':' + voce.hashCopia))
        + '\t' + testoOra(voce.oraOriginale) + '\t' + testoOra(voce.oraNuova) + '\t'
        + testoImpronta(voce.sorgente) + '\t' + testoPercorso(assoluto(voce.origine)) + '\t'
        + testoPercorso(assoluto(voce.nuovoNome)) + '\n';
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

QByteArray rigaFatto(char tipo, int posizione, const Impronta &impronta = {})
{
    QByteArray riga = QByteArray(1, tipo) + '\t' + QByteArray::number(posizione);
    if (impronta)
        riga += '\t' + testoImpronta(impronta);
    return riga + '\n';
}

// One file of a run as read back: its intent and what was recorded of it.
struct Voce
{
    VoceGiornale intento;
    // The new file as last recorded: published, then with its final time.
    Impronta impronta;
    bool completato = false;
    bool originaleEliminato = false;
    bool annullato = false;

    bool confermato() const { return impronta.has_value(); }
    bool copia() const { return !intento.spostato; }
    bool perCopia() const { return !intento.hash.isEmpty(); }
    // The copy's dates were corrected: its bytes are not the original's.
    bool corretta() const { return !intento.hashCopia.isEmpty(); }
    const QByteArray &hashCopia() const { return corretta() ? intento.hashCopia : intento.hash; }
    bool siCorregge() const { return intento.oraNuova != intento.oraOriginale; }
    // Whether the new file's stamp alone tells it unchanged: a change time
    // without nanoseconds, as FAT's and exFAT's, may not show a later write.
    bool improntaBasta() const { return impronta && impronta->changeNanoseconds != 0; }
};

// A journal as read back, held open and locked while it is worked on.
struct Corsa
{
    std::unique_ptr<platform::AppendFile> file;
    QDateTime inizio;
    int totale = 0;
    QMap<int, Voce> voci;
    int rottaDa = -1;
    bool elencata = false;
    bool annullata = false;
    // A kill cut the last line short: what is added starts on a line of its own.
    bool troncata = false;

    // The facts an undo or a start-up records go to the medium at once.
    void aggiungi(QByteArray righe)
    {
        if (troncata)
            righe.prepend('\n');
        troncata = false;
        file->append(righe);
        file->sync();
    }
};

void leggiRiga(Corsa &corsa, const QByteArray &riga)
{
    const QList<QByteArray> campi = riga.split('\t');
    const QByteArray &tipo = campi.first();
    if (tipo == "E" || tipo == "K" || tipo == "A") {
        corsa.elencata |= tipo == "K";
        corsa.annullata |= tipo == "A";
        return;
    }
    if (campi.size() < 2)
        return;
    bool numero = false;
    const int posizione = campi[1].toInt(&numero);
    if (!numero)
        return;
    if (tipo == "I") {
        if (const auto voce = intentoDaRiga(campi))
            corsa.voci[posizione] = Voce { *voce, {}, false, false, false };
        return;
    }
    // A fact about a file whose intent is missing is not acted on.
    if (!corsa.voci.contains(posizione))
        return;
    Voce &voce = corsa.voci[posizione];
    if ((tipo == "P" || tipo == "T") && campi.size() == 3) {
        if (const auto impronta = improntaDaTesto(campi[2]); impronta && *impronta) {
            voce.impronta = *impronta;
            voce.completato |= tipo == "T";
        }
    } else if (tipo == "O") {
        voce.originaleEliminato = true;
    } else if (tipo == "U") {
        voce.annullato = true;
    }
}

// Why a journal that opens is not acted on, or nothing.
struct Apertura
{
    std::optional<Corsa> corsa;
    bool inCorso = false;
    QString ignorato;
};

// Reads every whole line and skips the damaged ones. A journal still being
// written, or one that another user could have written, is not read.
Apertura apri(const QString &percorso)
{
    Apertura apertura;
    Corsa corsa;
    corsa.file = platform::AppendFile::openFree(percorso, &apertura.inCorso);
    if (!corsa.file)
        return apertura;
    if (!corsa.file->isPrivate()) {
        apertura.ignorato = QStringLiteral("Ignorato il giornale «%1»: non è dell'utente, o altri "
                                           "possono modificarlo")
                                .arg(mostra(percorso));
        return apertura;
    }
    QList<QByteArray> righe = corsa.file->readAll().split('\n');
    corsa.troncata = !righe.constLast().isEmpty();
    righe.removeLast();
    const QList<QByteArray> intestazione =
        righe.isEmpty() ? QList<QByteArray>() : righe.first().split('\t');
    if (intestazione.size() != 4 || intestazione[0] != Intestazione)
        return apertura;
    corsa.inizio = QDateTime::fromMSecsSinceEpoch(intestazione[1].toLongLong());
    corsa.totale = intestazione[2].toInt();
    if (intestazione[3] != NonRotta)
        corsa.rottaDa = intestazione[3].toInt();
    for (qsizetype i = 1; i < righe.size(); ++i)
        leggiRiga(corsa, righe.at(i));
    apertura.corsa = std::move(corsa);
    return apertura;
}

// How a journal ends, read from its last bytes, so that a start-up stays
// quick over many long journals: a run that closed or was undone leaves
// nothing to finish.
enum class Fine { Chiusa, Annullata, Aperta, InUso };

Fine fineDi(const QString &percorso)
{
    bool inUso = false;
    const auto file = platform::AppendFile::openFree(percorso, &inUso);
    if (!file)
        return inUso ? Fine::InUso : Fine::Chiusa;
    // One that is not the user's own is opened in full, to be said.
    if (!file->isPrivate())
        return Fine::Aperta;
    const QByteArray coda = file->readAll(std::max<qint64>(0, file->size() - 64));
    return coda.endsWith("\nA\n") ? Fine::Annullata
        : coda.endsWith("\nE\n")  ? Fine::Chiusa
                                  : Fine::Aperta;
}

// An undo, or the start-up finishing, as it goes or as it would go: with
// prova, what would be deleted is only noted, and nothing is written.
struct Ripresa
{
    bool prova = false;
    EsitoAnnulla esito;
    QSet<QString> eliminati;

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
    }
};

// Whether the new file is still exactly what the run recorded. Where the
// medium's times are too coarse to tell a later write (FAT, exFAT), its
// content must be the verified one too.
bool eQuello(const Voce &voce, const Ripresa &ripresa)
{
    if (!voce.impronta || ripresa.impronta(voce.intento.nuovoNome) != voce.impronta)
        return false;
    if (voce.improntaBasta() || !voce.perCopia())
        return true;
    return platform::hashOfFile(voce.intento.nuovoNome) == voce.hashCopia();
}

// Whether the original is in place, whole: unchanged since it was read, or
// with the very bytes that were copied.
bool originaleIntatto(const Voce &voce, const Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    const Impronta ora = ripresa.impronta(intento.origine);
    if (!ora || ora->size != intento.dimensione || !voce.perCopia())
        return false;
    if (intento.sorgente && intento.sorgente->changeNanoseconds != 0 && ora == intento.sorgente)
        return true;
    return platform::hashOfFile(intento.origine) == intento.hash;
}

// Whether a file under an unconfirmed entry's new name may be the run's own:
// a rename brings the original's inode, a copy the copied bytes. Another's
// file there is no concern of this run.
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

// A rename a kill kept from being recorded is known by its inode, which only
// the rename brings to the new name.
void riconosciRinomina(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (voce.confermato() || voce.perCopia() || !intento.spostato || !intento.sorgente
        || !forseNostro(voce, ripresa))
        return;
    voce.impronta = ripresa.impronta(intento.nuovoNome);
    ripresa.registra(corsa, rigaFatto('P', intento.posizione, voce.impronta));
}

// Whether the original's folder is there, on the medium it was read from:
// only then does a missing original tell that it was deleted.
bool cartellaOrigineRaggiungibile(const Voce &voce, const Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    const Impronta cartella = ripresa.impronta(platform::folderPart(intento.origine));
    return cartella && (!intento.sorgente || cartella->device == intento.sorgente->device);
}

void eliminaOriginale(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    // Deleted by the run just before the kill, or on a card not in its reader.
    const bool giaEliminato = !ripresa.esiste(intento.origine);
    if (giaEliminato && !cartellaOrigineRaggiungibile(voce, ripresa))
        return;
    if (!giaEliminato) {
        if (!eQuello(voce, ripresa) || !originaleIntatto(voce, ripresa))
            return;
        // The photo must be on the medium in its new place before it leaves the old.
        if (!ripresa.prova && platform::flushToMedium(intento.nuovoNome) != 0)
            return;
        if (ripresa.elimina(intento.origine) != 0)
            return;
        ripresa.dice("Sarà eliminato l'originale", "Eliminato l'originale",
            QStringLiteral(" «%1», già spostato in «%2»")
                .arg(mostra(intento.origine), mostra(intento.nuovoNome)));
    }
    voce.originaleEliminato = true;
    ripresa.registra(corsa, rigaFatto('O', intento.posizione));
}

void impostaOra(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (!eQuello(voce, ripresa))
        return;
    if (!ripresa.prova) {
        try {
            platform::setFileTime(intento.nuovoNome, intento.oraNuova);
        } catch (const platform::FileError &) {
            return;
        }
        voce.impronta = platform::fileStamp(intento.nuovoNome);
    }
    voce.completato = true;
    ripresa.registra(corsa, rigaFatto('T', intento.posizione, voce.impronta));
    ripresa.dice("Sarà corretta la data di", "Corretta la data di",
        QStringLiteral(" «%1», lasciata senza da una corsa interrotta")
            .arg(mostra(intento.nuovoNome)));
}

// What a killed run had done but not recorded as done.
void riprendi(Corsa &corsa, Ripresa &ripresa)
{
    bool elencati = false;
    for (Voce &voce : corsa.voci) {
        const VoceGiornale &intento = voce.intento;
        if (voce.annullato)
            continue;
        riconosciRinomina(corsa, voce, ripresa);
        if (!voce.confermato()) {
            // A kill between publishing and confirming: both stay, said once.
            if (!corsa.elencata && voce.perCopia() && intento.spostato
                && ripresa.esiste(intento.origine) && forseNostro(voce, ripresa)) {
                ripresa.esito.righe.append(
                    QStringLiteral("Restano sia «%1» sia l'originale «%2»: la corsa si è fermata "
                                   "prima di registrare lo spostamento")
                        .arg(mostra(intento.nuovoNome), mostra(intento.origine)));
                elencati = true;
            }
            continue;
        }
        if (voce.perCopia() && intento.spostato && !voce.originaleEliminato)
            eliminaOriginale(corsa, voce, ripresa);
        // A moved photo gets its time once it has left its old place.
        if (voce.siCorregge() && !voce.completato
            && (voce.copia() || !voce.perCopia() || voce.originaleEliminato))
            impostaOra(corsa, voce, ripresa);
    }
    if (elencati) {
        corsa.elencata = true;
        ripresa.registra(corsa, "K\n");
    }
}

// Whether a moved file is already back at its original name, put there by
// an undo that a kill stopped before it was recorded.
bool giaRiportato(const Voce &voce, const Ripresa &ripresa)
{
    if (voce.perCopia())
        return originaleIntatto(voce, ripresa);
    const Impronta ora = ripresa.impronta(voce.intento.origine);
    return ora && ora->device == voce.impronta->device && ora->inode == voce.impronta->inode;
}

void segnaAnnullato(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    voce.annullato = true;
    ripresa.registra(corsa, rigaFatto('U', voce.intento.posizione));
}

// A moved photo that an undo killed part way put back may still have the
// corrected time of its copy.
void rimettiOra(const Voce &voce, const Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (voce.copia() || !intento.oraOriginale.isValid() || ripresa.prova)
        return;
    try {
        // An original that kept its time keeps it to the nanosecond.
        if (platform::fileTime(intento.origine) != intento.oraOriginale)
            platform::setFileTime(intento.origine, intento.oraOriginale);
    } catch (const platform::FileError &) {
        // The photo is back whole; its time is only a help.
    }
}

// The new file is gone: taken back already, or out of reach.
void nuovoMancante(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    const QString cartella = platform::folderPart(intento.nuovoNome);
    const Impronta supporto = ripresa.impronta(cartella);
    if (!supporto || supporto->device != voce.impronta->device) {
        ripresa.lascia(voce,
            QStringLiteral("la cartella «%1» non è raggiungibile: il suo supporto è collegato?")
                .arg(mostra(cartella)));
        return;
    }
    if (!voce.copia() && !giaRiportato(voce, ripresa)) {
        ripresa.esito.righe.append(QStringLiteral("Non trovata «%1»: non può tornare in «%2»")
                                       .arg(mostra(intento.nuovoNome), mostra(intento.origine)));
        ripresa.esito.tuttoAnnullato = false;
        return;
    }
    rimettiOra(voce, ripresa);
    segnaAnnullato(corsa, voce, ripresa);
}

void eliminaCopia(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (!originaleIntatto(voce, ripresa)) {
        ripresa.lascia(voce,
            ripresa.esiste(intento.origine)
                ? QStringLiteral("l'originale «%1» è cambiato: la copia resta")
                      .arg(mostra(intento.origine))
                : QStringLiteral("l'originale non c'è più: la copia resta"));
        return;
    }
    if (const int errore = ripresa.elimina(intento.nuovoNome)) {
        ripresa.lascia(voce, qt_error_string(errore));
        return;
    }
    rimettiOra(voce, ripresa);
    segnaAnnullato(corsa, voce, ripresa);
    ripresa.dice("Sarà eliminata la copia", "Eliminata la copia",
        QStringLiteral(" «%1»").arg(mostra(intento.nuovoNome))
            + (intento.spostato ? QStringLiteral(": l'originale «%1» è al suo posto")
                                      .arg(mostra(intento.origine))
                                : QString()));
}

// A moved photo whose capture dates were corrected goes back as it was: a
// copy with the dates shifted back, which must hold the original's very
// bytes before the corrected one goes.
void rimettiOriginale(const Voce &voce)
{
    const VoceGiornale &intento = voce.intento;
    const QStringList percorsi { intento.nuovoNome, intento.origine };
    const auto indietro = platform::captureDatePatches(
        intento.nuovoNome, -intento.oraOriginale.secsTo(intento.oraNuova));
    if (!indietro)
        throw platform::FileError(platform::FileError::Operation::Verify, percorsi, 0);
    platform::PendingCopy copia =
        platform::writeCopy(intento.nuovoNome, intento.origine, nullptr, *indietro);
    if (copia.hashHex() != intento.hash)
        throw platform::FileError(platform::FileError::Operation::Verify, percorsi, 0);
    platform::verifyCopy(copia, false);
    platform::publishCopy(copia);
    if (const int errore = platform::removeFile(intento.nuovoNome))
        throw platform::FileError(platform::FileError::Operation::Move, percorsi, errore);
}

void riportaIndietro(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    const VoceGiornale &intento = voce.intento;
    if (ripresa.esiste(intento.origine)) {
        ripresa.lascia(
            voce, QStringLiteral("il nome «%1» è già in uso").arg(mostra(intento.origine)));
        return;
    }
    if (!ripresa.prova) {
        try {
            if (voce.corretta())
                rimettiOriginale(voce);
            else
                platform::moveFile(intento.nuovoNome, intento.origine);
        } catch (const platform::FileError &errore) {
            ripresa.lascia(voce, errore.systemText());
            return;
        }
        try {
            if (intento.oraOriginale.isValid())
                platform::setFileTime(intento.origine, intento.oraOriginale);
        } catch (const platform::FileError &errore) {
            // Back where it was: only its time is wrong, which the line says.
            segnaAnnullato(corsa, voce, ripresa);
            ripresa.esito.righe.append(
                QStringLiteral("Riportata «%1» in «%2», ma senza la sua data: %3")
                    .arg(mostra(intento.nuovoNome), mostra(intento.origine), errore.systemText()));
            ripresa.esito.tuttoAnnullato = false;
            return;
        }
    }
    segnaAnnullato(corsa, voce, ripresa);
    ripresa.dice("Sarà riportata", "Riportata",
        QStringLiteral(" «%1» in «%2»").arg(mostra(intento.nuovoNome), mostra(intento.origine)));
}

void annullaVoce(Corsa &corsa, Voce &voce, Ripresa &ripresa)
{
    if (voce.annullato)
        return;
    if (!voce.confermato()) {
        if (forseNostro(voce, ripresa))
            ripresa.lascia(voce, QStringLiteral("la corsa si è fermata prima di registrarla"));
        return;
    }
    if (!ripresa.esiste(voce.intento.nuovoNome)) {
        nuovoMancante(corsa, voce, ripresa);
        return;
    }
    if (!eQuello(voce, ripresa)) {
        ripresa.lascia(voce,
            voce.copia() ? QStringLiteral("è cambiata dopo la copia")
                         : QStringLiteral("è cambiata dopo lo spostamento"));
        return;
    }
    // A move whose original is still, or again, in place left a copy.
    if (voce.copia()
        || (voce.perCopia() && (!voce.originaleEliminato || originaleIntatto(voce, ripresa))))
        eliminaCopia(corsa, voce, ripresa);
    else
        riportaIndietro(corsa, voce, ripresa);
}

// When the run started, copy or move, how many files, from where to where.
QString descrizione(const Corsa &corsa, bool prova)
{
    QSet<QString> origini;
    QString destinazione;
    bool spostamento = false;
    int confermati = 0;
    for (const Voce &voce : corsa.voci) {
        if (!voce.confermato())
            continue;
        ++confermati;
        origini.insert(platform::folderPart(voce.intento.origine));
        destinazione = platform::folderPart(voce.intento.nuovoNome);
        spostamento = voce.intento.spostato;
    }
    QString testo =
        QStringLiteral("%1 la corsa del %2: %3 di %4 file")
            .arg(prova ? QStringLiteral("Sarà annullata") : QStringLiteral("Annullo"),
                corsa.inizio.toLocalTime().toString(QStringLiteral("dd/MM/yyyy 'alle' HH:mm:ss")),
                spostamento ? QStringLiteral("spostamento") : QStringLiteral("copia"))
            .arg(confermati);
    if (confermati == 0)
        return testo;
    QStringList cartelle = origini.values();
    std::sort(cartelle.begin(), cartelle.end());
    testo += QStringLiteral(" da «%1»").arg(mostra(cartelle.first()));
    if (cartelle.size() == 2)
        testo += QStringLiteral(" e da un'altra cartella");
    else if (cartelle.size() > 2)
        testo += QStringLiteral(" e da altre %1 cartelle").arg(cartelle.size() - 1);
    return testo + QStringLiteral(" a «%1»").arg(mostra(destinazione));
}

// The files past the point where the journal could no longer be written
// cannot be taken back.
void avvisaIncompleto(const Corsa &corsa, Ripresa &ripresa)
{
    if (corsa.rottaDa < 0)
        return;
    ripresa.esito.righe.append(
        QStringLiteral("Il giornale di questa corsa non si è potuto scrivere oltre il file %1 di "
                       "%2: i file da lì in poi, se la corsa li ha trattati, vanno controllati a "
                       "mano.")
            .arg(corsa.rottaDa + 1)
            .arg(corsa.totale));
    ripresa.esito.tuttoAnnullato = false;
}

void annullaCorsa(Corsa &corsa, Ripresa &ripresa)
{
    ripresa.esito.righe.append(descrizione(corsa, ripresa.prova));
    for (auto voce = corsa.voci.end(); voce != corsa.voci.begin();)
        annullaVoce(corsa, *--voce, ripresa);
    // All the journal holds is taken back: the run counts as undone, and
    // what a journal cut short could not hold is said as it is left behind.
    if (ripresa.esito.tuttoAnnullato)
        ripresa.registra(corsa, "A\n");
    avvisaIncompleto(corsa, ripresa);
}

// Opens a journal to be acted on; says once why one is ignored.
std::optional<Corsa> apriDaAgire(const QString &percorso, Ripresa &ripresa, bool *inCorso = nullptr)
{
    Apertura apertura = apri(percorso);
    if (inCorso)
        *inCorso = apertura.inCorso;
    if (!apertura.ignorato.isEmpty() && !ripresa.esito.righe.contains(apertura.ignorato))
        ripresa.esito.righe.append(apertura.ignorato);
    if (apertura.corsa && apertura.corsa->annullata)
        return std::nullopt;
    return std::move(apertura.corsa);
}

// Runs the start-up finishing over every journal, then, if asked, undoes
// the last run. A run the finishing read is undone as the finishing left it
// in memory, so that a trial sees what the finishing would have done.
void ripercorri(Ripresa &ripresa, bool annulla)
{
    const QString cartella = cartellaGiornali();
    const QStringList tutti = cartella.isEmpty() ? QStringList() : giornali(cartella);
    std::map<QString, Corsa> ripresi;
    for (const QString &percorso : tutti) {
        if (fineDi(percorso) != Fine::Aperta)
            continue;
        std::optional<Corsa> corsa = apriDaAgire(percorso, ripresa);
        if (!corsa)
            continue;
        riprendi(*corsa, ripresa);
        ripresi.emplace(percorso, std::move(*corsa));
    }
    if (!annulla)
        return;
    for (auto percorso = tutti.crbegin(); percorso != tutti.crend(); ++percorso) {
        std::optional<Corsa> corsa;
        if (const auto ripreso = ripresi.find(*percorso); ripreso != ripresi.end()) {
            corsa = std::move(ripreso->second);
        } else {
            if (fineDi(*percorso) == Fine::Annullata)
                continue;
            bool inCorso = false;
            corsa = apriDaAgire(*percorso, ripresa, &inCorso);
            // A run still going is never passed over for the one before it.
            if (inCorso) {
                ripresa.esito.righe.append(QStringLiteral(
                    "Una corsa è ancora in corso: si potrà annullare quando sarà finita"));
                ripresa.esito.tuttoAnnullato = false;
                return;
            }
        }
        // A run that stopped before its first file has nothing to take back.
        if (corsa && !corsa->voci.isEmpty()) {
            annullaCorsa(*corsa, ripresa);
            return;
        }
    }
    ripresa.esito.righe.append(QStringLiteral("Nessuna corsa da annullare"));
}

EsitoAnnulla ripercorri(bool prova, bool annulla)
{
    Ripresa ripresa;
    ripresa.prova = prova;
    try {
        ripercorri(ripresa, annulla);
    } catch (...) {
        ripresa.esito.tuttoAnnullato = false;
    }
    return ripresa.esito;
}

// A new journal under the next run's number; the oldest beyond the last 50 go.
std::unique_ptr<platform::AppendFile> nuovoGiornale()
{
    const QString cartella = cartellaGiornali();
    if (cartella.isEmpty() || !platform::makeFolders(cartella))
        return nullptr;
    const qint64 numero = platform::takeNextNumber(cartella + QStringLiteral("/numero"));
    if (numero == 0)
        return nullptr;
    const QString percorso = QStringLiteral("%1/corsa-%2.giornale").arg(cartella).arg(numero);
    std::unique_ptr<platform::AppendFile> file = platform::AppendFile::create(percorso);
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
    int nonRegistratoDa = -1;
    int errore = 0;
    int senzaSync = 0;
    qint64 fineIntestazione = 0;
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

    // Once a record is lost, the journal holds the run up to that file only,
    // and says so in its header. nuovi counts the files whose intents the
    // records hold.
    void scrivi(int posizione, const QByteArray &righe, int nuovi = 0)
    {
        if (nonRegistratoDa >= 0)
            return;
        if (!file || !file->append(righe)) {
            errore = file ? errno : errore;
            nonRegistratoDa = posizione;
            if (file && fineIntestazione > 0)
                file->overwrite(fineIntestazione - 1 - CifreRotta,
                    QByteArray::number(posizione).rightJustified(CifreRotta, '0'));
            return;
        }
        // A sync still under way puts the next one off to a later record.
        senzaSync += nuovi;
        if (senzaSync >= FilePerSync && !sincronizzaInCorso()) {
            sincronia = std::async(std::launch::async, [f = file.get()] { f->sync(); });
            senzaSync = 0;
        }
    }
};

Giornale::Giornale(int totale)
    : d(std::make_unique<Private>())
{
    errno = 0;
    d->file = nuovoGiornale();
    if (!d->file)
        d->errore = errno;
    const QByteArray intestazione = Intestazione + '\t'
        + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + '\t'
        + QByteArray::number(totale) + '\t' + NonRotta + '\n';
    d->scrivi(0, intestazione);
    if (d->nonRegistratoDa < 0)
        d->fineIntestazione = intestazione.size();
}

Giornale::~Giornale()
{
    if (!d->file)
        return;
    d->attendiSincronia();
    if (d->nonRegistratoDa < 0)
        d->file->append("E\n");
    d->file->sync();
}

void Giornale::registra(const QList<VoceGiornale> &voci)
{
    if (voci.isEmpty())
        return;
    QByteArray righe;
    for (const VoceGiornale &voce : voci)
        righe += rigaIntento(voce);
    d->scrivi(voci.first().posizione, righe, int(voci.size()));
}

void Giornale::pubblicato(int posizione, const QString &nuovoNome)
{
    d->scrivi(posizione, rigaFatto('P', posizione, platform::fileStamp(nuovoNome)));
}

void Giornale::originaleEliminato(int posizione)
{
    d->scrivi(posizione, rigaFatto('O', posizione));
}

void Giornale::completato(int posizione, const QString &nuovoNome)
{
    d->scrivi(posizione, rigaFatto('T', posizione, platform::fileStamp(nuovoNome)));
}

int Giornale::nonRegistratoDa() const
{
    return d->nonRegistratoDa;
}

QString Giornale::motivo() const
{
    return d->errore != 0 ? qt_error_string(d->errore) : QString();
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

QHash<QString, QByteArray> hashDaiGiornali(const QStringList &copie)
{
    const QSet<QString> cercate(copie.begin(), copie.end());
    QHash<QString, QByteArray> hash;
    for (const QString &percorso : giornali(cartellaGiornali())) {
        const Apertura apertura = apri(percorso);
        if (!apertura.corsa)
            continue;
        for (const Voce &voce : std::as_const(apertura.corsa->voci)) {
            const QString &copia = voce.intento.nuovoNome;
            if (cercate.contains(copia) && voce.perCopia() && !voce.annullato
                && voce.improntaBasta() && platform::fileStamp(copia) == voce.impronta)
                hash.insert(copia, voce.hashCopia());
        }
    }
    return hash;
}

EsitoAnnulla completaCorseInterrotte(bool prova)
{
    return ripercorri(prova, false);
}

EsitoAnnulla annullaUltimaCorsa(bool prova)
{
    return ripercorri(prova, true);
}

QString avvisoGiornale(const QStringList &origini, int posizione, const QString &motivo)
{
    QString testo = posizione <= 0
        ? QStringLiteral("Questa corsa non si potrà annullare: il suo giornale non si è potuto "
                         "scrivere.")
        : QStringLiteral("Questa corsa non si potrà annullare da «%1» in poi: il suo giornale non "
                         "si è potuto scrivere oltre.")
              .arg(mostra(origini.value(posizione)));
    if (!motivo.isEmpty())
        testo += QLatin1Char(' ') + motivo;
    return testo;
}
