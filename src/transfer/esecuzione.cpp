#include "transfer/esecuzione.h"

#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/media.h"
#include "transfer/correzione.h"
#include "transfer/giornale.h"

#include <QSet>

#include <algorithm>
#include <deque>
#include <future>

namespace {

// Writes the time as the file's last-modified time. A file that is not an
// ordinary one, or an invalid time, is left alone; a time that cannot be
// written ends the run at that file.
void impostaDataFile(const QString &nomeFile, const QDateTime &ora)
{
    if (!ora.isValid() || !platform::isOrdinaryFile(nomeFile))
        return;
    platform::setFileTime(nomeFile, ora);
}

bool siCorregge(const PianoTrasferimento &piano)
{
    return piano.correzioneOre != 0 || piano.correzioneMinuti != 0 || piano.correzioneSecondi != 0;
}

void correggi(const PianoTrasferimento &piano, const QString &nuovoNome)
{
    if (!siCorregge(piano))
        return;
    impostaDataFile(nuovoNome,
        oraCorretta(platform::fileTime(nuovoNome), piano.correzioneOre, piano.correzioneMinuti,
            piano.correzioneSecondi));
}

void contaFatto(const PianoTrasferimento &piano, int posizione, Avanzamento &avanzamento)
{
    avanzamento.byte += piano.dimensioni.value(posizione);
    ++avanzamento.fatti;
}

// Reads the copy back, publishes it, for a move deletes the original, and corrects its time.
void completaCopia(const PianoTrasferimento &piano, int posizione, platform::PendingCopy &copia,
    Avanzamento &avanzamento)
{
    if (piano.spostare)
        platform::publishMove(copia);
    else
        platform::publishCopy(copia);
    correggi(piano, piano.nuoviNomi.at(posizione));
    contaFatto(piano, posizione, avanzamento);
}

// The journal's entry of a file, with its original time and the one it gets.
VoceGiornale voceGiornale(const PianoTrasferimento &piano, int posizione, qint64 dimensione,
    const QByteArray &hash, const QDateTime &ora)
{
    VoceGiornale voce;
    voce.posizione = posizione;
    voce.origine = piano.origini.at(posizione);
    voce.nuovoNome = piano.nuoviNomi.at(posizione);
    voce.spostato = piano.spostare;
    voce.dimensione = dimensione;
    voce.hash = hash;
    voce.oraOriginale = ora;
    voce.oraNuova = siCorregge(piano) && ora.isValid()
        ? oraCorretta(ora, piano.correzioneOre, piano.correzioneMinuti, piano.correzioneSecondi)
        : ora;
    return voce;
}

VoceGiornale voceRinomina(const PianoTrasferimento &piano, int posizione)
{
    const QString &origine = piano.origini.at(posizione);
    QDateTime ora;
    try {
        ora = platform::fileTime(origine);
    } catch (const platform::FileError &) {
        // The rename itself tells what is wrong with the file.
    }
    // The check has read every size already.
    const qint64 dimensione = posizione < piano.dimensioni.size() ? piano.dimensioni.at(posizione)
                                                                  : platform::fileSize(origine);
    return voceGiornale(piano, posizione, dimensione, {}, ora);
}

} // namespace

QString unita(const QString &cartella)
{
    const qsizetype duePunti = cartella.indexOf(QLatin1Char(':'));
    return duePunti < 0 ? QString() : cartella.left(duePunti + 1);
}

bool siRinomina(const QStringList &origini, const QString &destinazione)
{
    QSet<QString> cartelle;
    for (const QString &origine : origini)
        cartelle.insert(platform::folderPart(origine));
    return std::all_of(cartelle.begin(), cartelle.end(), [&](const QString &cartella) {
        return unita(cartella) == unita(destinazione)
            && !platform::onOtherFileSystems(cartella, destinazione);
    });
}

constexpr int RinomineInAnticipo = 64;

void eseguiPiano(const PianoTrasferimento &piano, const std::function<void(int)> &avanza,
    const std::atomic<bool> &ferma, Avanzamento &avanzamento)
{
    // Each copy is flushed and read back on a thread of its own: while one is
    // read back the next is flushed, and the one after is written. They are
    // published in their order, and a failure stops the ones after it.
    Giornale giornale;
    std::deque<std::pair<int, std::shared_future<void>>> inCorso;
    const auto attendiPrimo = [&] {
        const auto [posizione, lavoro] = inCorso.front();
        inCorso.pop_front();
        try {
            lavoro.get();
        } catch (...) {
            avanza(posizione);
            throw;
        }
    };
    const auto attendiTutti = [&] {
        while (!inCorso.empty())
            attendiPrimo();
    };

    int fatti = 0;
    for (; fatti < piano.nuoviNomi.size() && !ferma; ++fatti) {
        avanza(fatti);
        const QString &origine = piano.origini.at(fatti);
        const QString &nuovoNome = piano.nuoviNomi.at(fatti);
        if (piano.rinomina) {
            // A rename takes microseconds: the entries go ahead in batches,
            // each still written before its rename.
            if (fatti % RinomineInAnticipo == 0) {
                QList<VoceGiornale> voci;
                for (int i = fatti;
                     i < std::min<qsizetype>(fatti + RinomineInAnticipo, piano.nuoviNomi.size());
                     ++i)
                    voci.append(voceRinomina(piano, i));
                giornale.registra(voci);
            }
            platform::moveFile(origine, nuovoNome);
            correggi(piano, nuovoNome);
            // A rename is known by its size and time: no stamp to keep.
            giornale.concludi(fatti);
            contaFatto(piano, fatti, avanzamento);
            continue;
        }
        std::optional<platform::PendingCopy> copia;
        try {
            copia.emplace(platform::writeCopy(origine, nuovoNome));
        } catch (...) {
            // A failure of a file before comes first.
            attendiTutti();
            throw;
        }
        VoceGiornale voce =
            voceGiornale(piano, fatti, copia->size(), copia->hashHex(), copia->sourceTime());
        if (inCorso.size() == 2)
            attendiPrimo();
        const std::shared_future<void> prima =
            inCorso.empty() ? std::shared_future<void>() : inCorso.back().second;
        // The entry is written aside too: it only has to come before the publishing.
        inCorso.emplace_back(fatti,
            std::async(std::launch::async,
                [&piano, &avanzamento, &giornale, prima, voce = std::move(voce),
                    copia = std::move(*copia)]() mutable {
                    platform::flushCopy(copia);
                    // Published only after the file before; its failure ends this one too.
                    if (prima.valid())
                        prima.get();
                    giornale.registra(voce);
                    completaCopia(piano, voce.posizione, copia, avanzamento);
                    giornale.concludi(voce.posizione, voce.nuovoNome);
                })
                .share());
    }
    attendiTutti();
    if (piano.liberaUltimo && fatti > 0)
        platform::makeWritable(piano.nuoviNomi.at(fatti - 1));
}
