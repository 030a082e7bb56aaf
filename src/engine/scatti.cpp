#include "engine/scatti.h"

#include "engine/numerazione.h"
#include "engine/ordine.h"
#include "platform/filenames.h"
#include "platform/media.h"

#include <QHash>

#include <algorithm>

namespace {

// The name up to its last dot, all of it where it has none; empty for a
// name whose only dot starts it, which shares with no other.
QString radice(const QString &nome)
{
    const qsizetype punto = nome.lastIndexOf(QLatin1Char('.'));
    return punto < 0 ? nome : nome.first(punto);
}

// Names as their folders compare them: letter case aside where the file
// system looks names up whatever their case. A folder is asked with the first
// of its names that has letters; till then its names have none to tell.
class Chiavi
{
public:
    void impara(const QString &cartella, const QString &nome)
    {
        if (m_senzaMaiuscole.contains(cartella))
            return;
        if (const std::optional<bool> risposta = platform::namesIgnoreCase(cartella, nome))
            m_senzaMaiuscole.insert(cartella, *risposta);
    }
    QString di(const QString &cartella, const QString &nome) const
    {
        return cartella + (m_senzaMaiuscole.value(cartella) ? nome.toCaseFolded() : nome);
    }

private:
    QHash<QString, bool> m_senzaMaiuscole;
};

// The shots as they are gathered: each photo joins the first shot of its
// name that holds no file of its extension, in name order, so that which of
// two alike starts a shot of its own never depends on the order they were
// chosen in; then each sidecar joins its photo's.
class Raccolta
{
public:
    Raccolta(const QStringList &percorsi, bool senzaEstensione)
        : m_fotoDi(percorsi.size(), -1)
        , m_senzaEstensione(senzaEstensione)
    {
        for (const QString &percorso : percorsi) {
            m_nomi.append(platform::namePart(percorso));
            m_cartelle.append(platform::folderPart(percorso));
        }
    }

    const QStringList &nomi() const { return m_nomi; }

    void aggiungiFoto(qsizetype file)
    {
        const QString &nome = m_nomi.at(file);
        m_chiavi.impara(m_cartelle.at(file), nome);
        qsizetype scatto = -1;
        if (radice(nome).isEmpty()) {
            scatto = nuovoScatto();
        } else {
            const QString chiave = m_chiavi.di(m_cartelle.at(file), radice(nome));
            for (int altro = 0; scatto < 0; ++altro) {
                const qsizetype trovato = m_scattoDiRadice.value(chiaveAltra(chiave, altro), -1);
                if (trovato < 0)
                    m_scattoDiRadice.insert(chiaveAltra(chiave, altro), scatto = nuovoScatto());
                else if (!nomeGiaPreso(trovato, file))
                    scatto = trovato;
            }
        }
        m_esito.scatti[scatto].file.append(file);
        m_fotoDi[file] = file;
    }

    // NAME.EXT.xmp follows the file NAME.EXT, else NAME.xmp the shot NAME.
    void aggiungiSidecar(qsizetype file)
    {
        const QString &cartella = m_cartelle.at(file);
        m_chiavi.impara(cartella, m_nomi.at(file));
        const QString nomeFoto = m_nomi.at(file).chopped(Sidecar.size());
        const QString chiaveFoto = m_chiavi.di(cartella, nomeFoto);
        const QString chiave = m_chiavi.di(cartella, radice(nomeFoto));
        qsizetype scatto = -1;
        for (int altro = 0; scatto < 0; ++altro) {
            const qsizetype trovato = m_scattoDiRadice.value(chiaveAltra(chiave, altro), -1);
            if (trovato < 0)
                break;
            for (const qsizetype foto : m_esito.scatti.at(trovato).file) {
                if (m_chiavi.di(cartella, m_nomi.at(foto)) == chiaveFoto) {
                    scatto = trovato;
                    m_fotoDi[file] = foto;
                }
            }
        }
        if (scatto < 0)
            scatto = m_scattoDiRadice.value(chiaveFoto, -1);
        if (scatto < 0 || nomeGiaPreso(scatto, file))
            m_esito.senzaFoto.append(file);
        else
            m_esito.scatti[scatto].file.append(file);
    }

    // The files of each shot by their new extension, then by name; a
    // sidecar of a shot takes the time and correction of its first photo.
    Scatti esito()
    {
        for (Scatto &scatto : m_esito.scatti) {
            std::sort(scatto.file.begin(), scatto.file.end(), [&](qsizetype a, qsizetype b) {
                const QString estensioneA = estensione(a);
                const QString estensioneB = estensione(b);
                return estensioneA != estensioneB ? estensioneA < estensioneB
                                                  : m_nomi.at(a) < m_nomi.at(b);
            });
            const auto primaFoto = std::find_if(scatto.file.begin(), scatto.file.end(),
                [&](qsizetype file) { return m_fotoDi.at(file) == file; });
            for (const qsizetype file : std::as_const(scatto.file))
                scatto.foto.append(m_fotoDi.at(file) >= 0 ? m_fotoDi.at(file) : *primaFoto);
        }
        return m_esito;
    }

private:
    // The key of the shot of a name that comes after so many others of
    // that name: "/" never stands in a name, so "IMG_1/1" names no other.
    static QString chiaveAltra(const QString &chiave, int altro)
    {
        return altro == 0 ? chiave : chiave + QLatin1Char('/') + QString::number(altro);
    }

    qsizetype nuovoScatto()
    {
        m_esito.scatti.append(Scatto());
        return m_esito.scatti.size() - 1;
    }

    QString estensione(qsizetype file) const
    {
        return estensioneNuova(m_nomi.at(file), m_senzaEstensione);
    }

    // Whether one of the shot's files would take the same new name: without
    // extensions, each photo of a shot does.
    bool nomeGiaPreso(qsizetype scatto, qsizetype file) const
    {
        const QList<qsizetype> &altri = m_esito.scatti.at(scatto).file;
        return std::any_of(altri.begin(), altri.end(),
            [&](qsizetype altro) { return estensione(altro) == estensione(file); });
    }

    QStringList m_nomi;
    QStringList m_cartelle;
    Chiavi m_chiavi;
    // A shot by its folder and its name up to the last dot.
    QHash<QString, qsizetype> m_scattoDiRadice;
    // The photo each file takes its time from: itself for a photo, -1 for a
    // sidecar of the first of its shot.
    QList<qsizetype> m_fotoDi;
    bool m_senzaEstensione;
    Scatti m_esito;
};

} // namespace

Scatti raggruppaScatti(const QStringList &percorsi, bool senzaEstensione)
{
    Raccolta raccolta(percorsi, senzaEstensione);
    QList<qsizetype> sidecar;
    for (const qsizetype file : ordinePerNome(raccolta.nomi())) {
        if (eSidecar(raccolta.nomi().at(file)))
            sidecar.append(file);
        else
            raccolta.aggiungiFoto(file);
    }
    for (const qsizetype file : std::as_const(sidecar))
        raccolta.aggiungiSidecar(file);
    return raccolta.esito();
}
