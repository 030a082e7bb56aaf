#include "support.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestSuffisso : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void highestNumberInUse_data();
    void highestNumberInUse();
    void starAloneGivesNoNumber();
};

void TestSuffisso::highestNumberInUse_data()
{
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected");

    QTest::newRow("highest of three")
        << "Img_" << QStringList({ "Img_001.jpg", "Img_007.JPG", "img_003.jpeg" }) << "007";
    QTest::newRow("letter case of the base") << "Img_" << QStringList({ "IMG_012.JPG" }) << "012";
    QTest::newRow("none that counts")
        << "Img_" << QStringList({ "Img_01.jpg", "Img_abc.jpg", "Img_+12.jpg", "Foto_050.jpg" })
        << "000";
    QTest::newRow("past 999") << "Img_" << QStringList({ "Img_999.jpg", "Img_1000.jpg" }) << "1000";
    QTest::newRow("leading zeros") << "Img_" << QStringList({ "Img_0012.jpg" }) << "012";
    QTest::newRow("no extension") << "Img_" << QStringList({ "Img_008" }) << "008";
    QTest::newRow("further dots") << "Img_" << QStringList({ "Img_005.tar.gz" }) << "005";
    QTest::newRow("dot in the base name")
        << "2020.05_" << QStringList({ "2020.05_001.jpg" }) << "001";
    QTest::newRow("digits must follow the base")
        << "Img_" << QStringList({ "Img_x123.jpg", "Img_12a.jpg" }) << "000";
    QTest::newRow("empty folder") << "Img_" << QStringList() << "000";
    QTest::newRow("star is a character")
        << "Img*" << QStringList({ "Img*005.jpg", "ImgX007.jpg", "Img" }) << "005";
    QTest::newRow("question mark is a character")
        << "Img?" << QStringList({ "IMG?004.JPG", "ImgA009.jpg", "Img" }) << "004";
    QTest::newRow("largest 64-bit number")
        << "Img_" << QStringList({ "Img_9223372036854775807.jpg" }) << "9223372036854775807";
    QTest::newRow("past the largest 64-bit number")
        << "Img_" << QStringList({ "Img_99999999999999999999.jpg" }) << "9223372036854775807";
    QTest::newRow("names no longer than the base")
        << "Img_" << QStringList({ "Img", "Img_", "img_" }) << "000";
}

void TestSuffisso::highestNumberInUse()
{
    QFETCH(QString, baseName);
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    test::Sandbox sandbox;
    QTemporaryDir destination;
    for (const QString &file : files)
        test::writeFile(destination.path(), file);
    // Neither a folder nor a hidden file counts.
    QVERIFY(QDir(destination.path()).mkdir(baseName + QStringLiteral("060.d")));
    test::writeFile(destination.path(), QLatin1Char('.') + baseName + QStringLiteral("070.jpg"));

    // A run with nothing selected only refreshes the running number.
    test::Window window;
    window.prepare(destination.path(), destination.path(), {}, baseName);
    window.click("Copia");
    QCOMPARE(window.text("Suffisso"), expected);

    window.setText("DestPath", destination.filePath(QStringLiteral("assente/")));
    window.click("Copia");
    QCOMPARE(window.text("Suffisso"), QStringLiteral("000"));
    QVERIFY(sandbox.reports.isEmpty());
}

// "*" names no files, even where a file's name starts with it.
void TestSuffisso::starAloneGivesNoNumber()
{
    test::Sandbox sandbox;
    QTemporaryDir destination;
    test::writeFile(destination.path(), QStringLiteral("*005.jpg"));
    test::Window window;
    window.prepare(destination.path(), destination.path(), {}, QStringLiteral("*"));
    window.lineEdit("NomeBase")->setFocus();
    window.button("Copia")->setFocus();
    QCOMPARE(window.text("Suffisso"), QString());
}

COPIA_TEST_MAIN(TestSuffisso)
#include "tst_suffisso.moc"
