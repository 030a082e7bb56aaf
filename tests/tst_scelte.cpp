#include "support.h"

#include "platform/mountwatcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString Preset = QStringLiteral("Tutti i file del tipo selezionato");

} // namespace

class TestScelte : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sourcePicker_data();
    void sourcePicker();
    void sourcePickerAtRootKeepsOneSeparator();
    void sourcePickerHasNoCapacityLimit();
    void cardOffered_data();
    void cardOffered();
    void destinationPicker_data();
    void destinationPicker();
    void destinationExtensionChoiceIsSetAfresh();
    void dialogSettings();
    void baseNameSelectionOnFocus_data();
    void baseNameSelectionOnFocus();
    void baseNameEnterMovesOnAndStores();
    void baseNameNeverStored_data();
    void baseNameNeverStored();
    void baseNameUnchangedWritesNothing();
    void baseNameTypingSurvivesSwitchingPrograms();
};

void TestScelte::sourcePicker_data()
{
    QTest::addColumn<QString>("kind"); // cancel, one, several, preset, or preset then subfolders
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QString>("caption");

    QTest::newRow("cancel") << "cancel" << QStringList() << 1 << QStringList()
                            << "0 file  selezionati";
    QTest::newRow("one file") << "one" << QStringList("b.jpg") << 1 << QStringList("b.jpg")
                              << "1 file .JPG selezionati";
    QTest::newRow("one file, caption shows the filter")
        << "one" << QStringList("c.PNG") << 9 << QStringList("c.PNG") << "1 file  selezionati";
    QTest::newRow("three files") << "several" << QStringList({ "c.PNG", "a.jpg", "b.jpg" }) << 1
                                 << QStringList({ "a.jpg", "b.jpg", "c.PNG" })
                                 << "3 file .JPG selezionati";
    QTest::newRow("several, all files filter")
        << "several" << QStringList({ "a.jpg", "x.gif" }) << 9 << QStringList({ "a.jpg", "x.gif" })
        << "2 file  selezionati";
    QTest::newRow("preset, JPEG") << "preset" << QStringList(Preset + ".jpg") << 1
                                  << QStringList({ "D.JPG", Preset + ".jpg", "a.jpg", "b.jpg" })
                                  << "4 file .JPG selezionati";
    QTest::newRow("preset, GIF") << "preset" << QStringList(Preset + ".gif") << 4
                                 << QStringList("x.gif") << "1 file .GIF selezionati";
    QTest::newRow("preset, photos and videos")
        << "preset" << QStringList(Preset) << 8
        << QStringList({ "D.JPG", Preset + ".jpg", "a.jpg", "b.jpg", "c.PNG", "x.gif" })
        << "6 file di foto e video selezionati";
    QTest::newRow("preset, all files")
        << "preset" << QStringList(Preset) << 9
        << QStringList({ "D.JPG", Preset + ".jpg", "a.jpg", "b.jpg", "c.PNG", "x.gif" })
        << "6 file .* selezionati";
    // Ticking «Includi sottocartelle» keeps the type.
    QTest::newRow("preset, JPEG, then subfolders")
        << "subfolders" << QStringList(Preset + ".jpg") << 1
        << QStringList({ "D.JPG", Preset + ".jpg", "a.jpg", "b.jpg", "100CANON/e.jpg" })
        << "5 file .JPG selezionati";
    QTest::newRow("preset in other letter case")
        << "preset" << QStringList("tutti i file del tipo selezionato.jpg") << 1
        << QStringList("tutti i file del tipo selezionato.jpg") << "1 file .JPG selezionati";
}

void TestScelte::sourcePicker()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, chosen);
    QFETCH(int, filter);
    QFETCH(QStringList, selected);
    QFETCH(QString, caption);
    test::Sandbox sandbox;
    QTemporaryDir previous;
    QTemporaryDir folder;
    QTemporaryDir destination;
    for (const char *name : { "a.jpg", "b.jpg", "D.JPG", "c.PNG", "x.gif" })
        test::writeFile(folder.path(), QLatin1String(name));
    test::writeFile(folder.path(), Preset + QStringLiteral(".jpg"));
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("100CANON")));
    for (const char *name : { "e.jpg", "e.mov" })
        test::writeFile(folder.filePath(QStringLiteral("100CANON")), QLatin1String(name));
    test::writeFile(destination.path(), QStringLiteral("Img_004.jpg"));
    test::remember("Sorgente", test::slashed(previous.path()));
    test::remember("Destinazione", test::slashed(destination.path()));
    test::remember("OrdineNome", QStringLiteral("True"));

    test::Window window;
    // A correction meant for the card before does not follow to another.
    window.check("CorrOra");
    window.state().CorrOre = 1;
    // A confirmed choice refreshes the running number; a cancelled one does not.
    test::writeFile(destination.path(), QStringLiteral("Img_006.jpg"));
    test::CannedDialog &dialog = window.cannedDialog();
    dialog.cancel = kind == QLatin1String("cancel");
    dialog.answerFilterIndex = filter;
    if (kind == QLatin1String("several")) {
        dialog.answerFileName = folder.path() + QChar(0) + chosen.join(QChar(0));
    } else if (!chosen.isEmpty()) {
        dialog.answerFileName = folder.filePath(chosen.first());
        dialog.answerFileTitle = chosen.first();
    }
    window.click("SfogliaS");
    window.check("SottoCartelle", kind == QLatin1String("subfolders"));

    QCOMPARE(window.state().NumFile, int(selected.size()));
    // Kept as chosen; the engine orders them when a run is planned.
    QStringList selection = window.state().ElencoFile.mid(1);
    selection.sort();
    selected.sort();
    QCOMPARE(selection, selected);
    QCOMPARE(window.text("SrcInfo"), caption);
    const QString source = test::slashed(dialog.cancel ? previous.path() : folder.path());
    QCOMPARE(window.text("SrcPath"), source);
    QCOMPARE(test::stored("Sorgente"), source);
    QCOMPARE(window.text("Suffisso"), QLatin1String(dialog.cancel ? "004" : "006"));
    QCOMPARE(window.form().findChild<QCheckBox *>(QStringLiteral("CorrOra"))->isChecked(),
        dialog.cancel);
    // The dialog opens on the type chosen last.
    window.click("SfogliaS");
    QCOMPARE(dialog.shown.last().FilterIndex, dialog.cancel ? 1 : filter);
    QCOMPARE(window.state().CorrOre, dialog.cancel ? 1 : 0);
}

void TestScelte::sourcePickerAtRootKeepsOneSeparator()
{
    test::Sandbox sandbox;
    test::Window window;
    window.cannedDialog().answerFileName = QStringLiteral("/") + QChar(0) + QStringLiteral("a.jpg")
        + QChar(0) + QStringLiteral("b.jpg");
    window.click("SfogliaS");
    QCOMPARE(window.text("SrcPath"), QStringLiteral("/"));
    QCOMPARE(window.state().NumFile, 2);
}

void TestScelte::sourcePickerHasNoCapacityLimit()
{
    test::Sandbox sandbox;
    QTemporaryDir folder;
    for (int i = 0; i < 1200; ++i)
        test::writeFile(
            folder.path(), QStringLiteral("DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0')));
    test::Window window;
    window.cannedDialog().answerFileName = folder.filePath(Preset + QStringLiteral(".jpg"));
    window.cannedDialog().answerFileTitle = Preset + QStringLiteral(".jpg");
    window.click("SfogliaS");
    QCOMPARE(window.state().NumFile, 1200);
    QCOMPARE(window.state().ElencoFile.size(), 1201);
    QCOMPARE(window.text("SrcInfo"), QStringLiteral("1200 file .JPG selezionati"));
}

void TestScelte::cardOffered_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("exFAT, from its device") << "exfat";
    QTest::newRow("FAT32, from an image through FUSE") << "fat32";
}

// A card put in while the window is open is offered with the photos and
// videos of its DCIM; «Usa la scheda» takes all of it as the source; the
// next card put in is offered too, and withdrawn once taken out.
void TestScelte::cardOffered()
{
    QFETCH(QString, kind);
    test::Medium first(kind);
    test::Medium second(kind);
    for (const test::Medium *card : { &first, &second }) {
        if (!card->isMounted())
            QSKIP(qPrintable(card->whyNot()));
    }
    QVERIFY(QDir().mkpath(first.filePath(QStringLiteral("DCIM/100CANON"))));
    for (const char *name : { "IMG_1.JPG", "IMG_1.CR2", "IMG_1.xmp", "MVI_2.MP4" })
        test::writeFile(first.filePath(QStringLiteral("DCIM/100CANON")), QLatin1String(name));
    QVERIFY(QDir().mkpath(second.filePath(QStringLiteral("dcim/100NIKON"))));
    test::writeFile(second.filePath(QStringLiteral("dcim/100NIKON")), QStringLiteral("DSC_1.JPG"));
    QVERIFY(first.takeOut() && second.takeOut());
    test::Sandbox sandbox;
    test::Window window;
    auto *watcher = window.form().findChild<platform::MountWatcher *>();
    QVERIFY(watcher);
    QSignalSpy changes(watcher, &platform::MountWatcher::mountsChanged);
    const QString none = QStringLiteral("Nessuna corsa in questa sessione.");
    const int height = window.form().height();
    QCOMPARE(window.text("Esito"), none);

    QVERIFY(first.putBackIn());
    QTRY_VERIFY(!changes.isEmpty());
    QTRY_COMPARE(window.text("Esito"), QStringLiteral("Scheda «media» inserita: 3 foto e video."));
    QVERIFY(window.button("UsaScheda")->isVisible());
    QVERIFY(window.form().height() > height);
    window.click("UsaScheda");
    QCOMPARE(window.text("SrcPath"), first.filePath(QStringLiteral("DCIM/")));
    QVERIFY(window.form().findChild<QCheckBox *>(QStringLiteral("SottoCartelle"))->isChecked());
    QCOMPARE(window.text("SrcInfo"), QStringLiteral("Tutti i file (4)"));
    QCOMPARE(window.text("Esito"), none);
    QVERIFY(!window.button("UsaScheda")->isVisible());
    QCOMPARE(window.form().height(), height);

    QVERIFY(second.putBackIn());
    QTRY_COMPARE(window.text("Esito"), QStringLiteral("Scheda «media» inserita: 1 foto e video."));
    QVERIFY(second.takeOut());
    QTRY_COMPARE(window.text("Esito"), none);
    QVERIFY(!window.button("UsaScheda")->isVisible());
}

void TestScelte::destinationPicker_data()
{
    QTest::addColumn<QString>("answer"); // relative to the temporary folder; empty: cancel
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("destination"); // relative; "old" is the one before
    QTest::addColumn<bool>("withoutExtension");
    QTest::addColumn<QString>("number");

    QTest::newRow("cancel") << "" << 1 << "old" << false << "002";
    QTest::newRow("keep extension") << "Mare/Img_xxx" << 1 << "Mare/" << false << "007";
    QTest::newRow("remove extension") << "Mare/Img_xxx" << 2 << "Mare/" << true << "007";
    QTest::newRow("typed name discarded") << "Mare/qualsiasi.txt" << 1 << "Mare/" << false << "007";
    QTest::newRow("no separator") << "!Img_xxx" << 2 << "old" << true << "002";
    QTest::newRow("separator first only") << "!/Img_xxx" << 2 << "old" << true << "002";
}

void TestScelte::destinationPicker()
{
    QFETCH(QString, answer);
    QFETCH(int, filter);
    QFETCH(QString, destination);
    QFETCH(bool, withoutExtension);
    QFETCH(QString, number);
    test::Sandbox sandbox;
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("Mare")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("old")));
    test::writeFile(root.filePath(QStringLiteral("Mare")), QStringLiteral("Img_007.jpg"));
    test::writeFile(root.filePath(QStringLiteral("old")), QStringLiteral("Img_002.jpg"));
    test::remember("Destinazione", root.filePath(QStringLiteral("old/")));

    test::Window window;
    test::CannedDialog &dialog = window.cannedDialog();
    dialog.cancel = answer.isEmpty();
    dialog.answerFileName =
        answer.startsWith(QLatin1Char('!')) ? answer.mid(1) : root.filePath(answer);
    dialog.answerFilterIndex = filter;
    window.click("SfogliaD");

    const QString expected =
        root.filePath(destination == QLatin1String("old") ? "old/" : destination);
    QCOMPARE(window.text("DestPath"), expected);
    QCOMPARE(test::stored("Destinazione"), expected);
    QCOMPARE(window.state().RimuoviEstensione, withoutExtension);
    QCOMPARE(window.text("Suffisso"), number);
}

void TestScelte::destinationExtensionChoiceIsSetAfresh()
{
    test::Sandbox sandbox;
    QTemporaryDir root;
    test::Window window;
    test::CannedDialog &dialog = window.cannedDialog();
    dialog.answerFileName = root.filePath(QStringLiteral("Img_xxx"));
    dialog.answerFilterIndex = 2;
    window.click("SfogliaD");
    QVERIFY(window.state().RimuoviEstensione);
    dialog.answerFilterIndex = 1;
    window.click("SfogliaD");
    QVERIFY(!window.state().RimuoviEstensione);
    // Each use preselects the first entry again.
    QCOMPARE(dialog.shown.last().FilterIndex, 0);
}

void TestScelte::dialogSettings()
{
    test::Sandbox sandbox;
    QTemporaryDir source;
    test::remember("Sorgente", test::slashed(source.path()));
    test::remember("Destinazione", QStringLiteral("/media/foto/"));
    test::Window window;
    test::CannedDialog &dialog = window.cannedDialog();
    dialog.cancel = true;
    window.click("SfogliaS");
    window.click("SfogliaD");
    window.setText("NomeBase", QString());
    window.click("SfogliaD");
    window.setText("RiservaPath", QStringLiteral("/media/riserva/"));
    window.click("SfogliaR");

    QCOMPARE(dialog.shown.size(), 4);
    const desktop::CommonDialog &open = dialog.shown.at(0);
    QCOMPARE(open.DialogTitle, QStringLiteral("Seleziona i file da copiare o spostare."));
    QCOMPARE(open.InitDir, test::slashed(source.path()));
    QCOMPARE(open.FileName, Preset);
    QCOMPARE(open.Flags, 0x80200);
    QVERIFY(open.Filter.startsWith(
        QStringLiteral("Immagini JPEG (*.jpg)|*.jpg|Immagini BMP (*.bmp)|*.bmp|Immagini TIFF "
                       "(*.tif)|*.tif|Immagini GIF (*.gif)|*.gif|Foto RAW (*.cr2;*.cr3;")));
    for (const char *type :
        { "|Foto HEIC (*.heic;", "|Video (*.mov;*.mp4;", "|Foto e video (*.jpg;" })
        QVERIFY(open.Filter.contains(QLatin1String(type)));
    QVERIFY(open.Filter.endsWith(QStringLiteral("|Tutti i file (*.*)|*.*")));
    QCOMPARE(open.FilterIndex, 1);
    QVERIFY(open.CancelError);

    const desktop::CommonDialog &save = dialog.shown.at(1);
    QCOMPARE(save.DialogTitle, QStringLiteral("Seleziona la cartella in cui copiare."));
    QCOMPARE(save.InitDir, QStringLiteral("/media/foto/"));
    QCOMPARE(save.FileName, QStringLiteral("Img_xxx"));
    QCOMPARE(save.Flags, 0x100);
    QCOMPARE(
        save.Filter, QStringLiteral("Mantieni Estensione (Img_xxx.*)|*.*|Rimuovi Estensione ||"));
    QCOMPARE(save.FilterIndex, 0);
    QVERIFY(save.CancelError);

    QCOMPARE(dialog.shown.at(2).FileName, QStringLiteral("xxx"));
    QCOMPARE(dialog.shown.at(2).Filter,
        QStringLiteral("Mantieni Estensione (xxx.*)|*.*|Rimuovi Estensione ||"));

    const desktop::CommonDialog &backup = dialog.shown.at(3);
    QCOMPARE(backup.DialogTitle, QStringLiteral("Seleziona la cartella di riserva."));
    QCOMPARE(backup.InitDir, QStringLiteral("/media/riserva/"));
    QCOMPARE(backup.Filter, QString());
}

void TestScelte::baseNameSelectionOnFocus_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("selected");
    QTest::newRow("underscore") << "Img_" << 3;
    QTest::newRow("dash") << "Img-" << 3;
    QTest::newRow("blank") << "Img " << 3;
    QTest::newRow("no separator") << "Img" << 3;
    QTest::newRow("separator only") << "_" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestScelte::baseNameSelectionOnFocus()
{
    QFETCH(QString, name);
    QFETCH(int, selected);
    test::Sandbox sandbox;
    test::Window window;
    QLineEdit *field = window.lineEdit("NomeBase");
    field->setText(name);
    window.button("SfogliaD")->setFocus();
    QTest::keyClick(window.button("SfogliaD"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), field);
    QCOMPARE(field->selectedText(), name.left(selected));
    QCOMPARE(field->selectionStart(), selected ? 0 : -1);
}

void TestScelte::baseNameEnterMovesOnAndStores()
{
    test::Sandbox sandbox;
    QTemporaryDir destination;
    test::writeFile(destination.path(), QStringLiteral("Mare_003.jpg"));
    test::remember("Destinazione", test::slashed(destination.path()));
    test::Window window;
    QLineEdit *field = window.lineEdit("NomeBase");
    window.button("SfogliaD")->setFocus();
    QTest::keyClick(window.button("SfogliaD"), Qt::Key_Tab);
    QTest::keyClicks(field, QStringLiteral("Mare"));
    QTest::keyClick(field, Qt::Key_Return);

    QCOMPARE(field->text(), QStringLiteral("Mare_"));
    QCOMPARE(QApplication::focusWidget(), window.button("Copia"));
    QCOMPARE(window.text("Suffisso"), QStringLiteral("003"));
    QCOMPARE(test::stored("NomeBase"), QStringLiteral("Mare_"));
    QVERIFY(!window.state().NomeCambiato);
    QCOMPARE(window.text("DestPath"), test::slashed(destination.path()));
}

void TestScelte::baseNameNeverStored_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("remembered");
    QTest::newRow("empty") << true << ""
                           << "000"
                           << "(assente)";
    QTest::newRow("underscore") << true << "_"
                                << "000"
                                << "(assente)";
    QTest::newRow("star") << true << "*"
                          << ""
                          << "(assente)";
    // Start-up filling the field counts as an edit.
    QTest::newRow("restored, untouched") << false << "Img_"
                                         << "000"
                                         << "Img_";
}

void TestScelte::baseNameNeverStored()
{
    QFETCH(bool, edit);
    QFETCH(QString, name);
    QFETCH(QString, number);
    QFETCH(QString, remembered);
    test::Sandbox sandbox;
    QTemporaryDir destination;
    test::remember("Destinazione", test::slashed(destination.path()));
    test::Window window;
    QLineEdit *field = window.lineEdit("NomeBase");
    field->setFocus();
    if (edit) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, name);
    }
    window.button("Copia")->setFocus();

    QCOMPARE(field->text(), name);
    QCOMPARE(window.text("Suffisso"), number);
    QCOMPARE(test::stored("NomeBase"), remembered);
    QVERIFY(!window.state().NomeCambiato);
}

void TestScelte::baseNameUnchangedWritesNothing()
{
    test::Sandbox sandbox;
    QTemporaryDir destination;
    test::remember("NomeBase", QStringLiteral("Mare_"));
    test::remember("Destinazione", test::slashed(destination.path()));
    test::Window window;
    QLineEdit *field = window.lineEdit("NomeBase");
    field->setFocus();
    window.button("Copia")->setFocus();
    QFile config(sandbox.configFile());
    QVERIFY(config.open(QIODevice::ReadOnly));
    const QByteArray before = config.readAll();
    config.close();

    test::writeFile(destination.path(), QStringLiteral("Mare_009.jpg"));
    field->setFocus();
    window.button("Copia")->setFocus();
    QCOMPARE(window.text("Suffisso"), QStringLiteral("009"));
    QVERIFY(config.open(QIODevice::ReadOnly));
    QCOMPARE(config.readAll(), before);
}

void TestScelte::baseNameTypingSurvivesSwitchingPrograms()
{
    test::Sandbox sandbox;
    test::Window window;
    window.form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window.form()));
    QLineEdit *field = window.lineEdit("NomeBase");
    window.button("SfogliaD")->setFocus();
    QTest::keyClick(window.button("SfogliaD"), Qt::Key_Tab);
    QTest::keyClicks(field, QStringLiteral("Mar"));

    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!QApplication::focusWidget());
    window.form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window.form()));
    QCOMPARE(QApplication::focusWidget(), field);
    QTest::keyClicks(field, QStringLiteral("e"));
    QCOMPARE(field->text(), QStringLiteral("Mare_"));
}

COPIA_TEST_MAIN(TestScelte)
#include "tst_scelte.moc"
