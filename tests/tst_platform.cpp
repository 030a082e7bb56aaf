#include "support.h"

#include "platform/copying.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/filestamps.h"
#include "platform/folderlisting.h"
#include "platform/media.h"
#include "platform/photometadata.h"
#include "platform/publishing.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QTimeZone>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace platform;

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matching_data();
    void matching();
    void listingTakesOrdinaryFilesOnly();
    void listingOfMissingFolderIsEmpty();
    void namesThatAreNotUtf8_data();
    void namesThatAreNotUtf8();
    void copyKeepsContentTimeAndPermissions();
    void copyNeverReplaces_data();
    void copyNeverReplaces();
    void copyFailingPartWayLeavesNothing();
    void movedOriginalReplacedKeepsCopies();
    void everyMedium_data();
    void everyMedium();
    void vanishedCard_data();
    void vanishedCard();
    void mountTable_data();
    void mountTable();
    void volumeSerialOfCard_data();
    void volumeSerialOfCard();
    void faultyCard_data();
    void faultyCard();
    void staleTemporariesAreRemoved();
    void moveWithinFileSystemRenames();
    void moveAcrossFileSystemsCopiesThenDeletes();
    void failuresCarryOperationPathsAndReason();
    void reasonsInItalian_data();
    void reasonsInItalian();
    void fileTimeRoundTripsAcrossSeasons_data();
    void fileTimeRoundTripsAcrossSeasons();
    void captureTime_data();
    void captureTime();
    void fileTimeWriterLeavesOtherTimes();
};

void TestPlatform::matching_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");

    QTest::newRow("three digits") << "Img_001.jpg"
                                  << "Img_???.*" << true;
    QTest::newRow("letter case") << "IMG_002.JPG"
                                 << "Img_???.*" << true;
    QTest::newRow("further dots") << "Img_003.tar.gz"
                                  << "Img_???.*" << true;
    QTest::newRow("two digits") << "Img_01.jpg"
                                << "Img_???.*" << true;
    QTest::newRow("no extension") << "Img_005"
                                  << "Img_???.*" << true;
    QTest::newRow("four digits") << "Img_0001.jpg"
                                 << "Img_???.*" << false;
    QTest::newRow("other base") << "Foto_001.jpg"
                                << "Img_???.*" << false;
    QTest::newRow("all files") << "DSC_0100.JPG"
                               << "*.*" << true;
    QTest::newRow("all files, no dot") << "LEGGIMI"
                                       << "*.*" << true;
    QTest::newRow("type") << "mare.GIF"
                          << "*.gif" << true;
    QTest::newRow("other type") << "mare.gif.bak"
                                << "*.gif" << false;
    QTest::newRow("star matches nothing") << "Img_"
                                          << "Img_*" << true;
    QTest::newRow("accented, case blind") << "Città_001.jpg"
                                          << "CITTÀ_*" << true;
    QTest::newRow("question mark inside") << "Img_a1.jpg"
                                          << "Img_?1.jpg" << true;
    QTest::newRow("question mark needs a character") << "Img_1.jpg"
                                                     << "Img_?1.jpg" << false;
    QTest::newRow("literal tail") << "Img_001.jpgx"
                                  << "Img_???.jpg" << false;
    QTest::newRow("many stars") << QString(200, QLatin1Char('a')) << "*a*a*a*a*a*a*a*a*a*b"
                                << false;
}

void TestPlatform::matching()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(matchesPattern(name, pattern), matches);
}

void TestPlatform::listingTakesOrdinaryFilesOnly()
{
    QTemporaryDir dir;
    test::writeFile(dir.path(), QStringLiteral("IMG_001.JPG"));
    test::writeFile(dir.path(), QStringLiteral("Img_002.jpg"));
    test::writeFile(dir.path(), QStringLiteral(".Img_003.jpg"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Img_004.d")));
    QVERIFY(QFile::link(
        dir.filePath(QStringLiteral("Img_002.jpg")), dir.filePath(QStringLiteral("Img_005.jpg"))));
    QVERIFY(QFile::link(
        dir.filePath(QStringLiteral("assente")), dir.filePath(QStringLiteral("Img_006.jpg"))));
    QCOMPARE(
        ::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("Img_007.jpg"))).constData(), 0600),
        0);
    test::writeFile(dir.path(), QStringLiteral("Foto_008.jpg"));

    FolderListing listing(test::slashed(dir.path()) + QStringLiteral("img_???.*"));
    QStringList names;
    for (QString name = listing.next(); !name.isEmpty(); name = listing.next())
        names.append(name);
    names.sort();
    QCOMPARE(names, QStringList({ "IMG_001.JPG", "Img_002.jpg", "Img_005.jpg" }));
    QCOMPARE(listing.next(), QString());
}

void TestPlatform::listingOfMissingFolderIsEmpty()
{
    QTemporaryDir dir;
    const QString file = test::writeFile(dir.path(), QStringLiteral("foto.jpg"));
    QCOMPARE(FolderListing(dir.filePath(QStringLiteral("assente/*.*"))).next(), QString());
    QCOMPARE(FolderListing(file + QStringLiteral("/*.*")).next(), QString());
}

void TestPlatform::namesThatAreNotUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    // As a script's JSON reader gets it, each byte that is not UTF-8 a lone surrogate.
    QTest::addColumn<QString>("escaped");

    const QString citta = QStringLiteral("Citt\u00e0 \U0001F4F7.jpg");
    QTest::newRow("UTF-8") << QByteArray("Citt\xc3\xa0 \xf0\x9f\x93\xb7.jpg") << citta << citta;
    QTest::newRow("0xff 0xfe") << QByteArray("DSC\xff\xfe.JPG")
                               << QStringLiteral("DSC\uFFFD\uFFFD.JPG")
                               << (QStringLiteral("DSC") + QChar(0xDCFF) + QChar(0xDCFE)
                                      + QStringLiteral(".JPG"));
    QTest::newRow("cut short") << QByteArray("a\xe2\x82.jpg") << QStringLiteral("a\uFFFD\uFFFD.jpg")
                               << (QStringLiteral("a") + QChar(0xDCE2) + QChar(0xDC82)
                                      + QStringLiteral(".jpg"));
    QTest::newRow("overlong") << QByteArray("\xc0\xae.jpg") << QStringLiteral("\uFFFD\uFFFD.jpg")
                              << (QString(QChar(0xDCC0)) + QChar(0xDCAE) + QStringLiteral(".jpg"));
    QTest::newRow("surrogate") << QByteArray("\xed\xb2\x80.jpg")
                               << QStringLiteral("\uFFFD\uFFFD\uFFFD.jpg")
                               << (QString(QChar(0xDCED)) + QChar(0xDCB2) + QChar(0xDC80)
                                      + QStringLiteral(".jpg"));
    QTest::newRow("past U+10FFFF")
        << QByteArray("\xf4\x90\x80\x80.jpg") << QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD.jpg")
        << (QString(QChar(0xDCF4)) + QChar(0xDC90) + QChar(0xDC80) + QChar(0xDC80)
               + QStringLiteral(".jpg"));
    // A real character of the range the program keeps raw bytes in is itself.
    QTest::newRow("a character of the escapes")
        << QByteArray("\xee\xbe\x80.jpg") << QStringLiteral("\uEF80.jpg")
        << QStringLiteral("\uEF80.jpg");
    QTest::newRow("byte order mark")
        << QByteArray("\xef\xbb\xbfZ.jpg") << QStringLiteral("\uFEFFZ.jpg")
        << QStringLiteral("\uFEFFZ.jpg");
}

// Listed, read and named again by their very bytes; shown as best a display can.
void TestPlatform::namesThatAreNotUtf8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QFETCH(QString, escaped);
    QTemporaryDir dir;
    const QString folder = test::slashed(dir.path());
    const QDateTime time(QDate(2026, 8, 1), QTime(9, 30, 1));
    const QString photo = test::writeFile(dir.path(), QStringLiteral("foto"), "foto", time);
    const QByteArray path = QFile::encodeName(folder) + bytes;
    QCOMPARE(::rename(QFile::encodeName(photo).constData(), path.constData()), 0);
    // QTemporaryDir cannot name it to remove it.
    const auto removing = qScopeGuard([&path] { ::unlink(path.constData()); });

    FolderListing listing(folder + QStringLiteral("*.JPG"));
    const QString name = listing.next();
    QCOMPARE(encodeFileName(name), bytes);
    QCOMPARE(displayFileName(name), shown);
    QCOMPARE(surrogateEscapedName(name), escaped);
    QCOMPARE(fileTime(folder + name), time);
    // As Qt's file dialog gives it back.
    QCOMPARE(pathFromQt(folder + QFile::decodeName(bytes)), folder + name);
    const FileError failure(FileError::Operation::Copy, { folder + name, folder }, ENOENT);
    QVERIFY(failure.message().contains(folder + shown));
}

void TestPlatform::copyKeepsContentTimeAndPermissions()
{
    QTemporaryDir dir;
    // Large enough to be read back in parts while it is written, and a tail.
    QByteArray content((65 << 20) + 4321, 'x');
    content[(40 << 20) + 7] = 'y';
    const QString source = test::writeFile(dir.path(), QStringLiteral("a.jpg"), content);
    test::setTime(source, QDateTime(QDate(2026, 7, 15), QTime(10, 20, 30)), 123456789);
    QVERIFY(QFile::setPermissions(source, QFile::ReadOwner | QFile::ReadGroup));
    const QString target = dir.filePath(QStringLiteral("b.jpg"));

    test::copyFile(source, target);
    QCOMPARE(test::contentOf(target), content);
    QCOMPARE(test::statOf(target).st_mtim.tv_sec, test::statOf(source).st_mtim.tv_sec);
    QCOMPARE(test::statOf(target).st_mtim.tv_nsec, 123456789L);
    QCOMPARE(test::statOf(target).st_mode & 0777, mode_t(0440));
    QCOMPARE(test::entriesOf(dir.path()), QStringList({ "a.jpg", "b.jpg" }));
}

void TestPlatform::copyNeverReplaces_data()
{
    QTest::addColumn<bool>("move");
    QTest::newRow("copy") << false;
    QTest::newRow("rename") << true;
}

void TestPlatform::copyNeverReplaces()
{
    QFETCH(bool, move);
    QTemporaryDir dir;
    const QString source = test::writeFile(dir.path(), QStringLiteral("nuova.jpg"), "nuova");
    const QDateTime old(QDate(2020, 1, 2), QTime(3, 4, 5));
    const QString target =
        test::writeFile(dir.path(), QStringLiteral("Img_001.jpg"), "vecchia", old);

    try {
        if (move)
            moveFile(source, target);
        else
            test::copyFile(source, target);
        QFAIL("an existing file was replaced");
    } catch (const FileError &error) {
        QCOMPARE(error.errorCode(), EEXIST);
    }
    QCOMPARE(test::contentOf(target), QByteArray("vecchia"));
    QCOMPARE(fileTime(target), old);
    QCOMPARE(test::contentOf(source), QByteArray("nuova"));
    QCOMPARE(test::entriesOf(dir.path()), QStringList({ "Img_001.jpg", "nuova.jpg" }));
}

void TestPlatform::copyFailingPartWayLeavesNothing()
{
    QTemporaryDir dir;
    const QString source =
        test::writeFile(dir.path(), QStringLiteral("grande.jpg"), QByteArray(1 << 20, 'g'));
    const QString folder = dir.filePath(QStringLiteral("dest"));
    QVERIFY(QDir().mkdir(folder));

    int errorCode = 0;
    try {
        // The kernel refuses the copy after its first bytes.
        const test::FileSizeLimit limit(256 << 10);
        test::copyFile(source, folder + QStringLiteral("/Img_001.jpg"));
    } catch (const FileError &error) {
        errorCode = error.errorCode();
    }

    QCOMPARE(errorCode, EFBIG);
    QCOMPARE(test::entriesOf(folder), QStringList());
    QCOMPARE(test::contentOf(source).size(), 1 << 20);
}

// Between the proof of a move's copies and the deletion of its original,
// another file takes the original's name, and may take its inode number:
// the copies, the only ones of the photo perhaps, stay.
void TestPlatform::movedOriginalReplacedKeepsCopies()
{
    QTemporaryDir dir;
    const QString source = test::writeFile(dir.path(), QStringLiteral("a.jpg"), "foto");
    const QStringList targets { dir.filePath(QStringLiteral("Img_001.jpg")),
        dir.filePath(QStringLiteral("riserva.jpg")) };
    std::vector<PendingCopy> copies = writeCopies(source, targets);
    for (PendingCopy &copy : copies) {
        verifyCopy(copy, &copy == &copies.front());
        publishCopy(copy);
    }
    QVERIFY(QFile::remove(source));
    test::writeFile(dir.path(), QStringLiteral("a.jpg"), "altra");

    QVERIFY_THROWS_EXCEPTION(FileError, removeMovedOriginal(copies.front(), &copies.back()));
    for (const QString &target : targets)
        QCOMPARE(test::contentOf(target), QByteArray("foto"));
}

void TestPlatform::everyMedium_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("resolution"); // of file times, in seconds
    QTest::addColumn<bool>("keepsPermissions");

    // Without unnamed files; times set on an open file can go astray.
    QTest::newRow("bindfs") << "bindfs" << 1 << true;
    // Without unnamed files, a rename that refuses to replace, or hard links.
    QTest::newRow("exFAT") << "exfat" << 1 << false;
    QTest::newRow("FAT32") << "fat32" << 2 << false;
    // The same, with a plain rename that will not replace either.
    QTest::newRow("rename refuses") << "quirky:refuse-replace" << 1 << true;
    QTest::newRow("rename replaces") << "quirky:" << 1 << true;
}

void TestPlatform::vanishedCard_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QString>("said"); // the first line

    QTest::newRow("before the copy") << ""
                                     << "Impossibile copiare «%1» in «%2».";
    QTest::newRow("as the copy is read back")
        << "vanish=Img_001"
        << "Impossibile rileggere la copia di «%1» in «%2» per verificarla. L'originale non è "
           "stato toccato.";
}

// A card pulled out during a run: its driver no longer answers, which is
// said as such, naming the card's folder, never as a copy that differs.
void TestPlatform::vanishedCard()
{
    QFETCH(QString, faults);
    QFETCH(QString, said);
    const test::Medium card(QStringLiteral("quirky:") + faults);
    if (!card.isMounted())
        QSKIP(qPrintable(card.whyNot()));
    QTemporaryDir disk;
    const QString photo = test::writeFile(disk.path(), QStringLiteral("a.jpg"));
    const QString target = card.filePath(QStringLiteral("Img_001.jpg"));
    if (faults.isEmpty()) {
        QVERIFY(card.pullOut());
        QTRY_VERIFY(!QFileInfo::exists(card.filePath(QStringLiteral("."))));
    }
    try {
        test::copyFile(photo, target);
        QFAIL("a copy onto a card that is gone succeeded");
    } catch (const FileError &error) {
        QCOMPARE(error.message(),
            said.arg(photo, target)
                + QStringLiteral("\n\nIl supporto di «%1» non risponde più: la scheda o il "
                                 "disco è stato rimosso?")
                      .arg(card.path()));
    }
}

void TestPlatform::mountTable_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("mountPoint"); // empty where the line gives no mount
    QTest::addColumn<QByteArray>("root");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("source");

    QTest::newRow("a blank in the label")
        << QByteArray("36 25 7:0 / /media/EOS\\040DIGITAL rw,nosuid - vfat /dev/loop0 rw")
        << "/media/EOS DIGITAL" << QByteArray("/") << QByteArray("vfat")
        << QByteArray("/dev/loop0");
    QTest::newRow("tab, backslash and optional fields")
        << QByteArray("40 25 0:50 /sub /mnt/a\\011b\\134c rw shared:1 master:2 - fuse.fusefat "
                      "/tmp/card\\040one.img rw")
        << "/mnt/a\tb\\c" << QByteArray("/sub") << QByteArray("fuse.fusefat")
        << QByteArray("/tmp/card one.img");
    QTest::newRow("a byte that is not UTF-8")
        << QByteArray("41 25 0:51 / /media/\xff\\012x rw - fuseblk /dev/sdb1 rw")
        << decodeFileName("/media/\xff\nx") << QByteArray("/") << QByteArray("fuseblk")
        << QByteArray("/dev/sdb1");
    QTest::newRow("cut short") << QByteArray("42 25 0:52 / /media/x rw - vfat") << QString()
                               << QByteArray() << QByteArray() << QByteArray();
}

// The mount table's names as the kernel escapes them, read back to the byte.
void TestPlatform::mountTable()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, mountPoint);
    QFETCH(QByteArray, root);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, source);
    const QList<MountEntry> mounts = parseMountInfo(line + "\n");
    QCOMPARE(mounts.size(), mountPoint.isEmpty() ? 0 : 1);
    if (mounts.isEmpty())
        return;
    QCOMPARE(mounts.first().mountPoint, mountPoint);
    QCOMPARE(mounts.first().root, root);
    QCOMPARE(mounts.first().type, type);
    QCOMPARE(mounts.first().source, source);
}

void TestPlatform::volumeSerialOfCard_data()
{
    QTest::addColumn<int>("fat"); // mkfs.vfat's FAT size; 0 leaves the card blank
    QTest::addColumn<QString>("serial");
    QTest::newRow("FAT12") << 12 << "1234-ABCD";
    QTest::newRow("FAT16") << 16 << "1234-ABCD";
    QTest::newRow("FAT32") << 32 << "1234-ABCD";
    QTest::newRow("blank") << 0 << QString();
}

// Where udev names no volumes, a card's serial is read off it, written as udev
// would name it.
void TestPlatform::volumeSerialOfCard()
{
    QFETCH(int, fat);
    QFETCH(QString, serial);
    QTemporaryDir folder;
    QFile image(folder.filePath(QStringLiteral("card.img")));
    QVERIFY(image.open(QIODevice::WriteOnly) && image.resize(64 << 20));
    image.close();
    if (fat != 0) {
        const QString mkfs = QStandardPaths::findExecutable(
            QStringLiteral("mkfs.vfat"), { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin") });
        if (mkfs.isEmpty())
            QSKIP("mkfs.vfat is not installed");
        QProcess format;
        format.start(mkfs,
            { QStringLiteral("-F"), QString::number(fat), QStringLiteral("-i"),
                QStringLiteral("1234ABCD"), image.fileName() });
        QVERIFY(format.waitForFinished() && format.exitCode() == 0);
    }
    QCOMPARE(volumeSerial(image.fileName()), serial);
}

void TestPlatform::faultyCard_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<bool>("move");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QByteArray>("left"); // under the new name; null for nothing

    const auto operation = [](FileError::Operation value) { return int(value); };
    QTest::newRow("another program writes the reservation")
        << "meddle" << false << operation(FileError::Operation::Copy) << QByteArray("altro");
    QTest::newRow("copy whose time is refused is in place")
        << "refuse-replace,no-times" << false << operation(FileError::Operation::SetTime)
        << QByteArray("foto");
    QTest::newRow("move whose time is refused stays")
        << "refuse-replace,no-times" << true << operation(FileError::Operation::MoveUndone)
        << QByteArray();
    QTest::newRow("move whose folder cannot be flushed stays")
        << "no-folder-sync" << true << operation(FileError::Operation::MoveUndone) << QByteArray();
}

// Faults after the new name is reserved or published: no other program's
// file is replaced, a moved photo stays in one place, and the report tells.
void TestPlatform::faultyCard()
{
    QFETCH(QString, faults);
    QFETCH(bool, move);
    QFETCH(int, operation);
    QFETCH(QByteArray, left);
    const test::Medium card(QStringLiteral("quirky:") + faults);
    if (!card.isMounted())
        QSKIP(qPrintable(card.whyNot()));
    QTemporaryDir disk;
    const QString photo = test::writeFile(disk.path(), QStringLiteral("a.jpg"), "foto");
    const QString target = card.filePath(QStringLiteral("Img_001.jpg"));
    prepareDestination(test::slashed(card.path()));
    try {
        if (move)
            moveByCopying(photo, target);
        else
            test::copyFile(photo, target);
        QFAIL("the fault went unnoticed");
    } catch (const FileError &error) {
        QCOMPARE(int(error.operation()), operation);
        if (error.operation() == FileError::Operation::SetTime)
            QVERIFY(error.message().contains(QStringLiteral("è al suo posto")));
    }
    QCOMPARE(test::entriesOf(card.path()),
        left.isNull() ? QStringList() : QStringList({ "Img_001.jpg" }));
    if (!left.isNull())
        QCOMPARE(test::contentOf(target), left);
    QCOMPARE(test::contentOf(photo), QByteArray("foto"));
}

// Onto a card, within it and off it again: right names, contents and times,
// nothing replaced and nothing hidden left behind.
void TestPlatform::everyMedium()
{
    QFETCH(QString, kind);
    QFETCH(int, resolution);
    QFETCH(bool, keepsPermissions);
    const test::Medium card(kind);
    if (!card.isMounted())
        QSKIP(qPrintable(card.whyNot()));
    const mode_t savedUmask = ::umask(022);
    const auto restoreUmask = qScopeGuard([savedUmask] { ::umask(savedUmask); });
    QTemporaryDir disk;
    const QDateTime time(QDate(2026, 8, 1), QTime(9, 30, 1));
    const auto timeKept = [&](const QString &path) {
        const qint64 lag = fileTime(path).secsTo(time);
        return lag >= 0 && lag < resolution;
    };
    const QByteArray content(1 << 20, 'a');
    const QString photo = test::writeFile(disk.path(), QStringLiteral("a.jpg"), content, time);
    QVERIFY(QFile::setPermissions(photo, QFileDevice::Permissions(0x7777)));

    const QString first = card.filePath(QStringLiteral("Img_001.jpg"));
    prepareDestination(test::slashed(card.path()));
    test::copyFile(photo, first);
    QCOMPARE(test::contentOf(first), content);
    QVERIFY(timeKept(first));
    // A document: read and write bits only, less the umask.
    if (keepsPermissions)
        QCOMPARE(test::statOf(first).st_mode & 0777, mode_t(0644));
    QVERIFY_THROWS_EXCEPTION(FileError, test::copyFile(photo, first));

    const QString moved = test::writeFile(disk.path(), QStringLiteral("b.jpg"), "b", time);
    moveFile(moved, card.filePath(QStringLiteral("Img_002.jpg")));
    QVERIFY(!QFile::exists(moved));
    QVERIFY(timeKept(card.filePath(QStringLiteral("Img_002.jpg"))));
    moveFile(
        card.filePath(QStringLiteral("Img_002.jpg")), card.filePath(QStringLiteral("Img_003.jpg")));
    QVERIFY_THROWS_EXCEPTION(
        FileError, moveFile(card.filePath(QStringLiteral("Img_003.jpg")), first));
    QCOMPARE(test::contentOf(first), content);

    // Off the card: whatever modes a FAT or exFAT card shows, its mount's,
    // the copy gets a new document's.
    const QString home = disk.filePath(QStringLiteral("Img_003.jpg"));
    moveFile(card.filePath(QStringLiteral("Img_003.jpg")), home);
    QCOMPARE(test::contentOf(home), QByteArray("b"));
    QVERIFY(timeKept(home));
    QCOMPARE(test::statOf(home).st_mode & 0777, mode_t(0644));

    const QDateTime corrected = time.addSecs(7199);
    setFileTime(first, corrected);
    QVERIFY(qAbs(fileTime(first).secsTo(corrected)) < resolution);

    {
        const test::FileSizeLimit limit(256 << 10);
        QVERIFY_THROWS_EXCEPTION(
            FileError, test::copyFile(photo, card.filePath(QStringLiteral("Img_004.jpg"))));
    }
    // What a run killed between reserving a name and publishing leaves.
    const QDateTime longAgo = QDateTime::currentDateTime().addSecs(-3600);
    test::writeFile(
        card.path(), QStringLiteral(".copia-e-rinomina-x.Img_005.jpg"), "foto", longAgo);
    test::writeFile(card.path(), QStringLiteral("Img_005.jpg"), "");
    prepareDestination(test::slashed(card.path()), ::time(nullptr) + 11 * 60);
    QCOMPARE(test::entriesOf(card.path()), QStringList({ "Img_001.jpg" }));
    QCOMPARE(test::entriesOf(disk.path()), QStringList({ "Img_003.jpg", "a.jpg" }));
}

// A run killed part way leaves its hidden file, and maybe the empty
// reservation of its name; one that another run still writes is locked, or,
// seen through another mount, written lately, and stays, whatever the
// photo's own time it took.
void TestPlatform::staleTemporariesAreRemoved()
{
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime longAgo = now.addSecs(-11 * 60);
    const auto write = [&](const char *name, const QByteArray &content, const QDateTime &time) {
        return test::writeFile(dir.path(), QLatin1String(name), content, time);
    };
    write(".copia-e-rinomina-interrotta", "mezza", longAgo);
    write(".copia-e-rinomina-a.Img_002.jpg", "foto", longAgo);
    write("Img_002.jpg", "", {});
    write(".copia-e-rinomina-b.Img_003.jpg", "foto", longAgo);
    write("Img_003.jpg", "altra", {});
    // Nine minutes before the moment of the second look.
    write(".copia-e-rinomina-recente", "mezza", now.addSecs(2 * 60));
    const QString busy = write(".copia-e-rinomina-in-corso", "mezza", longAgo);
    write(".altro", "", longAgo);
    write("Img_001.jpg", "", longAgo);
    QFile writing(busy);
    QVERIFY(writing.open(QIODevice::ReadOnly));
    QCOMPARE(::flock(writing.handle(), LOCK_EX | LOCK_NB), 0);

    // All were written just now, though their times are old.
    const QStringList all = test::entriesOf(dir.path());
    prepareDestination(test::slashed(dir.path()));
    QCOMPARE(test::entriesOf(dir.path()), all);
    prepareDestination(test::slashed(dir.path()), ::time(nullptr) + 11 * 60);
    QCOMPARE(test::entriesOf(dir.path()),
        QStringList({ ".altro", ".copia-e-rinomina-in-corso", ".copia-e-rinomina-recente",
            "Img_001.jpg", "Img_003.jpg" }));

    // One its run recorded goes at once with its reservation, while it is that
    // very file: not another put under its name, nor a link there, nor the
    // photo a kill left under both names as it published it by a link.
    const auto made = [](const QString &path) { return *fileStamp(path); };
    const FileStamp own = made(write(".copia-e-rinomina-c.Img_004.jpg", "foto", now));
    write("Img_004.jpg", "", {});
    const FileStamp replaced = made(write(".copia-e-rinomina-d.Img_005.jpg", "foto", now));
    write("altra", "altra", now);
    QVERIFY(::rename(qPrintable(dir.filePath("altra")),
                qPrintable(dir.filePath(".copia-e-rinomina-d.Img_005.jpg")))
        == 0);
    QVERIFY(QFile::link(dir.filePath("Img_003.jpg"), dir.filePath(".copia-e-rinomina-e.Img_006")));
    const FileStamp published = made(write(".copia-e-rinomina-f.Img_007.jpg", "", now));
    QVERIFY(::link(qPrintable(dir.filePath(".copia-e-rinomina-f.Img_007.jpg")),
                qPrintable(dir.filePath("Img_007.jpg")))
        == 0);
    const QStringList before = test::entriesOf(dir.path());
    QVERIFY(removeOwnTemporary(dir.filePath(".copia-e-rinomina-c.Img_004.jpg"), own, true));
    QCOMPARE(test::entriesOf(dir.path()), before);
    QVERIFY(removeOwnTemporary(dir.filePath(".copia-e-rinomina-c.Img_004.jpg"), own));
    QVERIFY(!removeOwnTemporary(dir.filePath(".copia-e-rinomina-d.Img_005.jpg"), replaced));
    QVERIFY(!removeOwnTemporary(
        dir.filePath(".copia-e-rinomina-e.Img_006"), made(dir.filePath("Img_003.jpg"))));
    QVERIFY(removeOwnTemporary(dir.filePath(".copia-e-rinomina-f.Img_007.jpg"), published));
    QCOMPARE(test::entriesOf(dir.path()),
        QStringList({ ".altro", ".copia-e-rinomina-d.Img_005.jpg", ".copia-e-rinomina-e.Img_006",
            ".copia-e-rinomina-in-corso", ".copia-e-rinomina-recente", "Img_001.jpg", "Img_003.jpg",
            "Img_007.jpg" }));
}

void TestPlatform::moveWithinFileSystemRenames()
{
    QTemporaryDir dir;
    const QString source = test::writeFile(dir.path(), QStringLiteral("a.jpg"));
    const ino_t inode = test::statOf(source).st_ino;
    const QString target = dir.filePath(QStringLiteral("b.jpg"));
    moveFile(source, target);
    QCOMPARE(test::statOf(target).st_ino, inode);
    QVERIFY(!QFile::exists(source));

    // A link goes as its photo, which stays; renamed, a relative link would dangle.
    QVERIFY(QFile::link(QStringLiteral("b.jpg"), dir.filePath(QStringLiteral("link.jpg"))));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dest")));
    const QString moved = dir.filePath(QStringLiteral("dest/Img_001.jpg"));
    moveFile(dir.filePath(QStringLiteral("link.jpg")), moved);
    QCOMPARE(test::contentOf(moved), test::contentOf(target));
    QCOMPARE(test::entriesOf(dir.path()), QStringList({ "b.jpg", "dest" }));
}

void TestPlatform::moveAcrossFileSystemsCopiesThenDeletes()
{
    const auto memory = test::folderOnOtherFileSystem();
    if (!memory)
        QSKIP("/dev/shm and the temporary folder are one file system here");
    QTemporaryDir disk;
    const QDateTime time(QDate(2026, 8, 1), QTime(12, 0, 0));
    const QString source = test::writeFile(memory->path(), QStringLiteral("a.jpg"), "mare", time);
    const QString target = disk.filePath(QStringLiteral("Img_001.jpg"));
    moveFile(source, target);
    QVERIFY(!QFile::exists(source));
    QCOMPARE(test::contentOf(target), QByteArray("mare"));
    QCOMPARE(fileTime(target), time);
}

void TestPlatform::failuresCarryOperationPathsAndReason()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("sparita.jpg"));
    const QString target = dir.filePath(QStringLiteral("Img_001.jpg"));
    try {
        test::copyFile(missing, target);
        QFAIL("copying a missing file succeeded");
    } catch (const FileError &error) {
        QCOMPARE(error.operation(), FileError::Operation::Copy);
        QCOMPARE(error.paths(), QStringList({ missing, target }));
        QCOMPARE(error.errorCode(), ENOENT);
        QVERIFY(error.message().contains(missing));
        QVERIFY(error.message().contains(target));
        QVERIFY(error.message().endsWith(QStringLiteral("\n\nIl file o la cartella non esiste.")));
    }
    QVERIFY_THROWS_EXCEPTION(FileError, fileTime(missing));
    QVERIFY_THROWS_EXCEPTION(FileError, makeWritable(missing));
}

void TestPlatform::reasonsInItalian_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<bool>("sourceRead");
    QTest::addColumn<QString>("reason"); // after the first line

    const auto copy = int(FileError::Operation::Copy);
    const auto verify = int(FileError::Operation::Verify);
    const auto rename = int(FileError::Operation::Rename);
    const QStringList photo { "/media/sd/DCIM/IMG_1.JPG", "/home/a/Foto/Img_001.jpg" };
    const QStringList backup { "/media/sd/DCIM/IMG_1.JPG", "/media/riserva/Img_001.jpg" };
    const QString gone = "Il supporto di «%1» non risponde più: la scheda o il disco è stato "
                         "rimosso?";
    QTest::newRow("source missing")
        << copy << photo << ENOENT << true << "Il file o la cartella non esiste.";
    QTest::newRow("rename across file systems")
        << rename << photo << EXDEV << false << "Il file è su un altro supporto.";
    QTest::newRow("beyond the table, the system's words")
        << copy << photo << EHOSTDOWN << false << qt_error_string(EHOSTDOWN) + '.';
    QTest::newRow("destination unplugged")
        << copy << photo << ENOTCONN << false << gone.arg("/home/a/Foto");
    QTest::newRow("backup pulled out")
        << copy << backup << ENODEV << false << gone.arg("/media/riserva");
    QTest::newRow("card pulled out while read")
        << copy << photo << EIO << true << gone.arg("/media/sd/DCIM");
    QTest::newRow("copy gone before its read-back")
        << verify << photo << ENOENT << false << gone.arg("/home/a/Foto");
    QTest::newRow("copy renamed within its folder, remounted")
        << copy << photo << EXDEV << false << gone.arg("/home/a/Foto");
    QTest::newRow("rename within one folder, remounted")
        << rename << QStringList { "/media/sd/a.jpg", "/media/sd/b.jpg" } << EXDEV << false
        << gone.arg("/media/sd");
    QTest::newRow("bytes that differ") << verify << photo << 0 << false << QString();
}

// Every reason is said in Italian; a medium that went away is said as such,
// by the folder of the path refused.
void TestPlatform::reasonsInItalian()
{
    QFETCH(int, operation);
    QFETCH(QStringList, paths);
    QFETCH(int, errorCode);
    QFETCH(bool, sourceRead);
    QFETCH(QString, reason);
    const FileError error(FileError::Operation(operation), paths, errorCode,
        sourceRead ? FileError::Side::Read : FileError::Side::Written);
    const QString message = error.message();
    QCOMPARE(message.section(QStringLiteral("\n\n"), 1), reason);
    QCOMPARE(message.contains(QStringLiteral("non corrisponde all'originale")), errorCode == 0);
    // A move whose copy failed is said as a move, with the same reason.
    QCOMPARE(error.asMove().message().section(QStringLiteral("\n\n"), 1), reason);
}

void TestPlatform::fileTimeRoundTripsAcrossSeasons_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::newRow("summer") << QDateTime(QDate(2026, 7, 15), QTime(10, 0, 0));
    QTest::newRow("winter") << QDateTime(QDate(2026, 12, 6), QTime(11, 15, 7));
    QTest::newRow("leap day") << QDateTime(QDate(2028, 2, 29), QTime(23, 59, 59));
}

// The tests run in Europe/Rome: a summer time written in winter, or the
// other way round, must read back unchanged.
void TestPlatform::fileTimeRoundTripsAcrossSeasons()
{
    QFETCH(QDateTime, time);
    QTemporaryDir dir;
    const QString file = test::writeFile(dir.path(), QStringLiteral("a.jpg"));
    setFileTime(file, time);
    QCOMPARE(fileTime(file), time);
    QCOMPARE(fileTime(file).time().msec(), 0);
}

void TestPlatform::fileTimeWriterLeavesOtherTimes()
{
    QTemporaryDir dir;
    const QString file = test::writeFile(dir.path(), QStringLiteral("a.jpg"), "contenuto");
    const timespec accessed { 1700000000, 0 };
    const timespec times[2] = { accessed, { 1700000000, 0 } };
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
    setFileTime(file, QDateTime(QDate(2026, 12, 6), QTime(11, 15, 7)));
    QCOMPARE(test::statOf(file).st_atim.tv_sec, accessed.tv_sec);
    QCOMPARE(test::statOf(file).st_mtim.tv_nsec, 0L);
    QCOMPARE(test::contentOf(file), QByteArray("contenuto"));

    const QString missing = dir.filePath(QStringLiteral("assente.jpg"));
    QVERIFY_THROWS_EXCEPTION(FileError, setFileTime(missing, QDateTime::currentDateTime()));
    QVERIFY(!QFile::exists(missing));
}

void TestPlatform::captureTime_data()
{
    QTest::addColumn<QStringList>("tags");
    // How the file is spoilt after it is made: renamed, cut or replaced.
    QTest::addColumn<QString>("spoilt");
    // In UTC, or empty where the photo tells none.
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("model");

    const QString original = QStringLiteral("Exif.Photo.DateTimeOriginal=2026:08:10 10:10:00");
    QTest::newRow("original, local time")
        << QStringList { original, "Exif.Image.Model= Canon EOS R6 " } << ""
        << "2026-08-10T08:10:00.000"
        << "Canon EOS R6";
    QTest::newRow("sub-seconds and offset") << QStringList { original,
        "Exif.Photo.SubSecTimeOriginal=12", "Exif.Photo.OffsetTimeOriginal=+05:00" }
                                            << ""
                                            << "2026-08-10T05:10:00.120"
                                            << "";
    QTest::newRow("original before the digitized")
        << QStringList { original, "Exif.Photo.DateTimeDigitized=2026:08:10 12:00:00" } << ""
        << "2026-08-10T08:10:00.000"
        << "";
    QTest::newRow("digitized alone")
        << QStringList { "Exif.Photo.DateTimeDigitized=2026:12:24 23:59:59" } << ""
        << "2026-12-24T22:59:59.000"
        << "";
    QTest::newRow("none") << QStringList() << ""
                          << ""
                          << "";
    QTest::newRow("a photo named as a picture of another kind") << QStringList { original } << "png"
                                                                << "2026-08-10T08:10:00.000"
                                                                << "";
    QTest::newRow("text named as a photo") << QStringList() << "text"
                                           << ""
                                           << "";
    QTest::newRow("damaged header") << QStringList { original } << "cut"
                                    << ""
                                    << "";
    QTest::newRow("past a large segment and fill bytes")
        << QStringList { original, "Exif.Image.Model=NIKON Z 6" } << "profile"
        << "2026-08-10T08:10:00.000"
        << "NIKON Z 6";
    QTest::newRow("in an hour the local clock skips")
        << QStringList { "Exif.Photo.DateTimeOriginal=2026:03:29 02:30:00" } << ""
        << "2026-03-29T01:30:00.000"
        << "";
    QTest::newRow("past what a moment counts, not wrapped")
        << QStringList { "Exif.Photo.DateTimeOriginal=9999:12:31 23:59:59" } << ""
        << ""
        << "";
    // Its header at 08:10: a camera's local clock, or a CR3's UTC.
    QTest::newRow("a camera's movie, on its local clock") << QStringList() << "movie"
                                                          << "2026-08-10T06:10:00.000"
                                                          << "";
    QTest::newRow("a CR3's header, in UTC") << QStringList() << "cr3"
                                            << "2026-08-10T08:10:00.000"
                                            << "";
    QTest::newRow("a phone's movie, by its keyed date and zone") << QStringList() << "keys"
                                                                 << "2026-08-10T09:03:00.000"
                                                                 << "";
    QTest::newRow("a movie's ©day with a blank, no seconds, and a zone")
        << QStringList() << "day"
        << "2026-08-10T14:03:00.000"
        << "";
    QTest::newRow("a HEIC") << QStringList { original, "Exif.Image.Model=iPhone 15" } << "heic"
                            << "2026-08-10T08:10:00.000"
                            << "iPhone 15";
}

// Read from the metadata alone; what a file cannot tell, it does not.
void TestPlatform::captureTime()
{
    QFETCH(QStringList, tags);
    QFETCH(QString, spoilt);
    QFETCH(QString, expected);
    QFETCH(QString, model);
    QTemporaryDir dir;
    QMap<QString, QString> exif;
    for (const QString &tag : tags)
        exif.insert(tag.section(u'=', 0, 0), tag.section(u'=', 1));
    QString photo = test::writePhoto(dir.path(), QStringLiteral("a.jpg"), exif);
    if (spoilt == QLatin1String("png")) {
        QVERIFY(QFile::rename(photo, dir.filePath(QStringLiteral("a.png"))));
        photo = dir.filePath(QStringLiteral("a.png"));
    } else if (spoilt == QLatin1String("cut")) {
        QVERIFY(QFile::resize(photo, 40));
    } else if (spoilt == QLatin1String("profile")) {
        // An 8 KiB colour profile ahead of the EXIF, as some cameras write.
        QFile file(photo);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = file.readAll();
        const QByteArray profile =
            QByteArray("\xFF\xFF\xFF\xE2\x20\x02", 6) + QByteArray(0x2000, 'p');
        QVERIFY(file.seek(0));
        file.write(bytes.first(2) + profile + bytes.sliced(2));
    } else if (spoilt == QLatin1String("text")) {
        test::writeFile(dir.path(), QStringLiteral("a.jpg"), "Exif 2026:08:10 10:10:00");
    } else if (const QMap<QString, QPair<QByteArray, QByteArray>> movies {
                   { "movie", { "isom", {} } }, { "cr3", { "crx ", {} } },
                   { "keys", { "qt  ", test::keyedCreationDate("2026-08-10T11:03:00+0200") } },
                   { "day", { "isom", test::userDay("2026-08-10 11:03-03:00") } } };
               movies.contains(spoilt)) {
        photo = test::writeFile(dir.path(), QStringLiteral("a.mp4"),
            test::movie(QDateTime(QDate(2026, 8, 10), QTime(8, 10), QTimeZone::utc()), false, 1000,
                movies[spoilt].first, movies[spoilt].second));
    } else if (spoilt == QLatin1String("heic")) {
        photo = test::writeFile(
            dir.path(), QStringLiteral("a.heic"), test::heic(test::exifStructure(exif)));
    }

    const PhotoMetadata metadata = photoMetadata(photo);
    const QString read = metadata.captureTime
        ? QDateTime::fromMSecsSinceEpoch(*metadata.captureTime / 1'000'000, QTimeZone::utc())
              .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
        : QString();
    if (spoilt == QLatin1String("heic") && read.isEmpty())
        QSKIP("this exiv2 reads no HEIC");
    QCOMPARE(read, expected);
    QCOMPARE(metadata.model, model);
}

COPIA_TEST_MAIN(TestPlatform)
#include "tst_platform.moc"
