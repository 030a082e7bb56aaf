#include "engine/verifica.h"
#include "platform/background.h"
#include "platform/fileerror.h"
#include "window/desktop.h"
#include "window/failurereport.h"
#include "window/form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

// The account under the window keeps to a few lines: a long verdict gives
// only its conclusion there, and whole in its box.
QString testoPerEsito(const QString &verdetto)
{
    const QStringList righe = verdetto.split(QLatin1Char('\n'));
    return righe.size() <= 3 ? verdetto : righe.last();
}

} // namespace

// Reads the source folder's files again from the card, aside, with the bar
// of a run, and finds each in the destination and the backup folder; the
// verdict goes in the account and in a box, a card safe to format as a
// notice, one that is not as a failure.
void Form1::VerificaScheda_Click()
{
    QWidget *fuoco = focusWidget();
    const QList<QWidget *> bloccati = BloccaControlli();
    RichiestaVerifica richiesta;
    richiesta.cartelle << Cartella(SrcPath);
    richiesta.sottocartelle = SottoCartelle->isChecked();
    richiesta.destinazione = Cartella(DestPath);
    richiesta.riserva = Cartella(RiservaPath);
    // The photos a run filed by date are looked for in those folders too.
    richiesta.cartellePerData = SchemaScelto();
    Verifica verifica;
    Avanzamento avanzamento;
    QString errore;
    const QString titolo = windowTitle();
    QElapsedTimer trascorso;
    QTimer aggiornamento;
    connect(&aggiornamento, &QTimer::timeout, this,
        [&] { MostraAvanzamento(verifica.piano, avanzamento, trascorso.elapsed(), titolo); });
    try {
        platform::runInBackground(
            [&](const platform::Progress &) { errore = preparaVerifica(richiesta, verifica); });
        if (errore.isEmpty()) {
            Esito->hide();
            BarraAvanzamento->show();
            trascorso.start();
            aggiornamento.start(250);
            platform::runInBackground([&](const platform::Progress &) {
                eseguiVerifica(verifica, m_chiusuraRichiesta, avanzamento);
            });
        }
    } catch (const platform::FileError &eccezione) {
        errore = eccezione.message();
    }
    aggiornamento.stop();
    setWindowTitle(titolo);
    desktop::hideTaskbarProgress();
    BarraAvanzamento->hide();
    Esito->show();
    SbloccaControlli(bloccati, fuoco);
    const QString verdetto = errore.isEmpty() ? verifica.verdetto() : errore;
    MostraEsito(testoPerEsito(verdetto));
    if (!verifica.piano.file.isEmpty()) {
        m_cartellaEsito = richiesta.destinazione;
        ApriCartella->setEnabled(true);
    }
    if (m_chiusuraRichiesta) {
        close();
        return;
    }
    if (errore.isEmpty() && verifica.siPuoFormattare())
        desktop::reportNotice(this, verdetto);
    else
        desktop::reportFailure(this, verdetto);
}
