#include "engine/controllo.h"
#include "engine/correzione.h"
#include "engine/esecuzione.h"
#include "engine/impostazioni.h"
#include "engine/numerazione.h"
#include "engine/piano.h"
#include "platform/background.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "window/anteprima.h"
#include "window/desktop.h"
#include "window/failurereport.h"
#include "window/form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>

#include <exception>

void Form1::Copia_Click()
{
    m_stato.Spostare = false;
    EseguiTrasferimento([this] { Trasferisci(); });
}

void Form1::Sposta_Click()
{
    m_stato.Spostare = true;
    EseguiTrasferimento([this] { Trasferisci(); });
}

// A failed file operation ends the run at that file; nothing is undone.
void Form1::EseguiTrasferimento(const std::function<void()> &corsa)
{
    QWidget *fuoco = focusWidget();
    const QList<QWidget *> bloccati = BloccaControlli();
    QString errore;
    m_avvisiFine.clear();
    try {
        corsa();
    } catch (const platform::FileError &eccezione) {
        errore = eccezione.message();
    }
    SbloccaControlli(bloccati, fuoco);
    // A run that cannot be undone says so with its end, whatever it was.
    if (!m_avvisiFine.isEmpty())
        errore += (errore.isEmpty() ? QString() : QStringLiteral("\n\n")) + m_avvisiFine;
    if (!errore.isEmpty())
        desktop::reportFailure(this, errore);
    if (m_chiusuraRichiesta)
        close();
}

// While a run goes on the window keeps painting, but only Termina answers:
// nothing the user does is acted on now or queued for later. The labels take
// no input, and stay as they are to show the count.
QList<QWidget *> Form1::BloccaControlli()
{
    // A card offered is withdrawn: the user has chosen what to do. One
    // mounted meanwhile is offered at the end.
    RitiraScheda();
    // The window itself holds the focus, and keeps it across a switch to
    // another program and back: a disabled button would hand it on to
    // Termina, which a Space meant for Copia would then press. Tab still
    // leads to Termina, the one control left.
    setFocus(Qt::OtherFocusReason);
    QList<QWidget *> bloccati;
    for (QWidget *controllo : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (controllo != Termina && controllo->focusPolicy() != Qt::NoFocus
            && controllo->isEnabled()) {
            controllo->setEnabled(false);
            bloccati.append(controllo);
        }
    }
    m_trasferimentoInCorso = true;
    return bloccati;
}

// A card mounted during the run is offered now, in place of its account.
void Form1::SbloccaControlli(const QList<QWidget *> &bloccati, QWidget *fuoco)
{
    m_trasferimentoInCorso = false;
    for (QWidget *controllo : bloccati)
        controllo->setEnabled(true);
    if (fuoco)
        fuoco->setFocus();
    else if (QWidget *dove = focusWidget())
        dove->clearFocus();
    OffriScheda();
}

void Form1::Trasferisci()
{
    if (nomeBaseVuoto(NomeBase->text()) || Cartella(SrcPath).isEmpty()
        || Cartella(DestPath).isEmpty())
        return;
    if (m_stato.NumFile <= 0) {
        AggiornaSuffisso();
        desktop::reportNotice(this,
            (m_stato.Spostare ? QStringLiteral("Nessun file da spostare: la selezione è vuota.")
                              : QStringLiteral("Nessun file da copiare: la selezione è vuota."))
                + (SottoCartelle->isChecked()
                        ? QString()
                        : QStringLiteral(" I file delle sottocartelle, come quelli di DCIM su una "
                                         "scheda, vengono presi spuntando «Includi "
                                         "sottocartelle».")));
        return;
    }
    // The engine makes the plan aside, as a large or slow folder takes time
    // to read, and then carries it out aside, telling which file is next.
    AttendiFotocamere();
    Richiesta richiesta = RichiestaDellaFinestra();
    PianoTrasferimento piano;
    QString rifiuto;
    platform::runInBackground(
        [&](const platform::Progress &) { rifiuto = preparaPiano(richiesta, piano); });
    if (const qsizetype doppioni = piano.doppioni()) {
        // With nothing else to do there is nothing to ask.
        if (doppioni == piano.file.size()) {
            desktop::reportNotice(this, TutteGiaPresenti(piano, int(doppioni)));
            return;
        }
        const QString testo =
            QStringLiteral("%1 foto su %2 %3 già %4 con lo stesso contenuto. %5 solo le altre?")
                .arg(doppioni)
                .arg(piano.file.size())
                .arg(doppioni == 1 ? QStringLiteral("è") : QStringLiteral("sono"),
                    doveIDoppioni(piano),
                    m_stato.Spostare ? QStringLiteral("Spostare") : QStringLiteral("Copiare"));
        const desktop::Question domanda = m_stato.Spostare
            ? desktop::Question { testo, QStringLiteral("Sposta &solo le nuove"),
                  QStringLiteral("Sposta &tutte"), QStringLiteral("&Non spostare") }
            : desktop::Question { testo, QStringLiteral("Copia &solo le nuove"),
                  QStringLiteral("Copia &tutte"), QStringLiteral("&Non copiare") };
        const desktop::Answer risposta = desktop::ask(this, domanda);
        if (risposta == desktop::Answer::Cancel)
            return;
        if (risposta == desktop::Answer::Yes) {
            richiesta.doppioni = Doppioni::Saltati;
            rifiuto = lasciaFuori(piano, richiesta);
        }
    }
    if (!piano.file.isEmpty())
        Suffisso->setText(numeroSuffisso(piano.ultimo));
    if (!rifiuto.isEmpty()) {
        desktop::reportFailure(this, rifiuto);
        return;
    }
    if (!piano.file.isEmpty())
        SeguiCorsa(piano, richiesta.destinazione);
}

// Carries out a plan the preview showed, its question answered there. The
// plan is made again from the same request, for a copy or a move, and goes
// only under the names shown: the destination may have changed meanwhile.
void Form1::TrasferisciPiano(Richiesta richiesta, const PianoTrasferimento &mostrato)
{
    richiesta.spostare = m_stato.Spostare;
    PianoTrasferimento piano;
    QString rifiuto;
    platform::runInBackground(
        [&](const platform::Progress &) { rifiuto = preparaPiano(richiesta, piano); });
    const auto nomi = [](const PianoTrasferimento &uno) {
        QStringList coppie;
        for (const FileDelPiano &file : uno.file)
            coppie << file.origine << file.nuovoNome << file.copiaDiRiserva;
        return coppie;
    };
    if (rifiuto.isEmpty() && nomi(piano) != nomi(mostrato))
        rifiuto =
            QStringLiteral("La destinazione è cambiata dopo l'anteprima: i nuovi nomi non "
                           "sarebbero quelli mostrati. Nessun file è stato %1; "
                           "l'anteprima, aperta di nuovo, mostra quelli di ora.")
                .arg(m_stato.Spostare ? QStringLiteral("spostato") : QStringLiteral("copiato"));
    if (!rifiuto.isEmpty()) {
        desktop::reportFailure(this, rifiuto);
        return;
    }
    Suffisso->setText(numeroSuffisso(piano.ultimo));
    SeguiCorsa(piano, richiesta.destinazione);
}

// What the window says when the destination, and the backup folder if any,
// already hold every photo chosen.
QString Form1::TutteGiaPresenti(const PianoTrasferimento &piano, int foto) const
{
    const QString nulla = m_stato.Spostare ? QStringLiteral("non c'è nulla da spostare")
                                           : QStringLiteral("non c'è nulla da copiare");
    return foto == 1 ? QStringLiteral("La foto scelta è già %1 con lo stesso contenuto: %2.")
                           .arg(doveIDoppioni(piano), nulla)
                     : QStringLiteral("Tutte le %1 foto sono già %2 con lo stesso contenuto: %3.")
                           .arg(foto)
                           .arg(doveIDoppioni(piano), nulla);
}

// Remembered at once, as every setting of the window.
void Form1::VerificaCopia_Click()
{
    ScriviImpostazione(QStringLiteral("Verifica"), testoBooleano(VerificaCopia->isChecked()));
}

CartellePerData Form1::SchemaScelto() const
{
    return CartellePerData(SchemaCartelle->currentData().toInt());
}

void Form1::SchemaCartelle_Click()
{
    ScriviImpostazione(QStringLiteral("CartellePerData"), testoCartellePerData(SchemaScelto()));
}

// What the controls and the window state ask for.
Richiesta Form1::RichiestaDellaFinestra() const
{
    Richiesta richiesta;
    const QString sorgente = Cartella(SrcPath);
    for (int i = 1; i <= m_stato.NumFile; ++i)
        richiesta.origini.append(sorgente + m_stato.ElencoFile.at(i));
    for (const QString &lasciato : m_lasciati)
        richiesta.lasciati.append(sorgente + lasciato);
    richiesta.destinazione = Cartella(DestPath);
    richiesta.riserva = Cartella(RiservaPath);
    richiesta.nomeBase = NomeBase->text();
    richiesta.perNome = OptionNome->isChecked();
    richiesta.spostare = m_stato.Spostare;
    richiesta.verifica = VerificaCopia->isChecked();
    richiesta.cartellePerData = SchemaScelto();
    richiesta.senzaEstensione = m_stato.RimuoviEstensione;
    richiesta.correzioni = CorrezioniDellaFinestra();
    richiesta.supportoOrigine = m_supportoSorgente;
    richiesta.supportoDestinazione = m_supportoDestinazione;
    richiesta.supportoRiserva = m_supportoRiserva;
    // The window asks before it leaves any out.
    richiesta.doppioni = Doppioni::Segnati;
    return richiesta;
}

// Carries out the plan aside while the bar in the window, the title and the
// taskbar tell how far it has gone, four times a second; a long run that
// ends while the user is elsewhere says so on the desktop.
void Form1::SeguiCorsa(const PianoTrasferimento &piano, const QString &destinazione)
{
    Avanzamento avanzamento;
    const QString titolo = windowTitle();
    QElapsedTimer trascorso;
    trascorso.start();
    const auto ripristina =
        qScopeGuard([this, titolo, &avanzamento, &piano, &destinazione, &trascorso] {
            setWindowTitle(titolo);
            desktop::hideTaskbarProgress();
            BarraAvanzamento->hide();
            Esito->show();
            MostraEsito(TestoEsito(piano, avanzamento, destinazione, trascorso.elapsed(),
                std::uncaught_exceptions() > 0));
            m_cartellaEsito = destinazione;
            ApriCartella->setEnabled(true);
            // The files left that are not photos are no fault: the account line says them.
            QStringList avvisi { avanzamento.avvisoGiornale,
                avvisoDateNonCorrette(avanzamento.dateNonCorrette), avvisoSenzaFoto(piano) };
            avvisi.removeAll(QString());
            m_avvisiFine = avvisi.join(QStringLiteral("\n\n"));
        });
    const auto mostraAvanzamento = [&] {
        MostraAvanzamento(piano, avanzamento, trascorso.elapsed(), titolo);
    };
    Esito->hide();
    BarraAvanzamento->show();
    QTimer aggiornamento;
    connect(&aggiornamento, &QTimer::timeout, this, mostraAvanzamento);
    aggiornamento.start(250);
    mostraAvanzamento();

    const auto annuncia = [&](const QString &testo) {
        if (trascorso.elapsed() >= 10'000 && !isActiveWindow())
            desktop::notifyRunEnded(this, testo);
    };
    try {
        platform::runInBackground(
            [&](const platform::Progress &avanza) {
                eseguiPiano(piano, avanza, m_chiusuraRichiesta, avanzamento);
            },
            [&](int file) { Suffisso->setText(numeroSuffisso(piano.file.at(file).numero)); });
    } catch (const platform::FileError &errore) {
        const QString file = platform::displayFileName(errore.paths().value(0));
        annuncia(
            (m_stato.Spostare ? QStringLiteral("Spostamento interrotto a «%1»: %2")
                              : QStringLiteral("Copia interrotta a «%1»: %2"))
                .arg(platform::namePart(file), errore.message().section(QLatin1Char('\n'), 0, 0)));
        SeguiSelezione();
        throw;
    }
    SeguiSelezione();
    annuncia(testoFatti(piano, avanzamento.fatti) + QLatin1Char(' ')
        + testoDove(piano, avanzamento.fatti, destinazione, piano.riserva));
}

// How far the work on the plan's files has gone: in the bar in the window,
// the title and the taskbar.
void Form1::MostraAvanzamento(const PianoTrasferimento &piano, const Avanzamento &avanzamento,
    qint64 millisecondi, const QString &titolo)
{
    const qint64 byteTotali = piano.byteTotali();
    const int totale = int(piano.file.size());
    setWindowTitle(
        testoAvanzamento(avanzamento.fatti, totale, avanzamento.byte, byteTotali, millisecondi)
        + QStringLiteral(" – ") + titolo);
    const double parte =
        byteTotali > 0 ? double(avanzamento.byte) / byteTotali : double(avanzamento.fatti) / totale;
    desktop::showTaskbarProgress(parte);
    BarraAvanzamento->setValue(qRound(parte * BarraAvanzamento->maximum()));
    // A screen reader speaks the bar's value as a percentage; the words
    // that say the files, bytes and time left go in its description.
    const QString riga = rigaAvanzamento(piano, avanzamento, millisecondi);
    BarraAvanzamento->setFormat(riga);
    BarraAvanzamento->setAccessibleDescription(riga);
}

// What the last run did, under the window: how many files went where in how
// long, the doubles and sidecars left, the correction and the dates it could
// not reach, and whether the run can be undone.
QString Form1::TestoEsito(const PianoTrasferimento &piano, const Avanzamento &avanzamento,
    const QString &destinazione, qint64 millisecondi, bool interrotta) const
{
    QStringList parti { QStringLiteral("%1%2 %3 %4")
                            .arg(interrotta ? QStringLiteral("Corsa interrotta: ") : QString(),
                                testoFatti(piano, avanzamento.fatti),
                                testoDove(piano, avanzamento.fatti, destinazione, piano.riserva),
                                testoDurata(piano, avanzamento.byte, millisecondi)) };
    qsizetype doppioni = 0;
    qsizetype fuori = 0;
    for (const FileDelPiano &resta : piano.restano) {
        fuori += resta.fuori;
        doppioni += resta.doppione && !resta.fuori;
    }
    if (doppioni > 0)
        parti.append(QStringLiteral("%1 già presenti lasciati dove sono").arg(doppioni));
    if (fuori > 0)
        parti.append(fuori == 1 ? QStringLiteral("1 file lasciato fuori")
                                : QStringLiteral("%1 file lasciati fuori").arg(fuori));
    if (const qsizetype senzaFoto = piano.restano.size() - doppioni - fuori)
        parti.append(
            QStringLiteral("%1 file .xmp senza la loro foto rimasti dove sono").arg(senzaFoto));
    if (const qsizetype lasciati = piano.lasciati.size())
        parti.append(lasciati == 1
                ? QStringLiteral("1 file che non è foto né video rimasto dove è")
                : QStringLiteral("%1 file che non sono foto né video rimasti dove sono")
                      .arg(lasciati));
    const QList<Correzione> correzioni = CorrezioniDellaFinestra();
    for (const Correzione &correzione : correzioni) {
        const QString di = !correzione.modello.isEmpty()
            ? QStringLiteral(" della %1").arg(correzione.modello)
            : correzioni.size() > 1 ? QStringLiteral(" delle altre fotocamere")
                                    : QString();
        parti.append(
            QStringLiteral("ora%1 corretta di %2").arg(di, testoCorrezione(correzione.secondi)));
    }
    if (!avanzamento.dateNonCorrette.isEmpty())
        parti.append(QStringLiteral("%1 con le date di scatto non corrette")
                         .arg(avanzamento.dateNonCorrette.size()));
    parti.append(avanzamento.avvisoGiornale.isEmpty()
            ? QStringLiteral("si può annullare")
            : QStringLiteral("non si può annullare per intero"));
    QString testo = parti.join(QStringLiteral("; ")) + QLatin1Char('.');
    if (const QString avviso =
            avvisoDaVerificare(piano, avanzamento.fatti, QStringLiteral("Verifica scheda"));
        !avviso.isEmpty())
        testo += QLatin1Char(' ') + avviso;
    return testo;
}

void Form1::ApriCartella_Click()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(platform::pathToQt(m_cartellaEsito)));
}

// The plan as the next Copia would make it, shown; run from there if asked.
void Form1::Anteprima_Click()
{
    if (nomeBaseVuoto(NomeBase->text()) || Cartella(SrcPath).isEmpty()
        || Cartella(DestPath).isEmpty() || m_stato.NumFile <= 0) {
        desktop::reportNotice(this,
            QStringLiteral("Per l'anteprima servono i file da copiare, la cartella di "
                           "destinazione e il nome base."));
        return;
    }
    QWidget *fuoco = focusWidget();
    const QList<QWidget *> bloccati = BloccaControlli();
    // The preview shows a copy's plan; its Copia or Sposta plans again and
    // goes only as shown.
    AttendiFotocamere();
    Richiesta richiesta = RichiestaDellaFinestra();
    richiesta.spostare = false;
    PianoTrasferimento segnato;
    QString rifiuto;
    try {
        platform::runInBackground(
            [&](const platform::Progress &) { rifiuto = preparaPiano(richiesta, segnato); });
    } catch (const platform::FileError &errore) {
        rifiuto = errore.message();
    }
    SbloccaControlli(bloccati, fuoco);
    if (!rifiuto.isEmpty()) {
        desktop::reportFailure(this, rifiuto);
        return;
    }
    PianoTrasferimento piano;
    const Avvio avvio = mostraAnteprima(this, segnato, richiesta, piano, Cartella(SrcPath));
    if (avvio == Avvio::Nessuno)
        return;
    m_stato.Spostare = avvio == Avvio::Sposta;
    EseguiTrasferimento([&] { TrasferisciPiano(richiesta, piano); });
}
