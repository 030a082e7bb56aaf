#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "window/commondialog.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QPushButton>

// A save dialog serves as the folder picker: the user moves into the folder
// and confirms the proposed name, which is then thrown away. Returns nothing
// when cancelled; else the folder with its separator, empty where the answer
// named none.
std::optional<QString> Form1::ChiediCartella(
    const QString &titolo, const QLineEdit *casella, const QString &filtro)
{
    Dialogo->DialogTitle = titolo;
    Dialogo->InitDir = Cartella(casella);
    Dialogo->FileName = NomeBase->text() + QStringLiteral("xxx");
    Dialogo->Flags = desktop::OFN_NOVALIDATE;
    Dialogo->Filter = filtro;
    Dialogo->FilterIndex = 0;
    Dialogo->CancelError = true;
    try {
        Dialogo->ShowSave(this);
    } catch (const desktop::DialogCancelled &) {
        return std::nullopt;
    }
    const qsizetype fine = Dialogo->FileName.lastIndexOf(QLatin1Char('/')) + 1;
    return fine > 1 ? Dialogo->FileName.left(fine) : QString();
}

// The destination dialog's two filter entries double as the choice of
// keeping or removing the extension.
void Form1::SfogliaD_Click()
{
    const QString proposto = NomeBase->text() + QStringLiteral("xxx");
    const std::optional<QString> cartella =
        ChiediCartella(QStringLiteral("Seleziona la cartella in cui copiare."), DestPath,
            QStringLiteral("Mantieni Estensione (") + proposto
                + QStringLiteral(".*)|*.*|Rimuovi Estensione ||"));
    if (!cartella)
        return;
    m_stato.RimuoviEstensione = Dialogo->FilterIndex == 2;
    if (cartella->isEmpty())
        return;
    MostraCartella(DestPath, *cartella);
    ScriviImpostazione(QStringLiteral("Destinazione"), platform::pathToQt(Cartella(DestPath)));
    try {
        AggiornaSuffisso();
    } catch (const platform::FileError &) {
        // A folder that cannot be read leaves the running number as it was.
    }
}

void Form1::SfogliaR_Click()
{
    const std::optional<QString> cartella =
        ChiediCartella(QStringLiteral("Seleziona la cartella di riserva."), RiservaPath, QString());
    if (!cartella || cartella->isEmpty())
        return;
    MostraCartella(RiservaPath, *cartella);
    ScriviImpostazione(QStringLiteral("Riserva"), platform::pathToQt(Cartella(RiservaPath)));
}

// The button goes off with nothing left to clear; the focus it held goes
// to the picker beside it.
void Form1::NessunaRiserva_Click()
{
    MostraCartella(RiservaPath, QString());
    ScriviImpostazione(QStringLiteral("Riserva"), QString());
    SfogliaR->setFocus();
}
