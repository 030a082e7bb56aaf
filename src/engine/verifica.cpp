#include "engine/verifica.h"

#include "engine/doppioni.h"
#include "engine/formatogiornale.h"
#include "engine/selezione.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"

#include <QMultiHash>

#include <algorithm>
#include <cerrno>
#include <future>

namespace {

// Why a folder the copies are looked for in cannot be, or an empty text.
QString motivoCartella(const QString &cartella, const QString &ruolo)
{
    const QString detta = platform::displayFolderName(cartella);
    if (platform::isOrdinaryFile(
            cartella.endsWith(QLatin1Char('/')) ? cartella.chopped(1) : cartella))
        return QStringLiteral(
            "Il percorso «%1» scelto come cartella %2 è un file, non una cartella")
            .arg(detta, ruolo);
    if (!platform::resolvedFolder(cartella))
        return QStringLiteral("La cartella %1 «%2» non esiste").arg(ruolo, detta);
    return {};
}

// A folder the copies are looked for in: its files by size, each read from
// its medium once at most.
class CartellaDelleCopie
{
public:
    CartellaDelleCopie(const QString &cartella, CartellePerData schema)
        : m_cartella(cartella)
    {
        for (const QString &unaCartella : cartelleDellAlbero(cartella, schema)) {
            for (const platform::StampedFile &file : platform::visibleFilesIn(unaCartella))
                m_perDimensione.insert(file.stamp.size, unaCartella + file.name);
        }
    }

    // Reads the copy most likely to be the file's: the one a run made of it,
    // else the only one of its size. Called while the card reads the file.
    void leggiPrima(qint64 dimensione, const QStringList &fatteDaUnaCorsa)
    {
        const QStringList stessaDimensione = m_perDimensione.values(dimensione);
        for (const QString &copia : fatteDaUnaCorsa) {
            if (stessaDimensione.contains(copia)) {
                contenuto(copia);
                return;
            }
        }
        if (stessaDimensione.size() == 1)
            contenuto(stessaDimensione.first());
    }

    // Whether the folder holds a file of this content and size. One that a
    // run made of it and that is there with other content is a copy that
    // differs.
    Copia cerca(qint64 dimensione, const QByteArray &hash, const QStringList &fatteDaUnaCorsa)
    {
        QStringList candidate = m_perDimensione.values(dimensione);
        std::stable_partition(candidate.begin(), candidate.end(),
            [&](const QString &copia) { return fatteDaUnaCorsa.contains(copia); });
        for (const QString &copia : std::as_const(candidate)) {
            if (contenuto(copia) == hash)
                return Copia::Identica;
        }
        for (const QString &copia : fatteDaUnaCorsa) {
            if (copia.startsWith(m_cartella) && platform::isOrdinaryFile(copia))
                return Copia::Diversa;
        }
        return Copia::Manca;
    }

private:
    const QByteArray &contenuto(const QString &copia)
    {
        auto letto = m_letti.constFind(copia);
        if (letto == m_letti.cend())
            letto = m_letti.insert(copia, platform::hashWithoutDatesFromMedium(copia));
        return *letto;
    }

    QString m_cartella;
    QMultiHash<qint64, QString> m_perDimensione;
    QHash<QString, QByteArray> m_letti;
};

// The file as the verdict names it: its path below the card's folder.
QString nomeSullaScheda(const Verifica &verifica, const QString &origine)
{
    for (const QString &cartella : verifica.cartelle) {
        if (origine.startsWith(cartella))
            return platform::displayFileName(origine.sliced(cartella.size()));
    }
    return platform::displayFileName(origine);
}

// What the verdict says of a file not safe: «IMG_0001.JPG»: manca nella
// destinazione; la copia nella cartella di riserva è diversa.
QString rigaDelFile(const Verifica &verifica, const FileVerificato &file)
{
    if (!file.illeggibile.isEmpty())
        return file.illeggibile;
    QStringList parti;
    const auto di = [&](Copia copia, const QString &dove) {
        if (copia == Copia::Manca)
            parti << QStringLiteral("manca nella %1").arg(dove);
        else if (copia == Copia::Diversa)
            parti << QStringLiteral("la copia nella %1 è diversa").arg(dove);
    };
    di(file.destinazione, QStringLiteral("destinazione"));
    di(file.riserva, QStringLiteral("cartella di riserva"));
    return QStringLiteral("«%1»: %2.")
        .arg(nomeSullaScheda(verifica, file.origine), parti.join(QStringLiteral("; ")));
}

// The card's folders as the verdict names them: «A», «B» e «C».
QString cartelleDette(const QStringList &cartelle)
{
    QStringList dette;
    for (const QString &cartella : cartelle)
        dette << QStringLiteral("«%1»").arg(platform::displayFolderName(cartella));
    const QString ultima = dette.takeLast();
    return dette.isEmpty() ? ultima
                           : dette.join(QStringLiteral(", ")) + QStringLiteral(" e ") + ultima;
}

} // namespace

bool Verifica::siPuoFormattare() const
{
    return !fermata && file.size() == piano.file.size()
        && std::all_of(
            file.cbegin(), file.cend(), [](const FileVerificato &f) { return f.alSicuro(); });
}

QString Verifica::verdetto() const
{
    const QString dove = riserva.isEmpty()
        ? QStringLiteral("nella destinazione")
        : QStringLiteral("nella destinazione e nella cartella di riserva");
    const qsizetype totale = piano.file.size();
    if (siPuoFormattare()) {
        return (totale == 1 ? QStringLiteral("Il file di %2 è %3, identico: la scheda si può "
                                             "formattare.")
                            : QStringLiteral("Tutti i %1 file di %2 sono %3, identici: la scheda "
                                             "si può formattare."))
            .arg(QString::number(totale), cartelleDette(cartelle), dove);
    }
    QStringList righe;
    for (const FileVerificato &f : file) {
        if (!f.alSicuro())
            righe << rigaDelFile(*this, f);
    }
    QStringList perche;
    if (const qsizetype nonSicuri = righe.size(); nonSicuri > 0)
        perche << (nonSicuri == 1 ? QStringLiteral("1 file non è al sicuro")
                                  : QStringLiteral("%1 file non sono al sicuro").arg(nonSicuri));
    if (fermata)
        perche << QStringLiteral("la verifica è stata interrotta dopo %1 file di %2")
                      .arg(file.size())
                      .arg(totale);
    righe << QStringLiteral("Non formattare la scheda: %1.").arg(perche.join(QStringLiteral("; ")));
    return righe.join(QLatin1Char('\n'));
}

QString preparaVerifica(const RichiestaVerifica &richiesta, Verifica &verifica)
{
    verifica = Verifica();
    for (const auto &[cartella, ruolo] :
        { std::pair(richiesta.destinazione, QStringLiteral("di destinazione")),
            std::pair(richiesta.riserva, QStringLiteral("di riserva")) }) {
        if (cartella.isEmpty())
            continue;
        if (const QString motivo = motivoCartella(cartella, ruolo); !motivo.isEmpty())
            return motivo;
    }
    verifica.destinazione = platform::withSeparator(richiesta.destinazione);
    verifica.cartellePerData = richiesta.cartellePerData;
    if (!richiesta.riserva.isEmpty())
        verifica.riserva = platform::withSeparator(richiesta.riserva);
    for (const QString &cartella : richiesta.cartelle) {
        if (!platform::resolvedFolder(cartella))
            return QStringLiteral("La cartella «%1» non esiste")
                .arg(platform::displayFolderName(cartella));
        const QString conSeparatore = platform::withSeparator(cartella);
        verifica.cartelle << conSeparatore;
        for (const QString &nome : fileDellaCartella(cartella, richiesta.sottocartelle).file) {
            FileDelPiano file;
            file.origine = conSeparatore + nome;
            const std::optional<platform::FileStamp> impronta = platform::fileStamp(file.origine);
            if (!impronta)
                throw platform::FileError(
                    platform::FileError::Operation::Read, { file.origine }, ENOENT);
            file.dimensione = impronta->size;
            verifica.piano.file << file;
        }
    }
    if (verifica.piano.file.isEmpty())
        return QStringLiteral("In %1 non c'è nessun file da verificare")
            .arg(cartelleDette(verifica.cartelle));
    return {};
}

void eseguiVerifica(Verifica &verifica, const std::atomic<bool> &ferma, Avanzamento &avanzamento)
{
    QStringList origini;
    for (const FileDelPiano &file : std::as_const(verifica.piano.file))
        origini << file.origine;
    const QMultiHash<QString, QString> fatte = copieDaiGiornali(origini);
    CartellaDelleCopie destinazione(verifica.destinazione, verifica.cartellePerData);
    std::optional<CartellaDelleCopie> riserva;
    if (!verifica.riserva.isEmpty())
        riserva.emplace(verifica.riserva, verifica.cartellePerData);
    verifica.file.clear();
    for (const FileDelPiano &file : std::as_const(verifica.piano.file)) {
        if (ferma) {
            verifica.fermata = true;
            return;
        }
        FileVerificato verificato;
        verificato.origine = file.origine;
        const QStringList fatteDaUnaCorsa = fatte.values(file.origine);
        // The card and the copies are most often on two media: the copy a run
        // made is read while the card reads the file again.
        std::future<QByteArray> dallaScheda = std::async(std::launch::async,
            [&file] { return platform::hashWithoutDatesFromMedium(file.origine); });
        destinazione.leggiPrima(file.dimensione, fatteDaUnaCorsa);
        if (riserva)
            riserva->leggiPrima(file.dimensione, fatteDaUnaCorsa);
        try {
            const QByteArray hash = dallaScheda.get();
            verificato.destinazione = destinazione.cerca(file.dimensione, hash, fatteDaUnaCorsa);
            if (riserva)
                verificato.riserva = riserva->cerca(file.dimensione, hash, fatteDaUnaCorsa);
        } catch (const platform::FileError &errore) {
            // A card pulled out leaves nothing more to read: the whole
            // verification failed, not this file.
            if (errore.paths().first() != file.origine
                || !platform::resolvedFolder(platform::folderPart(file.origine)))
                throw;
            verificato.illeggibile = errore.message();
        }
        verifica.file << verificato;
        ++avanzamento.fatti;
        avanzamento.byte += file.dimensione;
    }
}
