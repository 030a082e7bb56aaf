#pragma once

#include "platform/media.h"

#include <QHash>
#include <QStringList>
#include <QThreadPool>
#include <QWidget>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

struct Avanzamento;
struct Correzione;
struct Fotocamera;
struct PianoTrasferimento;
struct Richiesta;
enum class CartellePerData;
class QComboBox;
class QFutureWatcherBase;
class QCheckBox;
class QKeyEvent;
class QShowEvent;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace desktop {
class CommonDialog;
}

// The window state shared by every handler of Form1. The working values
// (NomeFileDialogo, FileCorrente, Indice, PosPunto, Estensione) carry no
// meaning from one handler to the next.
struct StatoFinestra
{
    QString NomeSezione;
    QString NomeFileDialogo;
    QString FileCorrente;
    // The selected names without folder, at 1..NumFile; element 0 is scratch.
    QStringList ElencoFile;
    int CorrOre = 0; // -12..+12
    int CorrMin = 0; // 0..59
    int CorrSec = 0; // 0..59
    int Indice = 0;
    int NumFile = 0;
    int PosPunto = 0;
    QString Estensione;
    bool NomeCambiato = false;
    bool Spostare = false;
    bool OrdinePerNome = false;
    bool InCaricamento = false;
    bool RimuoviEstensione = false;
};

// The one window of the program. Its handlers and operations are defined in
// the folder of their subsystem.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Tests set the selection and the clock offset here directly.
    StatoFinestra &stato() { return m_stato; }
    // Tests answer the file dialogs with canned answers.
    void sostituisciDialogo(std::unique_ptr<desktop::CommonDialog> dialogo);

protected:
    bool eventFilter(QObject *oggetto, QEvent *evento) override;
    void changeEvent(QEvent *evento) override;
    void closeEvent(QCloseEvent *evento) override;
    void showEvent(QShowEvent *evento) override;

private:
    void creaControlli();
    void impostaOrdineFocus();
    void disegnaCorrOra();
    bool entraNelGruppoOrdine(Qt::FocusReason motivo);
    void collegaEventi();

    // The folder boxes show their folder as a display can; the folder itself
    // is kept to the byte.
    static QString Cartella(const QLineEdit *casella);
    static void MostraCartella(QLineEdit *casella, const QString &cartella);

    // Start-up and shut-down.
    void Form_Load();
    void SelezionaTutti();
    void MostraSelezione();
    void SeguiSelezione();
    void CompletaCorseInterrotte();
    QString LeggiImpostazione(const QString &chiave, const QString &predefinito) const;
    void ScriviImpostazione(const QString &chiave, const QString &valore) const;

    // Source file picker.
    void SfogliaS_Click();
    void SelezionaFileScelti();
    void SelezionaFileDelTipo(const QStringList &schemi);
    void LeggiFileDelTipo();
    void SottoCartelle_Click();
    void VerificaCopia_Click();
    void SchemaCartelle_Click();
    void CambiaSorgente(const QString &prima);

    // Ordering of the selection.
    void OptionData_Click();
    void OptionNome_Click();
    void CambiaOrdine();

    // Destination and backup folder pickers and base name field.
    std::optional<QString> ChiediCartella(
        const QString &titolo, const QLineEdit *casella, const QString &filtro);
    void SfogliaD_Click();
    void SfogliaR_Click();
    void NessunaRiserva_Click();
    bool NomeBase_KeyPress(const QKeyEvent *tasto);
    void NomeBase_GotFocus();
    void NomeBase_Change();
    void NomeBase_LostFocus();

    // Suffix numbering.
    void AggiornaSuffisso();
    static QString UltimoNumero(const QString &cartella, const QString &nomeBase);
    static QString UltimoNumeroAParte(const QString &cartella, const QString &nomeBase);

    // Copy and move engine.
    void Copia_Click();
    void Sposta_Click();
    void EseguiTrasferimento(const std::function<void()> &corsa);
    QList<QWidget *> BloccaControlli();
    void SbloccaControlli(const QList<QWidget *> &bloccati, QWidget *fuoco);
    void Trasferisci();
    void TrasferisciPiano(Richiesta richiesta, const PianoTrasferimento &mostrato);
    Richiesta RichiestaDellaFinestra() const;
    QString TutteGiaPresenti(const PianoTrasferimento &piano, int foto) const;
    void SeguiCorsa(const PianoTrasferimento &piano, const QString &destinazione);
    void MostraAvanzamento(const PianoTrasferimento &piano, const Avanzamento &avanzamento,
        qint64 millisecondi, const QString &titolo);
    QString TestoEsito(const PianoTrasferimento &piano, const Avanzamento &avanzamento,
        const QString &destinazione, qint64 millisecondi, bool interrotta) const;
    void MostraEsito(const QString &testo);
    void ApriCartella_Click();
    void Anteprima_Click();

    // The undo of the last run.
    void AnnullaCorsa_Click();

    // A card mounted while the window is open, offered as the source.
    struct SchedaInserita
    {
        platform::MountedCard scheda;
        int fotoEVideo = 0;
    };
    void OsservaSchede();
    void LeggiSchede();
    void SchedeLette(
        const QList<platform::MountedCard> &montate, const std::optional<SchedaInserita> &nuova);
    void OffriScheda();
    void RitiraScheda();
    void UsaScheda_Click();
    // The card proven against its copies before it is formatted.
    void VerificaScheda_Click();

    // Clock correction.
    struct PassoCorrezione
    {
        int *campo = nullptr;
        int minimo = 0;
        int massimo = 0;
        int oltreIlMassimo = 0;
        int oltreIlMinimo = 0;
    };
    PassoCorrezione passoCorrezione(int indice);
    void CorrOra_Click();
    void OraPiu_Click(int indice);
    void OraMeno_Click(int indice);
    void MostraCorrezione();

    // The cameras of the selection, each with a correction of its own.
    struct CorrezioneFotocamera
    {
        bool attiva = false;
        int ore = 0;
        int minuti = 0;
        int secondi = 0;
    };
    void LeggiFotocamere();
    void AttendiFotocamere();
    void MostraFotocamere(const QList<Fotocamera> &fotocamere);
    void MostraCorrezioniNellaLista();
    void LeggiCorrezioniRicordate();
    void RicordaCorrezione();
    void CambiaFotocamera();
    CorrezioneFotocamera CorrezioneMostrata() const;
    void MostraCorrezioneDi(const QString &modello);
    QHash<QString, qint64> CorrezioniAccese() const;
    QList<Correzione> CorrezioniDellaFinestra() const;
    // The folders by date the list asks for.
    CartellePerData SchemaScelto() const;

    StatoFinestra m_stato;
    bool m_trasferimentoInCorso = false;
    bool m_ripresaAvviata = false;
    // What the end of the last run has to say besides: what its journal
    // could not hold, the photos whose capture dates stayed as they were.
    QString m_avvisiFine;
    // How the selection was made: every file of the source folder, or of
    // one type (its extension), or files picked one by one.
    bool m_selezioneTutti = true;
    QString m_estensioneScelta;
    // The patterns of the type chosen, which «Includi sottocartelle» keeps;
    // empty for files picked one by one, or every file.
    QStringList m_schemiScelti;
    // The files that are not photos or videos the walk of the subfolders
    // left, named as the selection's files are.
    QStringList m_lasciati;
    // The folder the last run went to, which «Apri cartella» opens.
    QString m_cartellaEsito;
    // Each camera's correction, by model; the empty model is «Tutte le
    // fotocamere», for the files no model's correction names. The controls
    // show that of m_fotocameraMostrata, and hold it while it is shown.
    QHash<QString, CorrezioneFotocamera> m_correzioni;
    QString m_fotocameraMostrata;
    // The reading of the cameras of the latest selection, while it goes on,
    // on a thread of its own that takes only what the processor has spare:
    // a run or a preview never waits on it for a processor.
    QFutureWatcherBase *m_fotocamereInLettura = nullptr;
    QThreadPool m_lettoreFotocamere;
    // Termina, or closing the window, during a run; the run's work reads it.
    std::atomic<bool> m_chiusuraRichiesta = false;
    // The media the folders were on when they were chosen or read at
    // start-up: a card unmounted since leaves its mount point on another one,
    // and another card in the same reader is another volume.
    std::optional<platform::VolumeIdentity> m_supportoSorgente;
    std::optional<platform::VolumeIdentity> m_supportoDestinazione;
    std::optional<platform::VolumeIdentity> m_supportoRiserva;
    // The cards mounted at the latest reading of the mount table, none
    // before the first; the card offered, or waiting for a run to end; and
    // the account it took the place of.
    QFutureWatcherBase *m_schedeInLettura = nullptr;
    std::optional<QList<platform::MountedCard>> m_schedeMontate;
    std::optional<SchedaInserita> m_schedaInserita;
    QString m_esitoSenzaScheda;

    QLabel *Label4 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *SrcPath = nullptr;
    QPushButton *SfogliaS = nullptr;
    QPushButton *Copia = nullptr;
    QLabel *SrcInfo = nullptr;
    QCheckBox *SottoCartelle = nullptr;
    QCheckBox *VerificaCopia = nullptr;
    QLabel *Label6 = nullptr;
    QComboBox *Fotocamere = nullptr;
    QLabel *Label8 = nullptr;
    QComboBox *SchemaCartelle = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *NomeBase = nullptr;
    QLabel *Suffisso = nullptr;
    QPushButton *Sposta = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *DestPath = nullptr;
    QPushButton *SfogliaD = nullptr;
    QLabel *Label7 = nullptr;
    QLineEdit *RiservaPath = nullptr;
    QPushButton *SfogliaR = nullptr;
    QPushButton *NessunaRiserva = nullptr;
    QPushButton *Termina = nullptr;
    QRadioButton *OptionData = nullptr;
    QRadioButton *OptionNome = nullptr;
    QCheckBox *CorrOra = nullptr;
    std::array<QPushButton *, 3> OraPiu {};
    QLineEdit *DiffOra = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *DiffMin = nullptr;
    QLineEdit *Text3 = nullptr;
    QLineEdit *DiffSec = nullptr;
    std::array<QPushButton *, 3> OraMeno {};
    QLabel *Label5 = nullptr;
    QLabel *Esito = nullptr;
    QProgressBar *BarraAvanzamento = nullptr;
    QPushButton *ApriCartella = nullptr;
    QPushButton *UsaScheda = nullptr;
    QPushButton *Anteprima = nullptr;
    QPushButton *AnnullaCorsa = nullptr;
    QPushButton *VerificaScheda = nullptr;
    std::unique_ptr<desktop::CommonDialog> Dialogo;
};
