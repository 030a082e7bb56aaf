#include "support.h"

#include "app/impostazioni.h"
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

COPIA_TEST_MAIN(TestApp)
#include "tst_app.moc"
