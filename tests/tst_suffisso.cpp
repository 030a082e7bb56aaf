#include "support.h"

#include "engine/piano.h"
#include "engine/selezione.h"
#include "platform/filenames.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

class TestSuffisso : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void highestNumberInUse_data();
    void highestNumberInUse();
    void starAloneGivesNoNumber();
    void planOrder_data();
    void planOrder();
    void shots_data();
    void shots();
    void selection_data();
    void selection();
};

namespace {

// Writes each file, given as "folder/name@hh:mm:ss.nanoseconds" and for a
// photo "|DateTimeOriginal|SubSecTimeOriginal|Model", for a movie (.MP4,
// .MOV, .CR3) "|its header's clock face|its keyed creation date", under the
// root folder; returns their paths.
QStringList writeChosen(const QString &root, const QStringList &files)
{
    QStringList paths;
    for (const QString &file : files) {
        const QStringList parts = file.split(u'|');
        const QString path = root + u'/' + parts.first().section(u'@', 0, 0);
        QDir().mkpath(platform::folderPart(path));
        QMap<QString, QString> tags;
        const char *keys[] = { "Exif.Photo.DateTimeOriginal", "Exif.Photo.SubSecTimeOriginal",
            "Exif.Image.Model" };
        for (int i = 1; i < parts.size(); ++i) {
            if (!parts.at(i).isEmpty())
                tags.insert(QLatin1String(keys[i - 1]), parts.at(i));
        }
        QDateTime face =
            QDateTime::fromString(parts.value(1), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        face.setTimeZone(QTimeZone::utc());
        if (parts.size() > 1
            && QRegularExpression(QStringLiteral("\\.(MP4|MOV|CR3)$")).match(path).hasMatch())
            test::writeFile(platform::folderPart(path), platform::namePart(path),
                test::movie(face, false, 1000,
                    path.endsWith(QLatin1String("CR3")) ? "crx " : "qt  ",
                    parts.size() > 2 ? test::keyedCreationDate(parts.at(2).toLatin1())
                                     : QByteArray()));
        else if (parts.size() > 1)
            test::writePhoto(platform::folderPart(path), platform::namePart(path), tags);
        else
            test::writeFile(platform::folderPart(path), platform::namePart(path));
        if (const QString time = parts.first().section(u'@', 1); !time.isEmpty())
            test::setTime(path, QDateTime(QDate(2026, 8, 10), QTime::fromString(time.left(8))),
                time.mid(9).toLong());
        paths.append(path);
    }
    return paths;
}

} // namespace

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

    // A run with nothing selected refreshes the running number, and says
    // there was nothing to copy.
    test::Window window;
    window.prepare(destination.path(), destination.path(), {}, baseName);
    window.click("Copia");
    QCOMPARE(window.text("Suffisso"), expected);

    window.setText("DestPath", destination.filePath(QStringLiteral("assente/")));
    window.click("Copia");
    QCOMPARE(window.text("Suffisso"), QStringLiteral("000"));
    QCOMPARE(sandbox.reports.size(), 2);
    QVERIFY(sandbox.reports.first().startsWith(QStringLiteral("Nessun file da copiare")));
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

void TestSuffisso::planOrder_data()
{
    // Each file as "folder/name@hh:mm:ss.nanoseconds", in the order chosen;
    // a photo adds "|DateTimeOriginal|SubSecTimeOriginal|Model".
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("byName");
    // Files removed after they were chosen.
    QTest::addColumn<QStringList>("vanished");
    // Each as "MODEL=seconds", or "=seconds" for every other camera.
    QTest::addColumn<QStringList>("corrections");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("name, by character code")
        << QStringList(
               { "s/a.jpg", "s/Z.JPG", "s/IMG_2.JPG", "s/IMG_10.JPG", "s/_x.jpg", "s/9.jpg" })
        << true << QStringList() << QStringList()
        << QStringList(
               { "s/9.jpg", "s/IMG_10.JPG", "s/IMG_2.JPG", "s/Z.JPG", "s/_x.jpg", "s/a.jpg" });
    QTest::newRow("name, equal names as chosen")
        << QStringList({ "y/IMG_1.JPG", "x/IMG_1.JPG", "x/IMG_0.JPG" }) << true << QStringList()
        << QStringList() << QStringList({ "x/IMG_0.JPG", "y/IMG_1.JPG", "x/IMG_1.JPG" });
    QTest::newRow("date, folders merged")
        << QStringList({ "x/IMG_1.JPG@10:00:00", "x/IMG_2.JPG@10:02:00", "y/IMG_1.JPG@10:01:00" })
        << false << QStringList() << QStringList()
        << QStringList({ "x/IMG_1.JPG", "y/IMG_1.JPG", "x/IMG_2.JPG" });
    QTest::newRow("date, to the nanosecond")
        << QStringList({ "s/a.jpg@12:00:00.900000000", "s/b.jpg@12:00:00.000000500",
               "s/d.jpg@12:00:00.000000000", "s/c.jpg@09:00:00" })
        << false << QStringList() << QStringList()
        << QStringList({ "s/c.jpg", "s/d.jpg", "s/b.jpg", "s/a.jpg" });
    QTest::newRow("date, a burst in one moment by name")
        << QStringList({ "s/B_3.jpg@12:00:00", "s/B_1.jpg@12:00:00", "s/A_9.jpg@12:00:01",
               "s/B_2.jpg@12:00:00" })
        << false << QStringList() << QStringList()
        << QStringList({ "s/B_1.jpg", "s/B_2.jpg", "s/B_3.jpg", "s/A_9.jpg" });
    QTest::newRow("date, a vanished file last")
        << QStringList({ "s/a.jpg@12:00:00", "s/b.jpg@11:00:00", "s/c.jpg@10:00:00" }) << false
        << QStringList("s/b.jpg") << QStringList()
        << QStringList({ "s/c.jpg", "s/a.jpg", "s/b.jpg" });
    QTest::newRow("capture times, merged with a file time")
        << QStringList { "s/a.jpg@09:00:00|2026:08:10 10:10:00||",
               "s/b.jpg@11:00:00|2026:08:10 10:00:00||", "s/c.jpg@10:05:00" }
        << false << QStringList() << QStringList()
        << QStringList { "s/b.jpg", "s/c.jpg", "s/a.jpg" };
    QTest::newRow("a burst in one second, by sub-seconds")
        << QStringList { "s/x1.jpg@10:00:00|2026:08:10 10:00:00|30|",
               "s/x2.jpg@10:00:00|2026:08:10 10:00:00|1|",
               "s/x3.jpg@10:00:00|2026:08:10 10:00:00|2|" }
        << false << QStringList() << QStringList()
        << QStringList { "s/x2.jpg", "s/x3.jpg", "s/x1.jpg" };
    const QStringList twoCameras { "s/c1.jpg@10:00:00|2026:08:10 11:03:00||Canon EOS R6",
        "s/n1.jpg@10:00:00|2026:08:10 10:01:00||NIKON Z 6",
        "s/n2.jpg@10:00:00|2026:08:10 10:05:00||NIKON Z 6" };
    QTest::newRow("two cameras, the one an hour ahead corrected")
        << twoCameras << false << QStringList() << QStringList { " canon eos r6 =-3600" }
        << QStringList { "s/n1.jpg", "s/c1.jpg", "s/n2.jpg" };
    QTest::newRow("a correction for every other camera")
        << twoCameras << false << QStringList() << QStringList { "NIKON Z 6=0", "=-3600" }
        << QStringList { "s/n1.jpg", "s/c1.jpg", "s/n2.jpg" };
}

// The engine orders what the front ends hand it, whatever order they chose
// it in and the folder lists it in: in date order, the order the photos were
// taken in, each camera's clock corrected on its own.
void TestSuffisso::planOrder()
{
    QFETCH(QStringList, files);
    QFETCH(bool, byName);
    QFETCH(QStringList, vanished);
    QFETCH(QStringList, corrections);
    QFETCH(QStringList, expected);
    test::Sandbox sandbox;
    QTemporaryDir root;
    Richiesta richiesta;
    richiesta.origini = writeChosen(root.path(), files);
    for (const QString &file : vanished)
        QVERIFY(QFile::remove(root.filePath(file)));
    for (const QString &correction : corrections)
        richiesta.correzioni.append(
            { correction.section(u'=', 0, 0), correction.section(u'=', 1).toLongLong() });
    richiesta.destinazione = test::slashed(root.path());
    richiesta.nomeBase = QStringLiteral("Img_");
    richiesta.perNome = byName;
    richiesta.prova = true;

    PianoTrasferimento piano;
    preparaPiano(richiesta, piano);
    QStringList order;
    for (const FileDelPiano &file : std::as_const(piano.file))
        order.append(QDir(root.path()).relativeFilePath(file.origine));
    QCOMPARE(order, expected);
    QCOMPARE(platform::namePart(piano.file.last().nuovoNome),
        QStringLiteral("Img_%1").arg(expected.size(), 3, 10, QLatin1Char('0'))
            + expected.last().mid(expected.last().indexOf(u'.')).toLower());
}

void TestSuffisso::shots_data()
{
    QTest::addColumn<QString>("medium");
    // As planOrder's, and in date order unless the row says "by name"; "no extension"
    // asks new names without extensions; a leading "-" leaves the file out.
    QTest::addColumn<QStringList>("files");
    // Each file as "folder/name>new name" in the plan's order, then the
    // sidecars that stay, as "folder/name>-".
    QTest::addColumn<QStringList>("expected");

    // A camera's movie on its clock, as its photos; a phone's by its zone; a
    // CR3's header in UTC; a movie by its THM, whatever its header says.
    QTest::newRow("movies among photos, each by its camera's clock")
        << ""
        << QStringList { "s/a.jpg|2026:08:10 10:29:00||", "s/b.jpg|2026:08:10 10:35:00||",
               "s/MVI_1.MP4|2026:08:10 10:30:00", "s/MVI_2.MOV|2026:08:10 01:00:00",
               "s/MVI_2.THM|2026:08:10 10:31:00||",
               "s/IMG_3.MOV|2026:08:10 08:32:00|2026-08-10T10:32:00+0200",
               "s/IMG_4.CR3|2026:08:10 08:33:00" }
        << QStringList { "s/a.jpg>Img_001.jpg", "s/MVI_1.MP4>Img_002.mp4",
               "s/MVI_2.MOV>Img_003.mov", "s/MVI_2.THM>Img_003.thm", "s/IMG_3.MOV>Img_004.mov",
               "s/IMG_4.CR3>Img_005.cr3", "s/b.jpg>Img_006.jpg" };
    QTest::newRow("RAW and JPEG, a shot by its earliest photo")
        << ""
        << QStringList { "s/IMG_2.JPG@10:00:00", "s/IMG_1.JPG@10:00:05", "s/IMG_1.CR2@10:00:06",
               "s/IMG_2.CR2@10:00:01", "t/IMG_1.CR2@10:00:03" }
        << QStringList { "s/IMG_2.CR2>Img_001.cr2", "s/IMG_2.JPG>Img_001.jpg",
               "t/IMG_1.CR2>Img_002.cr2", "s/IMG_1.CR2>Img_003.cr2", "s/IMG_1.JPG>Img_003.jpg" };
    QTest::newRow("RAW, JPEG and sidecar; a sidecar's own time counts for nothing")
        << ""
        << QStringList { "s/B.XMP@08:00:00", "s/A.xmp@09:00:00", "s/B.JPG@10:00:01",
               "s/A.ORF@10:00:00", "s/A.JPG@10:00:00" }
        << QStringList { "s/A.JPG>Img_001.jpg", "s/A.ORF>Img_001.orf", "s/A.xmp>Img_001.xmp",
               "s/B.JPG>Img_002.jpg", "s/B.XMP>Img_002.xmp" };
    QTest::newRow("darktable's sidecars follow their file")
        << "" << QStringList { "s/P1.NEF.xmp", "s/P1.JPG.xmp", "s/P1.JPG", "s/P1.NEF" }
        << QStringList { "s/P1.JPG>Img_001.jpg", "s/P1.JPG.xmp>Img_001.jpg.xmp",
               "s/P1.NEF>Img_001.nef", "s/P1.NEF.xmp>Img_001.nef.xmp" };
    QTest::newRow("a sidecar without its photo stays")
        << "" << QStringList { "s/A.JPG", "s/Z.xmp", "s/Z.JPG.xmp" }
        << QStringList { "s/A.JPG>Img_001.jpg", "s/Z.JPG.xmp>-", "s/Z.xmp>-" };
    QTest::newRow("left out: a sidecar with its photo, a pair's other half numbered on")
        << ""
        << QStringList { "-s/A.JPG@10:00:00", "s/A.xmp", "s/B.JPG@10:00:01", "-s/C.JPG@10:00:02",
               "s/C.CR2@10:00:02", "s/D.JPG@10:00:03" }
        << QStringList { "s/B.JPG>Img_001.jpg", "s/C.CR2>Img_002.cr2", "s/D.JPG>Img_003.jpg",
               "s/A.JPG>-", "s/A.xmp>-", "s/C.JPG>-" };
    QTest::newRow("without extensions, a photo a shot, and sidecars keep theirs")
        << ""
        << QStringList { "no extension", "s/A.JPG@10:00:00", "s/A.CR2@10:00:01", "s/A.CR2.xmp",
               "s/B.NEF@10:00:02", "s/B.xmp" }
        << QStringList { "s/A.JPG>Img_001", "s/A.CR2>Img_002", "s/A.CR2.xmp>Img_002.xmp",
               "s/B.NEF>Img_003", "s/B.xmp>Img_003.xmp" };
    QTest::newRow("dots within a name part two shots")
        << "" << QStringList { "s/IMG.0013.JPG@10:00:01", "s/IMG.0012.JPG@10:00:00" }
        << QStringList { "s/IMG.0012.JPG>Img_001.0012.jpg", "s/IMG.0013.JPG>Img_002.0013.jpg" };
    QTest::newRow("by name, pairs by their first name")
        << ""
        << QStringList { "by name", "s/IMG_2.JPG", "s/IMG_10.CR2", "s/IMG_2.CR2", "s/IMG_10.JPG" }
        << QStringList { "s/IMG_10.CR2>Img_001.cr2", "s/IMG_10.JPG>Img_001.jpg",
               "s/IMG_2.CR2>Img_002.cr2", "s/IMG_2.JPG>Img_002.jpg" };
    const QStringList twoCases { "s/IMG_1.CR2@10:00:00", "s/img_1.jpg@10:00:01",
        "s/img_1.xmp@10:00:02" };
    QTest::newRow("letter case counts on a disk")
        << "" << twoCases
        << QStringList { "s/IMG_1.CR2>Img_001.cr2", "s/img_1.jpg>Img_002.jpg",
               "s/img_1.xmp>Img_002.xmp" };
    QTest::newRow("letter case counts not on FAT")
        << "fat32" << twoCases
        << QStringList { "s/IMG_1.CR2>Img_001.cr2", "s/img_1.jpg>Img_001.jpg",
               "s/img_1.xmp>Img_001.xmp" };
    QTest::newRow("letter case counts not on exFAT")
        << "exfat" << twoCases
        << QStringList { "s/IMG_1.CR2>Img_001.cr2", "s/img_1.jpg>Img_001.jpg",
               "s/img_1.xmp>Img_001.xmp" };
    QTest::newRow("one name in two cases on a disk: two shots")
        << ""
        << QStringList { "s/IMG_1.jpg@10:00:01", "s/IMG_1.JPG@10:00:00", "s/IMG_1.CR2@10:00:02" }
        << QStringList { "s/IMG_1.CR2>Img_001.cr2", "s/IMG_1.JPG>Img_001.jpg",
               "s/IMG_1.jpg>Img_002.jpg" };
    QTest::newRow("a text chosen by name goes as chosen")
        << "" << QStringList { "s/LEGGIMI.TXT@10:00:01", "s/A.JPG@10:00:00" }
        << QStringList { "s/A.JPG>Img_001.jpg", "s/LEGGIMI.TXT>Img_002.txt" };
}

// The files of one shot share a number and sit together, by extension;
// sidecars take their photo's new name and never a number of their own.
void TestSuffisso::shots()
{
    QFETCH(QString, medium);
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);
    test::Sandbox sandbox;
    QTemporaryDir temporary;
    std::optional<test::Medium> card;
    if (!medium.isEmpty()) {
        card.emplace(medium);
        if (!card->isMounted())
            QSKIP(qPrintable(card->whyNot()));
    }
    const QString root = card ? card->path() : temporary.path();
    Richiesta richiesta;
    richiesta.perNome = files.removeAll(QStringLiteral("by name")) > 0;
    richiesta.senzaEstensione = files.removeAll(QStringLiteral("no extension")) > 0;
    for (QString &file : files) {
        if (file.startsWith(u'-'))
            richiesta.fuori.append(root + u'/' + file.remove(0, 1).section(u'@', 0, 0));
    }
    richiesta.origini = writeChosen(root, files);
    richiesta.destinazione = test::slashed(temporary.path());
    richiesta.nomeBase = QStringLiteral("Img_");
    richiesta.prova = true;

    PianoTrasferimento piano;
    QCOMPARE(preparaPiano(richiesta, piano), QString());
    QStringList plan;
    for (const FileDelPiano &file : piano.file + piano.restano)
        plan.append(QDir(root).relativeFilePath(file.origine) + u'>'
            + (file.nuovoNome.isEmpty() ? QStringLiteral("-")
                                        : platform::namePart(file.nuovoNome)));
    QCOMPARE(plan, expected);
}

void TestSuffisso::selection_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("subfolders");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QStringList>("cameras");

    QTest::newRow("the folder's own files")
        << QStringList { "a.jpg|||Canon EOS R6", "100CANON/b.jpg|||Canon EOS R6" } << false
        << QStringList { "a.jpg" } << QStringList() << QStringList { "Canon EOS R6: 1" };
    // A model is one however its letters and blanks vary, as corrections match it.
    QTest::newRow("a card's folders, hidden ones left out")
        << QStringList { "DCIM/100CANON/a.jpg|||Canon EOS R6",
               "DCIM/101CANON/b.jpg|||canon eos r6 ", "DCIM/100NIKON/c.jpg|||NIKON Z 6",
               "DCIM/100NIKON/c.mov", ".Trash/d.jpg", "DCIM/.thumbnails/e.jpg" }
        << true
        << QStringList { "DCIM/100CANON/a.jpg", "DCIM/100NIKON/c.jpg", "DCIM/100NIKON/c.mov",
               "DCIM/101CANON/b.jpg" }
        << QStringList() << QStringList { "Canon EOS R6: 2", "NIKON Z 6: 1" };
    // A shot's companions go with it; the camera's catalogues stay.
    QTest::newRow("a whole card, its catalogues left")
        << QStringList { "DCIM/100CANON/IMG_1.JPG|||Canon EOS R6", "DCIM/100CANON/IMG_1.THM",
               "CANONMSC/M0100.CTG", "PRIVATE/AVCHD/BDMV/INDEX.BDM",
               "PRIVATE/AVCHD/BDMV/PLAYLIST/00000.mpl", "PRIVATE/AVCHD/BDMV/STREAM/00000.MTS" }
        << true
        << QStringList { "DCIM/100CANON/IMG_1.JPG", "DCIM/100CANON/IMG_1.THM",
               "PRIVATE/AVCHD/BDMV/STREAM/00000.MTS" }
        << QStringList { "CANONMSC/M0100.CTG", "PRIVATE/AVCHD/BDMV/INDEX.BDM",
               "PRIVATE/AVCHD/BDMV/PLAYLIST/00000.mpl" }
        << QStringList { "Canon EOS R6: 1" };
    // A walk takes what a camera makes, a shot's voice memo among it, and
    // leaves what a person or a program put there.
    QTest::newRow("a card's texts left, sidecars and companions taken")
        << QStringList { "DCIM/100CANON/IMG_1.JPG", "DCIM/100CANON/IMG_1.WAV",
               "DCIM/100CANON/IMG_1.xmp", "DCIM/100CANON/MVI_2.MOV", "DCIM/100CANON/MVI_2.THM",
               "DCIM/100CANON/IMG_3.cr3", "DCIM/LEGGIMI.TXT", "DCIM/100CANON/indice.html",
               "DCIM/100CANON/NOTE" }
        << true
        << QStringList { "DCIM/100CANON/IMG_1.JPG", "DCIM/100CANON/IMG_1.WAV",
               "DCIM/100CANON/IMG_1.xmp", "DCIM/100CANON/IMG_3.cr3", "DCIM/100CANON/MVI_2.MOV",
               "DCIM/100CANON/MVI_2.THM" }
        << QStringList { "DCIM/100CANON/NOTE", "DCIM/100CANON/indice.html", "DCIM/LEGGIMI.TXT" }
        << QStringList();
    // Chosen as a folder of its own, it is what was asked for.
    QTest::newRow("a catalogue's folder itself")
        << QStringList { "M0100.CTG", "LEGGIMI.TXT" } << false
        << QStringList { "LEGGIMI.TXT", "M0100.CTG" } << QStringList() << QStringList();
}

// The files a folder gives a run, in the window and the terminal alike, and
// the cameras they name.
void TestSuffisso::selection()
{
    QFETCH(QStringList, files);
    QFETCH(bool, subfolders);
    QFETCH(QStringList, selected);
    QFETCH(QStringList, left);
    QFETCH(QStringList, cameras);
    QTemporaryDir root;
    writeChosen(root.path(), files);
    // A link to a folder may lead back up the tree, or off the card.
    QVERIFY(QFile::link(root.path(), root.filePath(QStringLiteral("indietro"))));

    CartellaLetta found = fileDellaCartella(root.path(), subfolders);
    found.file.sort();
    found.lasciati.sort();
    QCOMPARE(found.file, selected);
    QCOMPARE(found.lasciati, left);
    QStringList seen;
    for (const Fotocamera &camera : fotocamereDi(root.path() + u'/', found.file))
        seen.append(camera.modello + QStringLiteral(": ") + QString::number(camera.foto));
    QCOMPARE(seen, cameras);
}

COPIA_TEST_MAIN(TestSuffisso)
#include "tst_suffisso.moc"
