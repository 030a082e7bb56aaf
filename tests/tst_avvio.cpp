#include "support.h"

#include "engine/giornale.h"
#include "platform/filenames.h"
#include "platform/fileops.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QDateTime at(int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 8, 10), QTime(hour, minute, second));
}

} // namespace

class TestAvvio : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void restoresSettings();
    void foldersKeepTheirNames_data();
    void foldersKeepTheirNames();
    void baseNameAtStart_data();
    void baseNameAtStart();
    void selectsEveryFileOfSourceFolder_data();
    void selectsEveryFileOfSourceFolder();
    void startUpWritesNothing();
    void killedMoveIsFinishedOnceShown();
    void dateOrder();
    void vanishedFileGoesLast();
    void optionSavesChoiceWithEmptySelection();
    void moreThanAThousandFiles();

private:
    QStringList selection() const;

    std::unique_ptr<test::Sandbox> m_sandbox;
    std::unique_ptr<QTemporaryDir> m_source;
    std::unique_ptr<test::Window> m_window;
};

void TestAvvio::init()
{
    m_sandbox = std::make_unique<test::Sandbox>();
    m_source = std::make_unique<QTemporaryDir>();
}

void TestAvvio::cleanup()
{
    m_window.reset();
    m_sandbox.reset();
}

// In name order: the engine orders the files when a run is planned.
QStringList TestAvvio::selection() const
{
    const StatoFinestra &state = m_window->state();
    QStringList names = state.ElencoFile.mid(1, state.NumFile);
    names.sort();
    return names;
}

void TestAvvio::restoresSettings()
{
    QTemporaryDir destination;
    test::writeFile(destination.path(), QStringLiteral("Mare_004.jpg"));
    test::remember("Destinazione", test::slashed(destination.path()));
    test::remember("NomeBase", QStringLiteral("Mare_"));
    test::remember("Riserva", test::slashed(m_source->path()));
    m_window = std::make_unique<test::Window>();
    QCOMPARE(m_window->text("DestPath"), test::slashed(destination.path()));
    QCOMPARE(m_window->text("RiservaPath"), test::slashed(m_source->path()));
    QCOMPARE(m_window->text("NomeBase"), QStringLiteral("Mare_"));
    QCOMPARE(m_window->text("Suffisso"), QStringLiteral("004"));
    QCOMPARE(m_window->text("SrcInfo"), QStringLiteral("Nessun file selezionato"));
    QVERIFY(m_window->state().NomeCambiato);

    m_window->click("NessunaRiserva");
    QCOMPARE(m_window->text("RiservaPath"), QString());
    QCOMPARE(test::stored("Riserva"), QString());
    QVERIFY(!m_window->button("NessunaRiserva")->isEnabled());
}

void TestAvvio::foldersKeepTheirNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("photo");
    QTest::newRow("U+EFA9") << QByteArray("/x\xee\xbe\xa9") << "Img_004.jpg";
    // Remembered as Qt shows it, U+FFFD.
    QTest::newRow("the byte 0xA9") << QByteArray("/x\xa9") << "Img_007.jpg";
}

// Sibling folders, one named with U+EFA9 and one with the byte 0xA9, which
// the program's own form writes as U+EFA9: the remembered one is used.
void TestAvvio::foldersKeepTheirNames()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, photo);
    const QString parent = m_source->path();
    QVERIFY(QDir(parent).mkdir(QStringLiteral("x\uEFA9")));
    test::writeFile(parent + QStringLiteral("/x\uEFA9"), QStringLiteral("Img_004.jpg"));
    QVERIFY(QDir(parent).mkdir(QStringLiteral("grezza")));
    test::writeFile(parent + QStringLiteral("/grezza"), QStringLiteral("Img_007.jpg"));
    const QByteArray raw = QFile::encodeName(parent) + "/x\xa9";
    QCOMPARE(::rename(QFile::encodeName(parent + QStringLiteral("/grezza")).constData(),
                 raw.constData()),
        0);
    // QTemporaryDir cannot name it to remove it.
    const auto removing = qScopeGuard([&raw] {
        ::unlink((raw + "/Img_007.jpg").constData());
        ::rmdir(raw.constData());
    });
    const QByteArray bytes = QFile::encodeName(parent) + name;
    test::remember("Sorgente", test::slashed(QFile::decodeName(bytes)));
    test::remember("Destinazione", test::slashed(QFile::decodeName(bytes)));

    m_window = std::make_unique<test::Window>();
    const QString folder = test::slashed(platform::decodeFileName(bytes));
    QCOMPARE(m_window->text("SrcPath"), platform::displayFileName(folder));
    QCOMPARE(selection(), QStringList({ photo }));
    QCOMPARE(m_window->text("DestPath"), platform::displayFileName(folder));
    QCOMPARE(m_window->text("Suffisso"), photo.mid(4, 3));
}

void TestAvvio::baseNameAtStart_data()
{
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<QString>("baseName");
    QTest::newRow("first run") << false << "Img_";
    // As the window was designed: no run starts with it.
    QTest::newRow("settings that cannot be read") << true << "_";
}

void TestAvvio::baseNameAtStart()
{
    QFETCH(bool, unreadable);
    QFETCH(QString, baseName);
    if (unreadable)
        QVERIFY(QDir().mkdir(m_sandbox->configFile()));
    m_window = std::make_unique<test::Window>();
    QCOMPARE(m_window->text("NomeBase"), baseName);
    QCOMPARE(m_window->text("SrcPath"), QString());
    QCOMPARE(m_window->text("DestPath"), QString());
    QCOMPARE(m_window->text("RiservaPath"), QString());
    QVERIFY(!m_window->button("NessunaRiserva")->isEnabled());
    QCOMPARE(m_window->text("Suffisso"), QStringLiteral("000"));
    QVERIFY(!m_window->state().OrdinePerNome);
}

void TestAvvio::selectsEveryFileOfSourceFolder_data()
{
    QTest::addColumn<QString>("orderText");
    QTest::addColumn<bool>("byName");
    QTest::addColumn<bool>("subfolders");
    QTest::newRow("date order") << "False" << false << false;
    QTest::newRow("name order") << "True" << true << false;
    QTest::newRow("name order, any case") << "true" << true << false;
    QTest::newRow("not a boolean") << "forse" << false << false;
    QTest::newRow("with the subfolders, as a card's DCIM") << "False" << false << true;
}

void TestAvvio::selectsEveryFileOfSourceFolder()
{
    QFETCH(QString, orderText);
    QFETCH(bool, byName);
    QFETCH(bool, subfolders);
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "a", at(12, 0));
    test::writeFile(m_source->path(), QStringLiteral("b.jpg"), "b", at(11, 0));
    test::writeFile(m_source->path(), QStringLiteral("c.jpg"), "c", at(10, 0));
    test::writeFile(m_source->path(), QStringLiteral(".nascosto.jpg"));
    QVERIFY(QDir(m_source->path()).mkpath(QStringLiteral("cartella/100CANON")));
    test::writeFile(m_source->filePath(u"cartella/100CANON"_s), u"d.jpg"_s);
    QVERIFY(QDir(m_source->path()).mkdir(QStringLiteral(".nascosta")));
    test::writeFile(m_source->filePath(u".nascosta"_s), u"e.jpg"_s);
    test::remember("Sorgente", test::slashed(m_source->path()));
    test::remember("OrdineNome", orderText);
    test::remember("Sottocartelle", subfolders ? u"True"_s : u"False"_s);

    m_window = std::make_unique<test::Window>();
    QCOMPARE(m_window->text("SrcPath"), test::slashed(m_source->path()));
    QStringList expected { "a.jpg", "b.jpg", "c.jpg" };
    if (subfolders)
        expected.append(u"cartella/100CANON/d.jpg"_s);
    QCOMPARE(m_window->state().NumFile, expected.size());
    QCOMPARE(m_window->state().ElencoFile.size(), expected.size() + 1);
    QCOMPARE(selection(), expected);
    QCOMPARE(m_window->text("SrcInfo"),
        subfolders ? u"Tutti i file (4 in 2 cartelle)"_s : u"Tutti i file (3)"_s);
    QCOMPARE(m_window->form().findChild<QRadioButton *>(QStringLiteral("OptionNome"))->isChecked(),
        byName);
    QCOMPARE(m_window->state().OrdinePerNome, byName);
}

void TestAvvio::startUpWritesNothing()
{
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"));
    test::remember("Sorgente", test::slashed(m_source->path()));
    test::remember("OrdineNome", QStringLiteral("True"));
    QFile config(m_sandbox->configFile());
    QVERIFY(config.open(QIODevice::ReadOnly));
    const QByteArray before = config.readAll();
    config.close();

    m_window = std::make_unique<test::Window>();
    m_window.reset();
    QVERIFY(config.open(QIODevice::ReadOnly));
    QCOMPARE(config.readAll(), before);
}

// A move killed between publishing a photo and deleting its original: the
// window opens with the photo listed, then finishes the move aside and says
// so in one message.
void TestAvvio::killedMoveIsFinishedOnceShown()
{
    QTemporaryDir destination;
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "a", at(10, 0));
    const QString moved =
        test::writeFile(m_source->path(), QStringLiteral("b.jpg"), "b", at(11, 0));
    const QString published = destination.filePath(QStringLiteral("Img_001.jpg"));
    {
        Giornale journal(1);
        VoceGiornale intent;
        intent.origine = moved;
        intent.nuovoNome = published;
        intent.spostato = true;
        intent.dimensione = 1;
        intent.hash = platform::hashOfFile(moved);
        journal.registra({ intent });
        test::copyFile(moved, published);
        journal.pubblicato(0, published);
    }
    // The kill came before the run's closing mark.
    QDir journals(cartellaGiornali());
    QFile journal(journals.filePath(journals.entryList(QDir::Files).filter(".giornale").first()));
    QVERIFY(journal.resize(journal.size() - 2));
    test::remember("Sorgente", test::slashed(m_source->path()));

    Form1 window;
    const QLabel *count = window.findChild<QLabel *>(QStringLiteral("SrcInfo"));
    QCOMPARE(count->text(), QStringLiteral("Tutti i file (2)"));
    window.show();
    QVERIFY(m_sandbox->reports.isEmpty());
    QTRY_COMPARE(m_sandbox->reports.size(), 1);
    QVERIFY(m_sandbox->reports.first().contains(
        "Eliminato l'originale «" + moved + "», già spostato in «" + published + "»"));
    QCOMPARE(count->text(), QStringLiteral("Tutti i file (1)"));
    QCOMPARE(test::entriesOf(m_source->path()), QStringList { "a.jpg" });
    QCOMPARE(test::contentOf(published), QByteArray("b"));
}

void TestAvvio::dateOrder()
{
    test::writeFile(m_source->path(), QStringLiteral("a-recente.jpg"), "", at(18, 0));
    test::writeFile(m_source->path(), QStringLiteral("b-centrale.jpg"), "", at(12, 0));
    test::writeFile(m_source->path(), QStringLiteral("c-antica.jpg"), "c", at(6, 0));
    test::remember("Sorgente", test::slashed(m_source->path()));
    test::remember("OrdineNome", QStringLiteral("True"));
    m_window = std::make_unique<test::Window>();

    m_window->check("OptionData");
    QCOMPARE(test::stored("OrdineNome"), QStringLiteral("False"));
    QTemporaryDir destination;
    m_window->setText("DestPath", test::slashed(destination.path()));
    m_window->click("Copia");
    QCOMPARE(test::contentOf(destination.filePath(QStringLiteral("Img_001.jpg"))), QByteArray("c"));
}

void TestAvvio::vanishedFileGoesLast()
{
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "a", at(12, 0));
    test::writeFile(m_source->path(), QStringLiteral("b.jpg"), "b", at(11, 0));
    test::writeFile(m_source->path(), QStringLiteral("c.jpg"), "c", at(10, 0));
    test::remember("Sorgente", test::slashed(m_source->path()));
    test::remember("OrdineNome", QStringLiteral("True"));
    m_window = std::make_unique<test::Window>();
    QVERIFY(QFile::remove(m_source->filePath(QStringLiteral("b.jpg"))));

    m_window->check("OptionData");
    QVERIFY(!m_window->state().OrdinePerNome);
    QVERIFY(m_sandbox->reports.isEmpty());

    QTemporaryDir destination;
    m_window->setText("DestPath", test::slashed(destination.path()));
    m_window->click("Copia");
    QCOMPARE(test::contentOf(destination.filePath(QStringLiteral("Img_001.jpg"))), QByteArray("c"));
    QCOMPARE(test::contentOf(destination.filePath(QStringLiteral("Img_002.jpg"))), QByteArray("a"));
    QCOMPARE(test::entriesOf(destination.path()).size(), 2);
    QCOMPARE(m_sandbox->reports.size(), 1);
    QVERIFY(m_sandbox->reports.first().contains(m_source->filePath(QStringLiteral("b.jpg"))));
}

void TestAvvio::optionSavesChoiceWithEmptySelection()
{
    test::remember("Sorgente", test::slashed(m_source->filePath(QStringLiteral("assente"))));
    m_window = std::make_unique<test::Window>();
    QCOMPARE(m_window->state().NumFile, 0);
    QCOMPARE(m_window->text("SrcInfo"), QStringLiteral("Tutti i file (0)"));

    m_window->check("OptionNome");
    QVERIFY(m_window->state().OrdinePerNome);
    QCOMPARE(test::stored("OrdineNome"), QStringLiteral("True"));
}

void TestAvvio::moreThanAThousandFiles()
{
    QStringList names;
    for (int i = 0; i < 1500; ++i) {
        names.append(QStringLiteral("DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0')));
        test::writeFile(m_source->path(), names.last(), "", at(10, i / 60, i % 60));
    }
    test::remember("Sorgente", test::slashed(m_source->path()));
    m_window = std::make_unique<test::Window>();
    QCOMPARE(m_window->state().NumFile, 1500);
    QStringList selected = selection();
    selected.sort();
    QCOMPARE(selected, names);
    QCOMPARE(m_window->text("SrcInfo"), QStringLiteral("Tutti i file (1500)"));
}

COPIA_TEST_MAIN(TestAvvio)
#include "tst_avvio.moc"
