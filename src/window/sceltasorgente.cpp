#include "engine/impostazioni.h"
#include "engine/selezione.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "window/commondialog.h"
#include "window/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace {

const QString Preimpostato = QStringLiteral("Tutti i file del tipo selezionato");

// The types the dialog offers, in its order: each one's label, its
// patterns, and how SrcInfo names its files.
struct TipoSorgente
{
    QString etichetta;
    QStringList schemi;
    QString nome;
};

// "*.jpg", "*.jpeg"... as the dialog filters by them.
QStringList schemiDi(const QStringList &estensioni)
{
    QStringList schemi;
    for (const QString &estensione : estensioni)
        schemi.append(QStringLiteral("*.") + estensione);
    return schemi;
}

const QList<TipoSorgente> &tipiSorgente()
{
    static const QList<TipoSorgente> tipi {
        { QStringLiteral("Immagini JPEG"), { "*.jpg" }, QStringLiteral(".JPG") },
        { QStringLiteral("Immagini BMP"), { "*.bmp" }, QStringLiteral(".BMP") },
        { QStringLiteral("Immagini TIFF"), { "*.tif" }, QStringLiteral(".TIF") },
        { QStringLiteral("Immagini GIF"), { "*.gif" }, QStringLiteral(".GIF") },
        { QStringLiteral("Foto RAW"), schemiDi(estensioniRaw()), QStringLiteral("RAW") },
        { QStringLiteral("Foto HEIC"), schemiDi(estensioniHeic()), QStringLiteral("HEIC") },
        { QStringLiteral("Video"), schemiDi(estensioniVideo()), QStringLiteral("video") },
        { QStringLiteral("Foto e video"), schemiDi(estensioniFoto() + estensioniVideo()),
            QStringLiteral("di foto e video") },
        { QStringLiteral("Tutti i file"), { "*.*" }, QString() },
    };
    return tipi;
}

// "Immagini JPEG (*.jpg)|*.jpg|...", as the dialog takes its filter.
QString filtroSorgente()
{
    QStringList voci;
    for (const TipoSorgente &tipo : tipiSorgente()) {
        const QString schemi = tipo.schemi.join(QLatin1Char(';'));
        voci << QStringLiteral("%1 (%2)").arg(tipo.etichetta, schemi) << schemi;
    }
    return voci.join(QLatin1Char('|'));
}

} // namespace

// One dialog chooses both the folder and what to take from it: one file,
// several, or, by confirming the preset name, every file of the chosen type.
// It opens on the type chosen last.
void Form1::SfogliaS_Click()
{
    Dialogo->FileName = Preimpostato;
    Dialogo->DialogTitle = QStringLiteral("Seleziona i file da copiare o spostare.");
    Dialogo->InitDir = Cartella(SrcPath);
    Dialogo->Flags = desktop::OFN_EXPLORER | desktop::OFN_ALLOWMULTISELECT;
    Dialogo->Filter = filtroSorgente();
    Dialogo->FilterIndex =
        std::clamp(LeggiImpostazione(QStringLiteral("TipoSorgente"), QStringLiteral("1")).toInt(),
            1, int(tipiSorgente().size()));
    Dialogo->CancelError = true;
    m_stato.ElencoFile = QStringList { QString() };
    m_lasciati.clear();
    m_selezioneTutti = false;
    m_estensioneScelta.clear();
    m_schemiScelti.clear();
    const QString prima = Cartella(SrcPath);
    try {
        Dialogo->ShowOpen(this);
        const TipoSorgente &tipo =
            tipiSorgente().value(Dialogo->FilterIndex - 1, tipiSorgente().constLast());
        m_stato.FileCorrente = Dialogo->FileTitle;
        m_stato.NomeFileDialogo = Dialogo->FileName;
        m_estensioneScelta = tipo.nome;
        if (m_stato.FileCorrente.isEmpty())
            SelezionaFileScelti();
        else
            SelezionaFileDelTipo(tipo.schemi);
        ScriviImpostazione(QStringLiteral("Sorgente"), platform::pathToQt(Cartella(SrcPath)));
        ScriviImpostazione(QStringLiteral("TipoSorgente"), QString::number(Dialogo->FilterIndex));
        CambiaSorgente(prima);
        AggiornaSuffisso();
    } catch (const desktop::DialogCancelled &) {
        // Cancel leaves an empty selection and the folder as it was.
    } catch (const platform::FileError &) {
        // The destination cannot be read now; the running number stays as it was.
    }
    m_stato.NumFile = int(m_stato.ElencoFile.size()) - 1;
    MostraSelezione();
    repaint();
}

// Another card may hold another camera, maybe one whose clock was right:
// the correction for all cameras does not follow it. A model's applies to
// that model only, and stays.
void Form1::CambiaSorgente(const QString &prima)
{
    if (Cartella(SrcPath) == prima)
        return;
    m_correzioni.remove(QString());
    if (m_fotocameraMostrata.isEmpty())
        MostraCorrezioneDi(QString());
}

void Form1::SottoCartelle_Click()
{
    ScriviImpostazione(QStringLiteral("Sottocartelle"), testoBooleano(SottoCartelle->isChecked()));
    if (m_schemiScelti.isEmpty()) {
        SelezionaTutti();
        return;
    }
    LeggiFileDelTipo();
    m_stato.NumFile = int(m_stato.ElencoFile.size()) - 1;
    MostraSelezione();
}

// Several files come back as the folder, then each name after a NUL.
void Form1::SelezionaFileScelti()
{
    const QStringList parti = m_stato.NomeFileDialogo.split(QChar(0));
    m_stato.ElencoFile = parti;
    MostraCartella(SrcPath, platform::withSeparator(parti.first()));
}

// One file; or, the preset name confirmed (with the extension the dialog
// adds for a type of one pattern), every file of the type, in the
// subfolders too where asked.
void Form1::SelezionaFileDelTipo(const QStringList &schemi)
{
    const QString &percorso = m_stato.NomeFileDialogo;
    const qsizetype inizio = percorso.indexOf(QLatin1Char('/') + m_stato.FileCorrente);
    MostraCartella(SrcPath, percorso.left(inizio) + QLatin1Char('/'));
    const bool tutti = schemi == QStringList { QStringLiteral("*.*") };
    const QString estensione = schemi.size() == 1 && !tutti ? schemi.first().mid(1) : QString();
    if (m_stato.FileCorrente != Preimpostato + estensione) {
        m_stato.ElencoFile.append(m_stato.FileCorrente);
        return;
    }
    if (tutti)
        m_estensioneScelta = QStringLiteral(".*");
    m_schemiScelti = schemi;
    LeggiFileDelTipo();
}

// Every file of the type chosen in the source folder, and in its subfolders
// where asked. A folder that cannot be read adds nothing.
void Form1::LeggiFileDelTipo()
{
    m_stato.ElencoFile = QStringList { QString() };
    m_lasciati.clear();
    try {
        for (const QString &schema : std::as_const(m_schemiScelti)) {
            const CartellaLetta letta =
                fileDellaCartella(Cartella(SrcPath), SottoCartelle->isChecked(), schema);
            m_stato.ElencoFile += letta.file;
            m_lasciati += letta.lasciati;
        }
    } catch (const platform::FileError &) { }
}
