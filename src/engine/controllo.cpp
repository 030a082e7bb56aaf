#include "engine/controllo.h"

#include "engine/formatogiornale.h"
#include "engine/numerazione.h"
#include "platform/appendfile.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"
#include "platform/media.h"
#include "platform/publishing.h"

#include <QHash>
#include <QLocale>
#include <QSet>

#include <algorithm>

namespace {

// Whether a folder is still on the medium it was on: the same volume where
// both times tell one, as another card may come in the same reader, else
// the same device.
bool stessoSupporto(const platform::VolumeIdentity &prima, const platform::VolumeIdentity &ora)
{
    if (!prima.volume.isEmpty() && !ora.volume.isEmpty())
        return prima.volume == ora.volume;
    return prima.device == ora.device;
}

// Why a folder of the run cannot be used, or an empty text.
QString motivoCartella(const QString &cartella, const std::optional<platform::Medium> &supporto,
    const std::optional<platform::VolumeIdentity> &supportoScelto, const QString &ruolo)
{
    const QString detta = platform::displayFolderName(cartella);
    const QString senzaSeparatore =
        cartella.endsWith(QLatin1Char('/')) ? cartella.chopped(1) : cartella;
    if (!supporto && platform::isOrdinaryFile(senzaSeparatore))
        return QStringLiteral(
            "Il percorso «%1» scelto come cartella %2 è un file, non una cartella")
            .arg(detta, ruolo);
    // Only a folder known when it was chosen can have gone since.
    if (!supporto)
        return (supportoScelto ? QStringLiteral("La cartella %1 «%2» non esiste più")
                               : QStringLiteral("La cartella %1 «%2» non esiste"))
            .arg(ruolo, detta);
    if (supportoScelto && !stessoSupporto(*supportoScelto, supporto->identity))
        return QStringLiteral("La cartella %1 «%2» non è più sul supporto su cui era quando è "
                              "stata scelta: la scheda o il disco potrebbe essere stato rimosso")
            .arg(ruolo, detta);
    if (!supporto->writable)
        return QStringLiteral("Nella cartella %1 «%2» non si può scrivere").arg(ruolo, detta);
    return {};
}

// Why a name is too long for the medium, or an empty text: the system counts
// its bytes, FAT and exFAT keep at most 255 UTF-16 characters of it.
QString motivoNomeLungo(const QString &nome, const platform::Medium &supporto)
{
    if (platform::encodeFileName(nome).size() > supporto.longestName)
        return QStringLiteral("più lungo di %1 byte").arg(supporto.longestName);
    if (supporto.fatNames && nome.size() > 255)
        return QStringLiteral("più lungo di 255 caratteri");
    return {};
}

// The space a size takes on a medium that hands it out in whole units.
qint64 inUnitaIntere(qint64 byte, qint64 unita)
{
    return unita > 1 ? (byte + unita - 1) / unita * unita : byte;
}

// The bytes of the folder entries a name of so many UTF-16 characters takes:
// on FAT a short entry and a long-name one for every 13 characters, on exFAT
// a file and a stream entry and a name one for every 15. A FUSE driver does
// not tell which of the two it writes, so the larger counts.
qint64 byteVoci(qsizetype caratteri)
{
    return 32 * std::max<qint64>(1 + (caratteri + 12) / 13, 2 + (caratteri + 14) / 15);
}

// A folder the new files go to, as the reasons against it name it.
struct CartellaNuova
{
    QString percorso;
    std::optional<platform::VolumeIdentity> supportoScelto;
    bool riserva = false;
    std::optional<platform::Medium> supporto;
    // The space its files and their folder entries take.
    qint64 servono = 0;
    // The room a trial counts free, which the run frees first.
    qint64 nascoste = 0;
};

// What a refusal for a name taken adds where an undo left the file there
// half way: the undo, finished, takes it back.
QString seLasciatoDaAnnullamento(const QString &percorso)
{
    if (!lasciatoDaAnnullamento(percorso))
        return {};
    return QStringLiteral(", lasciato da un annullamento rimasto a metà (finiscilo con «Annulla "
                          "ultima corsa» o con «copia-e-rinomina annulla»)");
}

// Why a name, of a file or a folder, cannot be written on the medium, or
// an empty text.
QString motivoNomeSulSupporto(const QString &nome, const CartellaNuova &cartella)
{
    const platform::Medium &supporto = *cartella.supporto;
    QString motivo = supporto.fatNames ? motivoNomeRifiutato(nome) : QString();
    if (motivo.isEmpty())
        motivo = motivoNomeLungo(nome, supporto);
    if (motivo.isEmpty())
        return {};
    return QStringLiteral("Il nome «%1» non può essere scritto %2 (%3)")
        .arg(nome,
            cartella.riserva ? QStringLiteral("sul supporto della cartella di riserva")
                             : QStringLiteral("su questo supporto"),
            motivo);
}

// Why the folders by date cannot be used, or made, in the folder, or an
// empty text: a name there that is not a folder itself, a file or a link,
// which the photos would go beside or through; a name the medium cannot
// hold.
QString motivoCartellePerData(const PianoTrasferimento &piano, const CartellaNuova &cartella)
{
    QSet<QString> viste;
    for (const FileDelPiano &file : piano.file) {
        if (file.cartella.isEmpty() || viste.contains(file.cartella))
            continue;
        viste.insert(file.cartella);
        for (const QString &nome : file.cartella.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (const QString motivo = motivoNomeSulSupporto(nome, cartella); !motivo.isEmpty())
                return motivo;
        }
        for (qsizetype fine = file.cartella.indexOf(QLatin1Char('/')); fine >= 0;
             fine = file.cartella.indexOf(QLatin1Char('/'), fine + 1)) {
            const QString percorso = cartella.percorso + file.cartella.first(fine);
            if (platform::nameExists(percorso) && !platform::isFolderItself(percorso))
                return QStringLiteral("«%1» c'è già e non è una cartella: non può essere la "
                                      "cartella per data dei file che vi andrebbero")
                    .arg(platform::displayFileName(percorso));
        }
    }
    return {};
}

// The first reason of a plan's files and names against a folder they go
// to, or an empty text. Adds up the space the files take there, and, where
// the folder takes space of the medium for its entries, the bytes of those.
QString motivoFile(const PianoTrasferimento &piano, CartellaNuova &cartella)
{
    const platform::Medium &supporto = *cartella.supporto;
    const auto chiave = [&supporto](const QString &nome) {
        return supporto.fatNames ? nome.toCaseFolded() : nome;
    };
    // The names in each folder the files go to, looked at once a folder.
    QHash<QString, QSet<QString>> presentiIn;
    const auto presenti = [&](const QString &sottocartella) -> const QSet<QString> & {
        auto nomi = presentiIn.find(sottocartella);
        if (nomi == presentiIn.end()) {
            nomi = presentiIn.insert(sottocartella, {});
            for (const QString &nome : platform::namesIn(cartella.percorso + sottocartella))
                nomi->insert(chiave(nome));
        }
        return *nomi;
    };

    qint64 spazioFile = 0;
    qint64 byteCartella = 0;
    for (const FileDelPiano &file : piano.file) {
        const qint64 byte = file.dimensione;
        const QString nome = platform::namePart(file.nuovoNome);
        if (presenti(file.cartella).contains(chiave(nome)))
            return (cartella.riserva
                           ? QStringLiteral("Nella cartella di riserva «%1» esiste già «%2»")
                                 .arg(platform::displayFolderName(cartella.percorso),
                                     file.cartella + nome)
                           : QStringLiteral("Nella destinazione esiste già «%1»")
                                 .arg(file.cartella + nome))
                + seLasciatoDaAnnullamento(cartella.percorso + file.cartella + nome);
        if (const QString motivo = motivoNomeSulSupporto(nome, cartella); !motivo.isEmpty())
            return motivo;
        if (piano.rinomina)
            continue;
        if (supporto.largestFile >= 0 && byte > supporto.largestFile)
            return QStringLiteral("Il file «%1» (%2) è troppo grande per %3, che non tiene file "
                                  "di %4 o più")
                .arg(platform::namePart(file.origine), testoDimensione(byte),
                    cartella.riserva ? QStringLiteral("il supporto della cartella di riserva")
                                     : QStringLiteral("questo supporto"),
                    testoDimensione(supporto.largestFile + 1));
        spazioFile += inUnitaIntere(byte, supporto.allocationUnit);
        // Each copy is written under a hidden name beside its own first,
        // whose entries a driver need not take again once it is renamed.
        if (supporto.fatNames)
            byteCartella +=
                byteVoci(nome.size()) + byteVoci(nome.size() + platform::TemporaryNameExtra);
    }
    // The folder grows by whole units, and the room left in its last one
    // is not told, so it counts for nothing; each folder made takes one.
    const qsizetype nuove = std::count_if(piano.cartelleNuove.begin(), piano.cartelleNuove.end(),
        [&](const QString &nuova) { return nuova.startsWith(cartella.percorso); });
    cartella.servono = spazioFile + inUnitaIntere(byteCartella, supporto.allocationUnit)
        + nuove * std::max<qint64>(supporto.allocationUnit, 1);
    return {};
}

// Whether the folder is where other disks are mounted, yet on the system's
// own: the empty mount point of a backup disk that is not plugged in, which
// a run would fill in its place.
bool supportoNonMontato(const QString &cartella)
{
    const QStringList montaggi { QStringLiteral("/media/"), QStringLiteral("/run/media/"),
        QStringLiteral("/mnt/") };
    if (std::none_of(montaggi.begin(), montaggi.end(),
            [&](const QString &montaggio) { return cartella.startsWith(montaggio); }))
        return false;
    const auto sistema = platform::fileSystemOf(QStringLiteral("/"));
    const auto qui = platform::fileSystemOf(cartella);
    return sistema && qui && sistema->device == qui->device;
}

// Why the folder cannot take the plan's new files, or an empty text. A
// folder the run makes is judged by its parent, which is there.
QString motivoCartellaNuova(const PianoTrasferimento &piano, CartellaNuova &cartella)
{
    const QString esistente = piano.cartelleNuove.contains(cartella.percorso)
        ? platform::parentFolder(cartella.percorso)
        : cartella.percorso;
    if (cartella.riserva && supportoNonMontato(esistente))
        return QStringLiteral("La cartella di riserva «%1» è sul disco del sistema, dove si "
                              "collegano gli altri dischi: il disco di riserva non è collegato")
            .arg(platform::displayFolderName(cartella.percorso));
    cartella.supporto = platform::mediumOf(esistente);
    QString motivo = motivoCartella(esistente, cartella.supporto, cartella.supportoScelto,
        cartella.riserva ? QStringLiteral("di riserva") : QStringLiteral("di destinazione"));
    if (motivo.isEmpty())
        motivo = motivoCartellePerData(piano, cartella);
    return motivo.isEmpty() ? motivoFile(piano, cartella) : motivo;
}

// Why the medium has too little room for what goes to the folder, and to
// the other where both are on it, or an empty text. A medium that does not
// tell its free space stops the run when it fills.
QString motivoSpazio(const CartellaNuova &cartella, const CartellaNuova *altra)
{
    const platform::Medium &supporto = *cartella.supporto;
    qint64 servono = cartella.servono;
    qint64 libero = supporto.freeBytes + cartella.nascoste;
    if (altra && altra->supporto->identity.device == supporto.identity.device) {
        servono += altra->servono;
        libero += altra->nascoste;
    }
    if (supporto.freeBytes < 0 || servono <= libero)
        return {};
    return QStringLiteral("Nella %1 «%2» lo spazio libero non basta: servono %3, ce ne sono %4")
        .arg(cartella.riserva ? QStringLiteral("cartella di riserva")
                              : QStringLiteral("destinazione"),
            platform::displayFolderName(cartella.percorso), testoDimensione(servono),
            testoDimensione(libero));
}

// The originals go from their folders, which must allow it; the terminal
// takes them from several.
QString motivoOrigini(const PianoTrasferimento &piano)
{
    QSet<QString> cartelle;
    for (const FileDelPiano &file : piano.file) {
        const QString origine = platform::folderPart(file.origine);
        if (cartelle.contains(origine))
            continue;
        cartelle.insert(origine);
        const QString motivo = motivoCartella(origine, platform::mediumOf(origine),
            piano.supportoOrigine, QStringLiteral("di origine"));
        if (!motivo.isEmpty())
            return motivo;
    }
    return {};
}

bool stessaCartella(const QString &una, const QString &altra)
{
    const auto prima = platform::fileStamp(una);
    const auto seconda = platform::fileStamp(altra);
    return prima && seconda && prima->device == seconda->device && prima->inode == seconda->inode;
}

QString motivoPiano(const PianoTrasferimento &piano)
{
    CartellaNuova destinazione { piano.destinazione, piano.supportoDestinazione, false, {}, 0,
        piano.nascosteDestinazione };
    QString motivo = motivoCartellaNuova(piano, destinazione);
    if (motivo.isEmpty() && piano.spostare)
        motivo = motivoOrigini(piano);
    if (!motivo.isEmpty())
        return motivo;
    if (piano.riserva.isEmpty())
        return motivoSpazio(destinazione, nullptr);
    // One folder under two names, as through a link, would hold one copy.
    CartellaNuova riserva { piano.riserva, piano.supportoRiserva, true, {}, 0,
        piano.nascosteRiserva };
    if (stessaCartella(riserva.percorso, destinazione.percorso))
        return QStringLiteral("La cartella di riserva «%1» è la cartella di destinazione")
            .arg(platform::displayFolderName(riserva.percorso));
    motivo = motivoCartellaNuova(piano, riserva);
    if (motivo.isEmpty())
        motivo = motivoSpazio(destinazione, &riserva);
    return motivo.isEmpty() ? motivoSpazio(riserva, &destinazione) : motivo;
}

} // namespace

QString controllaPiano(const PianoTrasferimento &piano)
{
    if (piano.file.isEmpty())
        return {};
    const QString motivo = motivoPiano(piano);
    if (motivo.isEmpty())
        return {};
    return motivo
        + (piano.spostare ? QStringLiteral(": nessun file è stato spostato.")
                          : QStringLiteral(": nessun file è stato copiato."));
}

QString testoDimensione(qint64 byte)
{
    return QLocale(QLocale::Italian).formattedDataSize(byte, 1, QLocale::DataSizeSIFormat);
}

QString motivoNomeRifiutato(const QString &nome)
{
    static const QString vietati = QStringLiteral("\"*/:<>?\\|");
    for (const QChar c : nome) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("carattere di controllo");
        if (vietati.contains(c))
            return QStringLiteral("carattere «%1»").arg(c);
    }
    if (nome.endsWith(QLatin1Char('.')))
        return QStringLiteral("finisce con un punto");
    if (nome.endsWith(QLatin1Char(' ')))
        return QStringLiteral("finisce con uno spazio");
    return {};
}

QString testoAvanzamento(
    int fatti, int totale, qint64 byteFatti, qint64 byteTotali, qint64 millisecondi)
{
    const QString conto = QStringLiteral("%1/%2").arg(fatti).arg(totale);
    if (millisecondi < 2000 || fatti < 1 || byteFatti <= 0)
        return conto;
    const qint64 secondi = qint64(
        double(std::max<qint64>(byteTotali - byteFatti, 0)) * millisecondi / byteFatti / 1000);
    const QString minutiSecondi =
        QStringLiteral("%1:%2").arg(secondi / 60 % 60).arg(secondi % 60, 2, 10, QLatin1Char('0'));
    const QString resto = secondi < 3600
        ? minutiSecondi
        : QStringLiteral("%1:%2")
              .arg(secondi / 3600)
              .arg(minutiSecondi.rightJustified(5, QLatin1Char('0')));
    return conto + QStringLiteral(" · ") + resto;
}
