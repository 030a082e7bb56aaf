#include "support.h"

#include "platform/fileops.h"
#include "platform/media.h"
#include "transfer/esecuzione.h"
#include "transfer/giornale.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

const QDateTime Scatto(QDate(2026, 6, 1), QTime(9, 0, 0));

enum class Modo { Copia, Sposta, SpostaAltrove };
enum class Dopo { Niente, Cambiata, NomeOccupato };

} // namespace

Q_DECLARE_METATYPE(Modo)
Q_DECLARE_METATYPE(Dopo)

class TestGiornale : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void undo_data();
    void undo();
    void undoOfKilledRun_data();
    void undoOfKilledRun();
    void killedMoveIsFinishedAtStart_data();
    void killedMoveIsFinishedAtStart();
    void truncatedJournalIsReadToLastWholeEntry();
    void runsAreUndoneInTurnAndLast50Kept();
    void unwritableJournalNeverStopsRun();

private:
    QString sorgente(const QString &nome) const { return m_sorgente->filePath(nome); }
    QString giornaleUnico() const;

    std::unique_ptr<QTemporaryDir> m_stato;
    std::unique_ptr<QTemporaryDir> m_sorgente;
    std::unique_ptr<QTemporaryDir> m_destinazione;
};

namespace {

void esegui(const PianoTrasferimento &piano)
{
    const std::atomic<bool> ferma = false;
    Avanzamento avanzamento;
    eseguiPiano(
        piano, [](int) {}, ferma, avanzamento);
}

// An entry as eseguiPiano writes it, for a file already at its new place.
VoceGiornale voceDi(int posizione, const QString &origine, const QString &nuovo, bool spostato,
    bool rinomina = false)
{
    VoceGiornale voce;
    voce.posizione = posizione;
    voce.origine = origine;
    voce.nuovoNome = nuovo;
    voce.spostato = spostato;
    voce.dimensione = platform::fileSize(nuovo);
    if (!rinomina)
        voce.hash = platform::hashOfFile(nuovo);
    voce.oraOriginale = voce.oraNuova = Scatto;
    return voce;
}

} // namespace

void TestGiornale::init()
{
    m_stato = std::make_unique<QTemporaryDir>();
    m_sorgente = std::make_unique<QTemporaryDir>();
    m_destinazione = std::make_unique<QTemporaryDir>();
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_stato->path()));
}

QString TestGiornale::giornaleUnico() const
{
    const QDir cartella(m_stato->filePath(QStringLiteral("copia-e-rinomina")));
    const QStringList giornali = cartella.entryList(QDir::Files);
    return giornali.size() == 1 ? cartella.filePath(giornali.first()) : QString();
}

void TestGiornale::undo_data()
{
    QTest::addColumn<Modo>("modo");
    QTest::addColumn<Dopo>("dopo");
    QTest::addColumn<bool>("prova");
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QString>("riga");

    QTest::newRow("copy") << Modo::Copia << Dopo::Niente << false << "a.jpg"
                          << "Eliminata la copia «";
    QTest::newRow("copy, only listed") << Modo::Copia << Dopo::Niente << true << "a.jpg"
                                       << "Sarà eliminata la copia «";
    QTest::newRow("copy, name with tab and backslash")
        << Modo::Copia << Dopo::Niente << false << "a\tb\\c\n.jpg"
        << "Eliminata la copia «";
    QTest::newRow("move within one file system") << Modo::Sposta << Dopo::Niente << false << "a.jpg"
                                                 << "Riportata «";
    QTest::newRow("move, only listed") << Modo::Sposta << Dopo::Niente << true << "a.jpg"
                                       << "Sarà riportata «";
    QTest::newRow("move across file systems")
        << Modo::SpostaAltrove << Dopo::Niente << false << "a.jpg"
        << "Riportata «";
    QTest::newRow("copy changed after the run") << Modo::Copia << Dopo::Cambiata << false << "a.jpg"
                                                << ": è cambiata dopo la copia";
    QTest::newRow("move changed after the run")
        << Modo::Sposta << Dopo::Cambiata << false << "a.jpg"
        << ": è cambiata dopo lo spostamento";
    QTest::newRow("moved across, changed after the run")
        << Modo::SpostaAltrove << Dopo::Cambiata << false << "a.jpg"
        << ": è cambiata dopo lo spostamento";
    QTest::newRow("old name taken since") << Modo::Sposta << Dopo::NomeOccupato << false << "a.jpg"
                                          << "» è già in uso";
    QTest::newRow("old name taken since, across file systems")
        << Modo::SpostaAltrove << Dopo::NomeOccupato << false << "a.jpg"
        << "» è già in uso";
}

// Two files with an hour's correction; the first may be changed after the run.
void TestGiornale::undo()
{
    QFETCH(Modo, modo);
    QFETCH(Dopo, dopo);
    QFETCH(bool, prova);
    QFETCH(QString, nome);
    QFETCH(QString, riga);

    std::unique_ptr<QTemporaryDir> altrove;
    QString destinazione = m_destinazione->path();
    if (modo == Modo::SpostaAltrove) {
        altrove = test::folderOnOtherFileSystem();
        if (!altrove)
            QSKIP("no other file system at /dev/shm");
        destinazione = altrove->path();
    }
    PianoTrasferimento piano;
    piano.origini = QStringList { test::writeFile(m_sorgente->path(), nome, "uno", Scatto),
        test::writeFile(m_sorgente->path(), QStringLiteral("b.jpg"), "due", Scatto) };
    piano.nuoviNomi = QStringList { destinazione + QStringLiteral("/Img_001.jpg"),
        destinazione + QStringLiteral("/Img_002.jpg") };
    piano.spostare = modo != Modo::Copia;
    piano.rinomina = modo == Modo::Sposta;
    piano.correzioneOre = 1;
    esegui(piano);
    QCOMPARE(test::entriesOf(destinazione), (QStringList { "Img_001.jpg", "Img_002.jpg" }));

    if (dopo == Dopo::Cambiata)
        test::writeFile(destinazione, QStringLiteral("Img_001.jpg"), "UNO");
    if (dopo == Dopo::NomeOccupato)
        test::writeFile(m_sorgente->path(), nome, "altro");
    const QStringList primaSorgente = test::entriesOf(m_sorgente->path());

    const EsitoAnnulla esito = annullaUltimaCorsa(prova);
    QVERIFY2(
        esito.righe.join(QLatin1Char('\n')).contains(riga), qPrintable(esito.righe.join('\n')));
    QCOMPARE(esito.righe.size(), 2);
    QCOMPARE(esito.tuttoAnnullato, dopo == Dopo::Niente);
    if (prova) {
        QCOMPARE(test::entriesOf(destinazione).size(), 2);
        QCOMPARE(test::entriesOf(m_sorgente->path()), primaSorgente);
        return;
    }
    const QStringList rimasti =
        dopo == Dopo::Niente ? QStringList() : QStringList { "Img_001.jpg" };
    QCOMPARE(test::entriesOf(destinazione), rimasti);
    QCOMPARE(test::contentOf(piano.origini.at(1)), QByteArray("due"));
    if (piano.spostare) {
        QCOMPARE(test::statOf(piano.origini.at(1)).st_mtim.tv_sec, Scatto.toSecsSinceEpoch());
        QCOMPARE(test::contentOf(piano.origini.at(0)),
            dopo == Dopo::NomeOccupato   ? QByteArray("altro")
                : dopo == Dopo::Cambiata ? QByteArray()
                                         : QByteArray("uno"));
    }
    // The run is marked undone: nothing is left to take back.
    QCOMPARE(annullaUltimaCorsa(false).righe, QStringList { "Nessuna corsa da annullare" });
}

void TestGiornale::undoOfKilledRun_data()
{
    QTest::addColumn<bool>("rinomina");
    QTest::newRow("move by copy") << false;
    QTest::newRow("move by rename") << true;
}

// The state a kill leaves: the first file moved, the second published with
// its original still there, the third not yet published.
void TestGiornale::undoOfKilledRun()
{
    QFETCH(bool, rinomina);
    const QString a = test::writeFile(m_sorgente->path(), "a.jpg", "uno", Scatto);
    const QString b = test::writeFile(m_sorgente->path(), "b.jpg", "due", Scatto);
    const QString c = test::writeFile(m_sorgente->path(), "c.jpg", "tre", Scatto);
    const QString nuovoA = m_destinazione->filePath("Img_001.jpg");
    const QString nuovoB = m_destinazione->filePath("Img_002.jpg");
    {
        Giornale giornale;
        platform::moveFile(a, nuovoA);
        giornale.registra(voceDi(0, a, nuovoA, true, rinomina));
        giornale.concludi(0, nuovoA);
        platform::copyFile(b, nuovoB);
        giornale.registra(voceDi(1, b, nuovoB, true, rinomina));
        VoceGiornale terza = voceDi(2, c, c, true, rinomina);
        terza.nuovoNome = m_destinazione->filePath("Img_003.jpg");
        giornale.registra(terza);
    }

    const EsitoAnnulla esito = annullaUltimaCorsa(false);
    QVERIFY2(esito.tuttoAnnullato, qPrintable(esito.righe.join('\n')));
    QCOMPARE(esito.righe.size(), 2);
    QVERIFY(esito.righe.at(0).startsWith("Eliminata la copia «"));
    QVERIFY(esito.righe.at(1).startsWith("Riportata «"));
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList());
    QCOMPARE(test::contentOf(a) + test::contentOf(b) + test::contentOf(c), "unoduetre");
}

void TestGiornale::killedMoveIsFinishedAtStart_data()
{
    QTest::addColumn<QString>("cambia");
    QTest::addColumn<bool>("finito");
    QTest::newRow("new file in place") << "" << true;
    QTest::newRow("new file changed") << "nuovo" << false;
    QTest::newRow("original changed") << "originale" << false;
    QTest::newRow("new file missing") << "manca" << false;
}

// A kill between publishing a moved photo and deleting its original.
void TestGiornale::killedMoveIsFinishedAtStart()
{
    QFETCH(QString, cambia);
    QFETCH(bool, finito);
    const QString origine = test::writeFile(m_sorgente->path(), "a.jpg", "uno", Scatto);
    const QString nuovo = m_destinazione->filePath("Img_001.jpg");
    platform::copyFile(origine, nuovo);
    Giornale().registra(voceDi(0, origine, nuovo, true));
    if (cambia == "nuovo")
        test::writeFile(m_destinazione->path(), "Img_001.jpg", "UNO", Scatto);
    if (cambia == "originale")
        test::writeFile(m_sorgente->path(), "a.jpg", "UNO", Scatto);
    if (cambia == "manca")
        QVERIFY(QFile::remove(nuovo));

    const QStringList righe = completaCorseInterrotte();
    QCOMPARE(righe.size(), finito ? 1 : 0);
    QCOMPARE(QFile::exists(origine), !finito);
    QCOMPARE(QFile::exists(nuovo), cambia != "manca");
    // Finished, it is marked done; left, it waits for the next undo.
    QCOMPARE(completaCorseInterrotte(), QStringList());
    if (cambia == "nuovo")
        QVERIFY(
            annullaUltimaCorsa(true).righe.first().endsWith(": è cambiata dopo lo spostamento"));
}

void TestGiornale::truncatedJournalIsReadToLastWholeEntry()
{
    const QString a = test::writeFile(m_sorgente->path(), "a.jpg", "uno");
    const QString b = test::writeFile(m_sorgente->path(), "b.jpg", "due");
    const QString nuovoA = m_destinazione->filePath("Img_001.jpg");
    const QString nuovoB = m_destinazione->filePath("Img_002.jpg");
    platform::copyFile(a, nuovoA);
    platform::copyFile(b, nuovoB);
    {
        Giornale giornale;
        giornale.registra(voceDi(0, a, nuovoA, false));
        giornale.registra(voceDi(1, b, nuovoB, false));
    }
    // A kill before the last entry's end reached the file: the entry may be
    // cut anywhere, so even one that lacks only its newline is not trusted.
    QFile giornale(giornaleUnico());
    QVERIFY(giornale.resize(giornale.size() - 1));

    const EsitoAnnulla esito = annullaUltimaCorsa(false);
    QCOMPARE(esito.righe, QStringList { "Eliminata la copia «" + nuovoA + "»" });
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList { "Img_002.jpg" });
    // The undone mark starts on a line of its own, after the cut one.
    QCOMPARE(annullaUltimaCorsa(false).righe, QStringList { "Nessuna corsa da annullare" });
}

void TestGiornale::runsAreUndoneInTurnAndLast50Kept()
{
    for (const char *nome : { "a.jpg", "b.jpg" }) {
        PianoTrasferimento piano;
        piano.origini = QStringList { test::writeFile(m_sorgente->path(), nome, nome) };
        piano.nuoviNomi = QStringList { m_destinazione->filePath(nome) };
        esegui(piano);
    }
    QCOMPARE(annullaUltimaCorsa(false).righe.size(), 1);
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList { "a.jpg" });
    QCOMPARE(annullaUltimaCorsa(false).righe.size(), 1);
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList());

    // Started within one millisecond, runs still get journals of their own.
    for (int corsa = 0; corsa < 55; ++corsa)
        Giornale().registra(voceDi(0, "/a", "/b", false));
    QCOMPARE(test::entriesOf(m_stato->filePath("copia-e-rinomina")).size(), 50);
}

void TestGiornale::unwritableJournalNeverStopsRun()
{
    qputenv("XDG_STATE_HOME", QFile::encodeName(test::writeFile(m_stato->path(), "file")));
    PianoTrasferimento piano;
    piano.origini = QStringList { test::writeFile(m_sorgente->path(), "a.jpg") };
    piano.nuoviNomi = QStringList { m_destinazione->filePath("Img_001.jpg") };
    esegui(piano);
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList { "Img_001.jpg" });
    QCOMPARE(annullaUltimaCorsa(false).righe, QStringList { "Nessuna corsa da annullare" });
}

COPIA_TEST_MAIN(TestGiornale)
#include "tst_giornale.moc"
