#include "engine/annullamento.h"
#include "platform/background.h"
#include "platform/fileerror.h"
#include "window/failurereport.h"
#include "window/form1.h"

#include <QPushButton>

namespace {

// A question box shows so many of an undo's lines, and counts the rest.
constexpr qsizetype RigheMostrate = 12;

QString righeDaMostrare(const QStringList &righe)
{
    QStringList mostrate = righe.mid(0, RigheMostrate);
    if (righe.size() > RigheMostrate)
        mostrate.append(QStringLiteral("… e altre %1 righe").arg(righe.size() - RigheMostrate));
    return mostrate.join(QLatin1Char('\n'));
}

} // namespace

// Shows what the undo would do, as annulla --prova says it, and does it
// only once asked, aside, while the window keeps answering.
void Form1::AnnullaCorsa_Click()
{
    QWidget *fuoco = focusWidget();
    QList<QWidget *> bloccati = BloccaControlli();
    EsitoAnnulla prova;
    platform::runInBackground(
        [&](const platform::Progress &) { prova = annullaUltimaCorsa(true); });
    SbloccaControlli(bloccati, fuoco);
    if (prova.righe.size() <= 1 && prova.tuttoAnnullato) {
        desktop::reportNotice(
            this, prova.righe.value(0, QStringLiteral("Nessuna corsa da annullare")));
        return;
    }
    const desktop::Question domanda {
        QStringLiteral("%1\n\nAnnullare l'ultima corsa così?").arg(righeDaMostrare(prova.righe)),
        QStringLiteral("&Annulla la corsa"), QString(), QStringLiteral("&Non annullare")
    };
    if (desktop::ask(this, domanda) != desktop::Answer::Yes)
        return;

    bloccati = BloccaControlli();
    const QString titolo = windowTitle();
    setWindowTitle(QStringLiteral("Annullamento in corso… – ") + titolo);
    EsitoAnnulla esito;
    platform::runInBackground(
        [&](const platform::Progress &) { esito = annullaUltimaCorsa(false); });
    setWindowTitle(titolo);
    // The account first: a card mounted meanwhile is offered in its place.
    MostraEsito(esito.righe.value(0)
        + (esito.tuttoAnnullato ? QStringLiteral(": fatto.")
                                : QStringLiteral(": non tutto è stato riportato indietro.")));
    SbloccaControlli(bloccati, fuoco);
    ApriCartella->setEnabled(false);
    if (!esito.tuttoAnnullato)
        desktop::reportFailure(this, righeDaMostrare(esito.righe));
    SeguiSelezione();
    try {
        AggiornaSuffisso();
    } catch (const platform::FileError &) {
        // The destination cannot be read now; the number stays as it was.
    }
}
