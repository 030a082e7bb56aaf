#include "window/form1.h"

#include "copia-e-rinomina.xpm"

#include "engine/piano.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/media.h"
#include "window/commondialog.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace {

// The layout is drawn in twips; 15 twips make one pixel at 96 dpi.
QRect daTwips(int left, int top, int width, int height)
{
    const auto pixel = [](int twips) { return qRound(twips / 15.0); };
    return QRect(pixel(left), pixel(top), pixel(width), pixel(height));
}

// Where the family is missing, Liberation Sans, metric twin of Arial, keeps
// the captions within their controls, as the layout was drawn for those widths.
QFont carattere(const QString &famiglia, qreal punti, bool grassetto)
{
    QFont font;
    font.setFamilies({ famiglia, QStringLiteral("Liberation Sans") });
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(punti);
    font.setBold(grassetto);
    return font;
}

QFont sansSerif(qreal punti, bool grassetto)
{
    return carattere(QStringLiteral("MS Sans Serif"), punti, grassetto);
}

QFont arial(qreal punti, bool grassetto)
{
    return carattere(QStringLiteral("Arial"), punti, grassetto);
}

// The window's size and the account's place as drawn, with the account at
// its shortest; a longer account lengthens both, and moves the buttons below.
QSize misuraFinestra()
{
    return daTwips(0, 0, 8355, 6840).size();
}

QRect postoEsito()
{
    return daTwips(960, 5700, 5760, 504);
}

int cimaSottoEsito()
{
    return daTwips(0, 6300, 0, 0).top();
}

template<typename Controllo>
Controllo *crea(QWidget *finestra, const char *nome, const QString &testo, const QRect &posizione)
{
    auto *controllo = new Controllo(testo, finestra);
    controllo->setObjectName(QLatin1String(nome));
    controllo->setGeometry(posizione);
    return controllo;
}

template<typename Controllo>
Controllo *crea(QWidget *finestra, const char *nome, const QString &testo, const QRect &posizione,
    const QFont &font)
{
    auto *controllo = crea<Controllo>(finestra, nome, testo, posizione);
    controllo->setFont(font);
    return controllo;
}

void colora(QLineEdit *casella, const QColor &sfondo, const QColor &testo)
{
    QPalette palette = casella->palette();
    palette.setColor(QPalette::Base, sfondo);
    palette.setColor(QPalette::Text, testo);
    casella->setPalette(palette);
}

// The boxes of the offset row only show the values, which live in the state.
QLineEdit *casellaOrario(QWidget *finestra, const char *nome, const QString &testo,
    const QRect &posizione, const QFont &font, Qt::Alignment allineamento)
{
    auto *casella = crea<QLineEdit>(finestra, nome, testo, posizione, font);
    casella->setReadOnly(true);
    casella->setFrame(false);
    casella->setAlignment(allineamento);
    casella->setTextMargins(0, 0, 0, 0);
    colora(casella, QColor(224, 224, 224), Qt::black);
    return casella;
}

// On Linux Qt names a combo box by the line it shows, leaving its label to a
// relation: the camera list is named by what it is, and the line it shows
// is its value.
class ListaAccessibile : public QAccessibleWidget
{
public:
    explicit ListaAccessibile(QComboBox *lista)
        : QAccessibleWidget(lista, QAccessible::ComboBox)
    { }

    QString text(QAccessible::Text testo) const override
    {
        return testo == QAccessible::Value ? static_cast<QComboBox *>(widget())->currentText()
                                           : QAccessibleWidget::text(testo);
    }

    QStringList actionNames() const override
    {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }

    void doAction(const QString &azione) override
    {
        if (azione == showMenuAction())
            static_cast<QComboBox *>(widget())->showPopup();
        else
            QAccessibleWidget::doAction(azione);
    }
};

// Screen readers present the window as a frame, like any program's main
// window; Qt would give a plain widget the role of a filler.
QAccessibleInterface *finestraAccessibile(const QString &classe, QObject *oggetto)
{
    if (classe == QLatin1String("Form1") && oggetto->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(oggetto), QAccessible::Window);
    if (classe == QLatin1String("QComboBox")
        && (oggetto->objectName() == QLatin1String("Fotocamere")
            || oggetto->objectName() == QLatin1String("SchemaCartelle")))
        return new ListaAccessibile(static_cast<QComboBox *>(oggetto));
    return nullptr;
}

// Names for screen readers where the caption is missing (the fields), shared
// (the three Sfoglia) or a symbol (the arrows, the separators); the tooltips
// describe the rest. The labels that show a value keep no name of their own:
// Qt then gives the text they show as their name, and tells of each change,
// the only way a screen reader hears a label's text; what the value is goes
// in the description.
void nominaControlli(QWidget *finestra)
{
    struct Nome
    {
        const char *controllo;
        const char *nome;
        const char *descrizione;
    };
    static const Nome nomi[] = {
        { "SrcPath", "Cartella di origine", nullptr },
        { "SrcInfo", nullptr, "File selezionati" },
        { "Esito", nullptr, "Esito" },
        { "BarraAvanzamento", "Avanzamento", nullptr },
        { "Label6", "Fotocamera", nullptr },
        { "Fotocamere", "Fotocamera", nullptr },
        { "Label8", "Cartelle per data", nullptr },
        { "SchemaCartelle", "Cartelle per data", nullptr },
        { "SfogliaS", "Sfoglia origine", nullptr },
        { "NomeBase", "Nome base", nullptr },
        { "Suffisso", nullptr, "Ultimo numero" },
        { "DestPath", "Cartella di destinazione", nullptr },
        { "SfogliaD", "Sfoglia destinazione", nullptr },
        { "RiservaPath", "Cartella di riserva", nullptr },
        { "SfogliaR", "Sfoglia riserva", nullptr },
        { "NessunaRiserva", "Nessuna riserva", nullptr },
        { "OraPiu_0", "Ore più", "Aggiunge un'ora alla correzione" },
        { "OraMeno_0", "Ore meno", "Toglie un'ora dalla correzione" },
        { "OraPiu_1", "Minuti più", "Aggiunge un minuto alla correzione" },
        { "OraMeno_1", "Minuti meno", "Toglie un minuto dalla correzione" },
        { "OraPiu_2", "Secondi più", "Aggiunge un secondo alla correzione" },
        { "OraMeno_2", "Secondi meno", "Toglie un secondo dalla correzione" },
        { "DiffOra", "Ore", "Ore della correzione" },
        { "Text1", "Separatore ore minuti", nullptr },
        { "DiffMin", "Minuti", "Minuti della correzione" },
        { "Text3", "Separatore minuti secondi", nullptr },
        { "DiffSec", "Secondi", "Secondi della correzione" },
    };
    for (const Nome &nome : nomi) {
        auto *controllo = finestra->findChild<QWidget *>(QLatin1String(nome.controllo));
        if (nome.nome)
            controllo->setAccessibleName(QString::fromUtf8(nome.nome));
        if (nome.descrizione)
            controllo->setAccessibleDescription(QString::fromUtf8(nome.descrizione));
    }
}

} // namespace

Form1::Form1(QWidget *parent)
    : QWidget(parent)
    , Dialogo(std::make_unique<desktop::CommonDialog>())
{
    setWindowTitle(QStringLiteral("Copia e Rinomina"));
    setWindowIcon(QPixmap(copia_e_rinomina_xpm));
    setFont(sansSerif(9.75, false));
    setFixedSize(misuraFinestra());
    m_lettoreFotocamere.setMaxThreadCount(1);
    m_lettoreFotocamere.setThreadPriority(QThread::IdlePriority);
    // Before any control exists: a screen reader already listening asks
    // for each one as it is made.
    static const bool installata = (QAccessible::installFactory(finestraAccessibile), true);
    Q_UNUSED(installata);
    creaControlli();
    impostaOrdineFocus();
    collegaEventi();
    Form_Load();
    OsservaSchede();
}

// Focus moves while the controls go; this window's handlers must no longer hear of it.
Form1::~Form1()
{
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    // Its reader is waited for, and need not finish.
    if (m_fotocamereInLettura)
        m_fotocamereInLettura->cancel();
}

void Form1::sostituisciDialogo(std::unique_ptr<desktop::CommonDialog> dialogo)
{
    Dialogo = std::move(dialogo);
}

void Form1::creaControlli()
{
    Label4 = crea<QLabel>(this, "Label4",
        QStringLiteral("Copia i file assegnando un nome base e suffisso numerico"),
        daTwips(360, 240, 7455, 375), sansSerif(12, true));
    Label4->setAlignment(Qt::AlignCenter);

    Label2 = crea<QLabel>(
        this, "Label2", QStringLiteral("&Da:"), daTwips(360, 840, 492, 252), sansSerif(9.75, true));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SrcPath = crea<QLineEdit>(
        this, "SrcPath", QString(), daTwips(960, 840, 4935, 255), sansSerif(8.25, true));
    SrcPath->setReadOnly(true);
    SfogliaS = crea<QPushButton>(this, "SfogliaS", QStringLiteral("Sfo&glia"),
        daTwips(5880, 840, 855, 285), sansSerif(8.25, true));
    Copia = crea<QPushButton>(this, "Copia", QStringLiteral("&Copia"),
        daTwips(6960, 840, 1095, 495), sansSerif(9.75, true));
    SrcInfo = crea<QLabel>(
        this, "SrcInfo", QString(), daTwips(960, 1152, 4932, 252), sansSerif(8.25, true));
    SrcInfo->setAlignment(Qt::AlignCenter);

    Label3 = crea<QLabel>(this, "Label3", QStringLiteral("&Nome:"), daTwips(72, 1440, 852, 252),
        sansSerif(9.75, true));
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    NomeBase = crea<QLineEdit>(this, "NomeBase", QStringLiteral("_"), daTwips(960, 1440, 4935, 255),
        sansSerif(8.25, true));
    NomeBase->setAlignment(Qt::AlignRight);
    Suffisso = crea<QLabel>(this, "Suffisso", QStringLiteral("000"), daTwips(5880, 1440, 612, 252),
        sansSerif(9.75, true));
    Suffisso->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Sposta = crea<QPushButton>(this, "Sposta", QStringLiteral("&Sposta"),
        daTwips(6960, 1440, 1095, 495), sansSerif(9.75, true));

    Label1 = crea<QLabel>(
        this, "Label1", QStringLiteral("&A:"), daTwips(360, 2040, 492, 252), sansSerif(9.75, true));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    DestPath = crea<QLineEdit>(
        this, "DestPath", QString(), daTwips(960, 2040, 4935, 255), sansSerif(8.25, true));
    DestPath->setReadOnly(true);
    SfogliaD = crea<QPushButton>(this, "SfogliaD", QStringLiteral("Sfog&lia"),
        daTwips(5880, 2040, 855, 285), sansSerif(8.25, true));
    Termina = crea<QPushButton>(this, "Termina", QStringLiteral("&Termina"),
        daTwips(6960, 2040, 1095, 495), sansSerif(9.75, true));

    // A second folder that gets each new file too, under the same name.
    Label7 = crea<QLabel>(this, "Label7", QStringLiteral("Riser&va:"), daTwips(72, 2640, 852, 252),
        sansSerif(9.75, true));
    Label7->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    RiservaPath = crea<QLineEdit>(
        this, "RiservaPath", QString(), daTwips(960, 2640, 4935, 255), sansSerif(8.25, true));
    RiservaPath->setReadOnly(true);
    SfogliaR = crea<QPushButton>(this, "SfogliaR", QStringLiteral("Sfoglia"),
        daTwips(5880, 2640, 855, 285), sansSerif(8.25, true));
    // The box is read-only: a button clears it, from the keyboard too, and
    // is on only while there is a backup to clear.
    NessunaRiserva = crea<QPushButton>(this, "NessunaRiserva", QStringLiteral("Nessuna"),
        daTwips(6960, 2640, 1095, 285), sansSerif(8.25, true));
    NessunaRiserva->setEnabled(false);

    OptionData = crea<QRadioButton>(
        this, "OptionData", QStringLiteral("&Ordina per Data/Ora"), daTwips(1440, 3240, 2292, 255));
    OptionNome = crea<QRadioButton>(
        this, "OptionNome", QStringLiteral("Ordina per No&me"), daTwips(4680, 3240, 2052, 255));
    // Checked once both exist, so that the group's Tab stop is the checked one.
    OptionData->setChecked(true);

    CorrOra = crea<QCheckBox>(this, "CorrOra",
        QStringLiteral(
            "Correggi Ore:Min:Sec  per compensare  differen&ze di impostazione fotocamere."),
        daTwips(1440, 3720, 3972, 492));

    const QFont frecce = sansSerif(7.5, true);
    const std::array<int, 3> sinistra { 5520, 5880, 6240 };
    const std::array<const char *, 3> nomiPiu { "OraPiu_0", "OraPiu_1", "OraPiu_2" };
    const std::array<const char *, 3> nomiMeno { "OraMeno_0", "OraMeno_1", "OraMeno_2" };
    for (size_t i = 0; i < 3; ++i) {
        OraPiu[i] = crea<QPushButton>(
            this, nomiPiu[i], QStringLiteral("▲"), daTwips(sinistra[i], 3630, 240, 240), frecce);
        OraMeno[i] = crea<QPushButton>(
            this, nomiMeno[i], QStringLiteral("▼"), daTwips(sinistra[i], 4080, 240, 216), frecce);
    }

    DiffOra = casellaOrario(this, "DiffOra", QStringLiteral("00"), daTwips(5400, 3855, 372, 228),
        arial(9, false), Qt::AlignRight);
    Text1 = casellaOrario(this, "Text1", QStringLiteral(":"), daTwips(5760, 3855, 132, 228),
        arial(10.5, true), Qt::AlignCenter);
    DiffMin = casellaOrario(this, "DiffMin", QStringLiteral("00"), daTwips(5880, 3855, 255, 228),
        arial(9, false), Qt::AlignCenter);
    Text3 = casellaOrario(this, "Text3", QStringLiteral(":"), daTwips(6120, 3840, 132, 228),
        arial(10.5, true), Qt::AlignCenter);
    DiffSec = casellaOrario(this, "DiffSec", QStringLiteral("00"), daTwips(6240, 3855, 320, 228),
        arial(9, false), Qt::AlignLeft);

    // What is new stands below the original layout, in its style.
    SottoCartelle = crea<QCheckBox>(this, "SottoCartelle", QStringLiteral("&Includi sottocartelle"),
        daTwips(1440, 4560, 2292, 255));
    Label6 = crea<QLabel>(this, "Label6", QStringLiteral("&Fotocamera:"),
        daTwips(3840, 4560, 1320, 255), sansSerif(9.75, false));
    Label6->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Fotocamere = new QComboBox(this);
    Fotocamere->setObjectName(QStringLiteral("Fotocamere"));
    Fotocamere->setGeometry(daTwips(5220, 4515, 2835, 330));
    Fotocamere->setFont(sansSerif(8.25, false));
    Fotocamere->addItem(QStringLiteral("Tutte le fotocamere"), QString());
    // On Linux a combo box is named by what it shows: its name is given
    // (see nominaControlli()), and its label leads to it.
    Label6->setBuddy(Fotocamere);
    // Every letter of its caption is another control's Alt letter already.
    VerificaCopia = crea<QCheckBox>(this, "VerificaCopia",
        QStringLiteral("Verifica la scheda dopo la copia"), daTwips(1440, 4920, 3612, 255));
    // Its letter was «Nessuna»'s, whose every letter another control has.
    Label8 = crea<QLabel>(this, "Label8", QStringLiteral("Cart&elle per data:"),
        daTwips(3240, 5280, 1920, 255), sansSerif(9.75, false));
    Label8->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SchemaCartelle = new QComboBox(this);
    SchemaCartelle->setObjectName(QStringLiteral("SchemaCartelle"));
    SchemaCartelle->setGeometry(daTwips(5220, 5235, 2835, 330));
    SchemaCartelle->setFont(sansSerif(8.25, false));
    SchemaCartelle->addItem(QStringLiteral("Nessuna"), int(CartellePerData::Nessuna));
    for (const auto schema :
        { CartellePerData::Giorno, CartellePerData::AnnoGiorno, CartellePerData::AnnoMese })
        SchemaCartelle->addItem(testoCartellePerData(schema), int(schema));
    Label8->setBuddy(SchemaCartelle);
    Label5 = crea<QLabel>(this, "Label5", QStringLiteral("Esito:"), daTwips(72, 5700, 852, 252),
        sansSerif(9.75, true));
    Label5->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Esito = crea<QLabel>(this, "Esito", QString(), postoEsito(), sansSerif(8.25, false));
    Esito->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Esito->setWordWrap(true);
    // A run shows how far it has gone in the account's place.
    BarraAvanzamento = new QProgressBar(this);
    BarraAvanzamento->setObjectName(QStringLiteral("BarraAvanzamento"));
    BarraAvanzamento->setGeometry(daTwips(960, 5700, 5760, 375));
    BarraAvanzamento->setFont(sansSerif(8.25, false));
    BarraAvanzamento->setRange(0, 1000);
    BarraAvanzamento->hide();
    ApriCartella = crea<QPushButton>(this, "ApriCartella", QStringLiteral("Ap&ri cartella"),
        daTwips(6840, 5700, 1215, 375), sansSerif(8.25, true));
    ApriCartella->setEnabled(false);
    // A card mounted meanwhile is offered in the account's row, below.
    UsaScheda = crea<QPushButton>(this, "UsaScheda", QStringLiteral("Usa la scheda"),
        daTwips(6840, 6135, 1215, 375), sansSerif(8.25, true));
    UsaScheda->hide();
    VerificaScheda = crea<QPushButton>(this, "VerificaScheda", QStringLiteral("Verifica sc&heda"),
        daTwips(2040, 6300, 2055, 375), sansSerif(8.25, true));
    Anteprima = crea<QPushButton>(this, "Anteprima", QStringLiteral("Ante&prima"),
        daTwips(4200, 6300, 1455, 375), sansSerif(8.25, true));
    AnnullaCorsa = crea<QPushButton>(this, "AnnullaCorsa", QStringLiteral("Annulla &ultima corsa"),
        daTwips(5760, 6300, 2295, 375), sansSerif(8.25, true));

    // Each label's Alt letter leads to its field.
    Label2->setBuddy(SrcPath);
    Label3->setBuddy(NomeBase);
    Label1->setBuddy(DestPath);
    Label7->setBuddy(RiservaPath);

    // A white field takes dark text of its own: the theme's text may be light.
    for (QLineEdit *casella : { SrcPath, NomeBase, DestPath, RiservaPath })
        colora(casella, Qt::white, Qt::black);

    const QString suSorgente = QStringLiteral(
        "Indicare la cartella contenente i file ed eventualmente selezionare i file da copiare.");
    const QString suDestinazione = QStringLiteral("Indicare la cartella in cui copiare i file");
    SrcPath->setToolTip(suSorgente);
    SfogliaS->setToolTip(suSorgente);
    DestPath->setToolTip(suDestinazione);
    SfogliaD->setToolTip(suDestinazione);
    const QString suRiserva =
        QStringLiteral("Indicare una seconda cartella che riceva una copia di ogni file, con lo "
                       "stesso nome");
    RiservaPath->setToolTip(suRiserva);
    SfogliaR->setToolTip(suRiserva);
    NessunaRiserva->setToolTip(QStringLiteral("Copia i file senza una cartella di riserva"));
    NomeBase->setToolTip(QStringLiteral("Inserire il nome di base da assegnare ai file"));
    SrcInfo->setToolTip(QStringLiteral("Indica i file attualmente selezionati"));
    SottoCartelle->setToolTip(QStringLiteral(
        "Seleziona anche i file delle sottocartelle, come DCIM/100CANON di una scheda"));
    VerificaCopia->setToolTip(QStringLiteral(
        "Copia rilegge ogni foto dalla scheda, come fa Sposta, e la copia conta solo se la "
        "scheda dà gli stessi byte la seconda volta"));
    Fotocamere->setToolTip(QStringLiteral(
        "La fotocamera di cui la correzione qui sopra mostra e imposta l'ora; «Tutte le "
        "fotocamere» vale per le foto delle altre"));
    SchemaCartelle->setToolTip(QStringLiteral(
        "Mette ogni foto nella sottocartella del giorno in cui è stata scattata, creandola se "
        "manca, e numera in ogni cartella dopo il numero più alto che già contiene"));
    ApriCartella->setToolTip(
        QStringLiteral("Apre la cartella dell'ultima corsa nel gestore dei file"));
    UsaScheda->setToolTip(QStringLiteral(
        "Prende come origine la cartella DCIM della scheda inserita, con le sue sottocartelle"));
    MostraEsito(QStringLiteral("Nessuna corsa in questa sessione."));
    Anteprima->setToolTip(
        QStringLiteral("Mostra che cosa farebbe la corsa, file per file, senza toccare nulla"));
    VerificaScheda->setToolTip(
        QStringLiteral("Rilegge dalla scheda ogni file della cartella di origine e lo cerca, "
                       "per contenuto, nella destinazione e nella cartella di riserva: dice se "
                       "la scheda si può formattare"));
    AnnullaCorsa->setToolTip(QStringLiteral(
        "Riporta indietro l'ultima corsa, della finestra o del terminale, dopo averlo chiesto"));
    Suffisso->setToolTip(
        QStringLiteral("File presenti con il nome base impostato, nella cartella destinazione."));
    nominaControlli(this);
}

// The account is read whole: the label takes the height of its text, the
// window grows by as much and the buttons below move down, and a shorter
// account gives the room back; a card offered takes the row down to its
// button. The tooltip says it too, for a glance.
void Form1::MostraEsito(const QString &testo)
{
    Esito->setText(testo);
    Esito->setToolTip(testo);
    const QRect posto = postoEsito();
    int altezza = Esito->heightForWidth(posto.width());
    if (!UsaScheda->isHidden())
        altezza = std::max(altezza, UsaScheda->geometry().bottom() + 1 - posto.top());
    const int oltre = std::max(0, altezza - posto.height());
    Esito->resize(posto.width(), posto.height() + oltre);
    for (QPushButton *pulsante : { VerificaScheda, Anteprima, AnnullaCorsa })
        pulsante->move(pulsante->x(), cimaSottoEsito() + oltre);
    setFixedSize(misuraFinestra() + QSize(0, oltre));
}

bool Form1::eventFilter(QObject *oggetto, QEvent *evento)
{
    if (oggetto == CorrOra && evento->type() == QEvent::Paint) {
        disegnaCorrOra();
        return true;
    }
    if (oggetto == NomeBase && evento->type() == QEvent::KeyPress)
        return NomeBase_KeyPress(static_cast<QKeyEvent *>(evento));
    if ((oggetto == OptionData || oggetto == OptionNome) && evento->type() == QEvent::FocusIn
        && entraNelGruppoOrdine(static_cast<QFocusEvent *>(evento)->reason()))
        return true;
    return QWidget::eventFilter(oggetto, evento);
}

// The exact path rides with its box: the text shows U+FFFD for a byte that
// is not UTF-8, where the path keeps the byte. A text set otherwise is the
// folder itself.
QString Form1::Cartella(const QLineEdit *casella)
{
    const QString cartella = casella->property("cartella").toString();
    return platform::displayFileName(cartella) == casella->text() ? cartella : casella->text();
}

void Form1::MostraCartella(QLineEdit *casella, const QString &cartella)
{
    casella->setProperty("cartella", cartella);
    casella->setText(platform::displayFileName(cartella));
}

// Back at the front, the number beside the base name is read again: a run
// from the terminal, or an undo, may have changed the destination meanwhile.
void Form1::changeEvent(QEvent *evento)
{
    QWidget::changeEvent(evento);
    if (evento->type() != QEvent::ActivationChange || !isActiveWindow() || m_trasferimentoInCorso)
        return;
    try {
        AggiornaSuffisso();
    } catch (const platform::FileError &) {
        // The destination cannot be read now; the number stays as it was.
    }
}

// Closing during a run waits for the file in progress to be complete; the
// run then ends and closes the window. Nothing is stored: each setting was
// stored when it changed.
void Form1::closeEvent(QCloseEvent *evento)
{
    if (m_trasferimentoInCorso) {
        m_chiusuraRichiesta = true;
        evento->ignore();
        return;
    }
    QWidget::closeEvent(evento);
}

// QCheckBox draws its caption on one line; this one wraps onto two, as the
// layout was drawn for.
void Form1::disegnaCorrOra()
{
    QStylePainter pittore(CorrOra);
    QStyleOptionButton opzione;
    opzione.initFrom(CorrOra);
    opzione.state |= CorrOra->isChecked() ? QStyle::State_On : QStyle::State_Off;
    if (CorrOra->isDown())
        opzione.state |= QStyle::State_Sunken;
    QRect indicatore = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opzione, CorrOra);
    indicatore.moveTop((CorrOra->height() - indicatore.height()) / 2);
    const int spazio = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &opzione, CorrOra);
    const QRect testo = CorrOra->rect().adjusted(indicatore.right() + 1 + spazio, 0, 0, 0);
    // The Alt letter is underlined as the style underlines any caption's.
    const int mnemonico = style()->styleHint(QStyle::SH_UnderlineShortcut, &opzione, CorrOra)
        ? Qt::TextShowMnemonic
        : Qt::TextHideMnemonic;
    const int allineamento = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | mnemonico;
    opzione.rect = indicatore;
    pittore.drawPrimitive(QStyle::PE_IndicatorCheckBox, opzione);
    pittore.drawItemText(testo, allineamento, CorrOra->palette(), CorrOra->isEnabled(),
        CorrOra->text(), QPalette::WindowText);
    if (CorrOra->hasFocus()) {
        QStyleOptionFocusRect fuoco;
        fuoco.initFrom(CorrOra);
        fuoco.rect = pittore.boundingRect(testo, allineamento, CorrOra->text());
        pittore.drawPrimitive(QStyle::PE_FrameFocusRect, fuoco);
    }
}

// Tab and Shift+Tab enter the pair of order options at the selected one and
// leave it with the next press, as on every desktop; Qt would stop at each.
// Returns true when the focus went on past the option that got it. That
// option must then not handle its focus event: a radio button that does takes
// the pair's one Tab stop for itself, and the next round would pass over the
// selected option.
bool Form1::entraNelGruppoOrdine(Qt::FocusReason motivo)
{
    if (motivo != Qt::TabFocusReason && motivo != Qt::BacktabFocusReason)
        return false;
    QRadioButton *scelto = OptionNome->isChecked() ? OptionNome : OptionData;
    QWidget *entrato = focusWidget();
    if (entrato == scelto)
        return false;
    // The two stand side by side in the focus chain: arriving from the
    // selected one means the walk is on its way out of the pair.
    const bool avanti = motivo == Qt::TabFocusReason;
    if ((avanti ? entrato->previousInFocusChain() : entrato->nextInFocusChain()) == scelto)
        focusNextPrevChild(avanti);
    else
        scelto->setFocus(motivo);
    return true;
}

void Form1::impostaOrdineFocus()
{
    // The new controls come last, after the original order.
    const QList<QWidget *> ordine { SfogliaS, SfogliaD, NomeBase, Copia, Sposta, Termina, SrcPath,
        DestPath, OptionNome, OptionData, DiffOra, OraPiu[1], OraMeno[0], CorrOra, Text1, DiffMin,
        OraMeno[1], OraPiu[0], DiffSec, Text3, OraPiu[2], OraMeno[2], RiservaPath, SfogliaR,
        NessunaRiserva, SottoCartelle, Fotocamere, VerificaCopia, SchemaCartelle, ApriCartella,
        UsaScheda, VerificaScheda, Anteprima, AnnullaCorsa };
    for (qsizetype i = 1; i < ordine.size(); ++i)
        setTabOrder(ordine.at(i - 1), ordine.at(i));
    SfogliaS->setFocus();
}

// Only these events have handlers, and the closing of the window (closeEvent).
void Form1::collegaEventi()
{
    connect(Termina, &QPushButton::clicked, this, &QWidget::close);
    connect(SfogliaS, &QPushButton::clicked, this, &Form1::SfogliaS_Click);
    connect(SfogliaD, &QPushButton::clicked, this, &Form1::SfogliaD_Click);
    connect(SfogliaR, &QPushButton::clicked, this, &Form1::SfogliaR_Click);
    connect(NessunaRiserva, &QPushButton::clicked, this, &Form1::NessunaRiserva_Click);
    connect(OptionData, &QRadioButton::clicked, this, &Form1::OptionData_Click);
    connect(OptionNome, &QRadioButton::clicked, this, &Form1::OptionNome_Click);
    connect(NomeBase, &QLineEdit::textChanged, this, &Form1::NomeBase_Change);
    // The window draws the correction's caption, takes Enter in the base name
    // and leads Tab into the order options; see eventFilter().
    for (QWidget *controllo :
        std::initializer_list<QWidget *> { CorrOra, NomeBase, OptionData, OptionNome })
        controllo->installEventFilter(this);
    // Reported once the field has handled the focus change itself, so that
    // the selection set here is the one that stays. Switching to another
    // program and back moves the focus to and from no widget: that is no
    // move within the window, and must not reselect what the user is typing.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *prima, QWidget *dopo) {
        if (!prima || !dopo || m_trasferimentoInCorso)
            return;
        if (prima == NomeBase)
            NomeBase_LostFocus();
        if (dopo == NomeBase)
            NomeBase_GotFocus();
    });
    connect(SrcPath, &QLineEdit::textChanged, this,
        [this] { m_supportoSorgente = platform::fileSystemOf(Cartella(SrcPath)); });
    connect(DestPath, &QLineEdit::textChanged, this,
        [this] { m_supportoDestinazione = platform::fileSystemOf(Cartella(DestPath)); });
    connect(RiservaPath, &QLineEdit::textChanged, this, [this](const QString &testo) {
        m_supportoRiserva = platform::fileSystemOf(Cartella(RiservaPath));
        NessunaRiserva->setEnabled(!testo.isEmpty());
    });
    connect(SottoCartelle, &QCheckBox::clicked, this, &Form1::SottoCartelle_Click);
    connect(VerificaCopia, &QCheckBox::clicked, this, &Form1::VerificaCopia_Click);
    connect(SchemaCartelle, &QComboBox::activated, this, &Form1::SchemaCartelle_Click);
    connect(Fotocamere, &QComboBox::currentIndexChanged, this, &Form1::CambiaFotocamera);
    connect(ApriCartella, &QPushButton::clicked, this, &Form1::ApriCartella_Click);
    connect(UsaScheda, &QPushButton::clicked, this, &Form1::UsaScheda_Click);
    connect(Anteprima, &QPushButton::clicked, this, &Form1::Anteprima_Click);
    connect(AnnullaCorsa, &QPushButton::clicked, this, &Form1::AnnullaCorsa_Click);
    connect(VerificaScheda, &QPushButton::clicked, this, &Form1::VerificaScheda_Click);
    connect(Copia, &QPushButton::clicked, this, &Form1::Copia_Click);
    connect(Sposta, &QPushButton::clicked, this, &Form1::Sposta_Click);
    connect(CorrOra, &QCheckBox::toggled, this, &Form1::CorrOra_Click);
    // Only the user's own switching is remembered, not a camera's shown.
    connect(CorrOra, &QCheckBox::clicked, this, &Form1::RicordaCorrezione);
    for (int i = 0; i < 3; ++i) {
        connect(OraPiu[size_t(i)], &QPushButton::clicked, this, [this, i] { OraPiu_Click(i); });
        connect(OraMeno[size_t(i)], &QPushButton::clicked, this, [this, i] { OraMeno_Click(i); });
    }
}
