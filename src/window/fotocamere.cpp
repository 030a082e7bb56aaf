#include "engine/correzione.h"
#include "engine/piano.h"
#include "engine/selezione.h"
#include "window/form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFutureWatcher>
#include <QtConcurrent>

#include <algorithm>
#include <utility>

namespace {

const QString Tutte = QStringLiteral("Tutte le fotocamere");

} // namespace

// The cameras of the selection are read aside, once asked for after it
// changed: the window goes on answering, and the list fills in once they are
// known. A large folder is not read for a run that corrects nothing.
void Form1::LeggiFotocamere()
{
    if (!std::exchange(m_fotocamereDaLeggere, false))
        return;
    const int lettura = ++m_letturaFotocamere;
    QStringList file;
    const QString sorgente = Cartella(SrcPath);
    for (int i = 1; i <= m_stato.NumFile; ++i)
        file.append(sorgente + m_stato.ElencoFile.at(i));
    auto *osservatore = new QFutureWatcher<QList<Fotocamera>>(this);
    connect(osservatore, &QFutureWatcher<QList<Fotocamera>>::finished, this,
        [this, osservatore, lettura] {
            if (lettura == m_letturaFotocamere)
                MostraFotocamere(osservatore->result());
            osservatore->deleteLater();
        });
    osservatore->setFuture(QtConcurrent::run([file] { return fotocamereDi(file); }));
}

// «Tutte le fotocamere», then each model with its number of photos. The one
// shown stays shown while the selection still holds it.
void Form1::MostraFotocamere(const QList<Fotocamera> &fotocamere)
{
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

// Every camera's correction that is on, as the engine takes them: the one
// shown as the controls show it.
QList<Correzione> Form1::CorrezioniDellaFinestra() const
{
    QHash<QString, CorrezioneFotocamera> tutte = m_correzioni;
    tutte.insert(m_fotocameraMostrata, CorrezioneMostrata());
    QList<Correzione> correzioni;
    for (auto voce = tutte.cbegin(); voce != tutte.cend(); ++voce) {
        const qint64 span = spanCorrezione(voce->ore, voce->minuti, voce->secondi);
        // Only for the cameras of this selection: one kept from another
        // would be refused, as no file names it.
        if (voce->attiva && span != 0
            && (voce.key().isEmpty() || Fotocamere->findData(voce.key()) >= 0))
            correzioni.append({ voce.key(), span });
    }
    // The same order each time, as the account lists them.
    std::sort(correzioni.begin(), correzioni.end(),
        [](const Correzione &a, const Correzione &b) { return a.modello < b.modello; });
    return correzioni;
}
