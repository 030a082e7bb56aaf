#pragma once

#include "window/commondialog.h"
#include "window/failurereport.h"
#include "window/form1.h"

#include <QApplication>
#include <QDateTime>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

class QLabel;
class QLineEdit;
class QPushButton;

namespace test {

// What a test program returns when every case passed but one skipped, which
// CTest shows as skipped (SKIP_RETURN_CODE) where Qt Test's 0 shows as passed.
constexpr int skipped = 77;
// Runs the program's tests as run does and returns their failures, or
// skipped. For COPIA_TEST_MAIN.
int runReportingSkips(int argc, char *argv[], const std::function<int(int &, char **)> &run);

// Writes a file with the given content and, when valid, modification time.
QString writeFile(const QString &folder, const QString &name, const QByteArray &content = "foto",
    const QDateTime &time = {});
// A small JPEG photo (PNG when so named) with the given EXIF tags, as exiv2 names them
// ("Exif.Photo.DateTimeOriginal"; "thumbnail" embeds a red one), and, when valid,
// modification time.
QString writePhoto(const QString &folder, const QString &name,
    const QMap<QString, QString> &tags = {}, const QDateTime &time = {});
// The TIFF structure of a photo's EXIF with the given tags, and with XMP in
// its main directory where given, as a TIFF file or a HEIC holds it.
QByteArray exifStructure(const QMap<QString, QString> &tags, const QByteArray &xmp = {});
// A small MP4 movie made at the given moment, with its movie, track and
// media headers after its pictures, in the 8-byte form of their times where
// asked; of another brand where given ("qt  ", "crx "), with more boxes
// after its headers, as a phone's metadata.
QByteArray movie(const QDateTime &made, bool longTimes = false, qsizetype pictures = 1000,
    const QByteArray &brand = "isom", const QByteArray &more = {});
// A phone's metadata: the QuickTime keys and items of its make and its
// creation date, "2026-08-10T11:03:00+0200".
QByteArray keyedCreationDate(const QByteArray &date);
// A movie's user data with its ©day, as some cameras write it.
QByteArray userDay(const QByteArray &day);
// A HEIC with no picture but its EXIF block, which exifStructure gives.
QByteArray heic(const QByteArray &exif);
// A TIFF whose one strip of pixels is given and whose DateTime points into
// them, as a crafted file may; with its DateTimeOriginal where given.
QByteArray tiffDatedInPixels(const QByteArray &pixels, const QByteArray &original = {});
QByteArray contentOf(const QString &path);
// Copies a file the way a run does: written, read back, then published.
void copyFile(const QString &source, const QString &target);
void setTime(const QString &path, const QDateTime &time, long nanoseconds = 0);
struct stat statOf(const QString &path);
// Every name in the folder, hidden ones included, sorted.
QStringList entriesOf(const QString &folder);
QString slashed(const QString &folder);

// The window's own settings, in the section of this test program.
void remember(const char *key, const QString &value);
// The stored text, or "(assente)" when the key is absent.
QString stored(const char *key);

// A folder on another file system than the temporary folder, or null
// where /dev/shm is not one.
std::unique_ptr<QTemporaryDir> folderOnOtherFileSystem();

// A file system mounted for one test on a fresh folder, and unmounted with
// the object: "tmpfs", "bindfs" (FUSE, without unnamed files), the 64 MiB
// card images "exfat" and "fat32" through their FUSE drivers, an exFAT card
// of another size or cluster size, as "exfat:size=16M,cluster=128K", or
// "quirky:FAULTS", a card driver with the faults that tests/quirkyfs.cpp
// lists. Needs root.
class Medium
{
public:
    explicit Medium(const QString &kind);
    ~Medium();
    Medium(const Medium &) = delete;
    Medium &operator=(const Medium &) = delete;

    bool isMounted() const { return m_mounted; }
    // Why the medium could not be mounted, to skip with.
    QString whyNot() const { return m_whyNot; }
    QString path() const { return m_mountPoint; }
    QString filePath(const QString &name) const { return m_mountPoint + QLatin1Char('/') + name; }
    bool makeReadOnly();
    // Puts another card, freshly formatted, in the reader of an exFAT one,
    // mounted again where it was: the same device, another volume.
    bool swapCard();
    // Unmounts an "exfat", "fat32" or "ext4" card, and mounts it again
    // where it was, as a card taken out of its reader and put back.
    bool takeOut();
    bool putBackIn();
    // Mounts an "ext4" medium again where it was from another loop device,
    // as a disk plugged in again: the same volume, another device number.
    bool remountElsewhere();
    // The bytes a "quirky:" medium has handed out to readers.
    qint64 bytesRead() const;
    // Whether a "quirky:hold=" medium holds a read, and lets it go on.
    bool isHolding() const;
    void release();
    // Ends a "quirky:" medium's driver, as a card pulled out of its reader.
    bool pullOut() const;

private:
    bool run(const QString &program, const QStringList &arguments, QString *output = nullptr);
    bool mount(const QString &kind);
    // Mounts the formatted card of m_kind.
    bool attach();

    QTemporaryDir m_work;
    QString m_kind;
    QString m_mountPoint;
    QString m_loopDevice;
    bool m_mounted = false;
    QString m_whyNot;
};

// A private D-Bus session bus, ended with the object. The services it starts
// on demand get the environment it was started with.
class SessionBus
{
public:
    explicit SessionBus(
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    ~SessionBus();
    SessionBus(const SessionBus &) = delete;
    SessionBus &operator=(const SessionBus &) = delete;

    // Empty where dbus-daemon did not start; whyNot() then tells why.
    QString address() const { return m_address; }
    QString whyNot() const { return m_whyNot; }

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QString m_whyNot;
};

// Runs the current test function and data row again in a child process as
// an unprivileged user, for checks that root would pass regardless, from a
// copy of the program that user can reach. Call it first thing when running
// as root, and return after it.
void rerunAsUnprivilegedUser();

// Limits the size of the files this process writes, so that a copy fails
// part way; the limit ends with the guard.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved {};
    void (*m_oldHandler)(int) = nullptr;
};

// Points the settings store and the journals at a fresh folder, collects
// failure reports instead of showing them, and answers questions with
// answer, by default "No" as a run before any question did. One per test
// function keeps tests independent.
class Sandbox
{
public:
    Sandbox();
    ~Sandbox();
    QString configFile() const;
    QStringList reports;
    QStringList questions;
    // Each question's buttons: the default, the other (if any), the escape.
    QList<QStringList> buttons;
    desktop::Answer answer = desktop::Answer::No;

private:
    QTemporaryDir m_config;
};

// Answers the window's file dialogs with a canned answer and keeps the
// settings each use was shown with.
class CannedDialog : public desktop::CommonDialog
{
public:
    QString answerFileName;
    QString answerFileTitle;
    int answerFilterIndex = 1;
    bool cancel = false;
    QList<desktop::CommonDialog> shown;

    void ShowOpen(QWidget *) override { answer(); }
    void ShowSave(QWidget *) override { answer(); }

private:
    void answer();
};

// The real window, driven as a user would, with the selection and the clock
// offset set directly where no control sets them yet.
class Window
{
public:
    Window();
    Form1 &form() { return *m_form; }
    StatoFinestra &state() { return m_form->stato(); }
    // Replaces the file dialogs with canned answers.
    CannedDialog &cannedDialog();

    QLineEdit *lineEdit(const char *name) const;
    QLabel *label(const char *name) const;
    QPushButton *button(const char *name) const;
    void setText(const char *name, const QString &text);
    QString text(const char *name) const;
    void click(const char *name);
    void check(const char *name, bool checked = true);
    void select(const QStringList &names);
    // Sets folders, base name and selection, the usual start of a run.
    void prepare(const QString &source, const QString &destination, const QStringList &names,
        const QString &baseName = QStringLiteral("Img_"));

private:
    std::unique_ptr<Form1> m_form;
    CannedDialog *m_dialog = nullptr;
};

} // namespace test

// QTEST_MAIN, but a skipped case makes the program return test::skipped.
#define COPIA_TEST_MAIN(TestObject)                                                                \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        return test::runReportingSkips(argc, argv, [](int &count, char **arguments) {              \
            QApplication app(count, arguments);                                                    \
            app.setAttribute(Qt::AA_Use96Dpi, true);                                               \
            TestObject tests;                                                                      \
            QTEST_SET_MAIN_SOURCE_PATH                                                             \
            return QTest::qExec(&tests, count, arguments);                                         \
        });                                                                                        \
    }
