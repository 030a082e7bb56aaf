#include "support.h"

#include "engine/annullamento.h"
#include "engine/completamento.h"
#include "engine/controllo.h"
#include "engine/doppioni.h"
#include "engine/esecuzione.h"
#include "engine/formatogiornale.h"
#include "engine/giornale.h"
#include "engine/piano.h"
#include "platform/copying.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"
#include "platform/media.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimeZone>

#include <exiv2/exiv2.hpp>

using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime Scatto(QDate(2026, 6, 1), QTime(9, 0, 0));

enum class Modo { Copia, Sposta, SpostaAltrove };
enum class Dopo {
    Niente,
    Cambiata,
    Rinumerata,
    // The disk plugged in again under another device number.
    Rimontata,
    // The journal as earlier versions wrote it: times in whole seconds.
    GiornaleVecchio,
    NomeOccupato,
    OriginaleSparito,
    OriginaleLink
};
enum class Uccisa {
    DuranteSpostamento,
    DuranteRinomina,
    PrimaDellaConferma,
    // Between publishing a photo's copy and recording its backup copy.
    PrimaDellaRiserva,
    DuranteAnnulla,
    DuranteAnnullaPerCopia,
    // As it copied a photo back, having reserved its name; the start or the
    // next undo frees the name.
    RitornoPrimaDellAvvio,
    RitornoPrimaDellAnnulla
};

} // namespace

Q_DECLARE_METATYPE(Modo)
Q_DECLARE_METATYPE(Dopo)
Q_DECLARE_METATYPE(Uccisa)

class TestGiornale : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void undo_data();
    void undo();
    void killedRun_data();
    void killedRun();
    void killedMoveIsFinishedAtStart_data();
    void killedMoveIsFinishedAtStart();
    void failedMoveThenCopy_data();
    void failedMoveThenCopy();
    void runsAreUndoneInTheOrderTheyRan();
    void unwritableJournalNeverStopsRun_data();
    void unwritableJournalNeverStopsRun();
    void readOnlyJournalIsSaid();
    void correctedCaptureDates_data();
    void correctedCaptureDates();
    void importOnce_data();
    void importOnce();
    void foldersByDate_data();
    void foldersByDate();
    void foldersByDateUndone_data();
    void foldersByDateUndone();

private:
    QString sorgente(const QString &nome) const { return m_sorgente->filePath(nome); }
    QString destinazione(const QString &nome) const { return m_destinazione->filePath(nome); }
    QStringList giornali() const;
    // Leaves the last journal as a kill would: without its closing mark.
    void uccidi();

    std::unique_ptr<QTemporaryDir> m_stato;
    std::unique_ptr<QTemporaryDir> m_sorgente;
    std::unique_ptr<QTemporaryDir> m_destinazione;
    std::unique_ptr<QTemporaryDir> m_riserva;
};

namespace {

// Runs the plan as a front end does, stopped once file ultimo is done;
// returns what the run says of its journal.
QString esegui(const PianoTrasferimento &piano, int ultimo = -1)
{
    std::atomic<bool> ferma = false;
    Avanzamento avanzamento;
    eseguiPiano(
        piano, [&](int posizione) { ferma = ferma || posizione == ultimo; }, ferma, avanzamento);
    return avanzamento.avvisoGiornale;
}

PianoTrasferimento piano(
    const QStringList &origini, const QStringList &nuovi, Modo modo, qint64 correzione = 0)
{
    PianoTrasferimento piano;
    for (qsizetype i = 0; i < origini.size(); ++i) {
        FileDelPiano file;
        file.origine = origini.at(i);
        file.nuovoNome = nuovi.at(i);
        file.correzione = correzione;
        piano.file.append(file);
    }
    piano.destinazione = platform::folderPart(nuovi.value(0));
    piano.spostare = modo != Modo::Copia;
    piano.rinomina = modo == Modo::Sposta;
    return piano;
}

// The intent that a run writes before the file is published.
VoceGiornale intento(int posizione, const QString &origine, const QString &nuovo, Modo modo)
{
    VoceGiornale voce;
    voce.posizione = posizione;
    voce.origine = origine;
    voce.nuovoNome = nuovo;
    voce.spostato = modo != Modo::Copia;
    voce.dimensione = platform::fileFacts(origine)->size;
    if (modo != Modo::Sposta)
        voce.hash = platform::hashOfFile(origine);
    qint64 ora = 0;
    voce.sorgente = platform::fileStamp(origine, &ora);
    voce.oraOriginale = voce.oraNuova = ora;
    return voce;
}

// A trial's line, as the undo then says it.
QString comeFatto(QString riga)
{
    for (const auto &[prima, dopo] :
        { std::pair { "Sarà eliminato l'originale", "Eliminato l'originale" },
            { "Sarà eliminata la copia", "Eliminata la copia" }, { "Sarà riportata", "Riportata" },
            { "Sarà corretta la data di", "Corretta la data di" },
            { "Sarà annullata la corsa", "Annullo la corsa" } })
        riga.replace(QString::fromUtf8(prima), QString::fromUtf8(dopo));
    return riga;
}

// Each line up to its first name or number, to compare with what a table expects.
// The dates with a time that exiftool reads in a file, each with its group
// and name; none without exiftool.
QList<QByteArray> dateLette(const QString &file)
{
    QProcess exiftool;
    exiftool.start(QStringLiteral("exiftool"), { "-time:all", "--System:all", "-G1", "-s", file });
    exiftool.waitForFinished();
    QList<QByteArray> date = exiftool.readAllStandardOutput().split('\n');
    date.removeIf([](const QByteArray &riga) {
        return !QRegularExpression(u"\\d \\d\\d:\\d\\d"_s)
                    .match(QString::fromLatin1(riga))
                    .hasMatch();
    });
    return date;
}

QStringList inizi(const QStringList &righe)
{
    static const QRegularExpression variabile(QStringLiteral("[«0-9].*"));
    QStringList inizi;
    for (QString riga : righe)
        inizi.append(riga.remove(variabile));
    return inizi;
}

} // namespace

void TestGiornale::init()
{
    m_stato = std::make_unique<QTemporaryDir>();
    m_sorgente = std::make_unique<QTemporaryDir>();
    m_destinazione = std::make_unique<QTemporaryDir>();
    m_riserva = std::make_unique<QTemporaryDir>();
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_stato->path()));
}

QStringList TestGiornale::giornali() const
{
    const QDir cartella(m_stato->filePath(QStringLiteral("copia-e-rinomina")));
    QStringList nomi = cartella.entryList({ QStringLiteral("*.giornale") }, QDir::Files);
    std::sort(nomi.begin(), nomi.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    for (QString &nome : nomi)
        nome = cartella.filePath(nome);
    return nomi;
}

void TestGiornale::uccidi()
{
    QFile giornale(giornali().constLast());
    QVERIFY(giornale.resize(giornale.size() - 2));
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
    QTest::newRow("copy numbered anew, as after a remount, its bytes the same")
        << Modo::Copia << Dopo::Rinumerata << false << "a.jpg"
        << "Eliminata la copia «";
    QTest::newRow("move within one disk, plugged in again")
        << Modo::Sposta << Dopo::Rimontata << false << "a.jpg"
        << "Riportata «";
    QTest::newRow("move, its journal of an earlier version")
        << Modo::SpostaAltrove << Dopo::GiornaleVecchio << false << "a.jpg"
        << "Riportata «";
    QTest::newRow("copy changed after the run") << Modo::Copia << Dopo::Cambiata << false << "a.jpg"
                                                << ": è cambiata dopo la copia";
    QTest::newRow("move changed after the run")
        << Modo::Sposta << Dopo::Cambiata << false << "a.jpg"
        << ": è cambiata dopo lo spostamento";
    QTest::newRow("moved across, changed after the run")
        << Modo::SpostaAltrove << Dopo::Cambiata << false << "a.jpg"
        << ": è cambiata dopo lo spostamento";
    QTest::newRow("old name taken, then freed")
        << Modo::Sposta << Dopo::NomeOccupato << false << "a.jpg"
        << "» è già in uso";
    QTest::newRow("old name taken, then freed, across file systems")
        << Modo::SpostaAltrove << Dopo::NomeOccupato << false << "a.jpg"
        << "» è già in uso";
    QTest::newRow("copy whose original is gone: the card was formatted")
        << Modo::Copia << Dopo::OriginaleSparito << false << "a.jpg"
        << ": l'originale non c'è più: la copia resta";
    // As a duplicate finder leaves it: the copy is then the only photo.
    QTest::newRow("copy whose original became a link to it")
        << Modo::Copia << Dopo::OriginaleLink << false << "a.jpg"
        << "» è cambiato: la copia resta";
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
    QString cartella = m_destinazione->path();
    QString origini = m_sorgente->path();
    if (modo == Modo::SpostaAltrove) {
        altrove = test::folderOnOtherFileSystem();
        if (!altrove)
            QSKIP("no other file system at /dev/shm");
        cartella = altrove->path();
    }
    std::optional<test::Medium> disco;
    if (dopo == Dopo::Rimontata) {
        disco.emplace(u"ext4"_s);
        if (!disco->isMounted())
            QSKIP(qPrintable(disco->whyNot()));
        origini = disco->filePath(u"scheda"_s);
        cartella = disco->filePath(u"foto"_s);
        QVERIFY(QDir().mkpath(origini) && QDir().mkpath(cartella));
    }
    PianoTrasferimento corsa = piano(
        { test::writeFile(origini, nome, "uno", Scatto),
            test::writeFile(origini, QStringLiteral("b.jpg"), "due", Scatto) },
        { cartella + QStringLiteral("/Img_001.jpg"), cartella + QStringLiteral("/Img_002.jpg") },
        modo, 3600);
    // A time without EXIF orders photos to the nanosecond.
    const qint64 ora = Scatto.toSecsSinceEpoch() * platform::NanosecondsPerSecond + 123'456'789;
    platform::setFileTime(corsa.file.at(1).origine, ora);
    QCOMPARE(esegui(corsa), QString());
    QCOMPARE(test::entriesOf(cartella), (QStringList { "Img_001.jpg", "Img_002.jpg" }));

    if (dopo == Dopo::Cambiata)
        test::writeFile(cartella, QStringLiteral("Img_001.jpg"), "UNO");
    if (dopo == Dopo::Rinumerata) {
        const QString copia = corsa.file.at(0).nuovoNome;
        QVERIFY(QFile::copy(copia, copia + u".altra"_s));
        QVERIFY(QFile::remove(copia));
        QVERIFY(QFile::rename(copia + u".altra"_s, copia));
    }
    if (dopo == Dopo::Rimontata)
        QVERIFY2(disco->remountElsewhere(), qPrintable(disco->whyNot()));
    if (dopo == Dopo::GiornaleVecchio) {
        QFile giornale(giornali().constLast());
        QVERIFY(giornale.open(QIODevice::ReadWrite));
        QString testo = QString::fromUtf8(giornale.readAll());
        testo.remove(QRegularExpression(u"\\.\\d{9}|\nV\t[^\n]*"_s));
        QVERIFY(giornale.resize(0) && giornale.write(testo.toUtf8()) > 0);
    }
    if (dopo == Dopo::NomeOccupato)
        test::writeFile(origini, nome, "altro");
    if (dopo == Dopo::OriginaleSparito || dopo == Dopo::OriginaleLink)
        QVERIFY(QFile::remove(corsa.file.at(0).origine));
    if (dopo == Dopo::OriginaleLink)
        QVERIFY(QFile::link(corsa.file.at(0).nuovoNome, corsa.file.at(0).origine));
    const QStringList primaSorgente = test::entriesOf(origini);

    const EsitoAnnulla esito = annullaUltimaCorsa(prova);
    const bool tutto = dopo == Dopo::Niente || dopo == Dopo::Rinumerata || dopo == Dopo::Rimontata
        || dopo == Dopo::GiornaleVecchio;
    QCOMPARE(esito.righe.size(), 3);
    QVERIFY(esito.righe.first().startsWith(prova ? "Sarà annullata la corsa del "
                                                 : "Annullo la "
                                                   "corsa del "));
    QVERIFY(esito.righe.first().contains(
        modo == Modo::Copia ? ": copia di 2 file da «" : ": spostamento di 2 file da «"));
    QVERIFY2(esito.righe.at(2).contains(riga), qPrintable(esito.righe.join('\n')));
    QCOMPARE(esito.tuttoAnnullato, tutto);
    if (prova) {
        QCOMPARE(test::entriesOf(cartella).size(), 2);
        QCOMPARE(test::entriesOf(origini), primaSorgente);
        return;
    }
    const QStringList rimasti = tutto ? QStringList() : QStringList { "Img_001.jpg" };
    QCOMPARE(test::entriesOf(cartella), rimasti);
    QCOMPARE(test::contentOf(corsa.file.at(1).origine), QByteArray("due"));
    if (corsa.spostare)
        QCOMPARE(platform::fileFacts(corsa.file.at(1).origine)->modified,
            dopo == Dopo::GiornaleVecchio ? ora - ora % platform::NanosecondsPerSecond : ora);

    // A run counts as undone only when all of it is: the next undo comes
    // back to it, and knows what is back already.
    if (dopo == Dopo::NomeOccupato) {
        QVERIFY(QFile::remove(corsa.file.at(0).origine));
        const EsitoAnnulla ripresa = annullaUltimaCorsa(false);
        QVERIFY(ripresa.tuttoAnnullato);
        QCOMPARE(inizi(ripresa.righe.mid(1)), QStringList { "Riportata " });
        QCOMPARE(test::contentOf(corsa.file.at(0).origine), QByteArray("uno"));
        QCOMPARE(test::entriesOf(cartella), QStringList());
    } else if (!tutto) {
        QCOMPARE(annullaUltimaCorsa(false).righe.mid(1), esito.righe.mid(2));
        QCOMPARE(test::entriesOf(cartella), rimasti);
        // Kept as it is, the run is closed, and no undo comes back to it.
        const EsitoAnnulla tenuto = annullaUltimaCorsa(false, true);
        QVERIFY(tenuto.tuttoAnnullato);
        QVERIFY(tenuto.righe.last().startsWith(u"Chiusa la corsa con i file lasciati"_s));
        QCOMPARE(test::entriesOf(cartella), rimasti);
        QCOMPARE(annullaUltimaCorsa(false).righe, QStringList { u"Nessuna corsa da annullare"_s });
        return;
    }
    QCOMPARE(annullaUltimaCorsa(false).righe, QStringList { "Nessuna corsa da annullare" });
}

void TestGiornale::killedRun_data()
{
    QTest::addColumn<Uccisa>("uccisa");
    QTest::addColumn<QStringList>("righe");
    QTest::addColumn<bool>("tutto");
    QTest::addColumn<QStringList>("restano");
    QTest::addColumn<QStringList>("inRiserva");
    // The files the undo's first line says the move placed.
    QTest::addColumn<int>("spostati");

    QTest::newRow("a move by copy, between publishing a photo and deleting its original")
        << Uccisa::DuranteSpostamento
        << QStringList { "Eliminato l'originale ", "Annullo la corsa del ", "Riportata ",
               "Riportata " }
        << true << QStringList() << QStringList() << 2;
    QTest::newRow("a move by rename, between a rename and its time")
        << Uccisa::DuranteRinomina
        << QStringList { "Corretta la data di ", "Annullo la corsa del ", "Riportata ",
               "Riportata " }
        << true << QStringList() << QStringList() << 2;
    QTest::newRow("a move by copy, between publishing a photo and confirming it")
        << Uccisa::PrimaDellaConferma
        << QStringList { "Restano sia ", "Annullo la corsa del ", "Lasciata ", "Riportata " }
        << false << QStringList { "Img_002.jpg" } << QStringList() << 1;
    // The original waits for both copies: the start leaves it, and the undo
    // takes back the copy it recorded, and leaves the backup copy it did not.
    QTest::newRow("a move by copy with a backup, between publishing a photo and its backup copy")
        << Uccisa::PrimaDellaRiserva
        << QStringList { "Annullo la corsa del ", "Eliminata la copia ", "Lasciata ", "Riportata ",
               "Eliminata la copia " }
        << false << QStringList() << QStringList { "Img_002.jpg" } << 2;
    QTest::newRow("an undo, between putting a photo back and recording it")
        << Uccisa::DuranteAnnulla << QStringList { "Annullo la corsa del ", "Riportata " } << true
        << QStringList() << QStringList() << 2;
    QTest::newRow("an undo, between copying a photo back and deleting its copy")
        << Uccisa::DuranteAnnullaPerCopia
        << QStringList { "Annullo la corsa del ", "Eliminata la copia ", "Riportata " } << true
        << QStringList() << QStringList() << 2;
    QTest::newRow("an undo, copying a photo back, its name reserved; then a start")
        << Uccisa::RitornoPrimaDellAvvio
        << QStringList { "Annullo la corsa del ", "Riportata ", "Riportata " } << true
        << QStringList() << QStringList() << 2;
    QTest::newRow("an undo, copying a photo back, its name reserved")
        << Uccisa::RitornoPrimaDellAnnulla
        << QStringList { "Annullo la corsa del ", "Riportata ", "Riportata " } << true
        << QStringList() << QStringList() << 2;
}

// Three photos a kill caught in a move, or in its undo; the undo's trial
// says line for line what the undo then does.
void TestGiornale::killedRun()
{
    QFETCH(Uccisa, uccisa);
    QFETCH(QStringList, righe);
    QFETCH(bool, tutto);
    QFETCH(QStringList, restano);
    QFETCH(QStringList, inRiserva);
    QFETCH(int, spostati);
    QStringList origini;
    QStringList nuovi;
    for (const char *nome : { "a", "b", "c" }) {
        origini.append(test::writeFile(m_sorgente->path(), nome + QStringLiteral(".jpg"),
            QByteArray(nome).repeated(3), Scatto));
        nuovi.append(destinazione(QStringLiteral("Img_00%1.jpg").arg(nuovi.size() + 1)));
    }
    if (uccisa == Uccisa::DuranteAnnulla || uccisa == Uccisa::DuranteAnnullaPerCopia) {
        const bool perCopia = uccisa == Uccisa::DuranteAnnullaPerCopia;
        PianoTrasferimento corsa = piano(origini.mid(0, 2), nuovi.mid(0, 2),
            perCopia ? Modo::SpostaAltrove : Modo::Sposta, 3600);
        esegui(corsa);
        // Back with the corrected time, before the undo could put the old one.
        if (perCopia)
            test::copyFile(nuovi.at(1), origini.at(1));
        else
            QVERIFY(QFile::rename(nuovi.at(1), origini.at(1)));
    } else if (uccisa == Uccisa::RitornoPrimaDellAvvio
        || uccisa == Uccisa::RitornoPrimaDellAnnulla) {
        PianoTrasferimento corsa = piano(origini.mid(0, 2), nuovi.mid(0, 2), Modo::SpostaAltrove);
        esegui(corsa);
        test::writeFile(m_sorgente->path(), u".copia-e-rinomina-k1.b.jpg"_s, "bbb");
        test::writeFile(m_sorgente->path(), u"b.jpg"_s, "");
        if (uccisa == Uccisa::RitornoPrimaDellAvvio) {
            QFile giornale(giornali().constLast());
            QVERIFY(giornale.open(QIODevice::Append));
            QCOMPARE(giornale.write("B\n"), 2);
            giornale.close();
            QVERIFY(completaCorseInterrotte().righe.isEmpty());
            QCOMPARE(test::entriesOf(m_sorgente->path()), QStringList { "c.jpg" });
        }
    } else if (uccisa == Uccisa::DuranteRinomina) {
        Giornale giornale(3);
        QList<VoceGiornale> voci;
        for (int i = 0; i < 3; ++i) {
            voci.append(intento(i, origini.at(i), nuovi.at(i), Modo::Sposta));
            voci.last().oraNuova =
                *voci.last().oraOriginale + 3600 * platform::NanosecondsPerSecond;
        }
        giornale.registra(voci);
        platform::moveFile(origini.at(0), nuovi.at(0));
        giornale.pubblicato(0, nuovi.at(0));
        platform::setFileTime(nuovi.at(0), Scatto.addSecs(3600));
        giornale.completato(0, nuovi.at(0));
        platform::moveFile(origini.at(1), nuovi.at(1));
    } else if (uccisa == Uccisa::PrimaDellaRiserva) {
        Giornale giornale(3);
        for (int i = 0; i < 2; ++i) {
            VoceGiornale copia = intento(i, origini.at(i), nuovi.at(i), Modo::SpostaAltrove);
            VoceGiornale riserva = intento(i, origini.at(i), nuovi.at(i), Modo::Copia);
            riserva.riserva = true;
            riserva.nuovoNome = m_riserva->filePath(platform::namePart(nuovi.at(i)));
            giornale.registra({ copia, riserva });
            test::copyFile(origini.at(i), copia.nuovoNome);
            giornale.pubblicato(i, copia.nuovoNome);
            test::copyFile(origini.at(i), riserva.nuovoNome);
            if (i == 0) {
                giornale.pubblicato(i, riserva.nuovoNome, true);
                QVERIFY(QFile::remove(origini.at(i)));
                giornale.originaleEliminato(i);
            }
        }
    } else {
        Giornale giornale(3);
        giornale.registra({ intento(0, origini.at(0), nuovi.at(0), Modo::SpostaAltrove) });
        platform::moveByCopying(origini.at(0), nuovi.at(0));
        giornale.pubblicato(0, nuovi.at(0));
        giornale.originaleEliminato(0);
        giornale.registra({ intento(1, origini.at(1), nuovi.at(1), Modo::SpostaAltrove) });
        test::copyFile(origini.at(1), nuovi.at(1));
        if (uccisa == Uccisa::DuranteSpostamento)
            giornale.pubblicato(1, nuovi.at(1));
        giornale.registra({ intento(2, origini.at(2), nuovi.at(2), Modo::SpostaAltrove) });
    }
    if (uccisa < Uccisa::DuranteAnnulla)
        uccidi();
    if (uccisa >= Uccisa::DuranteAnnulla) {
        // The undo the kill caught had begun, as its journal says: a new
        // run to its names is refused until it is finished.
        QFile giornale(giornali().constLast());
        QVERIFY(giornale.open(QIODevice::ReadWrite));
        if (!giornale.readAll().endsWith("B\n"))
            QCOMPARE(giornale.write("B\n"), 2);
        giornale.close();
        QCOMPARE(controllaPiano(piano({ origini.at(2) }, { nuovi.at(0) }, Modo::Copia)),
            u"Nella destinazione esiste già «Img_001.jpg», lasciato da un annullamento rimasto a "
            "metà (finiscilo con «Annulla ultima corsa» o con «copia-e-rinomina annulla»): "
            "nessun file è stato copiato."_s);
    }

    const EsitoAnnulla prova = annullaUltimaCorsa(true);
    const EsitoAnnulla esito = annullaUltimaCorsa(false);
    QStringList previste;
    for (const QString &riga : prova.righe)
        previste.append(comeFatto(riga));
    QCOMPARE(esito.righe, previste);
    QCOMPARE(inizi(esito.righe), righe);
    const QString annullo = esito.righe.filter(u"Annullo la corsa"_s).value(0);
    QVERIFY2(
        annullo.contains(u": spostamento di %1 file da «"_s.arg(spostati)), qPrintable(annullo));
    QCOMPARE(esito.tuttoAnnullato, tutto);
    QCOMPARE(test::entriesOf(m_destinazione->path()), restano);
    QCOMPARE(test::entriesOf(m_riserva->path()), inRiserva);
    QCOMPARE(test::entriesOf(m_sorgente->path()), (QStringList { "a.jpg", "b.jpg", "c.jpg" }));
    for (const QString &origine : std::as_const(origini)) {
        QCOMPARE(test::contentOf(origine).size(), 3);
        QCOMPARE(test::statOf(origine).st_mtim.tv_sec, Scatto.toSecsSinceEpoch());
    }
}

void TestGiornale::killedMoveIsFinishedAtStart_data()
{
    QTest::addColumn<QString>("cambia");
    QTest::addColumn<bool>("finito");
    QTest::newRow("new file in place") << "" << true;
    QTest::newRow("new file changed") << "nuovo" << false;
    QTest::newRow("original changed") << "originale" << false;
    QTest::newRow("new file missing") << "manca" << false;
    QTest::newRow("card out of its reader, then back") << "scheda fuori" << false;
}

// A kill between publishing a moved photo and deleting its original.
void TestGiornale::killedMoveIsFinishedAtStart()
{
    QFETCH(QString, cambia);
    QFETCH(bool, finito);
    const QString origine = test::writeFile(m_sorgente->path(), "a.jpg", "uno", Scatto);
    const QString nuovo = destinazione("Img_001.jpg");
    {
        Giornale giornale(1);
        giornale.registra({ intento(0, origine, nuovo, Modo::SpostaAltrove) });
        test::copyFile(origine, nuovo);
        giornale.pubblicato(0, nuovo);
    }
    uccidi();
    if (cambia == "nuovo")
        test::writeFile(m_destinazione->path(), "Img_001.jpg", "UNO", Scatto);
    if (cambia == "originale")
        test::writeFile(m_sorgente->path(), "a.jpg", "UNO", Scatto);
    if (cambia == "manca")
        QVERIFY(QFile::remove(nuovo));

    const QString fuori = m_sorgente->path() + "-fuori";
    if (cambia == "scheda fuori")
        QVERIFY(QDir().rename(m_sorgente->path(), fuori));

    const QStringList righe = completaCorseInterrotte().righe;
    QCOMPARE(righe.size(), finito ? 1 : 0);
    if (cambia == "scheda fuori") {
        QVERIFY(QDir().rename(fuori, m_sorgente->path()));
        QCOMPARE(completaCorseInterrotte().righe.size(), 1);
        QVERIFY(!QFile::exists(origine));
        return;
    }
    QCOMPARE(QFile::exists(origine), !finito);
    QCOMPARE(QFile::exists(nuovo), cambia != "manca");
    // Finished, it is recorded; left, it waits for the next undo, and a
    // photo left in two places is said once.
    QCOMPARE(completaCorseInterrotte().righe, QStringList());
    if (cambia == "nuovo")
        QVERIFY(annullaUltimaCorsa(true).righe.at(1).endsWith(": è cambiata dopo lo spostamento"));
}

void TestGiornale::failedMoveThenCopy_data()
{
    QTest::addColumn<Modo>("modo");
    QTest::addColumn<bool>("uccisa");

    QTest::newRow("renames, stopped") << Modo::Sposta << false;
    QTest::newRow("renames, killed") << Modo::Sposta << true;
    QTest::newRow("by copy, killed") << Modo::SpostaAltrove << true;
}

// A move stops after two photos of five; the other three are copied into
// the same folder under the names the move had meant for them. No start and
// no undo may take the copy's files for the move's.
void TestGiornale::failedMoveThenCopy()
{
    QFETCH(Modo, modo);
    QFETCH(bool, uccisa);
    QStringList origini;
    QStringList nuovi;
    for (const char *nome : { "a", "b", "c", "d", "e" }) {
        origini.append(test::writeFile(
            m_sorgente->path(), nome + QStringLiteral(".jpg"), QByteArray(nome), Scatto));
        nuovi.append(destinazione(QStringLiteral("Img_00%1.jpg").arg(nuovi.size() + 1)));
    }
    esegui(piano(origini, nuovi, modo), 1);
    if (uccisa)
        uccidi();
    QCOMPARE(test::entriesOf(m_sorgente->path()), (QStringList { "c.jpg", "d.jpg", "e.jpg" }));
    esegui(piano(origini.mid(2), nuovi.mid(2), Modo::Copia));

    QCOMPARE(completaCorseInterrotte().righe, QStringList());
    QCOMPARE(test::entriesOf(m_sorgente->path()), (QStringList { "c.jpg", "d.jpg", "e.jpg" }));
    const EsitoAnnulla copia = annullaUltimaCorsa(false);
    QVERIFY(copia.tuttoAnnullato);
    QCOMPARE(inizi(copia.righe),
        (QStringList { "Annullo la corsa del ", "Eliminata la copia ", "Eliminata la copia ",
            "Eliminata la copia " }));
    const EsitoAnnulla spostamento = annullaUltimaCorsa(false);
    QCOMPARE(inizi(spostamento.righe.mid(0, 3)),
        (QStringList { "Annullo la corsa del ", "Riportata ", "Riportata " }));
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList());
    for (const QString &origine : std::as_const(origini))
        QCOMPARE(test::contentOf(origine), platform::namePart(origine).left(1).toLatin1());
}

void TestGiornale::runsAreUndoneInTheOrderTheyRan()
{
    for (const char *nome : { "a.jpg", "b.jpg" }) {
        esegui(piano({ test::writeFile(m_sorgente->path(), nome, nome) }, { destinazione(nome) },
            Modo::Copia));
    }
    // The second run started under a clock set back by a day.
    QFile secondo(giornali().constLast());
    QVERIFY(secondo.open(QIODevice::ReadWrite));
    QList<QByteArray> righe = secondo.readAll().split('\n');
    QList<QByteArray> intestazione = righe.first().split('\t');
    intestazione[1] = QByteArray::number(QDateTime::currentMSecsSinceEpoch() - 86'400'000);
    righe.first() = intestazione.join('\t');
    const QByteArray testo = righe.join('\n');
    QVERIFY(secondo.resize(0) && secondo.write(testo) == testo.size());
    secondo.close();

    {
        // A run still going is never passed over for the one before it.
        Giornale inCorso(1);
        const EsitoAnnulla rifiutato = annullaUltimaCorsa(false);
        QVERIFY(!rifiutato.tuttoAnnullato);
        QCOMPARE(rifiutato.righe,
            QStringList { "Una corsa è ancora in corso: si potrà annullare quando sarà finita" });
        QCOMPARE(test::entriesOf(m_destinazione->path()), (QStringList { "a.jpg", "b.jpg" }));
    }
    QCOMPARE(annullaUltimaCorsa(false).righe.size(), 2);
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList { "a.jpg" });
    QCOMPARE(annullaUltimaCorsa(false).righe.size(), 2);
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList());

    // A journal that others may write is not acted on.
    esegui(piano({ test::writeFile(m_sorgente->path(), "c.jpg", "c") }, { destinazione("c.jpg") },
        Modo::Copia));
    QVERIFY(QFile::setPermissions(
        giornali().constLast(), QFile::ReadOwner | QFile::WriteOwner | QFile::WriteGroup));
    QCOMPARE(annullaUltimaCorsa(false).righe,
        (QStringList { "Ignorato il giornale «" + giornali().constLast()
                + "»: non è dell'utente, o altri possono modificarlo",
            "Nessuna corsa da annullare" }));
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList { "c.jpg" });

    // Only the run's own names are journals, for the oldest to go.
    const QDir cartella(m_stato->filePath(QStringLiteral("copia-e-rinomina")));
    const QStringList estranei { "corsa-.giornale", "corsa-1a.giornale",
        "corsa-1.giornale.giornale", "corsa-1234567890123456.giornale" };
    for (const QString &nome : estranei)
        test::writeFile(cartella.path(), nome, "");
    for (int corsa = 0; corsa < 55; ++corsa)
        Giornale(1).registra({ intento(0, sorgente("a.jpg"), "/b", Modo::Copia) });
    QCOMPARE(giornali().size(), 50 + estranei.size());
    for (const QString &nome : estranei)
        QVERIFY(cartella.exists(nome));
}

void TestGiornale::unwritableJournalNeverStopsRun_data()
{
    // The file from which the state folder is full, or -1 where it is a file.
    QTest::addColumn<int>("pienoDa");
    QTest::newRow("state folder is a file") << -1;
    QTest::newRow("state folder full from the journal's start") << 0;
    QTest::newRow("state folder full after the first file") << 1;
}

void TestGiornale::unwritableJournalNeverStopsRun()
{
    QFETCH(int, pienoDa);
    const bool dalSecondo = pienoDa == 1;
    QStringList origini;
    for (const char *nome : { "a.jpg", "b.jpg", "c.jpg" })
        origini.append(test::writeFile(m_sorgente->path(), nome));
    const QStringList nuovi { destinazione("Img_001.jpg"), destinazione("Img_002.jpg"),
        destinazione("Img_003.jpg") };
    qint64 limite = 0;
    if (pienoDa >= 0) {
        // What a journal of the first file alone holds, measured on such a run;
        // from the start, room for the photos and the run counter alone, which
        // are smaller than the journal's header.
        const QTemporaryDir altrove;
        esegui(piano({ origini.at(0) }, { altrove.filePath("Img_001.jpg") }, Modo::Copia));
        limite = dalSecondo ? QFileInfo(giornali().constLast()).size() + 40
                            : QFileInfo(origini.at(0)).size();
        QVERIFY(QFile::remove(giornali().constLast()));
    } else {
        qputenv("XDG_STATE_HOME", QFile::encodeName(test::writeFile(m_stato->path(), "file")));
    }
    QString avviso;
    {
        std::optional<test::FileSizeLimit> pieno;
        if (pienoDa >= 0)
            pieno.emplace(rlim_t(limite));
        avviso = esegui(piano(origini, nuovi, Modo::Copia));
    }
    QCOMPARE(test::entriesOf(m_destinazione->path()),
        (QStringList { "Img_001.jpg", "Img_002.jpg", "Img_003.jpg" }));
    QVERIFY2(
        avviso.startsWith(dalSecondo ? "Questa corsa non si potrà annullare da «" + origini.at(1)
                                     : "Questa corsa non si potrà annullare: "),
        qPrintable(avviso));

    const EsitoAnnulla esito = annullaUltimaCorsa(false);
    QCOMPARE(esito.tuttoAnnullato, pienoDa < 0);
    if (pienoDa < 0) {
        QCOMPARE(esito.righe, QStringList { "Nessuna corsa da annullare" });
        return;
    }
    // An empty journal stands in the way of older runs until it is kept.
    if (pienoDa == 0) {
        QCOMPARE(inizi(esito.righe), QStringList { "La corsa del giornale " });
        QCOMPARE(test::entriesOf(m_destinazione->path()).size(), 3);
        QCOMPARE(inizi(annullaUltimaCorsa(false, true).righe),
            QStringList { "Chiusa la corsa del giornale vuoto " });
        QCOMPARE(annullaUltimaCorsa(false).righe, QStringList { "Nessuna corsa da annullare" });
        return;
    }
    QCOMPARE(inizi(esito.righe),
        (QStringList { "Annullo la corsa del ", "Eliminata la copia ",
            "Il giornale di questa corsa non si è potuto scrivere oltre il file " }));
    QVERIFY(esito.righe.last().contains(" 2 di 3: "));
    QCOMPARE(
        test::entriesOf(m_destinazione->path()), (QStringList { "Img_002.jpg", "Img_003.jpg" }));
    // What the journal holds is undone; the mark starts on a line of its own,
    // after the one the full disk cut short.
    QCOMPARE(annullaUltimaCorsa(false).righe, QStringList { "Nessuna corsa da annullare" });
}

// Journals on a medium mounted read-only since: the undo says why it cannot
// take the run back, instead of passing it over as if there were none.
void TestGiornale::readOnlyJournalIsSaid()
{
    test::Medium stato(u"tmpfs"_s);
    if (!stato.isMounted())
        QSKIP(qPrintable(stato.whyNot()));
    qputenv("XDG_STATE_HOME", QFile::encodeName(stato.path()));
    const QString foto = test::writeFile(m_sorgente->path(), u"a.jpg"_s, "uno");
    QCOMPARE(esegui(piano({ foto }, { destinazione(u"Img_001.jpg"_s) }, Modo::Copia)), QString());
    QVERIFY2(stato.makeReadOnly(), qPrintable(stato.whyNot()));

    const EsitoAnnulla esito = annullaUltimaCorsa(false);
    QVERIFY(!esito.tuttoAnnullato);
    QCOMPARE(inizi(esito.righe), QStringList { u"Impossibile aprire il giornale "_s });
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList { u"Img_001.jpg"_s });
}

void TestGiornale::correctedCaptureDates_data()
{
    QTest::addColumn<bool>("move");
    // A PNG keeps its EXIF where its dates cannot be rewritten in place.
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("changed");
    // A sidecar beside it, with dates in either of XMP's forms.
    QTest::addColumn<bool>("sidecar");
    // The prefix that the photo's XMP and its sidecar bind XMP's namespace to.
    QTest::addColumn<QString>("prefix");
    // Of the card the photo is read from, where it comes from one; "@date" is
    // at its first date.
    QTest::addColumn<QString>("faults");
    // Another file than the JPEG, and its copy corrected by an hour back.
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("copy") << false << "IMG_1.JPG" << 4 << false << "xmp"
                          << "" << QByteArray() << QByteArray();
    QTest::newRow("move, on one file system too") << true << "IMG_1.JPG" << 4 << false << "xmp"
                                                  << "" << QByteArray() << QByteArray();
    QTest::newRow("move of a photo whose dates stay") << true << "IMG_1.PNG" << 0 << false << "xmp"
                                                      << "" << QByteArray() << QByteArray();
    QTest::newRow("move with its sidecar") << true << "IMG_1.JPG" << 4 << true << "xmp"
                                           << "" << QByteArray() << QByteArray();
    QTest::newRow("move off a reader that flips a date's byte once")
        << true << "IMG_1.JPG" << 0 << false << "xmp"
        << "flaky=IMG_1@date" << QByteArray() << QByteArray();
    QTest::newRow("move off a reader that ends early")
        << true << "IMG_1.JPG" << 0 << false << "xmp"
        << "short=IMG_1" << QByteArray() << QByteArray();

    const QDateTime made(QDate(2026, 8, 10), QTime(9, 3), QTimeZone::utc());
    QTest::newRow("a movie moved, its headers after its pictures")
        << true << "MVI_1.MP4" << 0 << false << "xmp"
        << "" << test::movie(made, false, 300 << 10)
        << test::movie(made.addSecs(-3600), false, 300 << 10);
    QTest::newRow("a movie's 8-byte times")
        << false << "MVI_1.MOV" << 0 << false << "xmp"
        << "" << test::movie(made, true) << test::movie(made.addSecs(-3600), true);
    const auto phone = [&](qint64 shift, const char *date) {
        return test::movie(made.addSecs(shift), false, 1000, "qt  ", test::keyedCreationDate(date));
    };
    QTest::newRow("a phone's movie, its keyed date's zone kept")
        << false << "IMG_1.MOV" << 0 << false << "xmp"
        << "" << phone(0, "2026-08-10T11:03:00+0200") << phone(-3600, "2026-08-10T10:03:00+0200");
    const auto day = [&](qint64 shift, const char *date) {
        return test::movie(made.addSecs(shift), false, 1000, "isom", test::userDay(date));
    };
    QTest::newRow("a ©day with a blank")
        << false << "MVI_1.MP4" << 0 << false << "xmp"
        << "" << day(0, "2026-08-10 11:03:00") << day(-3600, "2026-08-10 10:03:00");
    // Its track's header past the end of the movie's, where exiftool still
    // reads the movie's dates.
    QByteArray damaged = test::movie(made);
    damaged[damaged.indexOf("trak") - 2] = '\x10';
    QTest::newRow("a damaged movie, named") << false << "MVI_1.MP4" << 0 << false << "xmp"
                                            << "" << damaged << damaged;
    QTest::newRow("a movie copied off a reader that flips a header's byte once")
        << false << "MVI_1.MP4" << 0 << false << "xmp"
        << "flaky=MVI_1@date" << test::movie(made, false, 300 << 10) << QByteArray();

    const auto exif = [](const char *face, const QByteArray &xmp = {}) {
        const QString date = QLatin1String(face);
        return test::exifStructure(
            { { "Exif.Photo.DateTimeOriginal", date }, { "Exif.Photo.DateTimeDigitized", date },
                { "Exif.Image.DateTime", date } },
            xmp);
    };
    QTest::newRow("a HEIC") << false << "IMG_1.HEIC" << 0 << false << "xmp"
                            << "" << test::heic(exif("2026:08:10 11:03:00"))
                            << test::heic(exif("2026:08:10 10:03:00"));
    // Typed UNDEFINED, and without its closing NUL, as some cameras write it.
    const auto spoilt = [](QByteArray tiff) {
        const auto entry = [](char tag, char type, char count) {
            const char bytes[] = { tag, '\x90', type, 0, count, 0 };
            return QByteArray(bytes, sizeof bytes);
        };
        return tiff.replace(entry(3, 2, 20), entry(3, 7, 20))
            .replace(entry(4, 2, 20), entry(4, 2, 19));
    };
    QTest::newRow("EXIF dates typed UNDEFINED or without their NUL")
        << false << "IMG_1.TIF" << 0 << false << "xmp"
        << "" << spoilt(exif("2026:08:10 11:03:00")) << spoilt(exif("2026:08:10 10:03:00"));
    const auto xmp = [](const char *time, const char *day) {
        return QByteArray("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:Description "
                          "xmp:CreateDate = \"")
            + time + "\" photoshop:DateCreated='" + day + "'/></x:xmpmeta>";
    };
    QTest::newRow("a TIFF's XMP, a time without seconds and a day alone")
        << false << "IMG_1.TIF" << 0 << false << "xmp"
        << "" << exif("2026:08:10 11:03:00", xmp("2026-08-10T11:03", "2026-08-10"))
        << exif("2026:08:10 10:03:00", xmp("2026-08-10T10:03", "2026-08-10"));
    QTest::newRow("a day alone moves with its photo's")
        << false << "IMG_1.TIF" << 0 << false << "xmp"
        << "" << exif("2026:08:10 00:30:00", xmp("2026-08-10T00:30", "2026-08-10"))
        << exif("2026:08:09 23:30:00", xmp("2026-08-09T23:30", "2026-08-09"));
    QTest::newRow("an hour the local clock skips")
        << false << "IMG_1.TIF" << 0 << false << "xmp"
        << "" << exif("2026:03:29 02:30:00") << exif("2026:03:29 01:30:00");
    QTest::newRow("a shift before the year 1 leaves every date")
        << false << "IMG_1.TIF" << 0 << false << "xmp"
        << "" << exif("0001:01:01 00:30:00", xmp("0001-01-01T00:30", "0001-01-01"))
        << exif("0001:01:01 00:30:00", xmp("0001-01-01T00:30", "0001-01-01"));
    QTest::newRow("move with its sidecar, their XMP under the older prefix xap")
        << true << "IMG_1.JPG" << 4 << true << "xap"
        << "" << QByteArray() << QByteArray();
    const QByteArray bound = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:Description "
                             "xmlns:xap=\"http://ns.adobe.com/xap/1.0/\" xmlns:xmp=\"urn:other\" "
                             "xap:CreateDate=\"@\" xmp:CreateDate=\"2026-08-10T11:03\">"
                             "<xap:ModifyDate>@</xap:ModifyDate></rdf:Description></x:xmpmeta>";
    QTest::newRow("XMP's namespace by the prefix declared, not another's under its usual one")
        << false << "IMG_1.TIF" << 0 << false << "xmp"
        << "" << exif("2026:08:10 11:03:00", QByteArray(bound).replace("@", "2026-08-10T11:03"))
        << exif("2026:08:10 10:03:00", QByteArray(bound).replace("@", "2026-08-10T10:03"));
    // A crafted file: the date a field holds there is no date of the file's.
    QTest::newRow("a TIFF's DateTime in its pixels, a clock face there: copied as it is")
        << false << "IMG_1.TIF" << 0 << false << "xmp"
        << "" << test::tiffDatedInPixels("2026:08:10 11:03:00", "2026:08:10 11:03:00")
        << test::tiffDatedInPixels("2026:08:10 11:03:00", "2026:08:10 11:03:00");
    QTest::newRow("a TIFF's DateTime in its pixels, which stay")
        << false << "IMG_1.TIF" << 0 << false << "xmp"
        << "" << test::tiffDatedInPixels("pixels, not a date.", "2026:08:10 11:03:00")
        << test::tiffDatedInPixels("pixels, not a date.", "2026:08:10 10:03:00");
}

// The copy's capture dates move with the correction, and not another byte;
// the original is never written, and an undo gives its very bytes back.
void TestGiornale::correctedCaptureDates()
{
    QFETCH(bool, move);
    QFETCH(QString, name);
    QFETCH(int, changed);
    QFETCH(bool, sidecar);
    QFETCH(QString, prefix);
    QFETCH(QString, faults);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);
    QString foto = content.isEmpty() ? test::writePhoto(m_sorgente->path(), name,
                       { { "Exif.Photo.DateTimeOriginal", "2026:08:10 11:03:00" },
                           { "Exif.Photo.DateTimeDigitized", "2026:08:10 11:03:00" },
                           { "Exif.Image.DateTime", "2026:08:10 11:03:05" } })
                                     : test::writeFile(m_sorgente->path(), name, content);
    if (name.endsWith(QLatin1String(".JPG"))) {
        // And in its XMP, as an editor writes it.
        const auto image = Exiv2::ImageFactory::open(QFile::encodeName(foto).toStdString());
        image->readMetadata();
        image->xmpData()["Xmp.xmp.CreateDate"] = "2026-08-10T11:03:00+02:00";
        image->writeMetadata();
        test::writeFile(m_sorgente->path(), name,
            test::contentOf(foto)
                .replace("xmlns:xmp=", "xmlns:" + prefix.toLatin1() + '=')
                .replace("xmp:CreateDate", prefix.toLatin1() + ":CreateDate"));
    }
    QByteArray originale = test::contentOf(foto);
    std::unique_ptr<test::Medium> scheda;
    if (!faults.isEmpty()) {
        // Larger than a read of its metadata, past its dates.
        if (content.isEmpty())
            originale += QByteArray(64 << 10, 'x');
        const qsizetype data = content.isEmpty() ? originale.indexOf("2026:08:10 11:03:00")
                                                 : originale.indexOf("mvhd") + 8;
        scheda = std::make_unique<test::Medium>(
            u"quirky:"_s + faults.replace(u"@date"_s, u"@%1"_s.arg(data)));
        if (!scheda->isMounted())
            QSKIP(qPrintable(scheda->whyNot()));
        foto = test::writeFile(scheda->path(), name, originale);
    }
    Richiesta richiesta;
    richiesta.origini = { foto };
    QByteArray xmp = "<?xml version=\"1.0\"?>\n<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
                     "<rdf:Description exif:DateTimeOriginal=\"2026:08:10 11:03:00\" "
                     "xmp:CreateDate=\"2026-08-10T11:03:00+02:00\"/></x:xmpmeta>\n";
    if (prefix != u"xmp"_s)
        xmp.replace("<rdf:Description ",
               "<rdf:Description xmlns:" + prefix.toLatin1() + "=\"http://ns.adobe.com/xap/1.0/\" ")
            .replace("xmp:", prefix.toLatin1() + ':');
    if (sidecar)
        richiesta.origini.append(test::writeFile(m_sorgente->path(), u"IMG_1.xmp"_s, xmp));
    richiesta.destinazione = test::slashed(m_destinazione->path());
    richiesta.nomeBase = QStringLiteral("Img_");
    richiesta.spostare = move;
    richiesta.correzioni = { { {}, -3600 } };
    PianoTrasferimento corsa;
    QCOMPARE(preparaPiano(richiesta, corsa), QString());
    std::atomic<bool> ferma = false;
    Avanzamento avanzamento;
    if (scheda) {
        // The dates are shifted in the bytes read, which the card's second
        // read must give again: the original stays, whole.
        const auto corri = [&] {
            eseguiPiano(
                corsa, [](int) {}, ferma, avanzamento);
        };
        QVERIFY_THROWS_EXCEPTION(platform::FileError, corri());
        QCOMPARE(test::contentOf(foto), originale);
        QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList());
        return;
    }
    const QByteArray senzaDate = platform::hashWithoutDates(foto);
    const QList<QByteArray> dateOriginali = dateLette(foto);
    eseguiPiano(
        corsa, [](int) {}, ferma, avanzamento);

    const QString copia = corsa.file.first().nuovoNome;
    // The same photo whatever its dates, to the reader and to the journal.
    QCOMPARE(platform::hashWithoutDates(copia), senzaDate);
    QCOMPARE(hashDaiGiornali({ copia }).value(copia), senzaDate);
    const QByteArray corretta = test::contentOf(copia);
    if (content.isEmpty()) {
        QCOMPARE(corretta.size(), originale.size());
        int diversi = 0;
        for (qsizetype i = 0; i < originale.size(); ++i)
            diversi += corretta.at(i) != originale.at(i);
        QCOMPARE(diversi, changed);
    } else {
        QCOMPARE(corretta, expected);
        changed = corretta != originale;
    }
    QCOMPARE(avanzamento.dateNonCorrette, changed ? QStringList() : QStringList { foto });
    // Every date with a time exiftool reads has moved, or the file is named.
    const QList<QByteArray> dateCorrette = dateLette(copia);
    for (const QByteArray &data : dateOriginali)
        QVERIFY2(!changed || !dateCorrette.contains(data), data.constData());
    QCOMPARE(QFile::exists(foto), !move);
    if (!move)
        QCOMPARE(test::contentOf(foto), originale);
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    if (changed && content.isEmpty() && !exiftool.isEmpty()) {
        QProcess reader;
        reader.start(exiftool,
            { "-s3", "-DateTimeOriginal", "-CreateDate", "-ModifyDate", "-XMP:CreateDate", copia });
        QVERIFY(reader.waitForFinished());
        QCOMPARE(reader.readAllStandardOutput(),
            "2026:08:10 10:03:00\n2026:08:10 10:03:00\n2026:08:10 10:03:05\n"
            "2026:08:10 10:03:00+02:00\n");
    }

    if (sidecar) {
        QCOMPARE(platform::namePart(corsa.file.last().nuovoNome), u"Img_001.xmp"_s);
        QCOMPARE(test::contentOf(corsa.file.last().nuovoNome),
            QByteArray(xmp).replace("T11:", "T10:").replace(" 11:", " 10:"));
    }

    QVERIFY(annullaUltimaCorsa(false).tuttoAnnullato);
    QCOMPARE(test::contentOf(foto), originale);
    QVERIFY(!QFile::exists(copia));
    if (sidecar)
        QCOMPARE(test::contentOf(richiesta.origini.last()), xmp);
    QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList());
}

void TestGiornale::importOnce_data()
{
    // Each file as "name=content"; one named "dest:..." lies in the destination;
    // "name->content" is a link there to a file elsewhere that holds it;
    // "tiff:pixels", a TIFF whose DateTime points into its pixels.
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<bool>("move");
    // How a first run imported the chosen files: "plain", or "corrected" as
    // photos with their dates shifted, with or "without journals" after; then
    // this copy was rewritten.
    QTest::addColumn<QString>("imported");
    QTest::addColumn<QString>("changed");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("same bytes under another name")
        << QStringList { "Img_004.jpg=uno" } << QStringList { "a.jpg=uno", "b.jpg=due" } << false
        << ""
        << "" << QStringList { "a.jpg" };
    QTest::newRow("same size, other bytes")
        << QStringList { "Img_004.jpg=uno" } << QStringList { "a.jpg=UNO" } << false << ""
        << "" << QStringList();
    QTest::newRow("a shot with one new file goes whole")
        << QStringList { "Img_004.jpg=uno" } << QStringList { "a.jpg=uno", "a.cr2=raw" } << false
        << ""
        << "" << QStringList();
    QTest::newRow("a link to the same bytes elsewhere is no double")
        << QStringList { "Img_004.jpg->uno" } << QStringList { "a.jpg=uno" } << false << ""
        << "" << QStringList();
    QTest::newRow("a file is not its own double")
        << QStringList() << QStringList { "dest:IMG_1.JPG=uno" } << false << ""
        << "" << QStringList();
    QTest::newRow("a move skips, its original stays")
        << QStringList { "Img_004.jpg=uno" } << QStringList { "a.jpg=uno", "b.jpg=due" } << true
        << ""
        << "" << QStringList { "a.jpg" };
    QTest::newRow("imported before: the journal's hashes")
        << QStringList() << QStringList { "a.jpg=uno", "b.jpg=due" } << false << "plain"
        << "" << QStringList { "a.jpg", "b.jpg" };
    QTest::newRow("imported before, one copy changed since")
        << QStringList() << QStringList { "a.jpg=uno", "b.jpg=due" } << false << "plain"
        << "Img_001.jpg" << QStringList { "b.jpg" };
    QTest::newRow("imported with corrected dates: the journal's hashes")
        << QStringList() << QStringList { "a.jpg=uno", "b.jpg=due" } << false << "corrected"
        << "" << QStringList { "a.jpg", "b.jpg" };
    QTest::newRow("imported with corrected dates, the journals gone")
        << QStringList() << QStringList { "a.jpg=uno", "b.jpg=due" } << false
        << "corrected without journals"
        << "" << QStringList { "a.jpg", "b.jpg" };
    QTest::newRow("a TIFF's pixels are no date, whatever they hold")
        << QStringList { "Img_004.tif=tiff:2026:08:10 11:03:00" }
        << QStringList { "a.tif=tiff:2026:08:10 11:04:00", "b.tif=tiff:pixels, not a date.",
               "c.tif=tiff:2026:08:10 11:03:00" }
        << false << ""
        << "" << QStringList { "c.tif" };
}

// A second import finds what the destination already holds by content alone,
// and leaves it out when asked: the rest is numbered on as usual.
void TestGiornale::importOnce()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, chosen);
    QFETCH(bool, move);
    QFETCH(QString, imported);
    QFETCH(QString, changed);
    QFETCH(QStringList, expected);
    const auto bytesOf = [](const QString &content) {
        return content.startsWith(u"tiff:"_s) ? test::tiffDatedInPixels(content.sliced(5).toUtf8())
                                              : content.toUtf8();
    };
    for (const QString &file : std::as_const(present)) {
        if (file.contains(u"->"_s)) {
            const QString altrove = test::writeFile(
                m_stato->path(), file.section(u"->"_s, 0, 0), file.section(u"->"_s, 1).toUtf8());
            QVERIFY(QFile::link(altrove, destinazione(file.section(u"->"_s, 0, 0))));
            continue;
        }
        test::writeFile(
            m_destinazione->path(), file.section(u'=', 0, 0), bytesOf(file.section(u'=', 1)));
    }
    Richiesta richiesta;
    const bool corrected = imported.startsWith(u"corrected"_s);
    for (const QString &file : std::as_const(chosen)) {
        const QString folder =
            file.startsWith(u"dest:"_s) ? m_destinazione->path() : m_sorgente->path();
        const QString name = file.section(u'=', 0, 0).remove(u"dest:"_s);
        const QString content = file.section(u'=', 1);
        richiesta.origini.append(corrected ? test::writePhoto(folder, name,
                                     { { "Exif.Photo.DateTimeOriginal", "2026:08:10 11:03:00" },
                                         { "Exif.Image.ImageDescription", content } })
                                           : test::writeFile(folder, name, bytesOf(content)));
    }
    richiesta.destinazione = test::slashed(m_destinazione->path());
    richiesta.nomeBase = u"Img_"_s;
    richiesta.spostare = move;
    PianoTrasferimento corsa;
    if (!imported.isEmpty()) {
        if (corrected)
            richiesta.correzioni = { { {}, -3600 } };
        QCOMPARE(preparaPiano(richiesta, corsa), QString());
        esegui(corsa);
        richiesta.correzioni.clear();
        QStringList copie;
        for (const FileDelPiano &file : std::as_const(corsa.file))
            copie.append(file.nuovoNome);
        QCOMPARE(hashDaiGiornali(copie).size(), copie.size());
        if (corrected)
            QVERIFY(test::contentOf(copie.first()) != test::contentOf(richiesta.origini.first()));
        if (imported.endsWith(u"without journals"_s)) {
            for (const QString &giornale : giornali())
                QVERIFY(QFile::remove(giornale));
        }
    }
    if (!changed.isEmpty()) {
        QFile copia(destinazione(changed));
        QVERIFY(copia.open(QIODevice::ReadWrite));
        QCOMPARE(copia.write("U"), 1);
        copia.close();
        QVERIFY(!hashDaiGiornali({ destinazione(changed) }).contains(destinazione(changed)));
    }
    const QStringList before = test::entriesOf(m_destinazione->path());

    richiesta.doppioni = Doppioni::Saltati;
    QCOMPARE(preparaPiano(richiesta, corsa), QString());
    QStringList found;
    for (const FileDelPiano &resta : std::as_const(corsa.restano)) {
        QVERIFY(resta.doppione);
        found.append(platform::namePart(resta.origine));
    }
    QCOMPARE(found, expected);
    if (!corsa.file.isEmpty())
        QCOMPARE(corsa.file.first().numero, corsa.ultimo + 1);
    esegui(corsa);
    QCOMPARE(test::entriesOf(m_destinazione->path()).size(),
        before.size() + chosen.size() - expected.size());
    // A move leaves the originals it did not copy where they were.
    if (move)
        QCOMPARE(test::entriesOf(m_sorgente->path()), expected);
}

namespace {

// Writes each file given as "name@MM-dd HH:mm:ss" of 2026, local time, with
// its name for content: its whole path.
QStringList scritti(const QString &cartella, const QStringList &file)
{
    QStringList percorsi;
    for (const QString &uno : file) {
        const QString nome = uno.section(u'@', 0, 0);
        percorsi.append(test::writeFile(cartella, nome, nome.toUtf8(),
            QDateTime::fromString(u"2026-"_s + uno.section(u'@', 1), u"yyyy-MM-dd HH:mm:ss"_s)));
    }
    return percorsi;
}

} // namespace

void TestGiornale::foldersByDate_data()
{
    QTest::addColumn<QString>("schema");
    // In the destination: "path" a file, "path->" a link to a folder elsewhere.
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<qint64>("correction");
    QTest::addColumn<bool>("byName");
    // The new paths within the destination in the plan's order, or none
    // where the run is refused.
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("three days, an hour back takes one across midnight")
        << "AAAA-MM-GG" << QStringList()
        << QStringList { "a.jpg@08-10 12:00:00", "b.jpg@08-11 00:30:00", "c.jpg@08-11 15:00:00",
               "d.jpg@08-12 09:00:00" }
        << qint64(-3600) << false
        << QStringList { "2026-08-10/Img_001.jpg", "2026-08-10/Img_002.jpg",
               "2026-08-11/Img_001.jpg", "2026-08-12/Img_001.jpg" };
    QTest::newRow("numbered on in a folder that holds photos")
        << "AAAA/MM" << QStringList { "2026/08/Img_007.jpg", "Img_020.jpg" }
        << QStringList { "a.jpg@08-10 12:00:00", "b.jpg@09-01 08:00:00" } << qint64(0) << false
        << QStringList { "2026/08/Img_008.jpg", "2026/09/Img_001.jpg" };
    QTest::newRow("a pair across midnight is one shot in one folder")
        << "AAAA/AAAA-MM-GG" << QStringList()
        << QStringList { "a.jpg@08-10 23:59:59", "a.cr2@08-11 00:00:01", "b.jpg@08-11 08:00:00" }
        << qint64(0) << false
        << QStringList { "2026/2026-08-10/Img_001.cr2", "2026/2026-08-10/Img_001.jpg",
               "2026/2026-08-11/Img_001.jpg" };
    QTest::newRow("name order numbers each folder from 001")
        << "AAAA-MM-GG" << QStringList { "2026-08-10/Img_005.jpg" }
        << QStringList { "a.jpg@08-11 10:00:00", "b.jpg@08-10 10:00:00", "c.jpg@08-11 09:00:00" }
        << qint64(0) << true
        << QStringList { "2026-08-11/Img_001.jpg", "2026-08-10/Img_001.jpg",
               "2026-08-11/Img_002.jpg" };
    QTest::newRow("flat, as ever")
        << "" << QStringList { "Img_007.jpg" } << QStringList { "a.jpg@08-10 12:00:00" }
        << qint64(0) << false << QStringList { "Img_008.jpg" };
    QTest::newRow("a file where a day's folder goes")
        << "AAAA-MM-GG" << QStringList { "2026-08-10" } << QStringList { "a.jpg@08-10 12:00:00" }
        << qint64(0) << false << QStringList();
    QTest::newRow("a link where a day's folder goes")
        << "AAAA/MM" << QStringList { "2026->" } << QStringList { "a.jpg@08-10 12:00:00" }
        << qint64(0) << false << QStringList();
}

// Each shot goes to the folder of its corrected day, numbered on in it; a
// name there that is not a folder itself refuses the run before anything.
void TestGiornale::foldersByDate()
{
    QFETCH(QString, schema);
    QFETCH(QStringList, present);
    QFETCH(QStringList, chosen);
    QFETCH(qint64, correction);
    QFETCH(bool, byName);
    QFETCH(QStringList, expected);
    const QString cartella = test::slashed(m_destinazione->path());
    for (const QString &file : std::as_const(present)) {
        const QFileInfo info(cartella + file.chopped(file.endsWith(u"->"_s) ? 2 : 0));
        QVERIFY(QDir().mkpath(info.path()));
        if (file.endsWith(u"->"_s))
            QVERIFY(QFile::link(m_stato->path(), info.filePath()));
        else
            test::writeFile(info.path(), info.fileName());
    }
    const QStringList before = test::entriesOf(m_destinazione->path());
    Richiesta richiesta;
    richiesta.origini = scritti(m_sorgente->path(), chosen);
    richiesta.destinazione = cartella;
    richiesta.nomeBase = u"Img_"_s;
    richiesta.perNome = byName;
    richiesta.correzioni = { { {}, correction } };
    richiesta.cartellePerData = *cartellePerDataDaTesto(schema);
    PianoTrasferimento corsa;
    const QString motivo = preparaPiano(richiesta, corsa);
    if (expected.isEmpty()) {
        QVERIFY2(motivo.contains(u"non è una cartella"_s), qPrintable(motivo));
        QCOMPARE(test::entriesOf(m_destinazione->path()), before);
        return;
    }
    QCOMPARE(motivo, QString());
    QStringList nuovi;
    for (const FileDelPiano &file : std::as_const(corsa.file))
        nuovi.append(file.nuovoNome.sliced(cartella.size()));
    QCOMPARE(nuovi, expected);
    esegui(corsa);
    for (const QString &nuovo : std::as_const(expected))
        QVERIFY2(QFileInfo(cartella + nuovo).isFile(), qPrintable(nuovo));
}

void TestGiornale::foldersByDateUndone_data()
{
    QTest::addColumn<bool>("foreign");
    QTest::newRow("every folder empty again") << false;
    QTest::newRow("a file of another in a folder the run made") << true;
}

// A destination not there yet and the day's folders are made by the run
// that needs them; a second import into them knows what they hold, and
// makes only the folder it lacks. Each undo removes the folders its own run
// made, and only once empty again.
void TestGiornale::foldersByDateUndone()
{
    QFETCH(bool, foreign);
    const QString gita = test::slashed(m_destinazione->path()) + u"Gita/"_s;
    Richiesta richiesta;
    richiesta.origini =
        scritti(m_sorgente->path(), { "a.jpg@08-10 12:00:00", "b.jpg@08-11 12:00:00" });
    richiesta.destinazione = gita;
    richiesta.nomeBase = u"Img_"_s;
    richiesta.cartellePerData = CartellePerData::Giorno;
    richiesta.doppioni = Doppioni::Saltati;
    PianoTrasferimento corsa;
    QCOMPARE(preparaPiano(richiesta, corsa), QString());
    QCOMPARE(corsa.cartelleNuove,
        (QStringList { gita, gita + u"2026-08-10/"_s, gita + u"2026-08-11/"_s }));
    esegui(corsa);
    QCOMPARE(testoDove(corsa, 2, u"Gita/"_s, {}), u"in 2 cartelle per data, in «Gita»"_s);

    richiesta.origini += scritti(m_sorgente->path(), { "c.jpg@08-12 12:00:00" });
    QCOMPARE(preparaPiano(richiesta, corsa), QString());
    QCOMPARE(corsa.restano.size(), 2);
    QCOMPARE(corsa.cartelleNuove, QStringList { gita + u"2026-08-12/"_s });
    esegui(corsa);
    if (foreign)
        test::writeFile(gita + u"2026-08-11"_s, u"mia.txt"_s);

    QVERIFY(annullaUltimaCorsa(false).tuttoAnnullato);
    QCOMPARE(test::entriesOf(gita), (QStringList { "2026-08-10", "2026-08-11" }));
    const EsitoAnnulla esito = annullaUltimaCorsa(false);
    QVERIFY(esito.tuttoAnnullato);
    if (!foreign) {
        QCOMPARE(test::entriesOf(m_destinazione->path()), QStringList());
        return;
    }
    QCOMPARE(test::entriesOf(gita), QStringList { "2026-08-11" });
    QVERIFY(esito.righe.contains(u"Lasciata la cartella «%1»: non è vuota"_s.arg(
        platform::displayFolderName(gita + u"2026-08-11/"_s))));
}

COPIA_TEST_MAIN(TestGiornale)
#include "tst_giornale.moc"
