#include "engine/impostazioni.h"
#include "engine/selezione.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/mountwatcher.h"
#include "window/form1.h"

#include <QCheckBox>
#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtConcurrent>

#include <algorithm>

namespace {

// The photos and videos a run would take from the card's DCIM and its
// subfolders; nothing where it cannot be read.
std::optional<int> fotoEVideoIn(const QString &cartella)
{
    try {
        const QStringList file = fileDellaCartella(cartella, true).file;
        return int(std::count_if(file.cbegin(), file.cend(), [](const QString &nome) {
            const Genere genere = genereDi(nome);
            return genere == Genere::Foto || genere == Genere::Video;
        }));
    } catch (const platform::FileError &) {
        return std::nullopt;
    }
}

} // namespace

// The mount table is read again at each change the system tells of.
void Form1::OsservaSchede()
{
    auto *montaggi = new platform::MountWatcher(this);
    connect(montaggi, &platform::MountWatcher::mountsChanged, this, &Form1::LeggiSchede);
    LeggiSchede();
}

// The cards are listed, and the one newly mounted counted, aside: a card's
// DCIM may hold thousands of files. A newer reading takes the place of one
// still going on. At start-up every card is new but the remembered source's.
void Form1::LeggiSchede()
{
    using Lettura = std::pair<QList<platform::MountedCard>, std::optional<SchedaInserita>>;
    const QList<platform::MountedCard> viste =
        m_schedeMontate.value_or(QList<platform::MountedCard>());
    const std::optional<platform::VolumeIdentity> sorgente =
        m_schedeMontate ? std::nullopt : m_supportoSorgente;
    auto *osservatore = new QFutureWatcher<Lettura>(this);
    m_schedeInLettura = osservatore;
    connect(osservatore, &QFutureWatcher<Lettura>::finished, this, [this, osservatore] {
        if (osservatore == m_schedeInLettura) {
            m_schedeInLettura = nullptr;
            SchedeLette(osservatore->result().first, osservatore->result().second);
        }
        osservatore->deleteLater();
    });
    osservatore->setFuture(QtConcurrent::run([viste, sorgente] {
        Lettura lettura { platform::mountedCards(), std::nullopt };
        for (const platform::MountedCard &scheda : std::as_const(lettura.first)) {
            if (viste.contains(scheda) || scheda.identity == sorgente)
                continue;
            if (const std::optional<int> numero = fotoEVideoIn(scheda.cameraFolder))
                lettura.second = SchedaInserita { scheda, *numero };
        }
        return lettura;
    }));
}

// A card taken out withdraws its offer; the latest card put in takes the
// place of any other.
void Form1::SchedeLette(
    const QList<platform::MountedCard> &montate, const std::optional<SchedaInserita> &nuova)
{
    m_schedeMontate = montate;
    if (m_schedaInserita && !montate.contains(m_schedaInserita->scheda))
        RitiraScheda();
    if (nuova) {
        RitiraScheda();
        m_schedaInserita = nuova;
        OffriScheda();
    }
}

// The card is offered in the account's place, never during a run: there it
// waits for the run's end.
void Form1::OffriScheda()
{
    if (!m_schedaInserita || m_trasferimentoInCorso || !UsaScheda->isHidden())
        return;
    m_esitoSenzaScheda = Esito->text();
    UsaScheda->show();
    MostraEsito(QStringLiteral("Scheda «%1» inserita: %2 foto e video.")
                    .arg(m_schedaInserita->scheda.label)
                    .arg(m_schedaInserita->fotoEVideo));
}

// The account shows again what it showed before the offer.
void Form1::RitiraScheda()
{
    m_schedaInserita.reset();
    if (UsaScheda->isHidden())
        return;
    UsaScheda->hide();
    MostraEsito(m_esitoSenzaScheda);
}

// As choosing the card's DCIM with the source picker and every file of it,
// its subfolders included, where each camera keeps its photos.
void Form1::UsaScheda_Click()
{
    if (!m_schedaInserita)
        return;
    const QString prima = Cartella(SrcPath);
    MostraCartella(SrcPath, platform::withSeparator(m_schedaInserita->scheda.cameraFolder));
    SottoCartelle->setChecked(true);
    ScriviImpostazione(QStringLiteral("Sorgente"), platform::pathToQt(Cartella(SrcPath)));
    ScriviImpostazione(QStringLiteral("Sottocartelle"), testoBooleano(true));
    CambiaSorgente(prima);
    RitiraScheda();
    SelezionaTutti();
    Copia->setFocus();
}
