#include "terminal/sorgenti.h"

#include "engine/selezione.h"
#include "platform/console.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/media.h"
#include "terminal/argomenti.h"

#include <QSet>

#include <optional>

QString assoluto(const QString &percorso)
{
    if (const std::optional<QString> cartella = platform::resolvedFolder(percorso))
        return *cartella;
    const QString cartella = platform::folderPart(percorso);
    const std::optional<QString> dove = cartella.isEmpty()
        ? platform::resolvedFolder(QStringLiteral("."))
        : platform::resolvedFolder(cartella);
    return dove ? *dove + platform::namePart(percorso) : percorso;
}

QList<FileScelto> raccogli(const QStringList &sorgenti, bool sottocartelle, QStringList &lasciati)
{
    QList<FileScelto> scelti;
    QSet<QString> visti;
    const auto aggiungi = [&](const QString &percorso, const QString &comeDato) {
        if (!visti.contains(percorso)) {
            visti.insert(percorso);
            scelti.append({ percorso, comeDato });
        }
    };
    for (const QString &sorgente : sorgenti) {
        if (platform::isFolder(sorgente)) {
            const QString percorso = assoluto(sorgente);
            const QString comeData = platform::withSeparator(sorgente);
            const CartellaLetta letta = fileDellaCartella(percorso, sottocartelle);
            for (const QString &nome : letta.file)
                aggiungi(percorso + nome, comeData + nome);
            for (const QString &nome : letta.lasciati)
                lasciati.append(percorso + nome);
        } else if (platform::isOrdinaryFile(sorgente)) {
            aggiungi(assoluto(sorgente), sorgente);
        } else if (sorgente.endsWith(QLatin1Char('/'))
            && platform::isOrdinaryFile(sorgente.chopped(1))) {
            // Named as a folder, with its separator.
            throw UsoSbagliato { QStringLiteral("«%1» è un file, non una cartella")
                                     .arg(platform::displayFileName(sorgente.chopped(1))) };
        } else {
            throw UsoSbagliato { QStringLiteral("«%1» non è un file né una cartella")
                                     .arg(platform::displayFileName(sorgente)) };
        }
    }
    lasciati.removeDuplicates();
    return scelti;
}

void prendiLaScheda(Argomenti &argomenti)
{
    const QList<platform::MountedCard> schede = platform::mountedCards();
    if (schede.isEmpty())
        throw UsoSbagliato { QStringLiteral(
            "--scheda: nessuna scheda montata ha una cartella DCIM") };
    if (schede.size() > 1) {
        QStringList nomi;
        for (const platform::MountedCard &scheda : schede)
            nomi.append(QStringLiteral("«%1» in %2")
                            .arg(scheda.label, platform::displayFolderName(scheda.mountPoint)));
        throw UsoSbagliato { QStringLiteral(
            "--scheda: %1 schede montate hanno una cartella DCIM: %2; "
            "indicare la cartella DCIM di una di esse, con -r")
                                 .arg(schede.size())
                                 .arg(nomi.join(QStringLiteral(", "))) };
    }
    argomenti.sorgenti = QStringList { schede.first().cameraFolder };
    argomenti.sottocartelle = true;
}

NomiDati::NomiDati(
    const QList<FileScelto> &scelti, const QString &destinazioneData, const QString &riservaData)
    : destinazione(platform::withSeparator(destinazioneData))
    , riserva(riservaData.isEmpty() ? QString() : platform::withSeparator(riservaData))
{
    for (const FileScelto &scelto : scelti)
        origini.insert(scelto.percorso, scelto.comeDato);
}

QString NomiDati::origine(const FileDelPiano &file) const
{
    return origini.value(file.origine);
}

QString NomiDati::nuovo(const FileDelPiano &file) const
{
    return destinazione + file.cartella + platform::namePart(file.nuovoNome);
}

QString NomiDati::copiaDiRiserva(const FileDelPiano &file) const
{
    return riserva + file.cartella + platform::namePart(file.copiaDiRiserva);
}
