#include "engine/esecuzione.h"

#include "engine/controllo.h"
#include "engine/correzione.h"
#include "engine/giornale.h"
#include "engine/selezione.h"
#include "platform/copying.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"

#include <QLocale>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <array>
#include <deque>
#include <future>
#include <vector>

namespace {

constexpr int RinomineInAnticipo = 64;

// Writes the time as the file's last-modified time. A file that is not an
// ordinary one, or an invalid time, is left alone; a time that cannot be
// written ends the run at that file.
void impostaDataFile(const QString &nomeFile, const QDateTime &ora)
{
    if (!ora.isValid() || !platform::isOrdinaryFile(nomeFile))
        return;
    platform::setFileTime(nomeFile, ora);
}

// Gives the new file its corrected time, if a correction applies; true then.
bool correggi(const QString &nuovoNome, qint64 correzione)
{
    if (correzione == 0)
        return false;
    impostaDataFile(nuovoNome, oraCorretta(platform::fileTime(nuovoNome), correzione));
    return true;
}

// The file's time is final once corrected, in the backup folder too: the
// journal holds it as it is now, and it counts as done.
void completa(
    const PianoTrasferimento &piano, int posizione, Giornale &giornale, Avanzamento &avanzamento)
{
    const FileDelPiano &file = piano.file.at(posizione);
    if (correggi(file.nuovoNome, file.correzione))
        giornale.completato(posizione, file.nuovoNome);
    if (!file.copiaDiRiserva.isEmpty() && correggi(file.copiaDiRiserva, file.correzione))
        giornale.completato(posizione, file.copiaDiRiserva, true);
    avanzamento.byte += file.dimensione;
    ++avanzamento.fatti;
}

// The journal's entry of a file, with its original time and the one it gets.
VoceGiornale voceGiornale(const PianoTrasferimento &piano, int posizione, qint64 dimensione,
    const QByteArray &hash, std::optional<qint64> ora,
    const std::optional<platform::FileStamp> &sorgente)
{
    const FileDelPiano &file = piano.file.at(posizione);
    VoceGiornale voce;
    voce.posizione = posizione;
    voce.origine = file.origine;
    voce.nuovoNome = file.nuovoNome;
    voce.spostato = piano.spostare;
    voce.dimensione = dimensione;
    voce.hash = hash;
    voce.oraOriginale = ora;
    if (ora)
        voce.oraNuova = *ora + file.correzione * platform::NanosecondsPerSecond;
    voce.sorgente = sorgente;
    return voce;
}

VoceGiornale voceRinomina(const PianoTrasferimento &piano, int posizione)
{
    // A file that cannot be read is no concern here: the rename itself tells
    // what is wrong with it.
    qint64 ora = 0;
    const auto sorgente = platform::fileStamp(piano.file.at(posizione).origine, &ora);
    return voceGiornale(piano, posizione, sorgente ? sorgente->size : 0, {},
        sorgente ? std::optional(ora) : std::nullopt, sorgente);
}

// A file's copies: in the destination, then in the backup folder if any.
using Copie = std::vector<platform::PendingCopy>;

// Records the hidden files a file's copies go into as soon as they are
// made, so that what a kill leaves of them is known for the run's own.
platform::HiddenFilesMade registraNascoste(Giornale &giornale, int posizione)
{
    return [&giornale, posizione](
               const QList<platform::HiddenFile> &file) { giornale.nascoste(posizione, file); };
}

// Verifies a file's copy in the destination, the source read again with it
// for a move or a copy that asks it; its backup copy, if any, is read back
// meanwhile from its own medium, and its verdict awaited.
void verificaTutte(Copie &copie, const PianoTrasferimento &piano, std::future<void> riserva)
{
    platform::verifyCopy(copie.front(), piano.spostare, piano.verifica);
    if (riserva.valid())
        riserva.get();
}

// Publishes one of a file's copies and records it.
void pubblica(platform::PendingCopy &copia, int posizione, const QString &nuovoNome, bool riserva,
    Giornale &giornale)
{
    try {
        platform::publishCopy(copia);
    } catch (const platform::FileError &errore) {
        // In place all the same, only without its time: recorded so, an undo
        // can take it back.
        if (errore.operation() == platform::FileError::Operation::SetTime)
            giornale.pubblicato(posizione, nuovoNome, riserva);
        throw;
    }
    giornale.pubblicato(posizione, nuovoNome, riserva);
}

// Verifies a file's written copies, publishes them and, for a move, deletes
// its original once both are in place: the intents are recorded once
// nothing but the publishing is left, and each step once it is done.
void completaCopia(const PianoTrasferimento &piano, int posizione, Copie &copie,
    std::future<void> riserva, Giornale &giornale, Avanzamento &avanzamento)
{
    verificaTutte(copie, piano, std::move(riserva));
    const FileDelPiano &file = piano.file.at(posizione);
    const platform::PendingCopy &copia = copie.front();
    VoceGiornale voce = voceGiornale(piano, posizione, copia.size(), copia.sourceHashHex(),
        copia.sourceTime(), copia.sourceStamp());
    if (copia.hashHex() != voce.hash)
        voce.hashCopia = copia.hashHex();
    voce.hashSenzaDate = copia.hashWithoutDatesHex();
    QList<VoceGiornale> voci { voce };
    if (copie.size() > 1) {
        voci.append(voce);
        voci.last().riserva = true;
        voci.last().spostato = false;
        voci.last().nuovoNome = file.copiaDiRiserva;
    }
    giornale.registra(voci);
    pubblica(copie.front(), posizione, file.nuovoNome, false, giornale);
    if (copie.size() > 1)
        pubblica(copie.back(), posizione, file.copiaDiRiserva, true, giornale);
    if (piano.spostare) {
        platform::removeMovedOriginal(copie.front(), copie.size() > 1 ? &copie.back() : nullptr);
        giornale.originaleEliminato(posizione);
    }
    completa(piano, posizione, giornale, avanzamento);
}

// A rename takes microseconds: the intents go ahead in batches, each still
// written before its rename. A file that cannot be renamed (a link, another
// file system after all) is moved by copying.
void rinomina(
    const PianoTrasferimento &piano, int posizione, Giornale &giornale, Avanzamento &avanzamento)
{
    if (posizione % RinomineInAnticipo == 0) {
        QList<VoceGiornale> voci;
        for (int i = posizione;
             i < std::min<qsizetype>(posizione + RinomineInAnticipo, piano.file.size()); ++i)
            voci.append(voceRinomina(piano, i));
        giornale.registra(voci);
    }
    const FileDelPiano &file = piano.file.at(posizione);
    if (!platform::renameFile(file.origine, file.nuovoNome)) {
        Copie copie = platform::writeCopies(
            file.origine, { file.nuovoNome }, nullptr, 0, registraNascoste(giornale, posizione));
        completaCopia(piano, posizione, copie, {}, giornale, avanzamento);
        return;
    }
    giornale.pubblicato(posizione, file.nuovoNome);
    completa(piano, posizione, giornale, avanzamento);
}

// The copies written and not yet proven, in batches: each batch is put on
// its media at once, by one flush of each file system, then each copy read
// back and published in its order, on a thread of its own while the next
// batch is written. A failure stops the copies after it: the one being
// written stops at once, and no other is begun. The files of a batch before
// one whose flush failed are proven and count all the same.
class Lotti
{
public:
    Lotti(const PianoTrasferimento &piano, Giornale &giornale, Avanzamento &avanzamento,
        const std::function<void(int)> &avanza)
        : m_piano(piano)
        , m_giornale(giornale)
        , m_avanzamento(avanzamento)
        , m_avanza(avanza)
    { }

    const std::atomic<bool> &fallito() const { return m_fallito; }

    // Takes a file's written copies; a full batch goes to be proven.
    void aggiungi(int posizione, Copie copie)
    {
        m_byte += m_piano.file.at(posizione).dimensione;
        m_lotto.push_back({ posizione, std::move(copie), {} });
        if (m_byte >= ByteInLotto || m_lotto.size() >= FileInLotto)
            avvia();
    }

    // Proves what is left, and waits for every batch: throws the first
    // failure, once avanza heard the position of its file.
    void attendiTutti()
    {
        avvia();
        while (!m_inCorso.empty())
            attendiPrimo();
    }

private:
    static constexpr qint64 ByteInLotto = qint64(64) << 20;
    static constexpr size_t FileInLotto = 64;

    struct Scritto
    {
        int posizione;
        Copie copie;
        // The verdict on its backup copy, if any, once read back.
        std::future<void> riserva;
    };

    // Reads back the backup copies of a batch on a thread of its own, one
    // after another in their order, while the destination's are read back:
    // each medium reads one file after another, and no thread is started
    // for each file. The first that fails ends it, as does the batch's end.
    class Riserve
    {
    public:
        explicit Riserve(std::vector<Scritto> &lotto)
        {
            for (Scritto &scritto : lotto) {
                if (scritto.copie.size() > 1) {
                    m_copie.push_back({ &scritto.copie.back(), {} });
                    scritto.riserva = m_copie.back().esito.get_future();
                }
            }
            if (!m_copie.empty())
                m_lavoro = std::async(std::launch::async, [this] { verifica(); });
        }
        ~Riserve()
        {
            m_interrotte = true;
            if (m_lavoro.valid())
                m_lavoro.wait();
        }

    private:
        struct Riserva
        {
            platform::PendingCopy *copia;
            std::promise<void> esito;
        };

        void verifica()
        {
            for (Riserva &riserva : m_copie) {
                if (m_interrotte)
                    return;
                try {
                    platform::verifyCopy(*riserva.copia, false);
                    riserva.esito.set_value();
                } catch (...) {
                    riserva.esito.set_exception(std::current_exception());
                    return;
                }
            }
        }

        std::vector<Riserva> m_copie;
        std::atomic<bool> m_interrotte = false;
        std::future<void> m_lavoro;
    };

    void attendiPrimo()
    {
        const std::shared_future<void> lavoro = m_inCorso.front();
        m_inCorso.pop_front();
        try {
            lavoro.get();
        } catch (...) {
            m_avanza(m_fallitoA);
            throw;
        }
    }

    void avvia()
    {
        if (m_lotto.empty())
            return;
        if (m_inCorso.size() == 2)
            attendiPrimo();
        const std::shared_future<void> prima =
            m_inCorso.empty() ? std::shared_future<void>() : m_inCorso.back();
        m_inCorso.push_back(
            std::async(std::launch::async, [this, prima, lotto = std::move(m_lotto)]() mutable {
                // Handed on, so that they go once proven: the task is kept
                // until the run ends, and through the batch before, every
                // batch of the run with it.
                prova(std::move(lotto), std::move(prima));
            }).share());
        m_lotto.clear();
        m_byte = 0;
    }

    void prova(std::vector<Scritto> lotto, std::shared_future<void> prima)
    {
        int posizione = lotto.front().posizione;
        try {
            QList<platform::PendingCopy *> tutte;
            for (Scritto &scritto : lotto) {
                for (platform::PendingCopy &copia : scritto.copie)
                    tutte.append(&copia);
            }
            platform::flushCopies(tutte);
            // Published only after the batch before; its failure ends this one too.
            if (prima.valid())
                prima.get();
            const Riserve riserve(lotto);
            for (Scritto &scritto : lotto) {
                posizione = scritto.posizione;
                completaCopia(m_piano, posizione, scritto.copie, std::move(scritto.riserva),
                    m_giornale, m_avanzamento);
            }
        } catch (...) {
            if (!m_fallito.exchange(true))
                m_fallitoA = posizione;
            throw;
        }
    }

    const PianoTrasferimento &m_piano;
    Giornale &m_giornale;
    Avanzamento &m_avanzamento;
    const std::function<void(int)> &m_avanza;
    std::vector<Scritto> m_lotto;
    qint64 m_byte = 0;
    std::deque<std::shared_future<void>> m_inCorso;
    std::atomic<bool> m_fallito = false;
    // The position of the file whose failure came first.
    int m_fallitoA = 0;
};

// Makes the folders the plan's files go into before the first file, and
// records each once it is on the medium.
void faiCartelle(const PianoTrasferimento &piano, Giornale &giornale)
{
    // One made meanwhile by another is not the run's own to remove.
    platform::makeNewFolders(
        piano.cartelleNuove, [&](qsizetype i, const platform::FileStamp &stamp) {
            giornale.cartellaFatta(0, piano.cartelleNuove.at(i), stamp);
        });
}

// Paths as the end of a run lists them: «/a/b.jpg», «/a/c.jpg».
QString elenco(const QStringList &percorsi)
{
    QStringList nomi;
    for (const QString &percorso : percorsi)
        nomi.append(QStringLiteral("«%1»").arg(platform::displayFileName(percorso)));
    return nomi.join(QStringLiteral(", "));
}

// The walk itself, file by file, as eseguiPiano tells.
void esegui(const PianoTrasferimento &piano, const std::function<void(int)> &avanza,
    const std::atomic<bool> &ferma, Avanzamento &avanzamento)
{
    // A run left with no file, as when the destination had them all, is no
    // run for an undo to take back.
    if (piano.file.isEmpty())
        return;
    Giornale giornale(int(piano.file.size()));
    // Said at the end of the run, however it ends.
    const auto avvisa = qScopeGuard([&] {
        if (giornale.nonRegistratoDa() >= 0)
            avanzamento.avvisoGiornale =
                avvisoGiornale(piano.file.value(giornale.nonRegistratoDa()).origine,
                    giornale.nonRegistratoDa(), giornale.motivo());
    });
    faiCartelle(piano, giornale);
    Lotti lotti(piano, giornale, avanzamento, avanza);
    int fatti = 0;
    for (; fatti < piano.file.size() && !ferma && !lotti.fallito(); ++fatti) {
        avanza(fatti);
        if (piano.rinomina) {
            rinomina(piano, fatti, giornale, avanzamento);
            continue;
        }
        const FileDelPiano &file = piano.file.at(fatti);
        QStringList nomi { file.nuovoNome };
        if (!file.copiaDiRiserva.isEmpty())
            nomi.append(file.copiaDiRiserva);
        Copie copie;
        try {
            copie = platform::writeCopies(file.origine, nomi, &lotti.fallito(), file.correzione,
                registraNascoste(giornale, fatti));
        } catch (...) {
            // A failure of a file before comes first.
            lotti.attendiTutti();
            throw;
        }
        // A photo whose dates cannot be rewritten where they lie, are past
        // reach in a damaged file, or would leave the calendar, is copied as
        // it is, and the end of the run says so.
        if (file.correzione != 0 && !copie.front().datesCorrected()
            && (file.fonte != FonteScatto::File || copie.front().keepsDates()))
            avanzamento.dateNonCorrette.append(file.origine);
        lotti.aggiungi(fatti, std::move(copie));
    }
    lotti.attendiTutti();
    if (piano.liberaUltimo && fatti > 0) {
        const FileDelPiano &ultimo = piano.file.at(fatti - 1);
        platform::makeWritable(ultimo.nuovoNome);
        giornale.completato(fatti - 1, ultimo.nuovoNome);
        if (!ultimo.copiaDiRiserva.isEmpty()) {
            platform::makeWritable(ultimo.copiaDiRiserva);
            giornale.completato(fatti - 1, ultimo.copiaDiRiserva, true);
        }
    }
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

} // namespace

QString rigaAvanzamento(
    const PianoTrasferimento &piano, const Avanzamento &avanzamento, qint64 millisecondi)
{
    const qint64 byte = avanzamento.byte;
    const qint64 byteTotali = piano.byteTotali();
    const QString conto =
        testoAvanzamento(avanzamento.fatti, int(piano.file.size()), byte, byteTotali, millisecondi);
    QStringList parti { conto.section(QStringLiteral(" · "), 0, 0) };
    if (!piano.rinomina) {
        parti << QStringLiteral("%1 di %2").arg(testoDimensione(byte), testoDimensione(byteTotali));
        if (millisecondi >= 100)
            parti << velocita(byte, millisecondi);
    }
    if (const QString resto = conto.section(QStringLiteral(" · "), 1); !resto.isEmpty())
        parti << QStringLiteral("ancora ") + resto;
    return parti.join(QStringLiteral(" · "));
}

QString testoDurata(const PianoTrasferimento &piano, qint64 byte, qint64 millisecondi)
{
    QString durata = QStringLiteral("in %1 s").arg(decimale(double(millisecondi) / 1000, 1));
    if (!piano.rinomina && byte > 0 && millisecondi >= 100)
        durata += QStringLiteral(" (%1)").arg(velocita(byte, millisecondi));
    return durata;
}

QString testoFatti(const PianoTrasferimento &piano, int fatti)
{
    std::array<int, 4> quanti {};
    for (const FileDelPiano &file : piano.file.first(fatti))
        ++quanti.at(size_t(genereDi(platform::namePart(file.origine))));
    const auto [foto, video, sidecar, compagni] = quanti;
    QStringList parti;
    if (foto > 0)
        parti.append(QStringLiteral("%1 foto").arg(foto));
    if (video > 0)
        parti.append(QStringLiteral("%1 video").arg(video));
    if (sidecar > 0)
        parti.append(QStringLiteral("%1 file .xmp").arg(sidecar));
    if (compagni > 0)
        parti.append(compagni == 1 ? QStringLiteral("1 altro file")
                                   : QStringLiteral("%1 altri file").arg(compagni));
    if (parti.isEmpty())
        parti.append(QStringLiteral("0 file"));
    const QString ultima = parti.takeLast();
    const QString detti = parti.isEmpty()
        ? ultima
        : parti.join(QStringLiteral(", ")) + QStringLiteral(" e ") + ultima;
    // Photos alone agree as feminine, any other list as masculine.
    const bool soloFoto = fatti > 0 && foto == fatti;
    const char *desinenza = fatti == 1 ? (soloFoto ? "a" : "o") : (soloFoto ? "e" : "i");
    return detti + (piano.spostare ? QStringLiteral(" spostat") : QStringLiteral(" copiat"))
        + QLatin1String(desinenza);
}

QString testoDove(
    const PianoTrasferimento &piano, int fatti, const QString &destinazione, const QString &riserva)
{
    QString testo = QStringLiteral("in «%1»").arg(platform::displayFolderName(destinazione));
    if (!riserva.isEmpty())
        testo += QStringLiteral(" e in «%1»").arg(platform::displayFolderName(riserva));
    const qsizetype cartelle = piano.cartellePerData(fatti);
    if (cartelle == 0)
        return testo;
    return (cartelle == 1 ? QStringLiteral("in 1 cartella per data, ")
                          : QStringLiteral("in %1 cartelle per data, ").arg(cartelle))
        + testo;
}

QString avvisoCartelleNuove(const PianoTrasferimento &piano)
{
    QStringList cartelle;
    for (const QString &cartella : piano.cartelleNuove)
        cartelle.append(QStringLiteral("«%1»").arg(platform::displayFolderName(cartella)));
    if (cartelle.size() < 2)
        return cartelle.isEmpty()
            ? QString()
            : QStringLiteral("La cartella %1 non c'è: sarà creata.").arg(cartelle.first());
    return QStringLiteral("Le cartelle %1 non ci sono: saranno create.")
        .arg(cartelle.join(QStringLiteral(", ")));
}

QString doveIDoppioni(const PianoTrasferimento &piano)
{
    return piano.riserva.isEmpty()
        ? QStringLiteral("nella destinazione")
        : QStringLiteral("nella destinazione e nella cartella di riserva");
}

QString avvisoSenzaFoto(const PianoTrasferimento &piano)
{
    QStringList senzaFoto;
    for (const FileDelPiano &file : piano.restano) {
        if (!file.doppione && !file.fuori)
            senzaFoto.append(file.origine);
    }
    if (senzaFoto.isEmpty())
        return {};
    return QStringLiteral("Questi file .xmp sono rimasti dove sono, perché la loro foto non era "
                          "tra i file scelti: %1.")
        .arg(elenco(senzaFoto));
}

QString avvisoLasciati(const PianoTrasferimento &piano)
{
    if (piano.lasciati.isEmpty())
        return {};
    return QStringLiteral("Questi file che non sono foto né video sono rimasti dove sono: %1.")
        .arg(elenco(piano.lasciati));
}

QString avvisoDaVerificare(const PianoTrasferimento &piano, int fatti, const QString &come)
{
    if (piano.spostare || piano.verifica || fatti == 0)
        return {};
    return QStringLiteral("Prima di formattare la scheda: %1.").arg(come);
}

QString avvisoDateNonCorrette(const QStringList &origini)
{
    if (origini.isEmpty())
        return {};
    return QStringLiteral("Di questi file solo l'ora del file è stata corretta, non le date di "
                          "scatto che portano con sé, che non si potevano correggere: %1.")
        .arg(elenco(origini));
}

void eseguiPiano(const PianoTrasferimento &piano, const std::function<void(int)> &avanza,
    const std::atomic<bool> &ferma, Avanzamento &avanzamento)
{
    try {
        esegui(piano, avanza, ferma, avanzamento);
    } catch (const platform::FileError &errore) {
        // A move that copies and fails is a move that failed, and says so.
        if (!piano.spostare || errore.operation() != platform::FileError::Operation::Copy)
            throw;
        throw errore.asMove();
    }
}
