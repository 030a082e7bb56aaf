#include "window/anteprima.h"

#include "engine/correzione.h"
#include "engine/esecuzione.h"
#include "engine/piano.h"
#include "platform/filenames.h"
#include "window/miniature.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include <utility>

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

// The columns of the table.
enum Colonna { Spunta, Foto, Origine, Nuovo, Scatto, Fonte, Modello, Correzione, Colonne };

// What becomes of a file in the plan, in its row.
QString testoNuovo(const FileDelPiano &file, const PianoTrasferimento &piano)
{
    const QString dove = doveIDoppioni(piano);
    if (!file.nuovoNome.isEmpty())
        return platform::displayFileName(file.cartella + platform::namePart(file.nuovoNome))
            + (file.doppione ? QStringLiteral(" (già %1)").arg(dove) : QString());
    if (file.fuori)
        return QStringLiteral("resta: lasciato fuori");
    if (file.doppione)
        return QStringLiteral("resta: è già %1").arg(dove);
    return QStringLiteral("resta: file .xmp senza la sua foto");
}

// The first line: how many go, how many stay and why.
QString testoRiepilogo(const PianoTrasferimento &piano)
{
    qsizetype doppioni = 0;
    qsizetype fuori = 0;
    for (const FileDelPiano &file : piano.restano) {
        fuori += file.fuori;
        doppioni += file.doppione && !file.fuori;
    }
    const qsizetype senzaFoto = piano.restano.size() - doppioni - fuori;
    QStringList restano;
    if (doppioni > 0)
        restano.append(QStringLiteral("%1 già presenti").arg(doppioni));
    if (fuori > 0)
        restano.append(QStringLiteral("%1 lasciati fuori").arg(fuori));
    if (senzaFoto > 0)
        restano.append(QStringLiteral("%1 file .xmp senza la loro foto").arg(senzaFoto));
    const QString nuove = avvisoCartelleNuove(piano);
    return QStringLiteral(
        "%1 file andranno nella destinazione%2%3. Nulla è stato ancora toccato.%4")
        .arg(piano.file.size())
        .arg(piano.riserva.isEmpty() ? QString() : QStringLiteral(" e nella cartella di riserva"),
            restano.isEmpty() ? QString()
                              : QStringLiteral(", %1 resteranno dove sono")
                                    .arg(restano.join(QStringLiteral(" e "))),
            nuove.isEmpty() ? QString() : QLatin1Char(' ') + nuove);
}

// The dialog over the plan: its rows stay in the order of the plan with the
// doubles marked, and each choice asks the engine for the plan anew.
class Dialogo : public QDialog
{
public:
    Dialogo(QWidget *finestra, const PianoTrasferimento &segnato, Richiesta &richiesta,
        PianoTrasferimento &piano, const QString &sorgente);

    Avvio avvio = Avvio::Nessuno;

private:
    void aggiungiRiga(int riga, const FileDelPiano &file, const QString &sorgente);
    void aggiorna();
    void avvia(Avvio scelto);

    const PianoTrasferimento &m_segnato;
    Richiesta &m_richiesta;
    PianoTrasferimento &m_piano;
    QStringList m_origini;
    // The files the user unticked: a double's tick is off while it stays
    // for being there already, which is no choice of the user's.
    QSet<QString> m_lasciati;
    QLabel *m_riepilogo;
    QCheckBox *m_anche;
    QTableWidget *m_tabella;
    QPushButton *m_copia = nullptr;
    QPushButton *m_sposta = nullptr;
};

Dialogo::Dialogo(QWidget *finestra, const PianoTrasferimento &segnato, Richiesta &richiesta,
    PianoTrasferimento &piano, const QString &sorgente)
    : QDialog(finestra)
    , m_segnato(segnato)
    , m_richiesta(richiesta)
    , m_piano(piano)
    , m_riepilogo(new QLabel(this))
    , m_anche(new QCheckBox(QStringLiteral("&Anche le foto già presenti"), this))
    , m_tabella(new QTableWidget(0, Colonne, this))
{
    setObjectName(QStringLiteral("Anteprima"));
    setWindowTitle(QStringLiteral("Anteprima"));
    m_riepilogo->setObjectName(QStringLiteral("RiepilogoAnteprima"));
    m_riepilogo->setWordWrap(true);
    m_anche->setObjectName(QStringLiteral("AncheGiaPresenti"));
    m_anche->setVisible(segnato.doppioni() > 0);

    m_tabella->setObjectName(QStringLiteral("TabellaAnteprima"));
    m_tabella->setAccessibleName(QStringLiteral("File della corsa"));
    m_tabella->setHorizontalHeaderLabels({ QStringLiteral("Includi"), QStringLiteral("Foto"),
        QStringLiteral("File"), QStringLiteral("Nuovo nome"), QStringLiteral("Scatto"),
        QStringLiteral("Data da"), QStringLiteral("Fotocamera"), QStringLiteral("Correzione") });
    m_tabella->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tabella->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tabella->verticalHeader()->hide();
    m_tabella->verticalHeader()->setDefaultSectionSize(Miniature::altezza());
    auto *pulsanti = new QDialogButtonBox(this);
    m_copia = pulsanti->addButton(QStringLiteral("&Copia"), QDialogButtonBox::ActionRole);
    m_sposta = pulsanti->addButton(QStringLiteral("&Sposta"), QDialogButtonBox::ActionRole);
    QPushButton *chiudi = pulsanti->addButton(QDialogButtonBox::Close);
    chiudi->setText(QStringLiteral("C&hiudi"));
    m_copia->setObjectName(QStringLiteral("CopiaAnteprima"));
    m_copia->setAccessibleName(QStringLiteral("Copia"));
    m_sposta->setObjectName(QStringLiteral("SpostaAnteprima"));
    m_sposta->setAccessibleName(QStringLiteral("Sposta"));
    chiudi->setAccessibleName(QStringLiteral("Chiudi"));
    // Enter does not start a run unasked: a run is an action, not the
    // dialog's acceptance, so the box makes no button its default.
    for (QPushButton *pulsante : { m_copia, m_sposta, chiudi })
        pulsante->setAutoDefault(false);

    m_tabella->setRowCount(int(segnato.file.size() + segnato.restano.size()));
    int riga = 0;
    for (const FileDelPiano &file : segnato.file + segnato.restano)
        aggiungiRiga(riga++, file, sorgente);
    aggiorna();
    // The widths from the first rows: a card's names are alike, and measuring
    // a thousand rows would keep the dialog from opening at once.
    m_tabella->horizontalHeader()->setResizeContentsPrecision(100);
    m_tabella->resizeColumnsToContents();
    m_tabella->setColumnWidth(Foto, Miniature::altezza() * 4 / 3);
    new Miniature(m_tabella, Foto, m_origini);
    connect(m_copia, &QPushButton::clicked, this, [this] { avvia(Avvio::Copia); });
    connect(m_sposta, &QPushButton::clicked, this, [this] { avvia(Avvio::Sposta); });
    connect(pulsanti, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_anche, &QCheckBox::toggled, this, &Dialogo::aggiorna);
    connect(m_tabella, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *cella) {
        if (cella->column() != Spunta)
            return;
        const QString &origine = m_origini.at(cella->row());
        if (cella->checkState() == Qt::Unchecked)
            m_lasciati.insert(origine);
        else
            m_lasciati.remove(origine);
        aggiorna();
    });

    auto *colonna = new QVBoxLayout(this);
    colonna->addWidget(m_riepilogo);
    colonna->addWidget(m_anche);
    colonna->addWidget(m_tabella);
    colonna->addWidget(pulsanti);
    // As wide as its columns, within the screen.
    const QSize schermo = finestra->screen()->availableSize();
    int larghezza = 0;
    for (int colonna = 0; colonna < Colonne; ++colonna)
        larghezza += m_tabella->columnWidth(colonna);
    resize(qMin(larghezza + 60, schermo.width() * 9 / 10), qMin(640, schermo.height() * 8 / 10));
    m_tabella->setFocus();
}

void Dialogo::aggiungiRiga(int riga, const FileDelPiano &file, const QString &sorgente)
{
    m_origini.append(file.origine);
    m_tabella->setItem(riga, Spunta, new QTableWidgetItem);
    const QString origine =
        file.origine.startsWith(sorgente) ? file.origine.mid(sorgente.size()) : file.origine;
    const QStringList celle { platform::displayFileName(origine), QString(), testoScatto(file),
        testoFonte(file.fonte), file.modello,
        file.correzione != 0 ? testoCorrezione(file.correzione) : QString() };
    for (int colonna = 0; colonna < celle.size(); ++colonna)
        m_tabella->setItem(riga, Origine + colonna, new QTableWidgetItem(celle.at(colonna)));
}

// The plan after the choices, as the engine makes it, and its names in the rows.
void Dialogo::aggiorna()
{
    m_richiesta.doppioni = m_anche->isChecked() ? Doppioni::Segnati : Doppioni::Saltati;
    m_richiesta.fuori = QStringList(m_lasciati.cbegin(), m_lasciati.cend());
    m_piano = m_segnato;
    const QString rifiuto = lasciaFuori(m_piano, m_richiesta);
    QHash<QString, const FileDelPiano *> file;
    for (const FileDelPiano &uno : std::as_const(m_piano.file))
        file.insert(uno.origine, &uno);
    for (const FileDelPiano &uno : std::as_const(m_piano.restano))
        file.insert(uno.origine, &uno);
    const QSignalBlocker zitto(m_tabella);
    for (int riga = 0; riga < m_tabella->rowCount(); ++riga) {
        const FileDelPiano &questo = *file.value(m_origini.at(riga));
        m_tabella->item(riga, Nuovo)->setText(testoNuovo(questo, m_piano));
        // Ticked where it goes; a file that stays for a reason of its own
        // (there already, a sidecar without its photo) has no tick to give.
        QTableWidgetItem *spunta = m_tabella->item(riga, Spunta);
        const bool scelta = !questo.nuovoNome.isEmpty() || questo.fuori;
        spunta->setFlags(scelta ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable
                                : Qt::NoItemFlags);
        spunta->setCheckState(questo.nuovoNome.isEmpty() ? Qt::Unchecked : Qt::Checked);
    }
    m_riepilogo->setText(rifiuto.isEmpty() ? testoRiepilogo(m_piano) : rifiuto);
    const bool corre = rifiuto.isEmpty() && !m_piano.file.isEmpty();
    m_copia->setEnabled(corre);
    m_sposta->setEnabled(corre);
}

void Dialogo::avvia(Avvio scelto)
{
    avvio = scelto;
    accept();
}

} // namespace

Avvio mostraAnteprima(QWidget *finestra, const PianoTrasferimento &segnato, Richiesta &richiesta,
    PianoTrasferimento &piano, const QString &sorgente)
{
    Dialogo dialogo(finestra, segnato, richiesta, piano, sorgente);
    dialogo.exec();
    return dialogo.avvio;
}
