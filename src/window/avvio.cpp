#include "engine/completamento.h"
#include "engine/impostazioni.h"
#include "engine/piano.h"
#include "engine/selezione.h"
#include "platform/appendfile.h"
#include "platform/background.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "window/failurereport.h"
#include "window/form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

// Restores the remembered settings, selects every file of the remembered
// source folder and orders it. A step that fails is skipped silently.
void Form1::Form_Load()
{
    m_stato.NomeSezione = nomeSezione(QCoreApplication::applicationFilePath());
    m_stato.InCaricamento = true;
    // Settings that cannot be read leave the controls as they were designed:
    // "_" in the base name, with which no run starts.
    if (impostazioniLeggibili()) {
        // Folders are remembered as Qt text, as the dialogs gave them (earlier
        // versions stored the dialogs' text as it was, too).
        MostraCartella(SrcPath,
            platform::pathFromQt(LeggiImpostazione(QStringLiteral("Sorgente"), QString())));
        MostraCartella(DestPath,
            platform::pathFromQt(LeggiImpostazione(QStringLiteral("Destinazione"), QString())));
        MostraCartella(RiservaPath,
            platform::pathFromQt(LeggiImpostazione(QStringLiteral("Riserva"), QString())));
        NomeBase->setText(LeggiImpostazione(QStringLiteral("NomeBase"), QStringLiteral("Img_")));
        m_stato.OrdinePerNome =
            booleanoDaTesto(LeggiImpostazione(QStringLiteral("OrdineNome"), testoBooleano(false)));
        SottoCartelle->setChecked(booleanoDaTesto(
            LeggiImpostazione(QStringLiteral("Sottocartelle"), testoBooleano(false))));
        VerificaCopia->setChecked(
            booleanoDaTesto(LeggiImpostazione(QStringLiteral("Verifica"), testoBooleano(false))));
        // A schema this version does not know files nothing by date.
        const CartellePerData schema =
            cartellePerDataDaTesto(LeggiImpostazione(QStringLiteral("CartellePerData"), QString()))
                .value_or(CartellePerData::Nessuna);
        SchemaCartelle->setCurrentIndex(SchemaCartelle->findData(int(schema)));
        LeggiCorrezioniRicordate();
    }
    OptionNome->setChecked(m_stato.OrdinePerNome);
    m_stato.CorrOre = 0;
    DiffOra->setText(QStringLiteral("00"));
    m_stato.InCaricamento = false;
    m_stato.NumFile = 0;
    m_stato.RimuoviEstensione = false;
    try {
        AggiornaSuffisso();
    } catch (const platform::FileError &) {
        // The destination cannot be read now; the running number stays 000.
    }

    SelezionaTutti();
}

// Selects every file of the source folder, and of its subfolders where
// asked, in order.
void Form1::SelezionaTutti()
{
    m_selezioneTutti = true;
    m_estensioneScelta.clear();
    m_schemiScelti.clear();
    m_stato.ElencoFile = QStringList { QString() };
    m_lasciati.clear();
    if (!Cartella(SrcPath).isEmpty()) {
        try {
            const CartellaLetta letta =
                fileDellaCartella(Cartella(SrcPath), SottoCartelle->isChecked());
            m_stato.ElencoFile += letta.file;
            m_lasciati = letta.lasciati;
        } catch (const platform::FileError &) {
            // A folder that cannot be read now selects nothing.
        }
    }
    m_stato.Indice = int(m_stato.ElencoFile.size()) - 1;
    m_stato.NumFile = m_stato.Indice;
    MostraSelezione();
}

// What SrcInfo says of the selection: how many files, and from how many
// folders when the subfolders are in it; and the list shows the cameras in it.
void Form1::MostraSelezione()
{
    LeggiFotocamere();
    if (Cartella(SrcPath).isEmpty()) {
        SrcInfo->setText(QStringLiteral("Nessun file selezionato"));
        return;
    }
    if (!m_selezioneTutti) {
        SrcInfo->setText(
            QStringLiteral("%1 file %2 selezionati").arg(m_stato.NumFile).arg(m_estensioneScelta));
        return;
    }
    const int cartelle = cartelleDeiFile(m_stato.ElencoFile.mid(1));
    SrcInfo->setText(SottoCartelle->isChecked() && cartelle > 1
            ? QStringLiteral("Tutti i file (%1 in %2 cartelle)").arg(m_stato.NumFile).arg(cartelle)
            : QStringLiteral("Tutti i file (%1)").arg(m_stato.NumFile));
}

// After a run the selection is what is left of it in the source: a moved
// photo is no longer there to be chosen again.
void Form1::SeguiSelezione()
{
    if (m_selezioneTutti) {
        SelezionaTutti();
        return;
    }
    const QString sorgente = Cartella(SrcPath);
    QStringList rimasti { QString() };
    for (int i = 1; i <= m_stato.NumFile; ++i) {
        if (platform::nameExists(sorgente + m_stato.ElencoFile.at(i)))
            rimasti.append(m_stato.ElencoFile.at(i));
    }
    m_stato.ElencoFile = rimasti;
    m_stato.NumFile = int(rimasti.size()) - 1;
    MostraSelezione();
}

// Once the window is on the screen, what a killed run left is finished
// aside, so that the window never waits for the photos to be read.
void Form1::showEvent(QShowEvent *evento)
{
    QWidget::showEvent(evento);
    if (std::exchange(m_ripresaAvviata, true))
        return;
    QTimer::singleShot(0, this, &Form1::CompletaCorseInterrotte);
}

// What was finished is said in one message; an original it deleted leaves
// the selection.
void Form1::CompletaCorseInterrotte()
{
    EsitoAnnulla esito;
    platform::runInBackground(
        [&](const platform::Progress &) { esito = completaCorseInterrotte(); });
    if (esito.righe.isEmpty())
        return;
    SelezionaTutti();
    desktop::reportNotice(this,
        QStringLiteral("Dal giornale delle corse precedenti:\n\n")
            + esito.righe.join(QLatin1Char('\n')));
}

QString Form1::LeggiImpostazione(const QString &chiave, const QString &predefinito) const
{
    return leggiImpostazione(m_stato.NomeSezione, chiave, predefinito);
}

void Form1::ScriviImpostazione(const QString &chiave, const QString &valore) const
{
    scriviImpostazione(m_stato.NomeSezione, chiave, valore);
}
