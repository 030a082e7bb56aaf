#include "support.h"

#include "platform/filenames.h"
#include "window/commondialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using desktop::CommonDialog;

namespace {

const QString Preset = QStringLiteral("Tutti i file del tipo selezionato");

// Once the dialog is open, does what a user would in it. A dialog that the
// steps leave open, when one of their checks fails, is cancelled.
void whenOpen(std::function<void(QFileDialog *)> steps)
{
    QTimer::singleShot(0, [steps] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        steps(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

QLineEdit *nameField(QFileDialog *dialog)
{
    return dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
}

// Enters a name or a path as if typed, without the completer's list in the way.
void type(QFileDialog *dialog, const QString &text)
{
    QLineEdit *field = nameField(dialog);
    field->setText(text);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace

class TestDialogo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void openOneFile();
    void openSeveralFiles();
    void openPreset_data();
    void openPreset();
    void openTypedNameWithoutExtension_data();
    void openTypedNameWithoutExtension();
    void proposedNameStaysAcrossFolders();
    void cancel();
    void saveShowsTwoEntriesAndNeverPrompts();
    void windowPicksThroughTheRealDialog_data();
    void windowPicksThroughTheRealDialog();

private:
    CommonDialog openDialog() const;

    std::unique_ptr<test::Sandbox> m_sandbox;
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestDialogo::init()
{
    m_sandbox = std::make_unique<test::Sandbox>();
    m_folder = std::make_unique<QTemporaryDir>();
    for (const char *name : { "a.jpg", "b.jpg", "c.gif" })
        test::writeFile(m_folder->path(), QLatin1String(name));
}

void TestDialogo::cleanup()
{
    m_folder.reset();
    m_sandbox.reset();
}

// The open dialog as the source picker sets it up.
CommonDialog TestDialogo::openDialog() const
{
    CommonDialog dialog;
    dialog.FileName = Preset;
    dialog.DialogTitle = QStringLiteral("Seleziona i file da copiare o spostare.");
    dialog.InitDir = test::slashed(m_folder->path());
    dialog.Flags = desktop::OFN_EXPLORER | desktop::OFN_ALLOWMULTISELECT;
    dialog.Filter = QStringLiteral("Immagini JPEG (*.jpg)|*.jpg|Immagini BMP (*.bmp)|*.bmp|"
                                   "Immagini TIFF (*.tif)|*.tif|Immagini GIF (*.gif)|*.gif|"
                                   "Tutti i file (*.*)|*.*");
    dialog.FilterIndex = 1;
    dialog.CancelError = true;
    return dialog;
}

void TestDialogo::openOneFile()
{
    CommonDialog dialog = openDialog();
    whenOpen([](QFileDialog *open) {
        QCOMPARE(open->windowTitle(), QStringLiteral("Seleziona i file da copiare o spostare."));
        QCOMPARE(nameField(open)->text(), Preset);
        type(open, QStringLiteral("b.jpg"));
    });
    dialog.ShowOpen(nullptr);
    QCOMPARE(dialog.FileName, m_folder->filePath(QStringLiteral("b.jpg")));
    QCOMPARE(dialog.FileTitle, QStringLiteral("b.jpg"));
    QCOMPARE(dialog.FilterIndex, 1);
}

// Picked in the list with the mouse, as a user picks several photos.
void TestDialogo::openSeveralFiles()
{
    CommonDialog dialog = openDialog();
    const QString folder = m_folder->path();
    whenOpen([folder](QFileDialog *open) {
        auto *view = open->findChild<QListView *>(QStringLiteral("listView"));
        auto *model = qobject_cast<QFileSystemModel *>(view->model());
        const QModelIndex a = model->index(folder + QStringLiteral("/a.jpg"));
        const QModelIndex b = model->index(folder + QStringLiteral("/b.jpg"));
        QTRY_VERIFY(!view->visualRect(a).isEmpty() && !view->visualRect(b).isEmpty());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(a).center());
        QTest::mouseClick(
            view->viewport(), Qt::LeftButton, Qt::ControlModifier, view->visualRect(b).center());
        QTest::keyClick(nameField(open), Qt::Key_Return);
    });
    dialog.ShowOpen(nullptr);
    QCOMPARE(dialog.FileTitle, QString());
    QStringList parts = dialog.FileName.split(QChar(0));
    QCOMPARE(parts.takeFirst(), folder);
    parts.sort();
    QCOMPARE(parts, QStringList({ "a.jpg", "b.jpg" }));
}

void TestDialogo::openPreset_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("title");
    QTest::newRow("JPEG") << 1 << Preset + ".jpg";
    QTest::newRow("GIF") << 4 << Preset + ".gif";
    QTest::newRow("all files") << 5 << Preset;
}

void TestDialogo::openPreset()
{
    QFETCH(int, filter);
    QFETCH(QString, title);
    CommonDialog dialog = openDialog();
    whenOpen([filter](QFileDialog *open) {
        open->selectNameFilter(open->nameFilters().at(filter - 1));
        QTest::keyClick(nameField(open), Qt::Key_Return);
    });
    dialog.ShowOpen(nullptr);
    QCOMPARE(dialog.FileTitle, title);
    QCOMPARE(dialog.FileName, m_folder->filePath(title));
    QCOMPARE(dialog.FilterIndex, filter);
}

void TestDialogo::openTypedNameWithoutExtension_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("title");
    QTest::newRow("TIFF") << 3 << "mare"
                          << "mare.tif";
    QTest::newRow("all files") << 5 << "mare"
                               << "mare";
    QTest::newRow("has an extension") << 1 << "mare.png"
                                      << "mare.png";
}

void TestDialogo::openTypedNameWithoutExtension()
{
    QFETCH(int, filter);
    QFETCH(QString, typed);
    QFETCH(QString, title);
    CommonDialog dialog = openDialog();
    whenOpen([filter, typed](QFileDialog *open) {
        open->selectNameFilter(open->nameFilters().at(filter - 1));
        type(open, typed);
    });
    dialog.ShowOpen(nullptr);
    QCOMPARE(dialog.FileTitle, title);
    QCOMPARE(dialog.FilterIndex, filter);
}

void TestDialogo::proposedNameStaysAcrossFolders()
{
    QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("Mare")));
    CommonDialog dialog = openDialog();
    const QString folder = m_folder->path();
    whenOpen([folder](QFileDialog *open) {
        type(open, folder + QStringLiteral("/Mare/"));
        QCOMPARE(open->directory().absolutePath(), folder + QStringLiteral("/Mare"));
        QCOMPARE(nameField(open)->text(), Preset);
        QTest::keyClick(nameField(open), Qt::Key_Return);
    });
    dialog.ShowOpen(nullptr);
    QCOMPARE(dialog.FileName, folder + QStringLiteral("/Mare/") + Preset + QStringLiteral(".jpg"));
}

void TestDialogo::cancel()
{
    CommonDialog dialog = openDialog();
    whenOpen([](QFileDialog *open) { QTest::keyClick(nameField(open), Qt::Key_Escape); });
    QVERIFY_THROWS_EXCEPTION(desktop::DialogCancelled, dialog.ShowOpen(nullptr));

    dialog.CancelError = false;
    whenOpen([](QFileDialog *open) { open->reject(); });
    dialog.ShowSave(nullptr);
    QCOMPARE(dialog.FileName, QString());
}

void TestDialogo::saveShowsTwoEntriesAndNeverPrompts()
{
    CommonDialog dialog;
    dialog.DialogTitle = QStringLiteral("Seleziona la cartella in cui copiare.");
    dialog.InitDir = test::slashed(m_folder->path());
    dialog.FileName = QStringLiteral("Img_xxx");
    dialog.Flags = desktop::OFN_NOVALIDATE;
    dialog.Filter = QStringLiteral("Mantieni Estensione (Img_xxx.*)|*.*|Rimuovi Estensione ||");
    dialog.FilterIndex = 0;
    dialog.CancelError = true;

    bool prompted = false;
    whenOpen([&prompted](QFileDialog *save) {
        auto *types = save->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        QCOMPARE(types->count(), 2);
        QCOMPARE(types->itemText(0), QStringLiteral("Mantieni Estensione (Img_xxx.*)"));
        QCOMPARE(types->itemText(1), QStringLiteral("Rimuovi Estensione"));
        QCOMPARE(types->currentIndex(), 0);
        QCOMPARE(nameField(save)->text(), QStringLiteral("Img_xxx"));
        save->selectNameFilter(save->nameFilters().at(1));
        // An overwrite prompt would open over the dialog; answer it and note it.
        QTimer::singleShot(0, [&prompted] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                prompted = true;
                box->reject();
            }
        });
        type(save, QStringLiteral("a.jpg"));
    });
    dialog.ShowSave(nullptr);
    QVERIFY(!prompted);
    QCOMPARE(dialog.FileName, m_folder->filePath(QStringLiteral("a.jpg")));
    QCOMPARE(dialog.FilterIndex, 2);
}

void TestDialogo::windowPicksThroughTheRealDialog_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QStringList>("photos");
    QTest::newRow("plain") << QByteArray() << QStringList({ "a.jpg", "b.jpg" });
    // Its empty sibling's name has the byte 0xA9, which the program's form writes as U+EFA9.
    QTest::newRow("U+EFA9") << QByteArray("/x\xee\xbe\xa9") << QStringList({ "reale.jpg" });
}

// The whole way from the buttons through the real dialogs to the selection,
// the settings and back at the next start.
void TestDialogo::windowPicksThroughTheRealDialog()
{
    QFETCH(QByteArray, name);
    QFETCH(QStringList, photos);
    const QString parent = m_folder->path();
    QVERIFY(QDir(parent).mkdir(QStringLiteral("x\uEFA9")));
    test::writeFile(parent + QStringLiteral("/x\uEFA9"), QStringLiteral("reale.jpg"));
    const QByteArray raw = QFile::encodeName(parent) + "/x\xa9";
    QCOMPARE(::mkdir(raw.constData(), 0700), 0);
    // QTemporaryDir cannot name it to remove it.
    const auto removing = qScopeGuard([&raw] { ::rmdir(raw.constData()); });
    const QByteArray bytes = QFile::encodeName(parent) + name;
    const QString folder = test::slashed(platform::decodeFileName(bytes));
    const QString shown = test::slashed(QFile::decodeName(bytes));

    test::Window window;
    // Opened where the source box points.
    window.setText("SrcPath", folder);
    whenOpen([](QFileDialog *open) { QTest::keyClick(nameField(open), Qt::Key_Return); });
    window.click("SfogliaS");
    QCOMPARE(window.text("SrcPath"), platform::displayFileName(folder));
    QStringList selected = window.state().ElencoFile.mid(1);
    selected.sort();
    QCOMPARE(selected, photos);
    QCOMPARE(window.text("SrcInfo"), QStringLiteral("%1 file .JPG selezionati").arg(photos.size()));

    whenOpen([shown](QFileDialog *save) {
        save->setDirectory(shown);
        save->selectNameFilter(save->nameFilters().at(1));
        QTest::keyClick(nameField(save), Qt::Key_Return);
    });
    window.click("SfogliaD");
    QCOMPARE(window.text("DestPath"), platform::displayFileName(folder));
    QVERIFY(window.state().RimuoviEstensione);
    QCOMPARE(test::stored("Destinazione"), shown);

    whenOpen([shown](QFileDialog *save) {
        save->setDirectory(shown);
        QTest::keyClick(nameField(save), Qt::Key_Return);
    });
    window.click("SfogliaR");
    QCOMPARE(window.text("RiservaPath"), platform::displayFileName(folder));
    QCOMPARE(test::stored("Riserva"), shown);

    test::Window again;
    QCOMPARE(again.text("SrcPath"), platform::displayFileName(folder));
    QCOMPARE(again.text("DestPath"), platform::displayFileName(folder));
    QCOMPARE(again.text("RiservaPath"), platform::displayFileName(folder));
}

COPIA_TEST_MAIN(TestDialogo)
#include "tst_dialogo.moc"
