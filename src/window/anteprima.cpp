#include "window/anteprima.h"

#include "engine/correzione.h"
#include "engine/esecuzione.h"
#include "engine/piano.h"
#include "platform/filenames.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The moment it was taken, corrected, as the run orders it.
QString testoScatto(const FileDelPiano &file)
{
    if (!file.scatto)
        return QStringLiteral("sconosciuto");
    return oraCorretta(QDateTime::fromMSecsSinceEpoch(*file.scatto / 1'000'000), file.correzione)
        .toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

// Where the moment was read, in a word or two.
QString testoFonte(FonteScatto fonte)
{
    switch (fonte) {
    case FonteScatto::File:
        break;
    case FonteScatto::Exif:
        return QStringLiteral("foto");
    case FonteScatto::Fuso:
        return QStringLiteral("ora col fuso");
    case FonteScatto::Utc:
        return QStringLiteral("ora UTC");
    case FonteScatto::Compagno:
        return QStringLiteral("foto accanto");
    case FonteScatto::Locale:
        return QStringLiteral("ora locale");
    }
    return QStringLiteral("file");
}

void aggiungiRiga(
    QTableWidget *tabella, const FileDelPiano &file, const QString &nuovo, const QString &sorgente)
{
    const int riga = tabella->rowCount();
    tabella->insertRow(riga);
    const QString origine =
        file.origine.startsWith(sorgente) ? file.origine.mid(sorgente.size()) : file.origine;
    const QStringList celle { platform::displayFileName(origine), nuovo, testoScatto(file),
        testoFonte(file.fonte), file.modello,
        file.correzione != 0 ? testoCorrezione(file.correzione) : QString() };
    for (int colonna = 0; colonna < celle.size(); ++colonna)
        tabella->setItem(riga, colonna, new QTableWidgetItem(celle.at(colonna)));
}

} // namespace

void mostraAnteprima(QWidget *finestra, const PianoTrasferimento &piano, const QString &sorgente)
{
    QDialog dialogo(finestra);
    dialogo.setObjectName(QStringLiteral("Anteprima"));
    dialogo.setWindowTitle(QStringLiteral("Anteprima"));
    auto *riepilogo = new QLabel(
        QStringLiteral("%1 file andranno nella destinazione%2, %3 resteranno dove sono. Nulla è "
                       "stato ancora toccato.")
            .arg(piano.file.size())
            .arg(piano.riserva.isEmpty() ? QString()
                                         : QStringLiteral(" e nella cartella di riserva"))
            .arg(piano.restano.size()),
        &dialogo);
    riepilogo->setWordWrap(true);

    auto *tabella = new QTableWidget(0, 6, &dialogo);
    tabella->setObjectName(QStringLiteral("TabellaAnteprima"));
    tabella->setAccessibleName(QStringLiteral("File della corsa"));
    tabella->setHorizontalHeaderLabels({ QStringLiteral("File"), QStringLiteral("Nuovo nome"),
        QStringLiteral("Scatto"), QStringLiteral("Data da"), QStringLiteral("Fotocamera"),
        QStringLiteral("Correzione") });
    tabella->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabella->setSelectionBehavior(QAbstractItemView::SelectRows);
    tabella->verticalHeader()->hide();
    const QString dove = doveIDoppioni(piano);
    for (const FileDelPiano &file : piano.file)
        aggiungiRiga(tabella, file,
            platform::namePart(file.nuovoNome)
                + (file.doppione ? QStringLiteral(" (già %1)").arg(dove) : QString()),
            sorgente);
    for (const FileDelPiano &file : piano.restano)
        aggiungiRiga(tabella, file,
            file.doppione ? QStringLiteral("resta: è già %1").arg(dove)
                          : QStringLiteral("resta: file .xmp senza la sua foto"),
            sorgente);
    tabella->resizeColumnsToContents();

    auto *pulsanti = new QDialogButtonBox(QDialogButtonBox::Close, &dialogo);
    pulsanti->button(QDialogButtonBox::Close)->setText(QStringLiteral("Chiudi"));
    QObject::connect(pulsanti, &QDialogButtonBox::rejected, &dialogo, &QDialog::reject);

    auto *colonna = new QVBoxLayout(&dialogo);
    colonna->addWidget(riepilogo);
    colonna->addWidget(tabella);
    colonna->addWidget(pulsanti);
    dialogo.resize(720, 420);
    tabella->setFocus();
    dialogo.exec();
}
