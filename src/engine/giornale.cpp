#include "engine/giornale.h"

#include "engine/formatogiornale.h"
#include "platform/appendfile.h"
#include "platform/copying.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"
#include "platform/media.h"

#include <QSet>
#include <future>
#include <mutex>

namespace {

constexpr int CorseTenute = 50;
// The journal reaches the medium every so many files, aside from the run.
constexpr int FilePerSync = 64;

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
    // The oldest go as a matter of course; a listing that fails keeps them.
    QStringList vecchi;
    try {
        vecchi = giornali(cartella);
    } catch (const platform::FileError &) { }
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
    // The devices whose file systems the journal has named, or found no name for.
    QSet<quint64> dispositivi;

    // The line that names the file system of the stamp's device, where it
    // comes for the first time and has a lasting name; else nothing.
    QByteArray supporto(const Impronta &impronta, const QString &percorso)
    {
        if (!impronta || dispositivi.contains(impronta->device))
            return {};
        dispositivi.insert(impronta->device);
        const QString nome = platform::lastingFileSystemName(platform::folderPart(percorso));
        return nome.isEmpty() ? QByteArray() : rigaSupporto(impronta->device, nome.toUtf8());
    }
    // The record of a new file as it now is.
    QByteArray fatto(char tipo, int posizione, const QString &nuovoNome)
    {
        const Impronta impronta = platform::fileStamp(nuovoNome);
        return supporto(impronta, nuovoNome) + rigaFatto(tipo, posizione, impronta);
    }
    // The hidden files are recorded by the run as it writes a file, the
    // facts by the proof of the files before.
    std::mutex scrittura;
    // A record of hidden files failed part way: what follows starts on a
    // line of its own.
    bool aCapo = false;

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
        const std::lock_guard lock(scrittura);
        if (nonRegistratoDa >= 0)
            return;
        if (!file || !file->append(std::exchange(aCapo, false) ? '\n' + righe : righe)) {
            errore = file ? errno : errore;
            nonRegistratoDa = posizione;
            if (file && fineIntestazione > 0)
                file->overwrite(fineIntestazione - 1 - CifreRotta, testoRotta(posizione));
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
    const QByteArray intestazione = rigaIntestazione(totale);
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
        d->file->append(d->aCapo ? "\nE\n" : "E\n");
    d->file->sync();
}

void Giornale::registra(const QList<VoceGiornale> &voci)
{
    if (voci.isEmpty())
        return;
    QByteArray righe;
    for (const VoceGiornale &voce : voci) {
        righe += d->supporto(voce.sorgente, voce.origine);
        righe += rigaIntento(voce);
    }
    d->scrivi(voci.first().posizione, righe, int(voci.size()));
}

void Giornale::pubblicato(int posizione, const QString &nuovoNome, bool riserva)
{
    d->scrivi(posizione, d->fatto(letteraFatto('P', riserva), posizione, nuovoNome));
}

void Giornale::originaleEliminato(int posizione)
{
    d->scrivi(posizione, rigaFatto('O', posizione));
}

void Giornale::completato(int posizione, const QString &nuovoNome, bool riserva)
{
    d->scrivi(posizione, d->fatto(letteraFatto('T', riserva), posizione, nuovoNome));
}

void Giornale::nascoste(int posizione, const QList<platform::HiddenFile> &file)
{
    QByteArray righe;
    for (const platform::HiddenFile &nascosta : file)
        righe += rigaCreato('H', posizione, nascosta.path, nascosta.stamp);
    const std::lock_guard lock(d->scrittura);
    if (d->nonRegistratoDa < 0 && d->file && !d->file->append(righe))
        d->aCapo = true;
}

void Giornale::cartellaFatta(
    int posizione, const QString &cartella, const platform::FileStamp &impronta)
{
    d->scrivi(posizione,
        d->supporto(impronta, cartella) + rigaCreato('D', posizione, cartella, impronta));
}

int Giornale::nonRegistratoDa() const
{
    return d->nonRegistratoDa;
}

QString Giornale::motivo() const
{
    return d->errore != 0 ? platform::systemErrorText(d->errore) : QString();
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

QString avvisoGiornale(const QString &origine, int posizione, const QString &motivo)
{
    QString testo = posizione <= 0
        ? QStringLiteral("Questa corsa non si potrà annullare: il suo giornale non si è potuto "
                         "scrivere.")
        : QStringLiteral("Questa corsa non si potrà annullare da «%1» in poi: il suo giornale non "
                         "si è potuto scrivere oltre.")
              .arg(platform::displayFileName(origine));
    if (!motivo.isEmpty())
        testo += QLatin1Char(' ') + motivo;
    return testo;
}
