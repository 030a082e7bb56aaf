#include "engine/doppioni.h"

#include "engine/formatogiornale.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"
#include "platform/folderlisting.h"

#include <QMultiHash>
#include <QSet>

#include <algorithm>

namespace {

struct FilePresente
{
    QString percorso;
    platform::FileStamp impronta;
};

// The files of the folders of the sizes sought, by size. A hidden one is no
// photo of the user's, as what a killed run left.
QMultiHash<qint64, FilePresente> presentiPerDimensione(
    const QStringList &cartelle, const QSet<qint64> &dimensioni)
{
    QMultiHash<qint64, FilePresente> presenti;
    for (const QString &cartella : cartelle) {
        for (const platform::StampedFile &file : platform::visibleFilesIn(cartella)) {
            if (dimensioni.contains(file.stamp.size))
                presenti.insert(file.stamp.size, { cartella + file.name, file.stamp });
        }
    }
    return presenti;
}

// Whether a folder's name has the shape of a part of the schema: a digit
// for each of its letters, and its dashes.
bool haLaForma(const QString &nome, const QString &parte)
{
    if (nome.size() != parte.size())
        return false;
    for (qsizetype i = 0; i < nome.size(); ++i) {
        if (parte.at(i).isLetter() ? !nome.at(i).isDigit() : nome.at(i) != parte.at(i))
            return false;
    }
    return true;
}

// Content hashes, each file read once at most, and a copy the journals
// vouch for not at all.
class Contenuti
{
public:
    explicit Contenuti(QHash<QString, QByteArray> noti)
        : m_hash(std::move(noti))
    { }
    QByteArray di(const QString &percorso)
    {
        auto trovato = m_hash.constFind(percorso);
        if (trovato == m_hash.cend())
            trovato = m_hash.insert(percorso, platform::hashWithoutDates(percorso));
        return *trovato;
    }

private:
    QHash<QString, QByteArray> m_hash;
};

// Whether the destination holds another file of the very bytes of this one,
// but for the capture dates a correction may have shifted.
bool giaPresente(
    const QString &origine, const QList<FilePresente> &stessaDimensione, Contenuti &contenuti)
{
    const std::optional<platform::FileStamp> impronta = platform::fileStamp(origine);
    if (!impronta)
        return false;
    for (const FilePresente &presente : stessaDimensione) {
        if (presente.impronta.device == impronta->device
            && presente.impronta.inode == impronta->inode)
            continue;
        // An unreadable file has no hash, and is the double of none.
        const QByteArray hash = contenuti.di(origine);
        if (hash.isEmpty())
            return false;
        if (contenuti.di(presente.percorso) == hash)
            return true;
    }
    return false;
}

} // namespace

namespace {

// Which files of the plan the folders already hold, each on its own.
QList<bool> giaNellaCartella(const PianoTrasferimento &piano, const QStringList &cartelle)
{
    // An empty file holds no photo.
    QSet<qint64> dimensioni;
    for (const FileDelPiano &file : std::as_const(piano.file))
        dimensioni.insert(file.dimensione);
    dimensioni.remove(0);
    const QMultiHash<qint64, FilePresente> presenti = presentiPerDimensione(cartelle, dimensioni);
    QList<qsizetype> candidati;
    QStringList copie;
    for (qsizetype i = 0; i < piano.file.size(); ++i) {
        const qint64 dimensione = piano.file.at(i).dimensione;
        if (!presenti.contains(dimensione))
            continue;
        candidati.append(i);
        for (auto presente = presenti.constFind(dimensione);
             presente != presenti.cend() && presente.key() == dimensione; ++presente)
            copie.append(presente->percorso);
    }
    QList<bool> doppio(piano.file.size(), false);
    if (candidati.isEmpty())
        return doppio;
    Contenuti contenuti(hashDaiGiornali(copie));
    for (const qsizetype i : std::as_const(candidati)) {
        const FileDelPiano &file = piano.file.at(i);
        doppio[i] = giaPresente(file.origine, presenti.values(file.dimensione), contenuti);
    }
    return doppio;
}

} // namespace

void segnaDoppioni(PianoTrasferimento &piano, const QString &destinazione, const QString &riserva,
    CartellePerData schema)
{
    QList<bool> doppio = giaNellaCartella(piano, cartelleDellAlbero(destinazione, schema));
    if (!riserva.isEmpty() && doppio.contains(true)) {
        const QList<bool> inRiserva = giaNellaCartella(piano, cartelleDellAlbero(riserva, schema));
        for (qsizetype i = 0; i < doppio.size(); ++i)
            doppio[i] = doppio.at(i) && inRiserva.at(i);
    }
    // A shot with one new file goes whole, under one number.
    for (qsizetype inizio = 0, fine = 0; inizio < piano.file.size(); inizio = fine) {
        while (
            fine < piano.file.size() && piano.file.at(fine).stessoScattoDi(piano.file.at(inizio)))
            ++fine;
        const bool tutti =
            std::all_of(doppio.begin() + inizio, doppio.begin() + fine, [](bool d) { return d; });
        for (qsizetype i = inizio; i < fine; ++i)
            piano.file[i].doppione = tutti;
    }
}

QStringList cartelleDellAlbero(const QString &radice, CartellePerData schema)
{
    QStringList livello { radice };
    if (schema == CartellePerData::Nessuna)
        return livello;
    for (const QString &parte : testoCartellePerData(schema).split(QLatin1Char('/'))) {
        QStringList sotto;
        for (const QString &cartella : std::as_const(livello)) {
            for (const QString &nome : platform::subfoldersOf(cartella)) {
                if (haLaForma(nome, parte))
                    sotto.append(cartella + nome + QLatin1Char('/'));
            }
        }
        livello = sotto;
    }
    return QStringList { radice } + livello;
}
