#include "engine/controllo.h"

#include "engine/numerazione.h"
#include "platform/filenames.h"
#include "platform/media.h"
#include "platform/publishing.h"

#include <QLocale>
#include <QSet>

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
    // Only a folder known when it was chosen can have gone since.
    if (!supporto)
        return (supportoScelto ? QStringLiteral("La cartella %1 «%2» non esiste più")
                               : QStringLiteral("La cartella %1 «%2» non esiste"))
            .arg(ruolo, cartella);
    if (supportoScelto && !stessoSupporto(*supportoScelto, supporto->identity))
        return QStringLiteral("La cartella %1 «%2» non è più sul supporto su cui era quando è "
                              "stata scelta: la scheda o il disco potrebbe essere stato rimosso")
            .arg(ruolo, cartella);
    if (!supporto->writable)
        return QStringLiteral("Nella cartella %1 «%2» non si può scrivere").arg(ruolo, cartella);
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

// The first reason of a plan's files and names, or an empty text. Adds up
// the space the files take, and, where the destination's folder takes space
// of the medium for its entries, the bytes of those.
QString motivoFile(const PianoTrasferimento &piano, const QString &destinazione,
    const platform::Medium &supporto, qint64 &spazioFile, qint64 &byteCartella)
{
    const auto chiave = [&supporto](const QString &nome) {
        return supporto.fatNames ? nome.toCaseFolded() : nome;
    };
    QSet<QString> presenti;
    for (const QString &nome : platform::namesIn(destinazione))
        presenti.insert(chiave(nome));

    for (const FileDelPiano &file : piano.file) {
        const qint64 byte = file.dimensione;
        const QString nome = platform::namePart(file.nuovoNome);
        if (presenti.contains(chiave(nome)))
            return QStringLiteral("Nella destinazione esiste già «%1»").arg(nome);
        QString motivo = supporto.fatNames ? motivoNomeRifiutato(nome) : QString();
        if (motivo.isEmpty())
            motivo = motivoNomeLungo(nome, supporto);
        if (!motivo.isEmpty())
            return QStringLiteral("Il nome «%1» non può essere scritto su questo supporto (%2)")
                .arg(nome, motivo);
        if (piano.rinomina)
            continue;
        if (supporto.largestFile >= 0 && byte > supporto.largestFile)
            return QStringLiteral("Il file «%1» (%2) è troppo grande per questo supporto, che non "
                                  "tiene file di %3 o più")
                .arg(platform::namePart(file.origine), testoDimensione(byte),
                    testoDimensione(supporto.largestFile + 1));
        spazioFile += inUnitaIntere(byte, supporto.allocationUnit);
        // Each copy is written under a hidden name beside its own first,
        // whose entries a driver need not take again once it is renamed.
        if (supporto.fatNames)
            byteCartella +=
                byteVoci(nome.size()) + byteVoci(nome.size() + platform::TemporaryNameExtra);
    }
    return {};
}

QString motivoPiano(const PianoTrasferimento &piano)
{
    const QString destinazione = platform::folderPart(piano.file.first().nuovoNome);
    const std::optional<platform::Medium> supporto = platform::mediumOf(destinazione);
    QString motivo = motivoCartella(
        destinazione, supporto, piano.supportoDestinazione, QStringLiteral("di destinazione"));
    if (!motivo.isEmpty())
        return motivo;
    if (piano.spostare) {
        // The originals go from their folders, which must allow it; the
        // terminal takes them from several.
        QSet<QString> cartelle;
        for (const FileDelPiano &file : piano.file) {
            const QString origine = platform::folderPart(file.origine);
            if (cartelle.contains(origine))
                continue;
            cartelle.insert(origine);
            motivo = motivoCartella(origine, platform::mediumOf(origine), piano.supportoOrigine,
                QStringLiteral("di origine"));
            if (!motivo.isEmpty())
                return motivo;
        }
    }
    qint64 spazioFile = 0;
    qint64 byteCartella = 0;
    motivo = motivoFile(piano, destinazione, *supporto, spazioFile, byteCartella);
    if (!motivo.isEmpty())
        return motivo;
    // The folder grows by whole units, and the room left in its last one
    // is not told, so it counts for nothing.
    const qint64 servono = spazioFile + inUnitaIntere(byteCartella, supporto->allocationUnit);
    // A medium that does not tell its free space stops the run when it fills.
    if (supporto->freeBytes >= 0 && servono > supporto->freeBytes)
        return QStringLiteral("Nella destinazione «%1» lo spazio libero non basta: servono %2, "
                              "ce ne sono %3")
            .arg(destinazione, testoDimensione(servono), testoDimensione(supporto->freeBytes));
    return {};
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
