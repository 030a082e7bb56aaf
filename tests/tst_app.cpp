#include "support.h"

#include "engine/controllo.h"
#include "engine/esecuzione.h"
#include "engine/impostazioni.h"
#include "platform/settingsstore.h"

#include <QTest>

class TestApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sectionName_data();
    void sectionName();
    void booleanText_data();
    void booleanText();
    void settingsReadBackAsWritten();
    void progressText_data();
    void progressText();
    void namesFatRefuses_data();
    void namesFatRefuses();
};

void TestApp::sectionName_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("section");
    QTest::newRow("upper case") << "C:/Programmi/ABC.EXE"
                                << "Abc";
    QTest::newRow("lower case") << "abc.exe"
                                << "Abc";
    QTest::newRow("mixed case") << "Abc.exe"
                                << "Abc";
    QTest::newRow("this program") << "/usr/bin/copia-e-rinomina"
                                  << "Copia-e-rinomina";
    QTest::newRow("dotted name") << "/opt/Foto.Vacanze.exe"
                                 << "Foto.vacanze";
}

void TestApp::sectionName()
{
    QFETCH(QString, executable);
    QFETCH(QString, section);
    QCOMPARE(nomeSezione(executable), section);
}

void TestApp::booleanText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("value");
    QTest::newRow("True") << "True" << true;
    QTest::newRow("lower case") << "true" << true;
    QTest::newRow("upper case") << "TRUE" << true;
    QTest::newRow("False") << "False" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("not a boolean") << "forse" << false;
    QTest::newRow("padded") << " True" << false;
}

void TestApp::booleanText()
{
    QFETCH(QString, text);
    QFETCH(bool, value);
    QCOMPARE(booleanoDaTesto(text), value);
    QCOMPARE(booleanoDaTesto(testoBooleano(value)), value);
}

void TestApp::settingsReadBackAsWritten()
{
    test::Sandbox sandbox;
    const QString application = QStringLiteral("Vobi");
    const QString section = QStringLiteral("Copia-e-rinomina");
    QCOMPARE(platform::readSetting(
                 application, section, QStringLiteral("NomeBase"), QStringLiteral("Img_")),
        QStringLiteral("Img_"));
    const QStringList values { "/home/anna/Foto di mare/", "Città_", "a=b;c\\d", "" };
    for (const QString &value : values) {
        platform::writeSetting(application, section, QStringLiteral("NomeBase"), value);
        QCOMPARE(platform::readSetting(
                     application, section, QStringLiteral("NomeBase"), QStringLiteral("Img_")),
            value);
    }
    QFile file(sandbox.configFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("[Copia-e-rinomina]"));
}

void TestApp::progressText_data()
{
    QTest::addColumn<int>("done");
    QTest::addColumn<qint64>("bytesDone");
    QTest::addColumn<qint64>("milliseconds");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("line"); // the terminal's and the window's bar
    // Ten files, 1,000 bytes in all.
    QTest::newRow("at the start") << 0 << qint64(0) << qint64(0) << "0/10"
                                  << "0/10 · 0 byte di 1,0 kB";
    QTest::newRow("too early to tell") << 3 << qint64(300) << qint64(1999) << "3/10"
                                       << "3/10 · 300 byte di 1,0 kB · 0,0 MB/s";
    QTest::newRow("no file done yet") << 0 << qint64(0) << qint64(5000) << "0/10"
                                      << "0/10 · 0 byte di 1,0 kB · 0,0 MB/s";
    QTest::newRow("half way") << 5 << qint64(500) << qint64(10000) << "5/10 · 0:10"
                              << "5/10 · 500 byte di 1,0 kB · 0,0 MB/s · ancora 0:10";
    QTest::newRow("minutes") << 1 << qint64(100) << qint64(20000) << "1/10 · 3:00"
                             << "1/10 · 100 byte di 1,0 kB · 0,0 MB/s · ancora 3:00";
    QTest::newRow("hours") << 1 << qint64(1) << qint64(10000) << "1/10 · 2:46:30"
                           << "1/10 · 1 byte di 1,0 kB · 0,0 MB/s · ancora 2:46:30";
    QTest::newRow("done") << 10 << qint64(1000) << qint64(9000) << "10/10 · 0:00"
                          << "10/10 · 1,0 kB di 1,0 kB · 0,0 MB/s · ancora 0:00";
}

void TestApp::progressText()
{
    QFETCH(int, done);
    QFETCH(qint64, bytesDone);
    QFETCH(qint64, milliseconds);
    QFETCH(QString, expected);
    QFETCH(QString, line);
    QCOMPARE(testoAvanzamento(done, 10, bytesDone, 1000, milliseconds), expected);
    PianoTrasferimento plan;
    plan.file.resize(10);
    for (FileDelPiano &file : plan.file)
        file.dimensione = 100;
    Avanzamento progress;
    progress.fatti = done;
    progress.byte = bytesDone;
    QCOMPARE(rigaAvanzamento(plan, progress, milliseconds), line);
}

void TestApp::namesFatRefuses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("plain") << "Img_001.jpg"
                           << "";
    QTest::newRow("colon") << "Img:001.jpg"
                           << "carattere «:»";
    QTest::newRow("question mark") << "Img?001.jpg"
                                   << "carattere «?»";
    QTest::newRow("backslash") << "Img\\001.jpg"
                               << "carattere «\\»";
    QTest::newRow("control character") << "Img\t001.jpg"
                                       << "carattere di controllo";
    QTest::newRow("final dot") << "Img_001."
                               << "finisce con un punto";
    QTest::newRow("final blank") << "Img_001 "
                                 << "finisce con uno spazio";
    QTest::newRow("accents are fine") << "Città_001.jpg"
                                      << "";
}

void TestApp::namesFatRefuses()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QCOMPARE(motivoNomeRifiutato(name), reason);
}

COPIA_TEST_MAIN(TestApp)
#include "tst_app.moc"
