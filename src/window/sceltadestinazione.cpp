#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "window/commondialog.h"
#include "window/form1.h"

#include <QLineEdit>

// A save dialog serves as the folder picker: the user moves into the folder
// and confirms the proposed name, which is then thrown away. Its two filter
// entries double as the choice of keeping or removing the extension.
void Form1::SfogliaD_Click()
{
    const QString proposto = NomeBase->text() + QStringLiteral("xxx");
    Dialogo->DialogTitle = QStringLiteral("Seleziona la cartella in cui copiare.");
    Dialogo->InitDir = Cartella(DestPath);
    Dialogo->FileName = proposto;
    Dialogo->Flags = desktop::OFN_NOVALIDATE;
    Dialogo->Filter = QStringLiteral("Mantieni Estensione (") + proposto
        + QStringLiteral(".*)|*.*|Rimuovi Estensione ||");
    Dialogo->FilterIndex = 0;
    Dialogo->CancelError = true;
    try {
        Dialogo->ShowSave(this);
    } catch (const desktop::DialogCancelled &) {
        return;
    }

    m_stato.RimuoviEstensione = Dialogo->FilterIndex == 2;
    m_stato.NomeFileDialogo = Dialogo->FileName;
    m_stato.Indice = int(m_stato.NomeFileDialogo.lastIndexOf(QLatin1Char('/'))) + 1;
    if (m_stato.Indice <= 1)
        return;
    MostraCartella(DestPath, m_stato.NomeFileDialogo.left(m_stato.Indice));
    ScriviImpostazione(QStringLiteral("Destinazione"), platform::pathToQt(Cartella(DestPath)));
    try {
        AggiornaSuffisso();
    } catch (const platform::FileError &) {
        // A folder that cannot be read leaves the running number as it was.
    }
}
