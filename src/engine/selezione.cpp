#include "engine/selezione.h"

#include "platform/filenames.h"
#include "platform/folderlisting.h"
#include "platform/photometadata.h"

#include <QMap>
#include <QSet>

namespace {

void aggiungiCartella(const QString &cartella, const QString &sotto, bool sottocartelle,
    const QString &schema, QStringList &file)
{
    platform::FolderListing elenco(cartella + sotto + schema);
    for (QString nome = elenco.next(); !nome.isEmpty(); nome = elenco.next())
        file.append(sotto + nome);
    if (!sottocartelle)
        return;
    for (const QString &dentro : platform::subfoldersOf(cartella + sotto))
        aggiungiCartella(cartella, sotto + dentro + QLatin1Char('/'), true, schema, file);
}

} // namespace

QStringList fileDellaCartella(const QString &cartella, bool sottocartelle, const QString &schema)
{
    QStringList file;
    aggiungiCartella(platform::withSeparator(cartella), QString(), sottocartelle, schema, file);
    return file;
}

int cartelleDeiFile(const QStringList &file)
{
    QSet<QString> cartelle;
    for (const QString &nome : file)
        cartelle.insert(platform::folderPart(nome));
    return int(cartelle.size());
}

QList<Fotocamera> fotocamereDi(const QStringList &file)
{
    QMap<QString, Fotocamera> perNome;
    // One file at a time: the list is read aside, maybe while a run goes on,
    // and costs little memory and only one processor so.
    for (const QString &percorso : file) {
        const QString modello = platform::photoMetadata(percorso).model.trimmed();
        if (modello.isEmpty())
            continue;
        Fotocamera &fotocamera = perNome[modello.toCaseFolded()];
        if (fotocamera.modello.isEmpty())
            fotocamera.modello = modello;
        ++fotocamera.foto;
    }
    return perNome.values();
}
