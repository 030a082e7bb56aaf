#include "engine/impostazioni.h"
#include "engine/selezione.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "window/commondialog.h"
#include "window/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace {

const QString Preimpostato = QStringLiteral("Tutti i file del tipo selezionato");

const QString FiltroSorgente = QStringLiteral(
    "Immagini JPEG (*.jpg)|*.jpg|Immagini BMP (*.bmp)|*.bmp|Immagini TIFF (*.tif)|*.tif|"
    "Immagini GIF (*.gif)|*.gif|Tutti i file (*.*)|*.*");

// The extension of a picture type of the filter list; none for all files.
QString estensioneDelFiltro(int indice)
{
    static const QStringList estensioni { QStringLiteral(".jpg"), QStringLiteral(".bmp"),
        QStringLiteral(".tif"), QStringLiteral(".gif") };
    return estensioni.value(indice - 1);
}

} // namespace

// One dialog chooses both the folder and what to take from it: one file,
// several, or, by confirming the preset name, every file of the chosen type.
void Form1::SfogliaS_Click()
{
    QString estensione;
    Dialogo->FileName = Preimpostato;
    Dialogo->DialogTitle = QStringLiteral("Seleziona i file da copiare o spostare.");
    Dialogo->InitDir = Cartella(SrcPath);
    Dialogo->Flags = desktop::OFN_EXPLORER | desktop::OFN_ALLOWMULTISELECT;
    Dialogo->Filter = FiltroSorgente;
    Dialogo->FilterIndex = 1;
    Dialogo->CancelError = true;
    m_stato.ElencoFile = QStringList { QString() };
    m_selezioneTutti = false;
    const QString prima = Cartella(SrcPath);
    try {
        Dialogo->ShowOpen(this);
        m_stato.FileCorrente = Dialogo->FileTitle;
        m_stato.NomeFileDialogo = Dialogo->FileName;
        estensione = estensioneDelFiltro(Dialogo->FilterIndex);
        if (m_stato.FileCorrente.isEmpty())
            SelezionaFileScelti();
        else
            SelezionaFileSingoloOTipo(estensione);
        ScriviImpostazione(QStringLiteral("Sorgente"), platform::pathToQt(Cartella(SrcPath)));
        CambiaSorgente(prima);
        AggiornaSuffisso();
    } catch (const desktop::DialogCancelled &) {
        // Cancel leaves an empty selection and the folder as it was.
    } catch (const platform::FileError &) {
        // The destination cannot be read now; the running number stays as it was.
    }
    m_stato.NumFile = int(m_stato.ElencoFile.size()) - 1;
    m_estensioneScelta = estensione;
    MostraSelezione();
    repaint();
}

// Another card is another camera, maybe one whose clock was right: the
// correction meant for the last one does not follow.
void Form1::CambiaSorgente(const QString &prima)
{
    if (Cartella(SrcPath) == prima || !CorrOra->isChecked())
        return;
    m_stato.CorrOre = m_stato.CorrMin = m_stato.CorrSec = 0;
    CorrOra->setChecked(false);
    MostraCorrezione();
}

void Form1::SottoCartelle_Click()
{
    ScriviImpostazione(QStringLiteral("Sottocartelle"), testoBooleano(SottoCartelle->isChecked()));
    SelezionaTutti();
}

// Several files come back as the folder, then each name after a NUL.
void Form1::SelezionaFileScelti()
{
    const QStringList parti = m_stato.NomeFileDialogo.split(QChar(0));
    m_stato.ElencoFile = parti;
    MostraCartella(SrcPath, platform::withSeparator(parti.first()));
}

void Form1::SelezionaFileSingoloOTipo(QString &estensione)
{
    const QString &percorso = m_stato.NomeFileDialogo;
    const qsizetype inizio = percorso.indexOf(QLatin1Char('/') + m_stato.FileCorrente);
    MostraCartella(SrcPath, percorso.left(inizio) + QLatin1Char('/'));
    if (m_stato.FileCorrente != Preimpostato + estensione) {
        m_stato.ElencoFile.append(m_stato.FileCorrente);
        return;
    }
    if (estensione.isEmpty())
        estensione = QStringLiteral(".*");
    AggiungiFileElencati(Cartella(SrcPath) + QLatin1Char('*') + estensione);
}

// Every file of the type, in the subfolders too where asked; a folder that
// cannot be read selects nothing.
void Form1::AggiungiFileElencati(const QString &schema)
{
    try {
        m_stato.ElencoFile += fileDellaCartella(
            platform::folderPart(schema), SottoCartelle->isChecked(), platform::namePart(schema));
    } catch (const platform::FileError &) { }
}
