#include "support.h"

#include "engine/annullamento.h"
#include "engine/controllo.h"
#include "engine/numerazione.h"
#include "engine/verifica.h"
#include "platform/copying.h"
#include "platform/fileerror.h"
#include "platform/filenames.h"
#include "platform/filestamps.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QTableWidget>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

#include <functional>
#include <future>

#include <unistd.h>

namespace {

const QDateTime Earlier(QDate(2026, 6, 1), QTime(9, 0, 0));
const QDateTime Later(QDate(2026, 6, 1), QTime(9, 0, 5));

// Clicks Anteprima and, once its dialog is open, hands it and its table to act,
// which closes it or runs from it.
void withPreview(test::Window &window, const std::function<void(QDialog *, QTableWidget *)> &act)
{
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("Anteprima"))
            return;
        reader.stop();
        act(dialog, dialog->findChild<QTableWidget *>(QStringLiteral("TabellaAnteprima")));
    });
    reader.start(10);
    window.click("Anteprima");
}

// The account under the window; how long the run took, as the terminal says
// it, is the one figure that varies.
QString accountShown(test::Window &window)
{
    static const QRegularExpression duration(QStringLiteral(" in [0-9]+,[0-9] s( \\([^)]*\\))?;"));
    return window.text("Esito").replace(duration, QStringLiteral(" in N s;"));
}

} // namespace

class TestTrasferimento : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void dateOrderContinuesAfterHighestNumber_data();
    void dateOrderContinuesAfterHighestNumber();
    void nameOrderStartsAtOneAndFreesLastFile();
    void newNames_data();
    void newNames();
    void numbersGoPast999();
    void killedRunIsClearedFirst();
    void baseNameWithWildcardCharacters();
    void nameThatIsNotUtf8_data();
    void nameThatIsNotUtf8();
    void moveWithinFileSystemKeepsInode();
    void moveAcrossFileSystems();
    void refusedRuns_data();
    void refusedRuns();
    void failingFileEndsRun_data();
    void failingFileEndsRun();
    void copyFailingPartWayLeavesNothing();
    void baseNameWithSeparatorIsRefused();
    void runDoesNothingWithoutNameOrFolders_data();
    void runDoesNothingWithoutNameOrFolders();
    void emptySelectionIsSaid();
    void accountOfTheRun_data();
    void accountOfTheRun();
    void previewThenUndo();
    void previewIsTheRun_data();
    void previewIsTheRun();
    void previewThumbnails();
    void correctionPerCamera();
    void clockCorrection_data();
    void clockCorrection();
    void hiddenNewFileKeepsItsTime();
    void moveFromReadOnlyCardLeavesOriginals();
    void everyCopyIsReadBack_data();
    void everyCopyIsReadBack();
    void asUserNotRoot_data();
    void asUserNotRoot();
    void duplicatesAsked_data();
    void duplicatesAsked();
    void cardVerified_data();
    void cardVerified();
    void cardVerificationRefused_data();
    void cardVerificationRefused();
    void cardPulledOutDuringVerification();
    void foldersByDateChosen();

private:
    QString copyOf(const QStringList &names, bool move = false);

    std::unique_ptr<test::Sandbox> m_sandbox;
    std::unique_ptr<QTemporaryDir> m_source;
    std::unique_ptr<QTemporaryDir> m_destination;
    std::unique_ptr<test::Window> m_window;
};

void TestTrasferimento::initTestCase()
{
    // Daylight saving must be in force for the season tests to mean anything.
    QCOMPARE(QDateTime(QDate(2026, 7, 1), QTime(12, 0)).offsetFromUtc(), 7200);
}

void TestTrasferimento::init()
{
    m_sandbox = std::make_unique<test::Sandbox>();
    m_source = std::make_unique<QTemporaryDir>();
    m_destination = std::make_unique<QTemporaryDir>();
    m_window = std::make_unique<test::Window>();
}

void TestTrasferimento::cleanup()
{
    m_window.reset();
    m_sandbox.reset();
}

// Runs Copia (or Sposta) on the given selection from source to destination.
QString TestTrasferimento::copyOf(const QStringList &names, bool move)
{
    m_window->prepare(m_source->path(), m_destination->path(), names);
    m_window->click(move ? "Sposta" : "Copia");
    return m_window->text("Suffisso");
}

void TestTrasferimento::dateOrderContinuesAfterHighestNumber_data()
{
    QTest::addColumn<QStringList>("inDestination");
    // Chosen in this order, each a second after the one before.
    QTest::addColumn<QStringList>("chosen");
    // Each new file as "new name=the file it holds".
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("suffisso");

    QTest::newRow("a number a photo")
        << QStringList { "Img_007.jpg" } << QStringList { "DSC_0100.JPG", "DSC_0101.JPG" }
        << QStringList { "Img_008.jpg=DSC_0100.JPG", "Img_009.jpg=DSC_0101.JPG" } << "009";
    QTest::newRow("a number a shot")
        << QStringList { "Img_007.cr2", "Img_007.jpg" }
        << QStringList { "DSC_0101.JPG", "DSC_0100.JPG", "DSC_0100.CR2", "DSC_0101.CR2" }
        << QStringList { "Img_008.cr2=DSC_0101.CR2", "Img_008.jpg=DSC_0101.JPG",
               "Img_009.cr2=DSC_0100.CR2", "Img_009.jpg=DSC_0100.JPG" }
        << "009";
}

void TestTrasferimento::dateOrderContinuesAfterHighestNumber()
{
    QFETCH(QStringList, inDestination);
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, expected);
    QFETCH(QString, suffisso);
    const QString destination = m_destination->path();
    for (const QString &name : inDestination)
        test::writeFile(destination, name, "vecchia");
    for (qsizetype i = 0; i < chosen.size(); ++i)
        test::writeFile(m_source->path(), chosen.at(i), chosen.at(i).toUtf8(), Earlier.addSecs(i));

    QCOMPARE(copyOf(chosen), suffisso);
    QStringList entries = inDestination;
    for (const QString &copy : expected) {
        const QString name = copy.section(u'=', 0, 0);
        const QString source = copy.section(u'=', 1);
        entries.append(name);
        QCOMPARE(test::contentOf(m_destination->filePath(name)), source.toUtf8());
        QCOMPARE(test::statOf(m_destination->filePath(name)).st_mtim.tv_sec,
            test::statOf(m_source->filePath(source)).st_mtim.tv_sec);
    }
    QCOMPARE(test::entriesOf(destination), entries);
    chosen.sort();
    QCOMPARE(test::entriesOf(m_source->path()), chosen);
    QVERIFY(m_sandbox->reports.isEmpty());
}

void TestTrasferimento::nameOrderStartsAtOneAndFreesLastFile()
{
    test::writeFile(m_destination->path(), QStringLiteral("Img_007.jpg"), "altra");
    for (const char *name : { "DSC_0100.JPG", "DSC_0101.JPG" }) {
        const QString path = test::writeFile(m_source->path(), QLatin1String(name));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    }
    m_window->check("OptionNome");

    QCOMPARE(copyOf({ "DSC_0100.JPG", "DSC_0101.JPG" }), QStringLiteral("002"));
    const QString first = m_destination->filePath(QStringLiteral("Img_001.jpg"));
    const QString last = m_destination->filePath(QStringLiteral("Img_002.jpg"));
    QCOMPARE(test::statOf(first).st_mode & 0777, mode_t(0440));
    QCOMPARE(test::statOf(last).st_mode & 0777, mode_t(0640));
}

void TestTrasferimento::newNames_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("withoutExtension");
    QTest::addColumn<QString>("expected");

    QTest::newRow("extension in lower case") << "DSC_0100.JPG" << false << "Img_001.jpg";
    QTest::newRow("first dot counts") << "IMG.0012.JPG" << false << "Img_001.0012.jpg";
    QTest::newRow("no dot") << "LEGGIMI" << false << "Img_001";
    QTest::newRow("leading dot") << ".Nascosto" << false << "Img_001.nascosto";
    QTest::newRow("spaces and accents") << "Città di mare.Jpeg" << false << "Img_001.jpeg";
    QTest::newRow("several dots") << "a.b.c.TAR.GZ" << false << "Img_001.b.c.tar.gz";
    QTest::newRow("extension removed") << "DSC_0100.JPG" << true << "Img_001";
}

void TestTrasferimento::newNames()
{
    QFETCH(QString, source);
    QFETCH(bool, withoutExtension);
    QFETCH(QString, expected);
    test::writeFile(m_source->path(), source, "foto");
    m_window->state().RimuoviEstensione = withoutExtension;
    copyOf({ source });
    QCOMPARE(test::entriesOf(m_destination->path()), QStringList({ expected }));
    QCOMPARE(test::contentOf(m_destination->filePath(expected)), QByteArray("foto"));
}

void TestTrasferimento::numbersGoPast999()
{
    test::writeFile(m_destination->path(), QStringLiteral("Img_999.jpg"));
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "a", Earlier);
    test::writeFile(m_source->path(), QStringLiteral("b.jpg"), "b", Later);
    QCOMPARE(copyOf({ "a.jpg" }), QStringLiteral("1000"));
    // The next run counts the four-digit number as in use.
    QCOMPARE(copyOf({ "b.jpg" }), QStringLiteral("1001"));
    QCOMPARE(
        test::contentOf(m_destination->filePath(QStringLiteral("Img_1001.jpg"))), QByteArray("b"));

    // Numbers end at the largest 64-bit one: a run that would pass it starts no file.
    test::writeFile(m_destination->path(), QStringLiteral("Img_9223372036854775806.jpg"));
    QCOMPARE(copyOf({ "a.jpg", "b.jpg" }), QStringLiteral("9223372036854775806"));
    QCOMPARE(m_sandbox->reports,
        QStringList({ QStringLiteral("Il numero progressivo supera il massimo possibile.") }));
    QCOMPARE(test::entriesOf(m_destination->path()).size(), 4);
}

// A run killed between reserving a name and publishing its photo left the
// empty reservation and its hidden file: both go once stale, and the number
// is reused. On exFAT, whose driver tells no change time of its own, the
// hidden file's old time is that of its last write.
void TestTrasferimento::killedRunIsClearedFirst()
{
    const test::Medium card(QStringLiteral("exfat"));
    if (!card.isMounted())
        QSKIP(qPrintable(card.whyNot()));
    const QDateTime longAgo = QDateTime::currentDateTime().addSecs(-3600);
    test::writeFile(card.path(), QStringLiteral("Img_007.jpg"), "altra");
    test::writeFile(card.path(), QStringLiteral("Img_008.jpg"), "");
    test::writeFile(card.path(), QStringLiteral(".copia-e-rinomina-k.Img_008.jpg"), "fo", longAgo);
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "foto");

    m_window->prepare(m_source->path(), card.path(), { "a.jpg" });
    m_window->click("Copia");
    QCOMPARE(m_window->text("Suffisso"), QStringLiteral("008"));
    QCOMPARE(test::entriesOf(card.path()), QStringList({ "Img_007.jpg", "Img_008.jpg" }));
    QCOMPARE(test::contentOf(card.filePath(QStringLiteral("Img_008.jpg"))), QByteArray("foto"));
}

void TestTrasferimento::baseNameWithWildcardCharacters()
{
    test::writeFile(m_destination->path(), QStringLiteral("Img*005.jpg"));
    test::writeFile(m_destination->path(), QStringLiteral("ImgX007.jpg"));
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "a");
    m_window->prepare(m_source->path(), m_destination->path(), { "a.jpg" }, QStringLiteral("Img*"));
    m_window->click("Copia");
    QCOMPARE(
        test::contentOf(m_destination->filePath(QStringLiteral("Img*006.jpg"))), QByteArray("a"));
}

void TestTrasferimento::nameThatIsNotUtf8_data()
{
    QTest::addColumn<bool>("move");
    QTest::newRow("copy") << false;
    QTest::newRow("move") << true;
}

// Listed at start-up, ordered by its date, then copied or moved and corrected
// under the very bytes of its name.
void TestTrasferimento::nameThatIsNotUtf8()
{
    QFETCH(bool, move);
    const QByteArray source = QFile::encodeName(test::slashed(m_source->path()));
    const QByteArray destination = QFile::encodeName(test::slashed(m_destination->path()));
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "a", Earlier);
    test::writeFile(m_source->path(), QStringLiteral("b"), "b", Later);
    test::writeFile(m_source->path(), QStringLiteral("c.jpg"), "c", Later.addSecs(60));
    const QByteArray odd = source + "DSC\xff\xfe.J\xfeG";
    const QByteArray arrivedOdd = destination + "Img_002.j\xfeg";
    QCOMPARE(::rename((source + "b").constData(), odd.constData()), 0);
    // QTemporaryDir cannot name them to remove them.
    const auto removing = qScopeGuard([&] {
        ::unlink(odd.constData());
        ::unlink(arrivedOdd.constData());
    });
    test::remember("Sorgente", test::slashed(m_source->path()));
    m_window = std::make_unique<test::Window>();
    m_window->setText("DestPath", test::slashed(m_destination->path()));
    m_window->check("CorrOra");
    m_window->state().CorrOre = 1;

    m_window->click(move ? "Sposta" : "Copia");
    QVERIFY(m_sandbox->reports.isEmpty());
    QCOMPARE(m_window->text("Suffisso"), QStringLiteral("003"));
    QCOMPARE(::access(odd.constData(), F_OK) == 0, !move);
    // Arrived under its own bytes, the extension in lower case.
    QCOMPARE(::rename(arrivedOdd.constData(), (destination + "b").constData()), 0);
    const QString arrived = m_destination->filePath(QStringLiteral("b"));
    QCOMPARE(test::contentOf(arrived), QByteArray("b"));
    QCOMPARE(test::statOf(arrived).st_mtim.tv_sec, Later.addSecs(3600).toSecsSinceEpoch());
    QCOMPARE(
        test::entriesOf(m_destination->path()), QStringList({ "Img_001.jpg", "Img_003.jpg", "b" }));
}

void TestTrasferimento::moveWithinFileSystemKeepsInode()
{
    const QString source = test::writeFile(m_source->path(), QStringLiteral("DSC_0100.JPG"));
    const ino_t inode = test::statOf(source).st_ino;
    QCOMPARE(copyOf({ "DSC_0100.JPG" }, true), QStringLiteral("001"));
    QCOMPARE(test::statOf(m_destination->filePath(QStringLiteral("Img_001.jpg"))).st_ino, inode);
    QCOMPARE(test::entriesOf(m_source->path()), QStringList());
}

void TestTrasferimento::moveAcrossFileSystems()
{
    m_source = test::folderOnOtherFileSystem();
    if (!m_source)
        QSKIP("/dev/shm and the temporary folder are one file system here");
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "mare", Earlier);
    test::writeFile(m_source->path(), QStringLiteral("b.jpg"), "monti", Later);

    QCOMPARE(copyOf({ "a.jpg", "b.jpg" }, true), QStringLiteral("002"));
    QCOMPARE(test::entriesOf(m_source->path()), QStringList());
    QCOMPARE(test::contentOf(m_destination->filePath(QStringLiteral("Img_002.jpg"))),
        QByteArray("monti"));
    QCOMPARE(test::statOf(m_destination->filePath(QStringLiteral("Img_002.jpg"))).st_mtim.tv_sec,
        Later.toSecsSinceEpoch());
    QVERIFY(m_sandbox->reports.isEmpty());
}

void TestTrasferimento::refusedRuns_data()
{
    QTest::addColumn<QString>("medium"); // mounted as the destination; none for a folder
    QTest::addColumn<QString>("folder"); // the destination within it
    QTest::addColumn<QString>("existing"); // a file already there
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<qint64>("size"); // of each photo, written sparse
    // 0 for as many as fill the free clusters, less one for the folder's
    QTest::addColumn<int>("photos");
    QTest::addColumn<bool>("move");
    // What becomes of the medium once chosen: "unmount", or "swap" its card
    QTest::addColumn<QString>("then");
    // %1 stands for the folder on the medium; none for a run that must go
    QTest::addColumn<QString>("message");
    // Whether the medium is the backup, beside a destination of its own
    QTest::addColumn<bool>("backup");

    const qint64 small = 4;
    QTest::newRow("name in use, name order")
        << ""
        << ""
        << "Img_001.jpg"
        << "Img_" << small << 1 << false << ""
        << "Nella destinazione esiste già «Img_001.jpg»: nessun file è stato copiato." << false;
    QTest::newRow("name in use, move")
        << ""
        << ""
        << "Img_001.jpg"
        << "Img_" << small << 1 << true << ""
        << "Nella destinazione esiste già «Img_001.jpg»: nessun file è stato spostato." << false;
    QTest::newRow("name in use in other letters, FAT32")
        << "fat32"
        << ""
        << "IMG_001.JPG"
        << "img_" << small << 1 << false << ""
        << "Nella destinazione esiste già «img_001.jpg»: nessun file è stato copiato." << false;
    QTest::newRow("colon onto FAT32")
        << "fat32"
        << ""
        << ""
        << "Img:" << small << 1 << false << ""
        << "Il nome «Img:001.jpg» non può essere scritto su questo supporto (carattere «:»): "
           "nessun file è stato copiato."
        << false;
    // A move by renames would stop at the first name the file system refuses.
    QTest::newRow("name longer than the file system holds") << ""
                                                            << ""
                                                            << "" << QString(250, u'x') << small
                                                            << 1 << true << ""
                                                            << "Il nome «" + QString(250, u'x')
            + "001.jpg» non può essere scritto su questo supporto (più lungo di 255 byte): "
              "nessun file è stato spostato." << false;
    QTest::newRow("4 GiB onto FAT32")
        << "fat32"
        << ""
        << ""
        << "Img_" << (qint64(4) << 30) << 1 << false << ""
        << "Il file «a.jpg» (4,3 GB) è troppo grande per questo supporto, che non tiene file di "
           "4,3 GB o più: nessun file è stato copiato."
        << false;
    QTest::newRow("tmpfs too small")
        << "tmpfs"
        << ""
        << ""
        << "Img_" << (qint64(100) << 20) << 1 << false << ""
        << "Nella destinazione «%1» lo spazio libero non basta: servono 104,9 MB, ce ne sono "
           "67,1 MB: nessun file è stato copiato."
        << false;
    // 128 photos of 10 KiB: 1,3 MB, but 129 clusters of 128 KiB with the
    // folder's, more than the whole card has; %2 is the free space it tells.
    QTest::newRow("exFAT, 128 KiB clusters: the bytes fit, the clusters do not")
        << "exfat:size=16M,cluster=128K"
        << ""
        << ""
        << "Img_" << qint64(10 << 10) << 128 << false << ""
        << "Nella destinazione «%1» lo spazio libero non basta: servono 16,9 MB, ce ne sono %2: "
           "nessun file è stato copiato."
        << false;
    QTest::newRow("exFAT, 128 KiB clusters: room for every cluster")
        << "exfat:size=16M,cluster=128K"
        << ""
        << ""
        << "Img_" << qint64(10 << 10) << 0 << false << "" << QString() << false;
    // A missing folder within one that is there is made by the run.
    QTest::newRow("missing folder")
        << ""
        << "assente/sotto/"
        << ""
        << "Img_" << small << 1 << false << ""
        << "La cartella di destinazione «%1» non esiste: nessun file è stato copiato." << false;
    QTest::newRow("card removed, its folder left")
        << "tmpfs"
        << ""
        << ""
        << "Img_" << small << 1 << true << "unmount"
        << "La cartella di destinazione «%1» non è più sul supporto su cui era quando è stata "
           "scelta: la scheda o il disco potrebbe essere stato rimosso: nessun file è stato "
           "spostato."
        << false;
    QTest::newRow("another card in the same reader")
        << "exfat"
        << ""
        << ""
        << "Img_" << small << 1 << false << "swap"
        << "La cartella di destinazione «%1» non è più sul supporto su cui era quando è stata "
           "scelta: la scheda o il disco potrebbe essere stato rimosso: nessun file è stato "
           "copiato."
        << false;
    // Free space unknown is no reason to refuse.
    QTest::newRow("no block count, so no free space told")
        << "quirky:no-blocks"
        << ""
        << ""
        << "Img_" << small << 1 << false << "" << QString() << false;
    QTest::newRow("FAT32, which fusefat gives no block count")
        << "fat32"
        << ""
        << ""
        << "Img_" << small << 1 << false << "" << QString() << false;
    QTest::newRow("tmpfs too small, as the backup")
        << "tmpfs"
        << ""
        << ""
        << "Img_" << (qint64(100) << 20) << 1 << false << ""
        << "Nella cartella di riserva «%1» lo spazio libero non basta: servono 104,9 MB, ce ne "
           "sono 67,1 MB: nessun file è stato copiato."
        << true;
    QTest::newRow("backup card removed, its folder left")
        << "tmpfs"
        << ""
        << ""
        << "Img_" << small << 1 << true << "unmount"
        << "La cartella di riserva «%1» non è più sul supporto su cui era quando è stata scelta: "
           "la scheda o il disco potrebbe essere stato rimosso: nessun file è stato spostato."
        << true;
    QTest::newRow("another card in the backup's reader")
        << "exfat"
        << ""
        << ""
        << "Img_" << small << 1 << false << "swap"
        << "La cartella di riserva «%1» non è più sul supporto su cui era quando è stata scelta: "
           "la scheda o il disco potrebbe essere stato rimosso: nessun file è stato copiato."
        << true;
}

// Runs that could not finish are refused before any file is touched; the
// check lets the others go.
void TestTrasferimento::refusedRuns()
{
    QFETCH(QString, medium);
    QFETCH(QString, folder);
    QFETCH(QString, existing);
    QFETCH(QString, baseName);
    QFETCH(qint64, size);
    QFETCH(int, photos);
    QFETCH(bool, move);
    QFETCH(QString, then);
    QFETCH(QString, message);
    QFETCH(bool, backup);
    std::optional<test::Medium> card;
    if (!medium.isEmpty()) {
        card.emplace(medium);
        if (!card->isMounted())
            QSKIP(qPrintable(card->whyNot()));
    }
    const QString root = card ? card->path() : m_destination->path();
    if (!existing.isEmpty())
        test::writeFile(root, existing, "vecchia");
    if (photos == 0)
        photos = int(QStorageInfo(root).bytesAvailable() / QStorageInfo(root).blockSize()) - 1;
    QStringList names { "a.jpg" };
    QStringList arrived = test::entriesOf(root);
    for (int i = 1; i <= photos; ++i) {
        if (i > 1)
            names.append(QStringLiteral("a%1.jpg").arg(i));
        QFile photo(test::writeFile(m_source->path(), names.last()));
        QVERIFY(photo.resize(size));
        arrived.append(QStringLiteral("Img_%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
    }
    names.sort();
    arrived.sort();
    const QString destination = test::slashed(root) + folder;
    m_window->check("OptionNome");
    QTemporaryDir beside;
    m_window->prepare(m_source->path(), backup ? beside.path() : destination, names, baseName);
    if (backup)
        m_window->setText("RiservaPath", destination);
    if (then == QLatin1String("unmount"))
        QCOMPARE(QProcess::execute(QStringLiteral("umount"), { root }), 0);
    if (then == QLatin1String("swap"))
        QVERIFY2(card->swapCard(), qPrintable(card->whyNot()));
    const QStringList before = test::entriesOf(root);
    const QString free = testoDimensione(QStorageInfo(root).bytesAvailable());

    m_window->click(move ? "Sposta" : "Copia");
    if (message.isEmpty()) {
        QCOMPARE(m_sandbox->reports, QStringList());
        QCOMPARE(test::entriesOf(root), arrived);
        return;
    }
    QCOMPARE(m_sandbox->reports,
        QStringList(
            { QString(message).replace("%1", QDir::cleanPath(destination)).replace("%2", free) }));
    QCOMPARE(test::entriesOf(root), before);
    QCOMPARE(test::entriesOf(beside.path()), QStringList());
    QCOMPARE(test::entriesOf(m_source->path()), names);
}

void TestTrasferimento::failingFileEndsRun_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("arrived");
    QTest::addColumn<bool>("noJournal");

    QTest::newRow("source deleted after selection")
        << QString() << QStringList({ "a.jpg", "sparita.jpg", "b.jpg" })
        << QStringList({ "Img_001.jpg", "Img_002.jpg" }) << false;
    QTest::newRow("source deleted after selection, and no journal")
        << QString() << QStringList({ "a.jpg", "sparita.jpg", "b.jpg" })
        << QStringList({ "Img_001.jpg", "Img_002.jpg" }) << true;
}

// The report says too that a run whose journal could not be written cannot
// be undone.
void TestTrasferimento::failingFileEndsRun()
{
    QFETCH(QString, destination);
    QFETCH(QStringList, names);
    QFETCH(QStringList, arrived);
    QFETCH(bool, noJournal);
    if (noJournal)
        qputenv("XDG_STATE_HOME", QFile::encodeName(test::writeFile(m_source->path(), ".stato")));
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"));
    test::writeFile(m_source->path(), QStringLiteral("b.jpg"));
    test::writeFile(m_destination->path(), QStringLiteral("file.txt"));
    const QString folder = test::slashed(m_destination->filePath(destination));
    m_window->prepare(m_source->path(), folder, names);
    m_window->click("Copia");

    QCOMPARE(m_window->text("Suffisso"),
        QStringLiteral("%1").arg(arrived.size() + 1, 3, 10, QLatin1Char('0')));
    QStringList expected = QStringList({ "file.txt" }) + arrived;
    expected.sort();
    QCOMPARE(test::entriesOf(m_destination->path()), expected);
    QCOMPARE(m_sandbox->reports.size(), 1);
    QVERIFY(m_sandbox->reports.first().contains(m_source->filePath(QStringLiteral("sparita.jpg"))));
    QCOMPARE(m_sandbox->reports.first().contains(
                 QStringLiteral("Questa corsa non si potrà annullare: il suo giornale")),
        noJournal);
    // The window stays open, its controls back as they were.
    QVERIFY(m_window->form().isVisible());
    QVERIFY(m_window->button("Copia")->isEnabled());
}

void TestTrasferimento::copyFailingPartWayLeavesNothing()
{
    m_source = test::folderOnOtherFileSystem();
    if (!m_source)
        QSKIP("a move needs two file systems to copy, and /dev/shm is not another one here");
    test::writeFile(m_source->path(), QStringLiteral("grande.jpg"), QByteArray(1 << 20, 'g'));

    {
        // The move has to copy, and the copy fails part way.
        const test::FileSizeLimit limit(256 << 10);
        copyOf({ "grande.jpg" }, true);
    }

    QCOMPARE(m_sandbox->reports.size(), 1);
    QVERIFY2(m_sandbox->reports.first().startsWith(QStringLiteral("Impossibile spostare «")),
        qPrintable(m_sandbox->reports.first()));
    QCOMPARE(test::entriesOf(m_destination->path()), QStringList());
    QCOMPARE(test::contentOf(m_source->filePath(QStringLiteral("grande.jpg"))).size(), 1 << 20);
}

void TestTrasferimento::baseNameWithSeparatorIsRefused()
{
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"));
    QVERIFY(QDir(m_destination->path()).mkdir(QStringLiteral("sotto")));
    m_window->prepare(
        m_source->path(), m_destination->path(), { "a.jpg" }, QStringLiteral("../sotto/Img_"));
    m_window->click("Sposta");
    QCOMPARE(m_sandbox->reports.size(), 1);
    QCOMPARE(test::entriesOf(m_destination->filePath(QStringLiteral("sotto"))), QStringList());
    QCOMPARE(test::entriesOf(m_source->path()), QStringList({ "a.jpg" }));
    QCOMPARE(m_window->text("Suffisso"), QStringLiteral("000"));
}

void TestTrasferimento::runDoesNothingWithoutNameOrFolders_data()
{
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<bool>("withSource");
    QTest::addColumn<bool>("withDestination");

    QTest::newRow("empty base name") << "" << true << true;
    QTest::newRow("underscore") << "_" << true << true;
    QTest::newRow("star") << "*" << true << true;
    QTest::newRow("no source folder") << "Img_" << false << true;
    QTest::newRow("no destination folder") << "Img_" << true << false;
}

void TestTrasferimento::runDoesNothingWithoutNameOrFolders()
{
    QFETCH(QString, baseName);
    QFETCH(bool, withSource);
    QFETCH(bool, withDestination);
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"));
    test::writeFile(m_destination->path(), QStringLiteral("Img_005.jpg"));
    m_window->prepare(m_source->path(), m_destination->path(), { "a.jpg" }, baseName);
    if (!withSource)
        m_window->setText("SrcPath", QString());
    if (!withDestination)
        m_window->setText("DestPath", QString());

    for (const char *button : { "Copia", "Sposta" })
        m_window->click(button);
    QCOMPARE(m_window->text("Suffisso"), QStringLiteral("000"));
    QCOMPARE(test::entriesOf(m_source->path()), QStringList({ "a.jpg" }));
    QCOMPARE(test::entriesOf(m_destination->path()), QStringList({ "Img_005.jpg" }));
    QVERIFY(m_sandbox->reports.isEmpty());
}

void TestTrasferimento::emptySelectionIsSaid()
{
    test::writeFile(m_destination->path(), QStringLiteral("Img_005.jpg"));
    QCOMPARE(copyOf({}, true), QStringLiteral("005"));
    QCOMPARE(test::entriesOf(m_destination->path()), QStringList({ "Img_005.jpg" }));
    QCOMPARE(m_sandbox->reports,
        QStringList { QStringLiteral(
            "Nessun file da spostare: la selezione è vuota. I file delle sottocartelle, come "
            "quelli di DCIM su una scheda, vengono presi spuntando «Includi sottocartelle».") });
}

void TestTrasferimento::accountOfTheRun_data()
{
    QTest::addColumn<QStringList>("files"); // the first one already in the destination
    QTest::addColumn<bool>("move");
    QTest::addColumn<int>("correction");
    QTest::addColumn<bool>("backup"); // an empty one, %2 in the account
    QTest::addColumn<bool>("verify"); // the card read again, as the box asks
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("selection");

    const QStringList photos { "a.jpg", "b.jpg", "c.jpg" };
    QTest::newRow("copy") << photos << false << 0 << false << false
                          << "2 foto copiate in «%1» in N s; 1 già presenti lasciati dove sono; "
                             "si può annullare. Prima di formattare la scheda: Verifica scheda."
                          << "Tutti i file (3)";
    QTest::newRow("move, the selection follows")
        << photos << true << 0 << false << false
        << "2 foto spostate in «%1» in N s; 1 già presenti lasciati dove sono; si può annullare."
        << "Tutti i file (1)";
    QTest::newRow("copy with a correction")
        << photos << false << -1 << false << false
        << "2 foto copiate in «%1» in N s; 1 già presenti lasciati dove sono; ora corretta di "
           "-1:00:00; si può annullare. Prima di formattare la scheda: Verifica scheda."
        << "Tutti i file (3)";
    QTest::newRow("a card's catalogue stays")
        << QStringList { "a.jpg", "b.jpg", "CANONMSC/M0100.CTG" } << true << 0 << false << false
        << "1 foto spostata in «%1» in N s; 1 già presenti lasciati dove sono; 1 file che non è "
           "foto né "
           "video rimasto dove è; si può annullare."
        << "Tutti i file (1)";
    QTest::newRow("a card's catalogue and a text stay")
        << QStringList { "a.jpg", "b.jpg", "CANONMSC/M0100.CTG", "DCIM/LEGGIMI.TXT" } << true << 0
        << false << false
        << "1 foto spostata in «%1» in N s; 1 già presenti lasciati dove sono; 2 file che non sono "
           "foto "
           "né video rimasti dove sono; si può annullare."
        << "Tutti i file (1)";
    QTest::newRow("videos")
        << QStringList { "a.jpg", "b.mov", "c.MP4" } << false << 0 << false << false
        << "2 video copiati in «%1» in N s; 1 già presenti lasciati dove sono; si "
           "può annullare. Prima di formattare la scheda: Verifica scheda."
        << "Tutti i file (3)";
    QTest::newRow("a photo, a video, their sidecar and companion")
        << QStringList { "a.jpg", "b.jpg", "b.xmp", "c.MOV", "c.THM" } << true << 0 << false
        << false
        << "1 foto, 1 video, 1 file .xmp e 1 altro file spostati in «%1» in N s; 1 già presenti "
           "lasciati dove sono; si può annullare."
        << "Tutti i file (1)";
    QTest::newRow("copy into a backup too, which holds none of them")
        << photos << false << 0 << true << false
        << "3 foto copiate in «%1» e in «%2» in N s; si può annullare. Prima di formattare la "
           "scheda: Verifica scheda."
        << "Tutti i file (3)";
    QTest::newRow("a copy that read the card twice, remembered")
        << photos << false << 0 << false << true
        << "2 foto copiate in «%1» in N s; 1 già presenti lasciati dove sono; si può annullare."
        << "Tutti i file (3)";
}

// What the last run did, under the window, and the selection it leaves:
// after a move, what is still in the source.
void TestTrasferimento::accountOfTheRun()
{
    QFETCH(QStringList, files);
    QFETCH(bool, move);
    QFETCH(int, correction);
    QFETCH(bool, backup);
    QFETCH(bool, verify);
    QFETCH(QString, account);
    QFETCH(QString, selection);
    test::writeFile(m_destination->path(), QStringLiteral("Img_001.jpg"), "uno");
    for (const QString &name : files) {
        QVERIFY(QDir(m_source->path()).mkpath(QFileInfo(name).path()));
        test::writeFile(
            m_source->path(), name, name == files.first() ? "uno" : name.toUtf8(), Earlier);
    }
    m_sandbox->answer = desktop::Answer::Yes;
    test::remember("Sorgente", test::slashed(m_source->path()));
    test::remember("Sottocartelle", QStringLiteral("True"));
    m_window = std::make_unique<test::Window>();
    if (correction != 0) {
        m_window->check("CorrOra");
        m_window->state().CorrOre = correction;
    }
    m_window->setText("DestPath", test::slashed(m_destination->path()));
    m_window->setText("NomeBase", QStringLiteral("Img_"));
    QTemporaryDir backupFolder;
    if (backup)
        m_window->setText("RiservaPath", test::slashed(backupFolder.path()));
    m_window->check("VerificaCopia", verify);
    m_window->click(move ? "Sposta" : "Copia");
    QCOMPARE(
        test::stored("Verifica"), verify ? QStringLiteral("True") : QStringLiteral("(assente)"));
    if (verify)
        QVERIFY(test::Window().form().findChild<QCheckBox *>("VerificaCopia")->isChecked());
    QCOMPARE(accountShown(*m_window),
        QString(account).replace("%1", m_destination->path()).replace("%2", backupFolder.path()));
    // Read whole, however long: no line cut, nothing under it, the same text
    // in its tooltip and for a screen reader.
    auto *esito = m_window->form().findChild<QLabel *>(QStringLiteral("Esito"));
    QVERIFY(esito->height() >= esito->heightForWidth(esito->width()));
    QVERIFY(esito->geometry().bottom() < m_window->button("AnnullaCorsa")->y());
    QVERIFY(m_window->button("AnnullaCorsa")->geometry().bottom() < m_window->form().height());
    QCOMPARE(esito->toolTip(), esito->text());
    QCOMPARE(QAccessible::queryAccessibleInterface(esito)->text(QAccessible::Name), esito->text());
    QVERIFY(m_window->button("ApriCartella")->isEnabled());
    QCOMPARE(m_window->text("SrcInfo"), selection);
}

// The preview shows the plan and touches nothing; the undo asks with what
// it would do, and then does it.
void TestTrasferimento::previewThenUndo()
{
    test::writeFile(m_destination->path(), QStringLiteral("Img_001.jpg"), "uno");
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "uno", Earlier);
    test::writeFile(m_source->path(), QStringLiteral("b.jpg"), "due", Later);
    m_window->prepare(m_source->path(), m_destination->path(), { "a.jpg", "b.jpg" });
    QStringList shown;
    withPreview(*m_window, [&](QDialog *dialog, QTableWidget *table) {
        for (int row = 0; row < table->rowCount(); ++row)
            shown.append(table->item(row, 2)->text() + u'|' + table->item(row, 3)->text() + u'|'
                + table->item(row, 5)->text());
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QCOMPARE(shown,
        (QStringList { "a.jpg|resta: è già nella destinazione|file", "b.jpg|Img_002.jpg|file" }));
    QCOMPARE(test::entriesOf(m_destination->path()), QStringList { "Img_001.jpg" });

    m_sandbox->answer = desktop::Answer::Yes;
    m_window->click("Copia");
    QCOMPARE(
        test::entriesOf(m_destination->path()), (QStringList { "Img_001.jpg", "Img_002.jpg" }));
    m_sandbox->questions.clear();
    m_window->click("AnnullaCorsa");
    QCOMPARE(m_sandbox->questions.size(), 1);
    QVERIFY(
        m_sandbox->questions.first().startsWith(QStringLiteral("Sarà annullata la corsa del ")));
    QVERIFY(m_sandbox->questions.first().contains(QStringLiteral("\nSarà eliminata la copia «")));
    QCOMPARE(m_sandbox->buttons.last(),
        (QStringList { "&Annulla la corsa", QString(), "&Non annullare" }));
    QCOMPARE(test::entriesOf(m_destination->path()), QStringList { "Img_001.jpg" });
    QVERIFY(m_window->text("Esito").startsWith(QStringLiteral("Annullo la corsa del ")));
    QVERIFY(m_window->text("Esito").endsWith(QStringLiteral(": fatto.")));
    QCOMPARE(m_window->text("Suffisso"), QStringLiteral("001"));
}

void TestTrasferimento::previewIsTheRun_data()
{
    QTest::addColumn<QStringList>("unticked");
    QTest::addColumn<bool>("all");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("account");

    const QString there = "resta: è già nella destinazione";
    QTest::newRow("re-import: the new ones numbered on")
        << QStringList {} << false << "CopiaAnteprima"
        << QStringList { there, "Img_002.jpg", "Img_003.jpg" }
        << "2 foto copiate in «%1» in N s; 1 già presenti lasciati dove sono; si può annullare. "
           "Prima di formattare la scheda: Verifica scheda.";
    QTest::newRow("the ones already there too")
        << QStringList {} << true << "CopiaAnteprima"
        << QStringList { "Img_002.jpg (già nella destinazione)", "Img_003.jpg", "Img_004.jpg" }
        << "3 foto copiate in «%1» in N s; si può annullare. Prima di formattare la scheda: "
           "Verifica scheda.";
    QTest::newRow("one left out, the next takes its number")
        << QStringList { "b.jpg" } << false << "CopiaAnteprima"
        << QStringList { there, "resta: lasciato fuori", "Img_002.jpg" }
        << "1 foto copiata in «%1» in N s; 1 già presenti lasciati dove sono; 1 file lasciato "
           "fuori; "
           "si può annullare. Prima di formattare la scheda: Verifica scheda.";
    QTest::newRow("moved as shown") << QStringList { "b.jpg" } << false << "SpostaAnteprima"
                                    << QStringList { there, "resta: lasciato fuori", "Img_002.jpg" }
                                    << "1 foto spostata in «%1» in N s; 1 già presenti lasciati "
                                       "dove sono; 1 file lasciato fuori; "
                                       "si può annullare.";
}

// The preview's names are those the run from it gives, after the choices
// made in it; nothing asks again.
void TestTrasferimento::previewIsTheRun()
{
    QFETCH(QStringList, unticked);
    QFETCH(bool, all);
    QFETCH(QString, button);
    QFETCH(QStringList, shown);
    QFETCH(QString, account);
    test::writeFile(m_destination->path(), QStringLiteral("Img_001.jpg"), "uno");
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "uno", Earlier);
    test::writeFile(m_source->path(), QStringLiteral("b.jpg"), "due", Later);
    test::writeFile(m_source->path(), QStringLiteral("c.jpg"), "tre", Later.addSecs(60));
    m_window->prepare(m_source->path(), m_destination->path(), { "a.jpg", "b.jpg", "c.jpg" });
    QStringList names;
    withPreview(*m_window, [&](QDialog *dialog, QTableWidget *table) {
        // Enter in the table starts no run.
        QTest::keyClick(table, Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        if (all)
            dialog->findChild<QCheckBox *>(QStringLiteral("AncheGiaPresenti"))->click();
        for (int row = 0; row < table->rowCount(); ++row) {
            if (unticked.contains(table->item(row, 2)->text()))
                table->item(row, 0)->setCheckState(Qt::Unchecked);
        }
        for (int row = 0; row < table->rowCount(); ++row)
            names.append(table->item(row, 3)->text());
        dialog->findChild<QPushButton *>(button)->click();
    });
    QCOMPARE(names, shown);
    QStringList made { "Img_001.jpg" };
    for (const QString &name : std::as_const(names)) {
        if (name.startsWith(QLatin1String("Img_")))
            made.append(name.left(11));
    }
    QCOMPARE(test::entriesOf(m_destination->path()), made);
    QVERIFY(m_sandbox->questions.isEmpty());
    QCOMPARE(accountShown(*m_window), QString(account).replace("%1", m_destination->path()));
}

// A photo shows the thumbnail it carries, else itself; a movie its kind.
void TestTrasferimento::previewThumbnails()
{
    test::writePhoto(m_source->path(), QStringLiteral("a.jpg"), { { "thumbnail", "" } }, Earlier);
    test::writePhoto(m_source->path(), QStringLiteral("b.jpg"), {}, Later);
    test::writeFile(m_source->path(), QStringLiteral("c.mp4"), "film", Later.addSecs(60));
    m_window->prepare(m_source->path(), m_destination->path(), { "a.jpg", "b.jpg", "c.mp4" });
    QStringList shown;
    withPreview(*m_window, [&](QDialog *dialog, QTableWidget *table) {
        QTRY_VERIFY(table->item(0, 1) && table->item(1, 1));
        for (int row = 0; row < table->rowCount(); ++row) {
            const QImage picture = table->item(row, 1)->data(Qt::DecorationRole).value<QImage>();
            shown.append(picture.isNull() ? table->item(row, 1)->text()
                                          : QColor(picture.pixel(picture.rect().center())).name());
        }
        QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("Foto"));
        dialog->close();
    });
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown.last(), QStringLiteral("video"));
    // JPEG shifts a colour a little.
    QVERIFY2(QColor(shown.at(0)).red() > 200 && QColor(shown.at(1)).red() < 60,
        qPrintable(shown.join(u' ')));
}

// The cameras of the selection are listed once read; each keeps its own
// correction, and a model's reaches its photos only.
void TestTrasferimento::correctionPerCamera()
{
    const auto photo = [this](const char *name, const char *model, const QDateTime &time) {
        test::writePhoto(m_source->path(), QLatin1String(name),
            { { "Exif.Image.Model", QLatin1String(model) } }, time);
    };
    photo("a.jpg", "Canon EOS R6", Earlier);
    photo("b.jpg", "Canon EOS R6", Earlier.addSecs(60));
    photo("c.jpg", "NIKON Z 6", Later);
    test::remember("Sorgente", test::slashed(m_source->path()));
    m_window = std::make_unique<test::Window>();
    auto *cameras = m_window->form().findChild<QComboBox *>(QStringLiteral("Fotocamere"));
    QTRY_COMPARE(cameras->count(), 3);
    QCOMPARE(cameras->itemText(1), QStringLiteral("Canon EOS R6 (2)"));
    QCOMPARE(cameras->itemText(2), QStringLiteral("NIKON Z 6 (1)"));
    cameras->setCurrentIndex(1);
    m_window->check("CorrOra");
    m_window->click("OraMeno_0");
    QCOMPARE(cameras->itemText(1), QStringLiteral("Canon EOS R6 (2) · -1:00:00"));
    // Another camera shows its own correction: none yet.
    cameras->setCurrentIndex(2);
    QVERIFY(!m_window->form().findChild<QCheckBox *>(QStringLiteral("CorrOra"))->isChecked());

    m_window->setText("DestPath", test::slashed(m_destination->path()));
    m_window->setText("NomeBase", QStringLiteral("Img_"));
    m_window->click("Copia");
    QVERIFY2(m_window->text("Esito").contains(
                 QStringLiteral("; ora della Canon EOS R6 corretta di -1:00:00;")),
        qPrintable(m_window->text("Esito")));
    const auto timeOf = [this](const char *name) {
        return test::statOf(m_destination->filePath(QLatin1String(name))).st_mtim.tv_sec;
    };
    QCOMPARE(timeOf("Img_001.jpg"), Earlier.addSecs(-3600).toSecsSinceEpoch());
    QCOMPARE(timeOf("Img_002.jpg"), Earlier.addSecs(60 - 3600).toSecsSinceEpoch());
    QCOMPARE(timeOf("Img_003.jpg"), Later.toSecsSinceEpoch());

    // The next start keeps the Canon's correction; the list, opened at once,
    // opens again once read, whole.
    m_window = std::make_unique<test::Window>();
    cameras = m_window->form().findChild<QComboBox *>(QStringLiteral("Fotocamere"));
    cameras->showPopup();
    QTRY_COMPARE(cameras->count(), 3);
    QVERIFY(cameras->view()->isVisible());
    QVERIFY(cameras->view()->height() >= 3 * cameras->view()->sizeHintForRow(0));
    QCOMPARE(cameras->itemText(1), QStringLiteral("Canon EOS R6 (2) · -1:00:00"));
    QCOMPARE(cameras->itemText(2), QStringLiteral("NIKON Z 6 (1)"));
    cameras->hidePopup();
    QTemporaryDir another;
    m_window->setText("DestPath", test::slashed(another.path()));
    m_window->click("Copia");
    QVERIFY2(m_window->text("Esito").contains(
                 QStringLiteral("; ora della Canon EOS R6 corretta di -1:00:00;")),
        qPrintable(m_window->text("Esito")));
    QCOMPARE(test::statOf(another.filePath(QStringLiteral("Img_001.jpg"))).st_mtim.tv_sec,
        Earlier.addSecs(-3600).toSecsSinceEpoch());

    // A run clicked at once, before the list is read, reads it first.
    m_window = std::make_unique<test::Window>();
    QTemporaryDir third;
    m_window->setText("DestPath", test::slashed(third.path()));
    m_window->click("Copia");
    QCOMPARE(test::statOf(third.filePath(QStringLiteral("Img_001.jpg"))).st_mtim.tv_sec,
        Earlier.addSecs(-3600).toSecsSinceEpoch());
}

void TestTrasferimento::clockCorrection_data()
{
    QTest::addColumn<QDateTime>("fileTime");
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QDateTime>("expected");

    const auto at = [](int y, int mo, int d, int h, int mi, int s) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
    };
    QTest::newRow("hours and minutes")
        << at(2026, 12, 6, 9, 5, 7) << true << 2 << 10 << 0 << at(2026, 12, 6, 11, 15, 7);
    QTest::newRow("past midnight")
        << at(2026, 12, 6, 23, 30, 0) << true << 1 << 0 << 0 << at(2026, 12, 7, 0, 30, 0);
    QTest::newRow("past the hour")
        << at(2026, 12, 6, 10, 50, 0) << true << 0 << 15 << 0 << at(2026, 12, 6, 11, 5, 0);
    QTest::newRow("back past midnight")
        << at(2026, 12, 6, 9, 5, 0) << true << -10 << 0 << 0 << at(2026, 12, 5, 23, 5, 0);
    QTest::newRow("into the next year")
        << at(2026, 12, 31, 23, 59, 30) << true << 0 << 0 << 45 << at(2027, 1, 1, 0, 0, 15);
    QTest::newRow("back into February")
        << at(2027, 3, 1, 0, 10, 0) << true << -1 << 0 << 0 << at(2027, 2, 28, 23, 10, 0);
    QTest::newRow("signed hours, plain minutes")
        << at(2026, 12, 6, 12, 0, 0) << true << -1 << 30 << 0 << at(2026, 12, 6, 11, 30, 0);
    QTest::newRow("summer file in winter")
        << at(2026, 7, 15, 10, 0, 0) << true << 0 << 0 << 1 << at(2026, 7, 15, 10, 0, 1);
    QTest::newRow("into the hour skipped in spring")
        << at(2026, 3, 29, 1, 30, 0) << true << 1 << 0 << 0 << at(2026, 3, 29, 3, 30, 0);
    // Around a change of daylight saving time photos keep their order and distance.
    const auto utc = [](int y, int mo, int d, int h, int mi, int s) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()).toLocalTime();
    };
    QTest::newRow("autumn, 02:30 summer time")
        << utc(2024, 10, 27, 0, 30, 0) << true << 1 << 0 << 1 << utc(2024, 10, 27, 1, 30, 1);
    QTest::newRow("autumn, 02:30 winter time")
        << utc(2024, 10, 27, 1, 30, 0) << true << 1 << 0 << 1 << utc(2024, 10, 27, 2, 30, 1);
    QTest::newRow("spring, 01:30")
        << at(2024, 3, 31, 1, 30, 0) << true << 1 << 0 << 1 << at(2024, 3, 31, 3, 30, 1);
    QTest::newRow("spring, 01:59:59")
        << at(2024, 3, 31, 1, 59, 59) << true << 1 << 0 << 1 << at(2024, 3, 31, 4, 0, 0);
    QTest::newRow("all zero writes nothing")
        << at(2026, 7, 15, 10, 0, 0) << true << 0 << 0 << 0 << QDateTime();
    QTest::newRow("switched off writes nothing")
        << at(2026, 7, 15, 10, 0, 0) << false << 2 << 0 << 0 << QDateTime();
}

void TestTrasferimento::clockCorrection()
{
    QFETCH(QDateTime, fileTime);
    QFETCH(bool, on);
    QFETCH(int, hours);
    QFETCH(int, minutes);
    QFETCH(int, seconds);
    QFETCH(QDateTime, expected);
    const QString source = test::writeFile(m_source->path(), QStringLiteral("a.jpg"));
    test::setTime(source, fileTime, 250'000'000);
    m_window->check("CorrOra", on);
    m_window->state().CorrOre = hours;
    m_window->state().CorrMin = minutes;
    m_window->state().CorrSec = seconds;

    copyOf({ "a.jpg" });
    const auto written =
        test::statOf(m_destination->filePath(QStringLiteral("Img_001.jpg"))).st_mtim;
    if (expected.isValid()) {
        QCOMPARE(QDateTime::fromSecsSinceEpoch(written.tv_sec), expected);
        QCOMPARE(written.tv_nsec, 0L);
    } else {
        // Untouched: the copy's time, to the nanosecond.
        QCOMPARE(written.tv_sec, fileTime.toSecsSinceEpoch());
        QCOMPARE(written.tv_nsec, 250'000'000L);
    }
}

void TestTrasferimento::hiddenNewFileKeepsItsTime()
{
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "foto", Earlier);
    m_window->check("CorrOra");
    m_window->state().CorrOre = 3;
    m_window->prepare(
        m_source->path(), m_destination->path(), { "a.jpg" }, QStringLiteral(".Img_"));
    m_window->click("Copia");
    QCOMPARE(test::statOf(m_destination->filePath(QStringLiteral(".Img_001.jpg"))).st_mtim.tv_sec,
        Earlier.toSecsSinceEpoch());
}

// A write-protected card: no photo can leave it, so none may arrive either,
// however often Sposta is pressed.
void TestTrasferimento::moveFromReadOnlyCardLeavesOriginals()
{
    test::Medium card(QStringLiteral("tmpfs"));
    if (!card.isMounted())
        QSKIP(qPrintable(card.whyNot()));
    test::writeFile(card.path(), QStringLiteral("a.jpg"), "mare", Earlier);
    test::writeFile(card.path(), QStringLiteral("b.jpg"), "monti", Later);
    QVERIFY(card.makeReadOnly());

    m_window->prepare(card.path(), m_destination->path(), { "a.jpg", "b.jpg" });
    for (int click = 1; click <= 2; ++click) {
        m_window->click("Sposta");
        QCOMPARE(m_window->text("Suffisso"), QStringLiteral("000"));
        QCOMPARE(test::entriesOf(card.path()), QStringList({ "a.jpg", "b.jpg" }));
        QCOMPARE(test::entriesOf(m_destination->path()), QStringList());
        QCOMPARE(m_sandbox->reports.size(), click);
        QVERIFY(m_sandbox->reports.last().contains(QStringLiteral("non si può scrivere")));
    }
    // Should the card turn read-only during the run, the copy goes again.
    const QString copy = m_destination->filePath(QStringLiteral("Img_001.jpg"));
    QVERIFY_THROWS_EXCEPTION(
        platform::FileError, platform::moveByCopying(card.filePath(QStringLiteral("a.jpg")), copy));
    QCOMPARE(test::entriesOf(m_destination->path()), QStringList());
}

void TestTrasferimento::everyCopyIsReadBack_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<bool>("fromCard");
    QTest::addColumn<bool>("move");
    QTest::addColumn<QStringList>("arrived");
    QTest::addColumn<QStringList>("leftAtSource");
    QTest::addColumn<QString>("report");
    // The photo the run stopped at, where it did.
    QTest::addColumn<int>("stoppedAt");
    // The card is the backup folder, beside a destination on the disk.
    QTest::addColumn<bool>("backup");
    // A copy that reads each photo off the card twice, as a move does.
    QTest::addColumn<bool>("verify");

    const QStringList all { "a.jpg", "b.jpg", "c.jpg", "d.jpg" };
    const QStringList second { "b.jpg", "c.jpg", "d.jpg" };
    const QStringList three { "Img_001.jpg", "Img_002.jpg", "Img_003.jpg" };
    QTest::newRow("copy, all sound")
        << "" << false << false << three + QStringList { "Img_004.jpg" } << all << "" << 0 << false
        << false;
    QTest::newRow("copy, second stored wrong")
        << "corrupt=Img_002" << false << false << QStringList({ "Img_001.jpg" }) << all
        << "non corrisponde all'originale" << 2 << false << false;
    QTest::newRow("move, second stored wrong")
        << "corrupt=Img_002" << false << true << QStringList({ "Img_001.jpg" }) << second
        << "non corrisponde all'originale" << 2 << false << false;
    QTest::newRow("move, second read off the card with a wrong byte once")
        << "flaky=b.jpg" << true << true << QStringList({ "Img_001.jpg" }) << second
        << "riletta dal supporto, non coincide" << 2 << false << false;
    QTest::newRow("checked copy, all sound off the card")
        << "" << true << false << three + QStringList { "Img_004.jpg" } << all << "" << 0 << false
        << true;
    QTest::newRow("checked copy, second read off the card with a wrong byte once")
        << "flaky=b.jpg" << true << false << QStringList({ "Img_001.jpg" }) << all
        << "b.jpg» non è stata copiata in" << 2 << false << true;
    QTest::newRow("copy onto a card that refuses times")
        << "no-times" << false << false << QStringList({ "Img_001.jpg" }) << all
        << "non è stato possibile darle la data" << 1 << false << false;
    QTest::newRow("copy, second read off the card ending early")
        << "short=b.jpg" << true << false << QStringList({ "Img_001.jpg" }) << all
        << "non è stata letta per intero" << 2 << false << false;
    QTest::newRow("move, second read off the card ending early")
        << "short=b.jpg" << true << true << QStringList({ "Img_001.jpg" }) << second
        << "non è stata letta per intero" << 2 << false << false;
    QTest::newRow("move onto a card whose folder cannot be flushed")
        << "no-folder-sync" << false << true << QStringList() << all << "non è stata spostata" << 1
        << false << false;
    QTest::newRow("copy to a backup too, all sound")
        << "" << false << false << three + QStringList { "Img_004.jpg" } << all << "" << 0 << true
        << false;
    // The four are flushed as one batch: those before the one that fails are proven and count.
    QTest::newRow("copy, the fourth's flush fails")
        << "full=Img_004" << false << false << three << all << "Sul supporto non c'è più spazio"
        << 4 << false << false;
    QTest::newRow("move, the fourth's backup copy fails its flush")
        << "full=Img_004" << false << true << three << QStringList { "d.jpg" }
        << "Sul supporto non c'è più spazio" << 4 << true << false;
    // The backup copies are read back ahead of the destination's: those
    // before the one that fails still count.
    QTest::newRow("copy, the third's backup copy stored wrong")
        << "corrupt=Img_003" << false << false << QStringList({ "Img_001.jpg", "Img_002.jpg" })
        << all << "non corrisponde all'originale" << 3 << true << false;
    // The original waits for both copies.
    QTest::newRow("move, the second's backup copy stored wrong")
        << "corrupt=Img_002" << false << true << QStringList({ "Img_001.jpg" }) << second
        << "non corrisponde all'originale" << 2 << true << false;
}

// A card that stores other bytes than it was given, while memory still holds
// the right ones, or a card reader that hands out other bytes than the card
// holds: the run stops at that photo, which is not left behind, its original
// stays, and nothing is written after it.
void TestTrasferimento::everyCopyIsReadBack()
{
    QFETCH(QString, faults);
    QFETCH(bool, fromCard);
    QFETCH(bool, move);
    QFETCH(QStringList, arrived);
    QFETCH(QStringList, leftAtSource);
    QFETCH(QString, report);
    QFETCH(int, stoppedAt);
    QFETCH(bool, backup);
    QFETCH(bool, verify);
    const test::Medium card(QStringLiteral("quirky:") + faults);
    if (!card.isMounted())
        QSKIP(qPrintable(card.whyNot()));
    const QString from = fromCard ? card.path() : m_source->path();
    const QString to = fromCard || backup ? m_destination->path() : card.path();
    const QStringList names { "a.jpg", "b.jpg", "c.jpg", "d.jpg" };
    for (qsizetype i = 0; i < names.size(); ++i)
        test::writeFile(
            from, names.at(i), QByteArray(256 << 10, char('a' + i)), Earlier.addSecs(i));

    m_window->prepare(from, to, names);
    if (backup)
        m_window->setText("RiservaPath", test::slashed(card.path()));
    m_window->check("VerificaCopia", verify);
    m_window->click(move ? "Sposta" : "Copia");
    QCOMPARE(test::entriesOf(to), arrived);
    if (backup)
        QCOMPARE(test::entriesOf(card.path()), arrived);
    QCOMPARE(test::entriesOf(from), leftAtSource);
    for (qsizetype i = 0; i < arrived.size(); ++i) {
        QCOMPARE(test::contentOf(to + '/' + arrived.at(i)), QByteArray(256 << 10, char('a' + i)));
        if (backup)
            QCOMPARE(test::contentOf(card.filePath(arrived.at(i))),
                QByteArray(256 << 10, char('a' + i)));
    }
    for (const QString &left : leftAtSource)
        QCOMPARE(test::contentOf(from + '/' + left), QByteArray(256 << 10, left.at(0).toLatin1()));
    if (report.isEmpty()) {
        QVERIFY(m_sandbox->reports.isEmpty());
        // Each copy read back from the card, or each photo read off it again
        // past the page cache that holds what the test wrote.
        QVERIFY(card.bytesRead() >= names.size() * (256 << 10));
    } else {
        QCOMPARE(m_window->text("Suffisso"), numeroSuffisso(stoppedAt));
        QCOMPARE(m_sandbox->reports.size(), 1);
        QVERIFY2(
            m_sandbox->reports.first().contains(report), qPrintable(m_sandbox->reports.first()));
    }
    // Whatever the fault, an undo takes back all the run placed, and says
    // how many that was.
    const EsitoAnnulla undo = annullaUltimaCorsa(false);
    QVERIFY(undo.tuttoAnnullato);
    QVERIFY2(undo.righe.first().contains(QStringLiteral(" di %1 file").arg(arrived.size())),
        qPrintable(undo.righe.first()));
    QCOMPARE(test::entriesOf(to), QStringList());
    QCOMPARE(test::entriesOf(card.path()), fromCard ? names : QStringList());
    QCOMPARE(test::entriesOf(from), names);
}

void TestTrasferimento::asUserNotRoot_data()
{
    QTest::addColumn<bool>("move");
    QTest::newRow("read-only photo gets its correction") << false;
    QTest::newRow("original that cannot be deleted stays alone") << true;
}

// Root may write and delete anything, so these run as another user.
void TestTrasferimento::asUserNotRoot()
{
    if (::geteuid() == 0) {
        test::rerunAsUnprivilegedUser();
        return;
    }
    QFETCH(bool, move);
    m_source = test::folderOnOtherFileSystem();
    if (!m_source)
        QSKIP("a move needs two file systems to copy, and /dev/shm is not another one here");
    const QString photo =
        test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "foto", Earlier);
    QVERIFY(QFile::setPermissions(photo, QFile::ReadOwner | QFile::ReadGroup));
    const auto writable = qScopeGuard([this] {
        QFile::setPermissions(
            m_source->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    QVERIFY(QFile::setPermissions(m_source->path(), QFile::ReadOwner | QFile::ExeOwner));
    m_window->check("CorrOra");
    m_window->state().CorrOre = 1;

    // A move is refused before it starts.
    QCOMPARE(copyOf({ "a.jpg" }, move), move ? QStringLiteral("000") : QStringLiteral("001"));
    const QString arrived = m_destination->filePath(QStringLiteral("Img_001.jpg"));
    if (move) {
        QCOMPARE(test::entriesOf(m_destination->path()), QStringList());
        QCOMPARE(m_sandbox->reports.size(), 1);
        QVERIFY(
            m_sandbox->reports.first().contains(QStringLiteral("nessun file è stato spostato")));
        copyOf({ "a.jpg" }, move);
        QCOMPARE(test::entriesOf(m_destination->path()), QStringList());
    } else {
        QVERIFY(m_sandbox->reports.isEmpty());
        QCOMPARE(test::statOf(arrived).st_mode & 0777, mode_t(0440));
        QCOMPARE(test::statOf(arrived).st_mtim.tv_sec, Earlier.addSecs(3600).toSecsSinceEpoch());
    }
    QCOMPARE(test::contentOf(photo), QByteArray("foto"));
}

void TestTrasferimento::duplicatesAsked_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QStringList>("expected");

    const QStringList both { "DSC_0100.JPG", "DSC_0101.JPG" };
    const QString question = "1 foto su 2 è già nella destinazione con lo stesso contenuto. "
                             "Copiare solo le altre?";
    QTest::newRow("the default: only the new ones") << both << "Copia &solo le nuove" << question
                                                    << QStringList { "Img_007.jpg", "Img_008.jpg" };
    QTest::newRow("all of them") << both << "Copia &tutte" << question
                                 << QStringList { "Img_007.jpg", "Img_008.jpg", "Img_009.jpg" };
    QTest::newRow("nothing") << both << "&Non copiare" << question << QStringList { "Img_007.jpg" };
    // Nothing to ask: it is said, and nothing is done.
    QTest::newRow("all there already")
        << QStringList { "DSC_0100.JPG" } << ""
        << "La foto scelta è già nella destinazione con lo stesso contenuto: non c'è nulla da "
           "copiare."
        << QStringList { "Img_007.jpg" };
}

// Photos the destination already holds are asked about once, in the real
// box, before anything is touched.
void TestTrasferimento::duplicatesAsked()
{
    QFETCH(QStringList, chosen);
    QFETCH(QString, button);
    QFETCH(QString, asked);
    QFETCH(QStringList, expected);
    test::writeFile(m_destination->path(), QStringLiteral("Img_007.jpg"), "vecchia");
    test::writeFile(m_source->path(), QStringLiteral("DSC_0100.JPG"), "vecchia", Earlier);
    test::writeFile(m_source->path(), QStringLiteral("DSC_0101.JPG"), "nuova", Later);
    desktop::setQuestionSink({});
    QString shown;
    QStringList roles;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        answerer.stop();
        shown = box->windowTitle() + u'|' + box->text();
        roles = { box->defaultButton()->text(), box->escapeButton()->text() };
        for (QAbstractButton *choice : box->buttons()) {
            if (choice->text() == button)
                choice->click();
        }
    });
    answerer.start(10);

    copyOf(chosen);
    QCOMPARE(test::entriesOf(m_destination->path()), expected);
    if (button.isEmpty()) {
        QCOMPARE(m_sandbox->reports, QStringList { asked });
        return;
    }
    QCOMPARE(shown, QStringLiteral("Copia e Rinomina|") + asked);
    QCOMPARE(roles, (QStringList { "Copia &solo le nuove", "&Non copiare" }));
    QVERIFY(m_sandbox->reports.isEmpty());
}

void TestTrasferimento::cardVerified_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<bool>("correct");
    QTest::addColumn<bool>("backup");
    QTest::addColumn<QString>("afterwards");
    QTest::addColumn<QString>("verdict");

    const QString safe = "Tutti i 2 file di «%1» sono nella destinazione%2, identici: la scheda si "
                         "può formattare.";
    const QString notSafe = "\nNon formattare la scheda: 1 file non è al sicuro.";
    QTest::newRow("all there, corrected") << "" << true << false << "" << safe.arg("%1", "");
    QTest::newRow("all there twice")
        << "" << false << true << "" << safe.arg("%1", " e nella cartella di riserva");
    QTest::newRow("a copy with a byte changed")
        << "" << false << false << "damage"
        << "«b.jpg»: la copia nella destinazione è diversa." + notSafe;
    QTest::newRow("a photo never imported") << "" << false << false << "new"
                                            << "«c.jpg»: manca nella destinazione." + notSafe;
    QTest::newRow("only in the destination")
        << "" << false << true << "backup lost"
        << "«b.jpg»: manca nella cartella di riserva." + notSafe;
    // The copy read a wrong byte once, and proved it against itself.
    QTest::newRow("the card read wrong during the copy")
        << "flaky=b.jpg@300000" << false << false << ""
        << "«b.jpg»: la copia nella destinazione è diversa." + notSafe;
}

// Each photo of the card is read again and found by content in the copies a
// run made, by the engine and by «Verifica scheda» alike.
void TestTrasferimento::cardVerified()
{
    QFETCH(QString, faults);
    QFETCH(bool, correct);
    QFETCH(bool, backup);
    QFETCH(QString, afterwards);
    QFETCH(QString, verdict);
    const test::Medium card(QStringLiteral("quirky:") + faults);
    if (!card.isMounted())
        QSKIP(qPrintable(card.whyNot()));
    if (verdict.contains("%1"))
        verdict = verdict.arg(platform::displayFolderName(card.path()));
    QTemporaryDir riserva;
    // Two shots that differ in more than their dates, large enough to be
    // read as a copy reads.
    for (const char *name : { "a", "b" }) {
        const QString photo = test::writePhoto(card.path(), QStringLiteral("%1.jpg").arg(name),
            { { "Exif.Photo.DateTimeOriginal",
                QStringLiteral("2026:07:01 10:00:0%1").arg(name[0] == 'a' ? 0 : 5) } });
        QFile file(photo);
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(512 << 10, name[0]));
    }
    m_window->prepare(card.path(), m_destination->path(), { "a.jpg", "b.jpg" });
    if (backup)
        m_window->setText("RiservaPath", test::slashed(riserva.path()));
    if (correct) {
        m_window->check("CorrOra");
        m_window->state().CorrOre = 1;
    }
    m_window->click("Copia");
    QVERIFY(m_sandbox->reports.isEmpty());
    const QString second = m_destination->filePath("Img_002.jpg");
    if (afterwards == "damage") {
        QByteArray bytes = test::contentOf(second);
        bytes[bytes.size() - 3] ^= 1;
        test::writeFile(m_destination->path(), "Img_002.jpg", bytes);
    } else if (afterwards == "new") {
        test::writePhoto(card.path(), "c.jpg");
    } else if (afterwards == "backup lost") {
        QVERIFY(QFile::remove(riserva.filePath("Img_002.jpg")));
    }
    const QStringList before = test::entriesOf(m_destination->path());

    Verifica verifica;
    QCOMPARE(preparaVerifica({ { card.path() }, false, m_destination->path(),
                                 backup ? riserva.path() : QString() },
                 verifica),
        QString());
    const std::atomic<bool> ferma = false;
    Avanzamento avanzamento;
    eseguiVerifica(verifica, ferma, avanzamento);
    QCOMPARE(verifica.verdetto(), verdict);
    QCOMPARE(verifica.siPuoFormattare(), verdict.endsWith("si può formattare."));
    QCOMPARE(avanzamento.fatti, verifica.piano.file.size());

    m_window->click("VerificaScheda");
    QCOMPARE(m_window->text("Esito"), verdict);
    QCOMPARE(m_sandbox->reports, QStringList { verdict });
    QCOMPARE(test::entriesOf(m_destination->path()), before);
}

void TestTrasferimento::cardVerificationRefused_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("no such card folder") << "nope"
                                         << ""
                                         << "La cartella «%1/nope» non esiste";
    QTest::newRow("an empty card") << "empty"
                                   << ""
                                   << "In «%1/empty» non c'è nessun file da verificare";
    QTest::newRow("a destination that is a file")
        << "full"
        << "full/a.jpg"
        << "Il percorso «%1/full/a.jpg» scelto come cartella di destinazione è un file, non una "
           "cartella";
}

// Bad input is said, and nothing is read or written.
void TestTrasferimento::cardVerificationRefused()
{
    QFETCH(QString, card);
    QFETCH(QString, destination);
    QFETCH(QString, refusal);
    QVERIFY(QDir(m_source->path()).mkpath("empty"));
    QVERIFY(QDir(m_source->path()).mkpath("full"));
    test::writePhoto(m_source->filePath("full"), "a.jpg");
    Verifica verifica;
    const QString to =
        destination.isEmpty() ? m_destination->path() : m_source->filePath(destination);
    QCOMPARE(preparaVerifica({ { m_source->filePath(card) }, true, to, {} }, verifica),
        refusal.arg(m_source->path()));
    QCOMPARE(test::entriesOf(m_destination->path()), QStringList());
}

// A card pulled out half way: the verification ends saying the card went,
// not that a copy differs, and touches nothing.
void TestTrasferimento::cardPulledOutDuringVerification()
{
    const test::Medium card(QStringLiteral("quirky:hold=b.jpg"));
    if (!card.isMounted())
        QSKIP(qPrintable(card.whyNot()));
    // The copies are written from the same bytes: reading the card would
    // meet the hold.
    for (const char *name : { "a", "b" }) {
        const QByteArray bytes(512 << 10, name[0]);
        test::writeFile(card.path(), QStringLiteral("%1.jpg").arg(name), bytes);
        test::writeFile(m_destination->path(), QStringLiteral("Img_%1.jpg").arg(name), bytes);
    }
    const QStringList before = test::entriesOf(m_destination->path());
    Verifica verifica;
    QCOMPARE(preparaVerifica({ { card.path() }, false, m_destination->path(), {} }, verifica),
        QString());
    const std::atomic<bool> ferma = false;
    Avanzamento avanzamento;
    auto verificando =
        std::async(std::launch::async, [&] { eseguiVerifica(verifica, ferma, avanzamento); });
    QTRY_VERIFY(card.isHolding());
    QVERIFY(card.pullOut());
    try {
        verificando.get();
        QFAIL("a verification of a card pulled out ended as if read whole");
    } catch (const platform::FileError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("non risponde più")),
            qPrintable(error.message()));
    }
    QVERIFY(avanzamento.fatti < 2);
    QCOMPARE(test::entriesOf(m_destination->path()), before);
}

// The list files each photo in the folder of its day, in a destination the
// run makes; the preview shows where, and the choice is remembered.
void TestTrasferimento::foldersByDateChosen()
{
    test::writeFile(m_source->path(), QStringLiteral("a.jpg"), "uno", Earlier);
    test::writeFile(m_source->path(), QStringLiteral("b.jpg"), "due", Earlier.addDays(1));
    test::remember("CartellePerData", QStringLiteral("AAAA-MM-GG"));
    m_window = std::make_unique<test::Window>();
    auto *list = m_window->form().findChild<QComboBox *>(QStringLiteral("SchemaCartelle"));
    QCOMPARE(list->currentText(), QStringLiteral("AAAA-MM-GG"));
    const QString gita = m_destination->filePath(QStringLiteral("Gita"));
    m_window->prepare(m_source->path(), gita, { "a.jpg", "b.jpg" });
    QStringList shown;
    QString summary;
    withPreview(*m_window, [&](QDialog *dialog, QTableWidget *table) {
        for (int row = 0; row < table->rowCount(); ++row)
            shown.append(table->item(row, 3)->text());
        summary = dialog->findChild<QLabel *>(QStringLiteral("RiepilogoAnteprima"))->text();
        dialog->findChild<QPushButton *>(QStringLiteral("CopiaAnteprima"))->click();
    });
    QCOMPARE(shown, (QStringList { "2026-06-01/Img_001.jpg", "2026-06-02/Img_001.jpg" }));
    QVERIFY2(summary.endsWith(QStringLiteral("saranno create.")), qPrintable(summary));
    QCOMPARE(test::entriesOf(gita + QStringLiteral("/2026-06-02")), { "Img_001.jpg" });
    QVERIFY2(m_window->text("Esito").contains(QStringLiteral("in 2 cartelle per data, in «")),
        qPrintable(m_window->text("Esito")));
    // «Verifica scheda» finds them in their days' folders.
    m_window->click("VerificaScheda");
    QVERIFY2(m_window->text("Esito").endsWith(QStringLiteral("la scheda si può formattare.")),
        qPrintable(m_window->text("Esito")));
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(test::stored("CartellePerData"), QString());
}

COPIA_TEST_MAIN(TestTrasferimento)
#include "tst_trasferimento.moc"
