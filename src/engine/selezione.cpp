#include "engine/selezione.h"

#include "engine/numerazione.h"
#include "platform/filenames.h"
#include "platform/folderlisting.h"
#include "platform/photometadata.h"

#include <QMap>
#include <QSet>

namespace {

// Whether the part of the name after its last dot is one of the extensions,
// letter case aside.
bool haEstensione(const QString &nome, const QStringList &estensioni)
{
    const qsizetype punto = nome.lastIndexOf(QLatin1Char('.'));
    return punto > 0 && estensioni.contains(nome.sliced(punto + 1), Qt::CaseInsensitive);
}

// The files a camera keeps its account of the card in: Canon's catalogues
// (CTG), AVCHD's index, playlists and clip information (BDM, MPL, CPI),
// Sony's indexes (TID, TDT, BNP, INP, INT, IND, BIN), Nikon's (DSC).
bool eFileDellaFotocamera(const QString &nome)
{
    static const QStringList estensioni { "ctg", "bdm", "mpl", "cpi", "tid", "tdt", "bnp", "inp",
        "int", "ind", "bin", "dsc" };
    return haEstensione(nome, estensioni);
}

void aggiungiCartella(const QString &cartella, const QString &sotto, bool sottocartelle,
    const QString &schema, CartellaLetta &letta)
{
    platform::FolderListing elenco(cartella + sotto + schema);
    for (QString nome = elenco.next(); !nome.isEmpty(); nome = elenco.next()) {
        QStringList &dove =
            sottocartelle && eFileDellaFotocamera(nome) ? letta.lasciati : letta.file;
        dove.append(sotto + nome);
    }
    if (!sottocartelle)
        return;
    for (const QString &dentro : platform::subfoldersOf(cartella + sotto))
        aggiungiCartella(cartella, sotto + dentro + QLatin1Char('/'), true, schema, letta);
}

} // namespace

CartellaLetta fileDellaCartella(const QString &cartella, bool sottocartelle, const QString &schema)
{
    CartellaLetta letta;
    aggiungiCartella(platform::withSeparator(cartella), QString(), sottocartelle, schema, letta);
    return letta;
}

const QStringList &estensioniVideo()
{
    static const QStringList estensioni { "mov", "mp4", "m4v", "3gp", "3g2", "avi", "mts", "m2ts",
        "mpg", "mpeg", "mkv", "wmv", "webm", "lrv", "mod", "tod" };
    return estensioni;
}

Genere genereDi(const QString &nomeFile)
{
    static const QStringList compagni { "thm", "wav" };
    if (eSidecar(nomeFile))
        return Genere::Sidecar;
    if (haEstensione(nomeFile, estensioniVideo()))
        return Genere::Video;
    return haEstensione(nomeFile, compagni) ? Genere::Compagno : Genere::Foto;
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
