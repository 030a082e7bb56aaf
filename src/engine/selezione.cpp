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

// Whether a walk of a card takes the file: a photo, a video, a sidecar or
// a shot's companion. Anything else there, as the camera's catalogues
// (CANONMSC/M0100.CTG), AVCHD's indexes or a LEGGIMI.TXT, is no picture.
bool eDaPrendere(const QString &nome)
{
    return genereDi(nome) != Genere::Foto || haEstensione(nome, estensioniFoto());
}

void aggiungiCartella(const QString &cartella, const QString &sotto, bool sottocartelle,
    const QString &schema, CartellaLetta &letta)
{
    platform::FolderListing elenco(cartella + sotto + schema);
    for (QString nome = elenco.next(); !nome.isEmpty(); nome = elenco.next()) {
        QStringList &dove = sottocartelle && !eDaPrendere(nome) ? letta.lasciati : letta.file;
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

const QStringList &estensioniRaw()
{
    static const QStringList estensioni { "cr2", "cr3", "crw", "nef", "nrw", "arw", "srf", "sr2",
        "orf", "rw2", "raf", "pef", "dng", "srw", "rwl", "raw", "3fr", "iiq", "x3f", "erf", "mrw",
        "kdc", "dcr" };
    return estensioni;
}

const QStringList &estensioniHeic()
{
    static const QStringList estensioni { "heic", "heif", "hif", "avif" };
    return estensioni;
}

const QStringList &estensioniFoto()
{
    static const QStringList estensioni = QStringList { "jpg", "jpeg", "jpe", "tif", "tiff", "png",
        "bmp", "gif", "webp", "jxl", "mpo" }
        + estensioniRaw() + estensioniHeic();
    return estensioni;
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

QList<Fotocamera> fotocamereDi(
    const QString &cartella, const QStringList &file, const std::function<bool()> &basta)
{
    QMap<QString, Fotocamera> perNome;
    // One file at a time: the list is read aside, maybe while a run goes on,
    // and costs little memory and only one processor so: each whole path
    // is made in its turn, not all before the first.
    for (const QString &nome : file) {
        if (basta && basta())
            break;
        const QString modello = platform::photoMetadata(cartella + nome).model.trimmed();
        if (modello.isEmpty())
            continue;
        Fotocamera &fotocamera = perNome[modello.toCaseFolded()];
        if (fotocamera.modello.isEmpty())
            fotocamera.modello = modello;
        ++fotocamera.foto;
    }
    return perNome.values();
}
