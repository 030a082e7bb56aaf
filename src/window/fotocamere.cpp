#include "engine/correzione.h"
#include "engine/impostazioni.h"
#include "engine/piano.h"
#include "engine/selezione.h"
#include "platform/background.h"
#include "window/form1.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFutureWatcher>
#include <QtConcurrent>

#include <algorithm>

namespace {

const QString Tutte = QStringLiteral("Tutte le fotocamere");

// Each line of the list keeps its text without the correction.
constexpr int TestoSenzaCorrezione = Qt::UserRole + 1;

} // namespace

// The cameras of each new selection are read aside: the window goes on
// answering, and the list fills in once they are known.
void Form1::LeggiFotocamere()
{
    const QString sorgente = Cartella(SrcPath);
    const QStringList file = m_stato.ElencoFile.mid(1, m_stato.NumFile);
    // The reading of an older selection stops: its result would be dropped.
    if (m_fotocamereInLettura)
        m_fotocamereInLettura->cancel();
    auto *osservatore = new QFutureWatcher<QList<Fotocamera>>(this);
    m_fotocamereInLettura = osservatore;
    // A result for an older selection than the latest is dropped.
    connect(osservatore, &QFutureWatcher<QList<Fotocamera>>::finished, this, [this, osservatore] {
        if (osservatore == m_fotocamereInLettura) {
            m_fotocamereInLettura = nullptr;
            MostraFotocamere(osservatore->result());
        }
        osservatore->deleteLater();
    });
    osservatore->setFuture(QtConcurrent::run(
        &m_lettoreFotocamere, [sorgente, file](QPromise<QList<Fotocamera>> &promessa) {
            promessa.addResult(
                fotocamereDi(sorgente, file, [&promessa] { return promessa.isCanceled(); }));
        }));
}

// A run or a preview waits for the cameras of its selection when a model's
// correction is on, as it reaches its photos once the list holds the model.
void Form1::AttendiFotocamere()
{
    const QHash<QString, qint64> accese = CorrezioniAccese();
    const bool perModello = std::any_of(accese.keyBegin(), accese.keyEnd(),
        [](const QString &modello) { return !modello.isEmpty(); });
    if (!m_fotocamereInLettura || !perModello)
        return;
    // Waited for, they are read again at the run's own priority: a busy
    // processor would keep the idle reader waiting.
    m_fotocamereInLettura->cancel();
    m_fotocamereInLettura = nullptr;
    const QString sorgente = Cartella(SrcPath);
    const QStringList file = m_stato.ElencoFile.mid(1, m_stato.NumFile);
    QList<Fotocamera> fotocamere;
    platform::runInBackground(
        [&](const platform::Progress &) { fotocamere = fotocamereDi(sorgente, file); });
    MostraFotocamere(fotocamere);
}

// «Tutte le fotocamere», then each model with its number of photos. The one
// shown stays shown while the selection still holds it. A list opened while
// it was read opens again, to the size of what it now holds.
void Form1::MostraFotocamere(const QList<Fotocamera> &fotocamere)
{
    const bool aperta = Fotocamere->view()->isVisible();
    if (aperta)
        Fotocamere->hidePopup();
    const QSignalBlocker bloccato(Fotocamere);
    Fotocamere->clear();
    Fotocamere->addItem(Tutte, QString());
    for (const Fotocamera &fotocamera : fotocamere)
        Fotocamere->addItem(QStringLiteral("%1 (%2)").arg(fotocamera.modello).arg(fotocamera.foto),
            fotocamera.modello);
    const int mostrata = Fotocamere->findData(m_fotocameraMostrata);
    Fotocamere->setCurrentIndex(std::max(mostrata, 0));
    if (mostrata < 0)
        CambiaFotocamera();
    MostraCorrezioniNellaLista();
    if (aperta)
        Fotocamere->showPopup();
}

// Each camera with a correction says it: «NIKON Z 6 (8) · +1:00:00».
void Form1::MostraCorrezioniNellaLista()
{
    for (int i = 0; i < Fotocamere->count(); ++i) {
        const QString modello = Fotocamere->itemData(i).toString();
        const CorrezioneFotocamera correzione =
            modello == m_fotocameraMostrata ? CorrezioneMostrata() : m_correzioni.value(modello);
        const qint64 span = correzione.attiva
            ? spanCorrezione(correzione.ore, correzione.minuti, correzione.secondi)
            : 0;
        // A line's own text, kept the first time it is shown here.
        if (!Fotocamere->itemData(i, TestoSenzaCorrezione).isValid())
            Fotocamere->setItemData(i, Fotocamere->itemText(i), TestoSenzaCorrezione);
        const QString testo = Fotocamere->itemData(i, TestoSenzaCorrezione).toString();
        Fotocamere->setItemText(
            i, span != 0 ? testo + QStringLiteral(" · ") + testoCorrezione(span) : testo);
    }
}

// The corrections remembered from earlier sessions come back on, each for
// its model's photos whenever they are chosen.
void Form1::LeggiCorrezioniRicordate()
{
    const QHash<QString, qint64> ricordate = correzioniRicordate(m_stato.NomeSezione);
    for (auto voce = ricordate.cbegin(); voce != ricordate.cend(); ++voce) {
        // As the controls hold it: signed hours, then minutes and seconds
        // that add to them.
        const qint64 ore = voce.value() / 3600 - (voce.value() % 3600 < 0 ? 1 : 0);
        const qint64 resto = voce.value() - ore * 3600;
        if (!voce.key().isEmpty() && ore >= -12)
            m_correzioni.insert(voce.key(), { true, int(ore), int(resto / 60), int(resto % 60) });
    }
}

// A model's correction is remembered as soon as it is set; the one for
// every camera is not, as the next card may come from another.
void Form1::RicordaCorrezione()
{
    if (m_fotocameraMostrata.isEmpty())
        return;
    const CorrezioneFotocamera correzione = CorrezioneMostrata();
    ricordaCorrezione(m_stato.NomeSezione, m_fotocameraMostrata,
        correzione.attiva ? spanCorrezione(correzione.ore, correzione.minuti, correzione.secondi)
                          : 0);
}

// The controls keep the correction of the camera they showed, and show that
// of the camera chosen.
void Form1::CambiaFotocamera()
{
    m_correzioni.insert(m_fotocameraMostrata, CorrezioneMostrata());
    MostraCorrezioneDi(Fotocamere->currentData().toString());
}

Form1::CorrezioneFotocamera Form1::CorrezioneMostrata() const
{
    return { CorrOra->isChecked(), m_stato.CorrOre, m_stato.CorrMin, m_stato.CorrSec };
}

void Form1::MostraCorrezioneDi(const QString &modello)
{
    m_fotocameraMostrata = modello;
    const CorrezioneFotocamera correzione = m_correzioni.value(modello);
    CorrOra->setChecked(correzione.attiva);
    m_stato.CorrOre = correzione.ore;
    m_stato.CorrMin = correzione.minuti;
    m_stato.CorrSec = correzione.secondi;
    MostraCorrezione();
}

// The span of each camera's correction that is on, by model: the one shown
// as the controls show it.
QHash<QString, qint64> Form1::CorrezioniAccese() const
{
    QHash<QString, CorrezioneFotocamera> tutte = m_correzioni;
    tutte.insert(m_fotocameraMostrata, CorrezioneMostrata());
    QHash<QString, qint64> accese;
    for (auto voce = tutte.cbegin(); voce != tutte.cend(); ++voce) {
        const qint64 span = spanCorrezione(voce->ore, voce->minuti, voce->secondi);
        if (voce->attiva && span != 0)
            accese.insert(voce.key(), span);
    }
    return accese;
}

// Every camera's correction that is on, as the engine takes them.
QList<Correzione> Form1::CorrezioniDellaFinestra() const
{
    const QHash<QString, qint64> accese = CorrezioniAccese();
    QList<Correzione> correzioni;
    for (auto voce = accese.cbegin(); voce != accese.cend(); ++voce) {
        // Only for the cameras of this selection: one kept from another
        // would be refused, as no file names it.
        if (voce.key().isEmpty() || Fotocamere->findData(voce.key()) >= 0)
            correzioni.append({ voce.key(), voce.value() });
    }
    // The same order each time, as the account lists them.
    std::sort(correzioni.begin(), correzioni.end(),
        [](const Correzione &a, const Correzione &b) { return a.modello < b.modello; });
    return correzioni;
}
