#include "engine/piano.h"

#include "engine/completamento.h"
#include "engine/controllo.h"
#include "engine/doppioni.h"
#include "engine/numerazione.h"
#include "engine/ordine.h"
#include "engine/scatti.h"
#include "engine/selezione.h"
#include "platform/appendfile.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"
#include "platform/photometadata.h"
#include "platform/publishing.h"

#include <QDateTime>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>

namespace {

// The correction of a photo taken by the given camera model.
qint64 correzioneDi(const QList<Correzione> &correzioni, const QString &modello)
{
    qint64 perOgniAltra = 0;
    for (const Correzione &correzione : correzioni) {
        if (correzione.modello.isEmpty())
            perOgniAltra = correzione.secondi;
        else if (correzione.modello.trimmed().compare(modello.trimmed(), Qt::CaseInsensitive) == 0)
            return correzione.secondi;
    }
    return perOgniAltra;
}

// The metadata of each file that is its shot's photo, at its position, read
// side by side; nothing for a sidecar. An empty file holds no photo, nor is
// a folder of thousands of them a reason to open each.
QList<platform::PhotoMetadata> metadatiDelleFoto(
    const QList<FileDelPiano> &file, const Scatti &gruppi)
{
    QStringList foto;
    QList<qsizetype> posizioni;
    for (const Scatto &scatto : gruppi.scatti) {
        for (qsizetype j = 0; j < scatto.file.size(); ++j) {
            const qsizetype i = scatto.file.at(j);
            if (scatto.foto.at(j) == i && file.at(i).dimensione > 0) {
                foto.append(file.at(i).origine);
                posizioni.append(i);
            }
        }
    }
    const QList<platform::PhotoMetadata> letti = platform::photoMetadata(foto);
    QList<platform::PhotoMetadata> metadati(file.size());
    for (qsizetype k = 0; k < posizioni.size(); ++k)
        metadati[posizioni.at(k)] = letti.at(k);
    return metadati;
}

// A file that names no camera, as most movies and their thumbnails, takes
// the model of the files of its folder where they all name one: a camera's
// correction reaches its movies too.
void modelliDelleCartelle(QList<FileDelPiano> &file)
{
    QHash<QString, QString> modelloDi;
    const QString diversi = QStringLiteral("\n");
    for (const FileDelPiano &uno : std::as_const(file)) {
        if (uno.modello.isEmpty())
            continue;
        QString &modello = modelloDi[platform::folderPart(uno.origine)];
        if (modello.isEmpty())
            modello = uno.modello;
        else if (modello.compare(uno.modello, Qt::CaseInsensitive) != 0)
            modello = diversi;
    }
    for (FileDelPiano &uno : file) {
        const QString modello = modelloDi.value(platform::folderPart(uno.origine));
        if (uno.modello.isEmpty() && modello != diversi)
            uno.modello = modello;
    }
}

FonteScatto fonteDi(platform::MomentSource source)
{
    switch (source) {
    case platform::MomentSource::None:
        break;
    case platform::MomentSource::Exif:
        return FonteScatto::Exif;
    case platform::MomentSource::Offset:
        return FonteScatto::Fuso;
    case platform::MomentSource::Utc:
        return FonteScatto::Utc;
    case platform::MomentSource::Local:
        return FonteScatto::Locale;
    }
    return FonteScatto::File;
}

// The photo a camera wrote beside a movie of its shot, a THM or a JPEG,
// whose EXIF tells the moment its clock showed; -1 for none.
qsizetype compagnoDi(const Scatto &scatto, const QList<FileDelPiano> &file,
    const QList<platform::PhotoMetadata> &metadati)
{
    for (const qsizetype i : scatto.file) {
        const Genere genere = genereDi(platform::namePart(file.at(i).origine));
        if ((genere == Genere::Foto || genere == Genere::Compagno)
            && metadati.at(i).source == platform::MomentSource::Exif)
            return i;
    }
    return -1;
}

// Whether a file is a movie whose moment its companion tells better: its
// own was not read, or only on its camera's clock, whose zone it does not
// say.
bool prendeIlCompagno(const FileDelPiano &uno, const platform::PhotoMetadata &suo)
{
    return genereDi(platform::namePart(uno.origine)) == Genere::Video
        && (suo.source == platform::MomentSource::None
            || suo.source == platform::MomentSource::Local);
}

// Each file of the selection as the plan takes it: its size and time from
// one look at it; when it was taken, by which camera and so its correction,
// as its photo says, or for a movie its companion photo.
QList<FileDelPiano> leggiFile(const Richiesta &richiesta, const Scatti &gruppi)
{
    const QList<std::optional<platform::FileFacts>> fatti = platform::fileFacts(richiesta.origini);
    QList<FileDelPiano> file(richiesta.origini.size());
    for (qsizetype i = 0; i < file.size(); ++i) {
        file[i].origine = richiesta.origini.at(i);
        if (fatti.at(i)) {
            file[i].dimensione = fatti.at(i)->size;
            file[i].scatto = fatti.at(i)->modified;
        }
    }
    const QList<platform::PhotoMetadata> metadati = metadatiDelleFoto(file, gruppi);
    for (const Scatto &scatto : gruppi.scatti) {
        const qsizetype compagno = compagnoDi(scatto, file, metadati);
        for (qsizetype j = 0; j < scatto.file.size(); ++j) {
            FileDelPiano &uno = file[scatto.file.at(j)];
            const qsizetype foto = scatto.foto.at(j);
            const bool dalCompagno =
                compagno >= 0 && prendeIlCompagno(file.at(foto), metadati.at(foto));
            const platform::PhotoMetadata &suaFoto = metadati.at(dalCompagno ? compagno : foto);
            if (suaFoto.captureTime) {
                uno.scatto = suaFoto.captureTime;
                uno.fonte = dalCompagno ? FonteScatto::Compagno : fonteDi(suaFoto.source);
            }
            uno.modello = suaFoto.model.trimmed();
        }
    }
    modelliDelleCartelle(file);
    for (FileDelPiano &uno : file)
        uno.correzione = correzioneDi(richiesta.correzioni, uno.modello);
    return file;
}

// Why a correction for a camera model is refused: no file of the run names
// it, as a model mistyped; the models the files name are said, to choose from.
QString motivoModelliAssenti(const QList<Correzione> &correzioni, const QList<FileDelPiano> &file)
{
    QStringList trovati;
    for (const FileDelPiano &uno : file) {
        if (!uno.modello.isEmpty() && !trovati.contains(uno.modello, Qt::CaseInsensitive))
            trovati.append(uno.modello);
    }
    for (const Correzione &correzione : correzioni) {
        const QString modello = correzione.modello.trimmed();
        if (modello.isEmpty() || trovati.contains(modello, Qt::CaseInsensitive))
            continue;
        if (trovati.isEmpty())
            return QStringLiteral("La correzione per «%1» non vale per nessun file: nessuno dei "
                                  "file scelti dice con quale fotocamera è stato scattato.")
                .arg(modello);
        trovati.sort(Qt::CaseInsensitive);
        const QString ultimo = trovati.takeLast();
        return QStringLiteral("La correzione per «%1» non vale per nessun file: %2 «%3».")
            .arg(modello,
                trovati.isEmpty() ? QStringLiteral("i file scelti sono della fotocamera")
                                  : QStringLiteral("i file scelti sono delle fotocamere «%1» e")
                                        .arg(trovati.join(QStringLiteral("», «"))),
                ultimo);
    }
    return {};
}

// The folder by date of a moment, by the local calendar: the schema's text
// with the year, month and day in place of AAAA, MM and GG. None for a
// file whose time could not be read, which stays in the destination itself.
QString cartellaDelGiorno(CartellePerData schema, const std::optional<qint64> &momento)
{
    if (schema == CartellePerData::Nessuna || !momento)
        return {};
    // By the zone's offset at that moment: no date in the zone need be made,
    // thousands of times.
    const qint64 secondi = *momento / 1'000'000'000 - (*momento % 1'000'000'000 < 0 ? 1 : 0);
    const qint64 locali = secondi
        + platform::localZone().offsetFromUtc(
            QDateTime::fromSecsSinceEpoch(secondi, QTimeZone::utc()));
    constexpr qint64 GiornoGiuliano1970 = 2440588;
    const QDate giorno =
        QDate::fromJulianDay(GiornoGiuliano1970 + locali / 86400 - (locali % 86400 < 0 ? 1 : 0));
    const auto cifre = [](int numero, int quante) {
        return QString::number(numero).rightJustified(quante, QLatin1Char('0'));
    };
    return testoCartellePerData(schema)
               .replace(QLatin1String("AAAA"), cifre(giorno.year(), 4))
               .replace(QLatin1String("MM"), cifre(giorno.month(), 2))
               .replace(QLatin1String("GG"), cifre(giorno.day(), 2))
        + QLatin1Char('/');
}

// The files in the order asked, shot by shot, each shot in its place by its
// earliest photo or by the first of its names, numbered from 1.
void ordina(const Richiesta &richiesta, PianoTrasferimento &piano)
{
    const Scatti gruppi = raggruppaScatti(richiesta.origini, richiesta.senzaEstensione);
    const QList<FileDelPiano> file = leggiFile(richiesta, gruppi);
    // Each shot's earliest moment and its photo first by name.
    QList<std::optional<qint64>> ore;
    QStringList prime;
    for (const Scatto &scatto : gruppi.scatti) {
        std::optional<qint64> primo;
        QString prima;
        for (qsizetype j = 0; j < scatto.file.size(); ++j) {
            const qsizetype i = scatto.file.at(j);
            if (scatto.foto.at(j) != i)
                continue;
            const std::optional<qint64> scatto = file.at(i).scattoCorretto();
            if (scatto && (!primo || *scatto < *primo))
                primo = scatto;
            if (prima.isEmpty() || file.at(i).origine < prima)
                prima = file.at(i).origine;
        }
        ore.append(primo);
        prime.append(prima);
    }
    QStringList nomi;
    for (const QString &prima : std::as_const(prime))
        nomi.append(platform::namePart(prima));
    const std::vector<qsizetype> ordine =
        richiesta.perNome ? ordinePerNome(nomi) : ordinePerData(prime, ore);
    qint64 numero = 0;
    for (const qsizetype posizione : ordine) {
        ++numero;
        // A shot goes whole to the folder of the moment it takes its place
        // by, a pair taken across midnight too.
        const QString cartella = cartellaDelGiorno(richiesta.cartellePerData, ore.at(posizione));
        for (const qsizetype i : gruppi.scatti.at(posizione).file) {
            piano.file.append(file.at(i));
            piano.file.last().numero = numero;
            piano.file.last().cartella = cartella;
        }
    }
    for (const qsizetype i : gruppi.senzaFoto)
        piano.restano.append(file.at(i));
}

// Whether a move renames every file: each folder it comes from is on the
// destination's file system, so that no byte is copied.
bool siRinomina(const QList<FileDelPiano> &file, const QString &destinazione)
{
    QSet<QString> cartelle;
    for (const FileDelPiano &uno : file)
        cartelle.insert(platform::folderPart(uno.origine));
    return std::none_of(cartelle.begin(), cartelle.end(), [&](const QString &cartella) {
        return platform::onOtherFileSystems(cartella, destinazione);
    });
}

// The path without its final separator: the folder itself, as a link
// would not be.
QString senzaSeparatore(const QString &cartella)
{
    return cartella.chopped(1);
}

// The folders the plan's files go to that are not there yet, each after
// its parent. A destination or backup folder is made only within a parent
// that is there; without one it is refused as missing.
QStringList cartelleDaFare(const PianoTrasferimento &piano)
{
    QSet<QString> viste;
    QStringList perData;
    for (const FileDelPiano &file : piano.file) {
        if (!file.cartella.isEmpty() && !viste.contains(file.cartella)) {
            viste.insert(file.cartella);
            perData.append(file.cartella);
        }
    }
    QStringList cartelle;
    for (const QString &radice : { piano.destinazione, piano.riserva }) {
        if (radice.isEmpty())
            continue;
        const bool manca = !platform::nameExists(senzaSeparatore(radice));
        if (manca && !platform::resolvedFolder(platform::parentFolder(radice)))
            continue;
        if (manca)
            cartelle.append(radice);
        for (const QString &cartella : std::as_const(perData)) {
            for (qsizetype fine = cartella.indexOf(QLatin1Char('/')); fine >= 0;
                 fine = cartella.indexOf(QLatin1Char('/'), fine + 1)) {
                const QString percorso = radice + cartella.first(fine + 1);
                if (!viste.contains(percorso)
                    && (manca || !platform::nameExists(senzaSeparatore(percorso)))) {
                    viste.insert(percorso);
                    cartelle.append(percorso);
                }
            }
        }
    }
    return cartelle;
}

// Fills in the plan's new names: each file under the base name in its
// folder, its shot numbered on from the plan's last number in that folder,
// the shots one after the other; or says that the numbers would pass the
// largest 64-bit one. Then lists the folders the run makes.
QString numeraPiano(PianoTrasferimento &piano, const Richiesta &richiesta)
{
    QHash<QString, qint64> numeri = piano.ultimoPerCartella;
    numeri.insert(QString(), piano.ultimo);
    QList<qint64> nuovi;
    for (qsizetype i = 0; i < piano.file.size(); ++i) {
        qint64 &numero = numeri[piano.file.at(i).cartella];
        if (i == 0 || !piano.file.at(i).stessoScattoDi(piano.file.at(i - 1))) {
            if (numero == std::numeric_limits<qint64>::max())
                return QStringLiteral("Il numero progressivo supera il massimo possibile.");
            ++numero;
        }
        nuovi.append(numero);
    }
    for (qsizetype i = 0; i < piano.file.size(); ++i) {
        FileDelPiano &file = piano.file[i];
        file.numero = nuovi.at(i);
        const QString nome = file.cartella
            + nuovoNome(platform::namePart(file.origine), richiesta.nomeBase, file.numero,
                richiesta.senzaEstensione);
        file.nuovoNome = richiesta.destinazione + nome;
        if (!richiesta.riserva.isEmpty())
            file.copiaDiRiserva = richiesta.riserva + nome;
    }
    piano.cartelleNuove = cartelleDaFare(piano);
    return {};
}

// The folders by date the plan's files go to, in the destination and in
// the backup folder, each once.
QStringList cartelleDeiFile(const PianoTrasferimento &piano)
{
    QSet<QString> cartelle;
    for (const FileDelPiano &file : piano.file) {
        if (!file.cartella.isEmpty())
            cartelle.insert(file.cartella);
    }
    QStringList percorsi;
    for (const QString &cartella : std::as_const(cartelle)) {
        percorsi.append(piano.destinazione + cartella);
        if (!piano.riserva.isEmpty())
            percorsi.append(piano.riserva + cartella);
    }
    return percorsi;
}

// The running number before the first new name in each folder by date: in
// date order, the highest its files of the base name carry.
QHash<QString, qint64> ultimiPerCartella(const PianoTrasferimento &piano, const QString &nomeBase)
{
    QHash<QString, qint64> ultimi;
    for (const FileDelPiano &file : piano.file) {
        if (!file.cartella.isEmpty() && !ultimi.contains(file.cartella))
            ultimi.insert(
                file.cartella, ultimoNumero(piano.destinazione + file.cartella, nomeBase));
    }
    return ultimi;
}

// A sidecar is left out with its shot's photos, when they all are.
void segueLaFoto(QList<FileDelPiano> &file)
{
    for (qsizetype inizio = 0, fine = 0; inizio < file.size(); inizio = fine) {
        bool foto = false;
        bool tutteFuori = true;
        for (fine = inizio; fine < file.size() && file.at(fine).stessoScattoDi(file.at(inizio));
             ++fine) {
            if (genereDi(platform::namePart(file.at(fine).origine)) != Genere::Sidecar) {
                foto = true;
                tutteFuori = tutteFuori && file.at(fine).fuori;
            }
        }
        for (qsizetype i = inizio; foto && tutteFuori && i < fine; ++i)
            file[i].fuori = true;
    }
}

} // namespace

QString testoCartellePerData(CartellePerData schema)
{
    switch (schema) {
    case CartellePerData::Nessuna:
        break;
    case CartellePerData::Giorno:
        return QStringLiteral("AAAA-MM-GG");
    case CartellePerData::AnnoGiorno:
        return QStringLiteral("AAAA/AAAA-MM-GG");
    case CartellePerData::AnnoMese:
        return QStringLiteral("AAAA/MM");
    }
    return {};
}

std::optional<CartellePerData> cartellePerDataDaTesto(const QString &testo)
{
    for (const CartellePerData schema : { CartellePerData::Nessuna, CartellePerData::Giorno,
             CartellePerData::AnnoGiorno, CartellePerData::AnnoMese }) {
        if (testoCartellePerData(schema) == testo)
            return schema;
    }
    return std::nullopt;
}

bool FileDelPiano::stessoScattoDi(const FileDelPiano &altro) const
{
    return numero == altro.numero && cartella == altro.cartella;
}

std::optional<qint64> FileDelPiano::scattoCorretto() const
{
    qint64 corretto = 0;
    if (!scatto || __builtin_add_overflow(*scatto, correzione * 1'000'000'000, &corretto))
        return scatto;
    return corretto;
}

qsizetype PianoTrasferimento::doppioni() const
{
    const auto doppione = [](const FileDelPiano &uno) { return uno.doppione; };
    return std::count_if(file.begin(), file.end(), doppione)
        + std::count_if(restano.begin(), restano.end(), doppione);
}

qsizetype PianoTrasferimento::cartellePerData(qsizetype fatti) const
{
    QSet<QString> cartelle;
    for (const FileDelPiano &uno : file.first(fatti)) {
        if (!uno.cartella.isEmpty())
            cartelle.insert(uno.cartella);
    }
    return cartelle.size();
}

qint64 PianoTrasferimento::byteTotali() const
{
    qint64 byte = 0;
    for (const FileDelPiano &uno : file)
        byte += uno.dimensione;
    return byte;
}

QString preparaPiano(const Richiesta &richiesta, PianoTrasferimento &piano)
{
    if (const QString motivo = motivoNomeBase(richiesta.nomeBase); !motivo.isEmpty())
        return motivo;
    piano = {};
    ordina(richiesta, piano);
    if (const QString motivo =
            motivoModelliAssenti(richiesta.correzioni, piano.file + piano.restano);
        !motivo.isEmpty())
        return motivo;
    piano.destinazione = richiesta.destinazione;
    piano.riserva = richiesta.riserva;
    // What a killed run left goes before the running number is read, so
    // that its empty reservations count for nothing: what the journals know
    // for this user's own at once, the rest once stale.
    QStringList cartelle = cartelleDeiFile(piano);
    cartelle.append(richiesta.destinazione);
    if (!richiesta.riserva.isEmpty())
        cartelle.append(richiesta.riserva);
    const QHash<QString, qint64> nascoste = liberaCartelle(cartelle, richiesta.prova);
    qint64 nascosteDestinazione = 0;
    qint64 nascosteRiserva = 0;
    for (auto cartella = nascoste.cbegin(); cartella != nascoste.cend(); ++cartella) {
        const bool inRiserva =
            !richiesta.riserva.isEmpty() && cartella.key().startsWith(richiesta.riserva);
        (inRiserva ? nascosteRiserva : nascosteDestinazione) += cartella.value();
    }
    if (!richiesta.prova) {
        for (const QString &cartella : std::as_const(cartelle))
            platform::prepareDestination(cartella);
    }
    if (piano.file.isEmpty() && !piano.restano.isEmpty())
        return richiesta.spostare
            ? QStringLiteral("Tra i file scelti ci sono solo file .xmp, senza la loro foto: "
                             "nessun file è stato spostato.")
            : QStringLiteral("Tra i file scelti ci sono solo file .xmp, senza la loro foto: "
                             "nessun file è stato copiato.");
    if (!richiesta.perNome) {
        piano.ultimo = ultimoNumero(richiesta.destinazione, richiesta.nomeBase);
        piano.ultimoPerCartella = ultimiPerCartella(piano, richiesta.nomeBase);
    }
    if (const QString oltre = numeraPiano(piano, richiesta); !oltre.isEmpty())
        return oltre;
    piano.spostare = richiesta.spostare;
    piano.verifica = richiesta.verifica;
    // A photo whose capture dates are corrected is a new file, even within
    // one file system; so is one that goes to a backup too, read once for both.
    const bool correzioni = std::any_of(piano.file.begin(), piano.file.end(),
        [](const FileDelPiano &file) { return file.correzione != 0; });
    piano.rinomina = richiesta.spostare && !correzioni && richiesta.riserva.isEmpty()
        && siRinomina(piano.file, richiesta.destinazione);
    piano.liberaUltimo = richiesta.perNome;
    piano.supportoOrigine = richiesta.supportoOrigine;
    piano.supportoDestinazione = richiesta.supportoDestinazione;
    piano.supportoRiserva = richiesta.supportoRiserva;
    piano.lasciati = richiesta.lasciati;
    if (richiesta.prova) {
        piano.nascosteDestinazione = nascosteDestinazione;
        piano.nascosteRiserva = nascosteRiserva;
    }
    if (richiesta.doppioni != Doppioni::Trasferiti)
        segnaDoppioni(piano, richiesta.destinazione, richiesta.riserva, richiesta.cartellePerData);
    if (richiesta.doppioni == Doppioni::Saltati || !richiesta.fuori.isEmpty())
        return lasciaFuori(piano, richiesta);
    return controllaPiano(piano);
}

QString lasciaFuori(PianoTrasferimento &piano, const Richiesta &richiesta)
{
    const QSet<QString> fuori(richiesta.fuori.begin(), richiesta.fuori.end());
    for (FileDelPiano &file : piano.file)
        file.fuori = fuori.contains(file.origine);
    segueLaFoto(piano.file);
    QList<FileDelPiano> vanno;
    for (FileDelPiano &file : piano.file) {
        if (!file.fuori && !(file.doppione && richiesta.doppioni == Doppioni::Saltati)) {
            vanno.append(file);
            continue;
        }
        file.nuovoNome.clear();
        file.copiaDiRiserva.clear();
        piano.restano.append(file);
    }
    piano.file = vanno;
    if (const QString oltre = numeraPiano(piano, richiesta); !oltre.isEmpty())
        return oltre;
    return controllaPiano(piano);
}
