#include "support.h"

#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/media.h"
#include "window/apertura.h"

#include <QCheckBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QDateTime at(int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 6, 1), QTime(hour, minute, second));
}

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The arguments as main() has them, after the program's name.
class Argv
{
public:
    explicit Argv(const QByteArrayList &arguments)
        : m_bytes(QByteArrayList { "copia-e-rinomina" } + arguments)
    {
        for (QByteArray &argument : m_bytes)
            m_pointers.push_back(argument.data());
        m_pointers.push_back(nullptr);
    }
    int argc() const { return int(m_bytes.size()); }
    char **argv() { return m_pointers.data(); }

private:
    QByteArrayList m_bytes;
    std::vector<char *> m_pointers;
};

} // namespace

class TestRiga : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void sameAsWindow_data();
    void sameAsWindow();
    void twoSourcesMergeInTimeOrder();
    void previewTouchesNothing();
    void undoTakesBackTheLastRun();
    void wrongUse_data();
    void wrongUse();
    void stopsOnSignal_data();
    void stopsOnSignal();
    void killedCopyOnCard_data();
    void killedCopyOnCard();
    void trialRefusedAsTheRun_data();
    void trialRefusedAsTheRun();
    void namesAsTheyAre();
    void pathsAsTheSystemReadsThem();
    void cardWithItsFolders_data();
    void cardWithItsFolders();
    void theCardMounted_data();
    void theCardMounted();
    void secondImportSkipsWhatIsThere();
    void bareEnvironment_data();
    void bareEnvironment();
    void windowOrTerminal_data();
    void windowOrTerminal();

private:
    QProcessEnvironment environment() const;
    Run terminal(const QStringList &arguments, const QString &folder = {});
    Run run(const QStringList &arguments, const QProcessEnvironment &environment,
        const QString &folder = {});
    QString path(const QString &relative) const { return m_root->filePath(relative); }
    // Photos whose names and times give different orders, one without
    // extension, and a destination that each base name of the table continues.
    void fill(const QString &card, const QString &destination);

    QTemporaryDir m_state;
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<QTemporaryDir> m_root;
};

void TestRiga::initTestCase()
{
    // The window's runs write their journal here too, not in the user's home.
    qputenv("XDG_STATE_HOME", m_state.path().toUtf8());
}

void TestRiga::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    m_root = std::make_unique<QTemporaryDir>();
}

void TestRiga::fill(const QString &card, const QString &destination)
{
    QVERIFY(QDir().mkpath(path(card)) && QDir().mkpath(path(destination)));
    test::writeFile(path(card), u"DSC_0003.JPG"_s, "primo", at(10, 0));
    test::writeFile(path(card), u"dsc_0001.jpg"_s, "secondo", at(10, 0, 2));
    test::writeFile(path(card), u"IMG_1.Jpeg"_s, "terzo", at(9, 59));
    test::writeFile(path(card), u"Z.png"_s, "quarto", at(23, 30));
    test::writeFile(path(card), u"senza"_s, "quinto", at(10, 1));
    for (const char *name : { "Img_007.jpg", "2020.05_011.jpg", "Foto-003" })
        test::writeFile(path(destination), QLatin1String(name), "vecchia", at(8, 0));
}

// The real program, with no display at all: a window would not open.
QProcessEnvironment TestRiga::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(QLatin1String(name));
    environment.insert(u"XDG_CONFIG_HOME"_s, m_config->path());
    environment.insert(u"XDG_STATE_HOME"_s, m_state.path());
    return environment;
}

Run TestRiga::terminal(const QStringList &arguments, const QString &folder)
{
    return run(arguments, environment(), folder);
}

Run TestRiga::run(
    const QStringList &arguments, const QProcessEnvironment &environment, const QString &folder)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder.isEmpty() ? m_root->path() : folder);
    process.start(QStringLiteral(COPIA_EXE), arguments);
    if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit)
        qFatal("copia-e-rinomina did not end: %s", process.readAllStandardError().constData());
    return { process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError() };
}

void TestRiga::sameAsWindow_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("byName");
    QTest::addColumn<QList<int>>("window");
    QTest::addColumn<QString>("span");
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<bool>("noExtension");

    QTest::newRow("date order continues") << "copia" << false << QList<int>() << ""
                                          << "Img_" << false;
    QTest::newRow("an hour and a half back")
        << "copia" << false << QList<int> { -2, 30, 0 } << "-1:30:00"
        << "2020.05_" << false;
    QTest::newRow("most forward, by name")
        << "copia" << true << QList<int> { 12, 59, 59 } << "+12:59:59"
        << "2020.05_" << false;
    QTest::newRow("without extension") << "copia" << false << QList<int> { 0, 0, 5 } << "0:00:05"
                                       << "Foto-" << true;
    QTest::newRow("move") << "sposta" << false << QList<int> { 3, 0, 0 } << "3:00:00"
                          << "Img_" << false;
    QTest::newRow("move by name") << "sposta" << true << QList<int>() << ""
                                  << "Foto-" << false;
}

// The same photos and choices through the window and through the terminal.
void TestRiga::sameAsWindow()
{
    QFETCH(QString, command);
    QFETCH(bool, byName);
    QFETCH(QList<int>, window);
    QFETCH(QString, span);
    QFETCH(QString, baseName);
    QFETCH(bool, noExtension);
    fill(u"card-w"_s, u"dest-w"_s);
    fill(u"card-t"_s, u"dest-t"_s);
    {
        test::Sandbox sandbox;
        test::Window form;
        form.setText("DestPath", path(u"dest-w/"_s));
        form.setText("NomeBase", baseName);
        form.check("OptionNome", byName);
        // Every file of the folder, as the dialog's preset takes it.
        const QString preset = u"Tutti i file del tipo selezionato"_s;
        form.cannedDialog().answerFileName = path(u"card-w/"_s) + preset;
        form.cannedDialog().answerFileTitle = preset;
        form.cannedDialog().answerFilterIndex = 9;
        form.click("SfogliaS");
        QCOMPARE(form.state().NumFile, 5);
        form.state().RimuoviEstensione = noExtension;
        form.check("CorrOra", !window.isEmpty());
        if (!window.isEmpty()) {
            form.state().CorrOre = window.at(0);
            form.state().CorrMin = window.at(1);
            form.state().CorrSec = window.at(2);
        }
        form.click(command == "sposta"_L1 ? "Sposta" : "Copia");
        QCOMPARE(sandbox.reports, QStringList());
    }

    QStringList arguments { command, u"card-t"_s, u"dest-t"_s, u"-n"_s, baseName, u"--ordine"_s,
        byName ? u"nome"_s : u"data"_s };
    if (!span.isEmpty())
        arguments << u"--correggi="_s + span;
    if (noExtension)
        arguments << u"-e"_s;
    const Run run = terminal(arguments);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.status, 0);

    const QStringList written = test::entriesOf(path(u"dest-t"_s));
    QCOMPARE(written.size(), 8);
    QCOMPARE(written, test::entriesOf(path(u"dest-w"_s)));
    QCOMPARE(test::entriesOf(path(u"card-t"_s)), test::entriesOf(path(u"card-w"_s)));
    for (const QString &name : written) {
        const struct stat byWindow = test::statOf(path(u"dest-w/"_s + name));
        const struct stat byTerminal = test::statOf(path(u"dest-t/"_s + name));
        QCOMPARE(
            test::contentOf(path(u"dest-t/"_s + name)), test::contentOf(path(u"dest-w/"_s + name)));
        QCOMPARE(byTerminal.st_mtim.tv_sec, byWindow.st_mtim.tv_sec);
        QCOMPARE(byTerminal.st_mtim.tv_nsec, byWindow.st_mtim.tv_nsec);
        QCOMPARE(byTerminal.st_mode, byWindow.st_mode);
    }
}

void TestRiga::twoSourcesMergeInTimeOrder()
{
    QVERIFY(QDir().mkpath(path(u"canon"_s)) && QDir().mkpath(path(u"nikon"_s)));
    test::writeFile(path(u"canon"_s), u"IMG_1.JPG"_s, "canon 10:00", at(10, 0));
    test::writeFile(path(u"canon"_s), u"IMG_2.JPG"_s, "canon 10:02", at(10, 2));
    test::writeFile(path(u"canon"_s), u"IMG_3.JPG"_s, "canon 10:04", at(10, 4));
    test::writeFile(path(u"nikon"_s), u"IMG_1.JPG"_s, "nikon 10:01", at(10, 1));
    test::writeFile(path(u"nikon"_s), u"IMG_2.JPG"_s, "nikon 10:04", at(10, 4));
    test::writeFile(m_root->path(), u"Gita_004.jpg"_s);

    // By name, equal names keep the order of the arguments.
    const Run preview =
        terminal({ "copia", "nikon", "canon/", "nikon", "-n", "Gita_", "-o", "nome", "--prova" });
    QCOMPARE(preview.status, 0);
    QCOMPARE(preview.out,
        "nikon/IMG_1.JPG\tnikon/Gita_001.jpg\ncanon/IMG_1.JPG\tnikon/Gita_002.jpg\n"
        "nikon/IMG_2.JPG\tnikon/Gita_003.jpg\ncanon/IMG_2.JPG\tnikon/Gita_004.jpg\n"
        "canon/IMG_3.JPG\tnikon/Gita_005.jpg\n"_ba);

    // By time the cameras interleave; at 10:04 the first argument goes first.
    const Run run = terminal({ "copia", "-n", "Gita_", "nikon", "canon", ".", "-o", "data" });
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    const QStringList expected { "canon 10:00", "nikon 10:01", "canon 10:02", "nikon 10:04",
        "canon 10:04" };
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(test::contentOf(path(u"Gita_%1.jpg"_s.arg(5 + i, 3, 10, QLatin1Char('0')))),
            expected.at(i).toUtf8());
}

// Nor the settings, whose remembered base name and order it takes.
void TestRiga::previewTouchesNothing()
{
    fill(u"card"_s, u"dest"_s);
    QVERIFY(QDir().mkpath(path(u"riserva"_s)));
    const QString settings = m_config->filePath(u"Vobi.conf"_s);
    test::writeFile(
        m_config->path(), u"Vobi.conf"_s, "[Copia-e-rinomina]\nNomeBase=Foto-\nOrdineNome=true\n");
    const auto snapshot = [&] {
        QStringList files { test::entriesOf(m_state.path()).join(u' ') };
        for (const QString &folder :
            { path(u"card"_s), path(u"dest"_s), path(u"riserva"_s), m_config->path() }) {
            for (const QString &name : test::entriesOf(folder)) {
                const QString file = folder + u'/' + name;
                files << file + u' ' + QString::number(test::statOf(file).st_mtim.tv_sec) + u'.'
                        + QString::number(test::statOf(file).st_mtim.tv_nsec)
                        + QString::fromUtf8(test::contentOf(file));
            }
        }
        return files;
    };
    const QStringList before = snapshot();

    // A trial is refused where the run would be: "senza" would take the name
    // Foto-003, which the destination holds.
    const Run refused = terminal({ "sposta", "card/senza", "card/Z.png", "./card/IMG_1.Jpeg",
        "dest", "--prova", "-c", "-12:59:59" });
    QCOMPARE(refused.status, 1);
    QCOMPARE(refused.err,
        "Nella destinazione esiste già «Foto-003»: nessun file è stato spostato.\n"_ba);
    QCOMPARE(refused.out, QByteArray());
    const Run run = terminal(
        { "sposta", "card/Z.png", "./card/IMG_1.Jpeg", "dest", "--prova", "-c", "-12:59:59" });
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, "./card/IMG_1.Jpeg\tdest/Foto-001.jpeg\ncard/Z.png\tdest/Foto-002.png\n"_ba);
    const Run json = terminal({ "copia", "card", "dest", "--prova", "--json", "-o", "data" });
    QCOMPARE(json.status, 0);
    const QJsonArray files = QJsonDocument::fromJson(json.out)[u"file"_s].toArray();
    QCOMPARE(files.size(), 5);
    QCOMPARE(files.at(0)[u"origine"_s].toString(), u"card/IMG_1.Jpeg"_s);
    QCOMPARE(files.at(0)[u"nuovo"_s].toString(), u"dest/Foto-004.jpeg"_s);
    QVERIFY(!files.at(0).toObject().contains(u"riserva"_s));
    // A backup gets the same names, as given.
    const Run backup = terminal(
        { "copia", "card", "dest", "--prova", "--json", "-o", "data", "--riserva", "riserva" });
    const QJsonDocument plan = QJsonDocument::fromJson(backup.out);
    QCOMPARE(plan[u"riserva"_s].toString(), u"riserva/"_s);
    QCOMPARE(plan[u"file"_s][0][u"riserva"_s].toString(), u"riserva/Foto-004.jpeg"_s);
    // Folders by date in a destination not made yet: the new paths in full,
    // an hour on taking Z.png into the next day.
    const Run days = terminal({ "copia", "card/IMG_1.Jpeg", "card/Z.png", "nuova", "--prova", "-o",
        "data", "-c", "1:00:00", "--cartelle-per-data", "AAAA/AAAA-MM-GG" });
    QCOMPARE(days.status, 0);
    QCOMPARE(days.out,
        "card/IMG_1.Jpeg\tnuova/2026/2026-06-01/Foto-001.jpeg\n"
        "card/Z.png\tnuova/2026/2026-06-02/Foto-001.png\n"_ba);
    QCOMPARE(days.err,
        "Le cartelle «nuova», «nuova/2026», «nuova/2026/2026-06-01», «nuova/2026/2026-06-02» non "
        "ci sono: saranno create.\n"_ba);
    QVERIFY(!QFileInfo::exists(path(u"nuova"_s)));
    QCOMPARE(snapshot(), before);
}

void TestRiga::undoTakesBackTheLastRun()
{
    fill(u"card"_s, u"dest"_s);
    const QStringList before = test::entriesOf(path(u"dest"_s));
    QCOMPARE(terminal({ "copia", "card", "dest" }).status, 0);
    QCOMPARE(test::entriesOf(path(u"dest"_s)).size(), before.size() + 5);

    // From another folder, which the journal's whole paths do not mind.
    const Run preview = terminal({ "annulla", "--prova" }, QDir::tempPath());
    QCOMPARE(preview.status, 0);
    QVERIFY(preview.out.startsWith("Sarà annullata la corsa del "));
    QCOMPARE(preview.out.count('\n'), 6);
    QCOMPARE(test::entriesOf(path(u"dest"_s)).size(), before.size() + 5);
    QCOMPARE(terminal({ "annulla" }, QDir::tempPath()).status, 0);
    QCOMPARE(test::entriesOf(path(u"dest"_s)), before);
}

void TestRiga::wrongUse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("no destination")
        << QStringList { "copia", "card" } << "manca la destinazione, dopo le sorgenti";
    QTest::newRow("correction too large") << QStringList { "copia", "card", "dest", "-c",
        "13:00:00" } << "--correggi vuole [MODELLO=][+|-]H:MM:SS, al più 12:59:59, non «13:00:00»";
    QTest::newRow("correction without seconds")
        << QStringList { "copia", "card", "dest", "--correggi=-1:30" }
        << "--correggi vuole [MODELLO=][+|-]H:MM:SS, al più 12:59:59, non «-1:30»";
    QTest::newRow("two corrections for one camera") << QStringList { "copia", "card", "dest", "-c",
        "NIKON Z 6=1:00:00", "-c", "nikon z 6=0:00:30" }
                                                    << "--correggi dà due correzioni a «nikon z 6»";
    QTest::newRow("keeping is for an undo") << QStringList { "copia", "card", "dest", "--tieni" }
                                            << "--tieni vale per annulla, non per copia";
    QTest::newRow("a backup is for a copy or a move") << QStringList { "annulla", "--riserva",
        "riserva" } << "--riserva vale per copia e sposta, non per annulla";
    QTest::newRow("reading twice is for a copy or a move") << QStringList { "annulla",
        "--verifica" } << "--verifica vale per copia e sposta, non per annulla";
    QTest::newRow("a trial is for a copy or a move") << QStringList { "verifica", "card", "dest",
        "--prova" } << "--prova vale per copia e sposta, non per verifica";
    QTest::newRow("unknown option")
        << QStringList { "copia", "card", "dest", "--veloce" } << "opzione sconosciuta «--veloce»";
    QTest::newRow("missing source")
        << QStringList { "copia", "scheda", "dest" } << "«scheda» non è un file né una cartella";
    QTest::newRow("a file named as a folder") << QStringList { "copia", "card/Z.png/", "dest" }
                                              << "«card/Z.png» è un file, non una cartella";
    QTest::newRow("a card and a source") << QStringList { "copia", "--scheda", "card", "dest" }
                                         << "con --scheda si dà solo la destinazione: la scheda "
                                            "prende il posto di «card»";
    QTest::newRow("a card to undo") << QStringList { "annulla", "--scheda" }
                                    << "--scheda vale per copia e sposta, non per annulla";
    QTest::newRow("folders by a schema that is none of the three")
        << QStringList { "copia", "card", "dest", "--cartelle-per-data", "AAAA/GG" }
        << "--cartelle-per-data vuole AAAA-MM-GG, AAAA/AAAA-MM-GG o AAAA/MM, non «AAAA/GG»";
}

void TestRiga::wrongUse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    fill(u"card"_s, u"dest"_s);
    const QStringList before = test::entriesOf(path(u"dest"_s));

    const Run run = terminal(arguments);
    QCOMPARE(run.status, 2);
    const QList<QByteArray> lines = run.err.split('\n');
    QCOMPARE(QString::fromUtf8(lines.first()), u"copia-e-rinomina: "_s + message);
    QCOMPARE(lines.at(1), "Uso:"_ba);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(test::entriesOf(path(u"dest"_s)), before);
}

void TestRiga::stopsOnSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("terminated") << SIGTERM;
    QTest::newRow("terminal closed") << SIGHUP;
}

// A signal while the second of three photos is read off the card: that
// photo completes, the third is not begun, and no temporary is left.
void TestRiga::stopsOnSignal()
{
    QFETCH(int, signal);
    test::Medium card(u"quirky:hold=b.jpg"_s);
    if (!card.isMounted())
        QSKIP(qPrintable(card.whyNot()));
    for (const char *name : { "a.jpg", "b.jpg", "c.jpg" })
        test::writeFile(
            card.path(), QLatin1String(name), QByteArray(64 << 10, name[0]), at(10, name[0] - 'a'));
    QVERIFY(QDir().mkpath(path(u"dest"_s)));

    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(COPIA_EXE), { u"copia"_s, card.path(), path(u"dest"_s) });
    QTRY_VERIFY_WITH_TIMEOUT(card.isHolding(), 60'000);
    // Released once the signal is heard, not when it is sent: the program
    // stops catching the stop signals as it hears the first.
    const auto caught = [&] {
        QFile status(u"/proc/%1/status"_s.arg(process.processId()));
        status.open(QIODevice::ReadOnly);
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("SigCgt:");
        return (text.mid(at + 7, 17).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    };
    QVERIFY(caught());
    QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!caught(), 60'000);
    card.release();
    QVERIFY(process.waitForFinished(60'000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardError().contains("Interrotto dopo 2 file di 3 ("
        + QByteArray(signal == SIGTERM ? "SIGTERM" : "SIGHUP") + ")."));
    QCOMPARE(test::entriesOf(path(u"dest"_s)), (QStringList { "Img_001.jpg", "Img_002.jpg" }));
    QCOMPARE(test::contentOf(path(u"dest/Img_002.jpg"_s)), QByteArray(64 << 10, 'b'));
}

void TestRiga::killedCopyOnCard_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("hidden");
    QTest::addColumn<QStringList>("photos");

    const QStringList all { "Img_001.jpg", "Img_002.jpg", "Img_003.jpg" };
    QTest::newRow("the next run at once") << QStringList { "copia" } << 1 << all;
    QTest::newRow("a trial, which counts their room free")
        << QStringList { "copia --prova" } << 4 << QStringList();
    QTest::newRow("an undo, then the next run") << QStringList { "annulla", "copia" } << 1 << all;
}

// A copy killed as it reads its third photo onto a small exFAT card leaves
// the hidden copies of all three, the first two whole, which the card has
// no room beside for the run again: what comes next removes them at once,
// as the journal knows them for the run's own; a hidden file no journal
// accounts for, just written, stays.
void TestRiga::killedCopyOnCard()
{
    QFETCH(QStringList, commands);
    QFETCH(int, hidden);
    QFETCH(QStringList, photos);
    test::Medium source(u"quirky:hold=c.jpg"_s);
    test::Medium card(u"exfat:size=16M"_s);
    if (!source.isMounted() || !card.isMounted())
        QSKIP(qPrintable(source.whyNot() + card.whyNot()));
    for (const char *name : { "a.jpg", "b.jpg", "c.jpg" })
        test::writeFile(source.path(), QLatin1String(name), QByteArray(4 << 20, name[0]),
            at(10, name[0] - 'a'));
    // Journals of its own: an undo takes back no other test's run.
    QProcessEnvironment own = environment();
    own.insert(u"XDG_STATE_HOME"_s, path(u"stato"_s));
    QProcess process;
    process.setProcessEnvironment(own);
    process.start(QStringLiteral(COPIA_EXE), { u"copia"_s, source.path(), card.path() });
    QTRY_VERIFY_WITH_TIMEOUT(source.isHolding(), 60'000);
    // Killed in the card's read, it ends once the read is let go.
    QCOMPARE(::kill(pid_t(process.processId()), SIGKILL), 0);
    source.release();
    QVERIFY(process.waitForFinished(60'000));
    test::writeFile(card.path(), u".copia-e-rinomina-altro.Img_009.jpg"_s, "altrui");
    QCOMPARE(test::entriesOf(card.path()).size(), 4);

    for (const QString &command : std::as_const(commands)) {
        QStringList arguments = command.split(u' ');
        if (arguments.first() == "copia"_L1)
            arguments << source.path() << card.path();
        const Run run = this->run(arguments, own);
        QVERIFY2(run.status == 0, run.err.constData());
        if (command == "annulla"_L1)
            QVERIFY(run.out.startsWith("Eliminate 3 copie nascoste lasciate in «"));
    }
    const QStringList left = test::entriesOf(card.path());
    QCOMPARE(left.filter(QRegularExpression(u"^\\."_s)).size(), hidden);
    QVERIFY(left.contains(u".copia-e-rinomina-altro.Img_009.jpg"_s));
    QCOMPARE(left.filter(QRegularExpression(u"^[^.]"_s)), photos);
}

void TestRiga::trialRefusedAsTheRun_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message"); // %2 for the root

    QTest::newRow("destination never there, nor its parent")
        << "assente/sotto"
        << "card" << QStringList()
        << "La cartella di destinazione «assente/sotto» non esiste: nessun file è stato copiato.";
    QTest::newRow("a folder by date that is a file")
        << "dest"
        << "card" << QStringList { "--cartelle-per-data", "AAAA-MM-GG" }
        << "«%2/dest/2026-06-01» c'è già e non è una cartella: non può essere la cartella per data "
           "dei file che vi andrebbero: nessun file è stato copiato.";
    QTest::newRow("destination that is a file")
        << "card/Z.png"
        << "card" << QStringList()
        << "Il percorso «card/Z.png» scelto come cartella di destinazione è un file, non una "
           "cartella: nessun file è stato copiato.";
    QTest::newRow("a name taken in the backup")
        << "dest"
        << "card" << QStringList { "--riserva", "riserva" }
        << "Nella cartella di riserva «%2/riserva» esiste già «Img_008.jpeg»: nessun file è "
           "stato copiato.";
    QTest::newRow("a backup disk not plugged in, its mount point left")
        << "dest"
        << "card" << QStringList { "--riserva", "%3" }
        << "La cartella di riserva «%3» è sul disco del sistema, dove si collegano gli altri "
           "dischi: il disco di riserva non è collegato: nessun file è stato copiato.";
    QTest::newRow("a folder with no files")
        << "dest"
        << "vuota" << QStringList() << "Nessun file da copiare in «vuota»";
    QTest::newRow("a folder named with its separator")
        << "dest"
        << "vuota/" << QStringList() << "Nessun file da copiare in «vuota»";
    QTest::newRow("no room") << "tmpfs"
                             << "grande" << QStringList()
                             << "Nella destinazione «%1» lo spazio libero non basta: servono "
                                "104,9 MB, ce ne sono 67,1 MB: nessun file è stato copiato.";
    QTest::newRow("a correction for a camera no file names")
        << "dest"
        << "fotocamere" << QStringList { "-c", "Canon 5D=-1:00:00" }
        << "La correzione per «Canon 5D» non vale per nessun file: i file scelti sono delle "
           "fotocamere «Canon EOS 5D Mark III» e «NIKON D750».";
}

// A script checks a run with --prova: it is refused with the very words and
// status of the run, and neither touches anything.
void TestRiga::trialRefusedAsTheRun()
{
    QFETCH(QString, destination);
    QFETCH(QString, source);
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    QVERIFY(QDir().mkpath(path(u"dest"_s)) && QDir().mkpath(path(u"vuota"_s)));
    QVERIFY(QDir().mkpath(path(u"fotocamere"_s)));
    // A movie names no camera: it takes the one its folder's photos name.
    test::writePhoto(path(u"fotocamere"_s), u"DSC_1.JPG"_s,
        { { "Exif.Image.Model", "NIKON D750" },
            { "Exif.Photo.DateTimeOriginal", "2026:08:10 10:00:00" } });
    QVERIFY(QDir().mkpath(path(u"fotocamere/canon"_s)));
    test::writePhoto(path(u"fotocamere/canon"_s), u"IMG_1.JPG"_s,
        { { "Exif.Image.Model", "Canon EOS 5D Mark III" } });
    // Its header on the camera's clock; another movie by its THM.
    test::writeFile(path(u"fotocamere/canon"_s), u"MVI_2.MP4"_s,
        test::movie(QDateTime(QDate(2026, 8, 10), QTime(11, 30), QTimeZone::utc())));
    test::writeFile(path(u"fotocamere/canon"_s), u"MVI_3.MOV"_s,
        test::movie(QDateTime(QDate(2026, 8, 10), QTime(1, 0), QTimeZone::utc())));
    test::writePhoto(path(u"fotocamere/canon"_s), u"MVI_3.THM"_s,
        { { "Exif.Photo.DateTimeOriginal", "2026:08:10 11:45:00" } });
    fill(u"card"_s, u"dest"_s);
    // Where the card's folder by date would be.
    test::writeFile(path(u"dest"_s), u"2026-06-01"_s);
    // The card's first photo by date, after the destination's Img_007.jpg.
    QVERIFY(QDir().mkpath(path(u"riserva"_s)));
    test::writeFile(path(u"riserva"_s), u"Img_008.jpeg"_s);
    message.replace(u"%2"_s, m_root->path());
    // Where other disks mount, on the system's own: one not plugged in.
    std::optional<QTemporaryDir> mountPoint;
    if (options.contains(u"%3"_s)) {
        if (test::statOf(u"/mnt"_s).st_dev != test::statOf(u"/"_s).st_dev)
            QSKIP("/mnt is a disk of its own here");
        mountPoint.emplace(u"/mnt/copia-e-rinomina-XXXXXX"_s);
        if (!mountPoint->isValid())
            QSKIP("no folder can be made in /mnt: the test is not run as root");
        options.replaceInStrings(u"%3"_s, mountPoint->path());
        message.replace(u"%3"_s, mountPoint->path());
    }
    std::optional<test::Medium> medium;
    if (destination == "tmpfs"_L1) {
        medium.emplace(u"tmpfs"_s);
        if (!medium->isMounted())
            QSKIP(qPrintable(medium->whyNot()));
        destination = medium->path();
        message = message.arg(destination);
        // Sparse: its size is what counts.
        QVERIFY(QDir().mkpath(path(u"grande"_s)));
        QFile photo(path(u"grande/IMG_1.JPG"_s));
        QVERIFY(photo.open(QIODevice::WriteOnly) && photo.resize(qint64(100) << 20));
    }
    const QStringList before = test::entriesOf(path(u"dest"_s));

    for (const bool trial : { true, false }) {
        QStringList arguments = QStringList { "copia", "-r", source, destination } + options;
        if (trial)
            arguments << "--prova";
        const Run run = terminal(arguments);
        QCOMPARE(run.status, 1);
        QCOMPARE(QString::fromUtf8(run.err), message + u'\n');
        QCOMPARE(run.out, QByteArray());
    }
    QCOMPARE(test::entriesOf(path(u"dest"_s)), before);
    if (source != "fotocamere"_L1)
        return;
    // The model as the files name it: the trial shows it, and the moment
    // corrected, the movie's too.
    const Run json = terminal({ "copia", "-r", "fotocamere", "dest", "--prova", "--json", "-c",
        "canon eos 5d mark iii=-1:00:00" });
    QCOMPARE(json.status, 0);
    const QJsonArray files = QJsonDocument::fromJson(json.out)[u"file"_s].toArray();
    QCOMPARE(files.size(), 5);
    const QJsonValue movie = files.at(1);
    QCOMPARE(movie[u"origine"_s].toString(), u"fotocamere/canon/MVI_2.MP4"_s);
    QCOMPARE(movie[u"modello"_s].toString(), u"Canon EOS 5D Mark III"_s);
    QCOMPARE(movie[u"scatto"_s].toString(), u"2026-08-10T11:30:00.000+02:00"_s);
    QCOMPARE(movie[u"corretto"_s].toString(), u"2026-08-10T10:30:00.000+02:00"_s);
    QStringList fonti;
    for (const QJsonValue file : files)
        fonti.append(file[u"origine"_s].toString() + u' ' + file[u"fonte"_s].toString());
    QCOMPARE(fonti,
        (QStringList { "fotocamere/DSC_1.JPG exif", "fotocamere/canon/MVI_2.MP4 locale",
            "fotocamere/canon/MVI_3.MOV compagno", "fotocamere/canon/MVI_3.THM exif",
            "fotocamere/canon/IMG_1.JPG file" }));
}

// A name with a tab, a newline or a backslash keeps its line, and one that
// is not UTF-8 comes back byte for byte from the JSON.
void TestRiga::namesAsTheyAre()
{
    QVERIFY(QDir().mkpath(path(u"card"_s)) && QDir().mkpath(path(u"dest"_s)));
    const QByteArray odd = QFile::encodeName(path(u"card/"_s)) + "g\xff.jpg";
    // QTemporaryDir cannot name it to remove it.
    const auto removing = qScopeGuard([&] { std::remove(odd.constData()); });
    int minute = 0;
    for (const char *name : { "a\tb.jpg", "c\nd.jpg", "e\\f.jpg", "g\xff.jpg" }) {
        const QByteArray file = QFile::encodeName(path(u"card/"_s)) + name;
        std::FILE *photo = std::fopen(file.constData(), "w");
        QVERIFY(photo && std::fclose(photo) == 0);
        platform::setFileTime(platform::decodeFileName(file), at(10, minute++));
    }
    const Run lines = terminal({ "copia", "card", "dest", "-o", "data", "--prova" });
    QCOMPARE(lines.status, 0);
    QCOMPARE(lines.out,
        "card/a\\tb.jpg\tdest/Img_001.jpg\ncard/c\\nd.jpg\tdest/Img_002.jpg\n"
        "card/e\\\\f.jpg\tdest/Img_003.jpg\ncard/g\xff.jpg\tdest/Img_004.jpg\n"_ba);
    const Run json = terminal({ "copia", "card", "dest", "-o", "data", "--prova", "--json" });
    QCOMPARE(json.status, 0);
    QVERIFY(json.out.contains(R"("origine": "card/g\udcff.jpg")"));
    QVERIFY(json.out.contains(R"("origine": "card/a\tb.jpg")"));
}

void TestRiga::pathsAsTheSystemReadsThem()
{
    // b/link leads to t/sub: b/link/.. is t, not b.
    for (const char *folder : { "t/sub", "b", "dest", "Foto 12:30" })
        QVERIFY(QDir().mkpath(path(QLatin1String(folder))));
    test::writeFile(path(u"t"_s), u"di_t.jpg"_s);
    test::writeFile(path(u"b"_s), u"di_b.jpg"_s);
    QVERIFY(QFile::link(u"../t/sub"_s, path(u"b/link"_s)));
    const Run parent = terminal({ "copia", "b/link/..", "dest", "--prova" });
    QCOMPARE(parent.out, "b/link/../di_t.jpg\tdest/Img_001.jpg\n"_ba);

    // A ":" is part of a name: on one file system a move renames.
    const QString photo = test::writeFile(path(u"Foto 12:30"_s), u"IMG_1.JPG"_s);
    const ino_t inode = test::statOf(photo).st_ino;
    const Run move = terminal({ "sposta", "Foto 12:30", "dest" });
    QCOMPARE(move.status, 0);
    QCOMPARE(test::statOf(path(u"dest/Img_001.jpg"_s)).st_ino, inode);
}

void TestRiga::bareEnvironment_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");

    QTest::newRow("help") << QStringList { "--help" } << 0
                          << "Copia o sposta foto in una cartella"_ba << QByteArray();
    // The characters become UTF-8, and a name that is not still reaches its bytes.
    QTest::newRow("preview of a name that is not UTF-8")
        << QStringList { "copia", "card", "dest", "--prova" } << 0
        << "card/DSC\xff.JPG\tdest/Img_001.jpg\n"_ba << QByteArray();
    const QByteArray noScreen =
        "copia-e-rinomina: nessuno schermo su cui mostrare la finestra.\n"
        "Avvialo da una sessione grafica, oppure usa i comandi del terminale:\n"
        "  copia-e-rinomina --help\n";
    QTest::newRow("window without display") << QStringList() << 1 << QByteArray() << noScreen;
    QTest::newRow("window restored by a session manager, without display")
        << QStringList { "-session", "10d2f3_4" } << 1 << QByteArray() << noScreen;
}

// As cron or `su -` start it: no locale and no display, where Qt would
// have its say on standard error.
void TestRiga::bareEnvironment()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QVERIFY(QDir().mkpath(path(u"card"_s)) && QDir().mkpath(path(u"dest"_s)));
    const QByteArray odd = QFile::encodeName(path(u"card"_s)) + "/DSC\xff.JPG";
    QCOMPARE(std::rename(QFile::encodeName(test::writeFile(path(u"card"_s), u"a"_s)).constData(),
                 odd.constData()),
        0);
    // QTemporaryDir cannot name it to remove it.
    const auto removing = qScopeGuard([&] { std::remove(odd.constData()); });
    QProcessEnvironment bare = environment();
    for (const QString &name : bare.keys()) {
        if (name.startsWith(u"LC_"_s) || name == "LANG"_L1 || name == "LANGUAGE"_L1)
            bare.remove(name);
    }

    const Run result = run(arguments, bare);
    QCOMPARE(result.err, err);
    QVERIFY2(result.out.startsWith(out), result.out.constData());
    QCOMPARE(result.status, status);
    // A terminal of 80 columns shows each line whole, the help's too.
    for (const QByteArray &line : result.out.split('\n'))
        QVERIFY2(QString::fromUtf8(line).size() <= 80, line.constData());
}

void TestRiga::windowOrTerminal_data()
{
    QTest::addColumn<QByteArrayList>("arguments");
    QTest::addColumn<bool>("window");

    QTest::newRow("nothing") << QByteArrayList() << true;
    QTest::newRow("session manager")
        << QByteArrayList { "-session", "10d2f3_4", "-name", "copia-e-rinomina" } << true;
    QTest::newRow("platform and session")
        << QByteArrayList { "-platform", "offscreen", "-session", "x" } << true;
    QTest::newRow("--style=fusion") << QByteArrayList { "--style=fusion" } << true;
    QTest::newRow("-display") << QByteArrayList { "-display", ":1" } << true;
    QTest::newRow("copia") << QByteArrayList { "copia", "a", "b" } << false;
    QTest::newRow("-h") << QByteArrayList { "-h" } << false;
    QTest::newRow("an option first")
        << QByteArrayList { "-n", "Foto_", "copia", "a", "b" } << false;
    QTest::newRow("a photo") << QByteArrayList { "foto.jpg" } << false;
    QTest::newRow("three dashes") << QByteArrayList { "---session", "x" } << false;
}

void TestRiga::windowOrTerminal()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(bool, window);
    Argv argv(arguments);

    QCOMPARE(perLaFinestra(argv.argc(), argv.argv()), window);
}

void TestRiga::cardWithItsFolders_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QString>("err"); // %1 for the card

    QTest::newRow("trial of DCIM") << QStringList { "copia", "-r", "card/DCIM", "dest", "--prova" }
                                   << "card/DCIM/100CANON/IMG_1.CR2\tdest/Img_001.cr2\n"
                                      "card/DCIM/100CANON/IMG_1.JPG\tdest/Img_001.jpg\n"
                                      "card/DCIM/100CANON/IMG_1.xmp\tdest/Img_001.xmp\n"
                                      "card/DCIM/101CANON/IMG_2.CR2\tdest/Img_002.cr2\n"
                                      "card/DCIM/101CANON/IMG_2.CR2.xmp\tdest/Img_002.cr2.xmp\n"
                                      "card/DCIM/101CANON/IMG_2.JPG\tdest/Img_002.jpg\n"
                                      "card/DCIM/101CANON/IMG_3.XMP\t-\n"_ba
                                   << QString();
    QTest::newRow("trial of DCIM with a backup")
        << QStringList { "copia", "-r", "card/DCIM", "dest", "--riserva", "riserva", "--prova" }
        << "card/DCIM/100CANON/IMG_1.CR2\tdest/Img_001.cr2\triserva/Img_001.cr2\n"
           "card/DCIM/100CANON/IMG_1.JPG\tdest/Img_001.jpg\triserva/Img_001.jpg\n"
           "card/DCIM/100CANON/IMG_1.xmp\tdest/Img_001.xmp\triserva/Img_001.xmp\n"
           "card/DCIM/101CANON/IMG_2.CR2\tdest/Img_002.cr2\triserva/Img_002.cr2\n"
           "card/DCIM/101CANON/IMG_2.CR2.xmp\tdest/Img_002.cr2.xmp\triserva/Img_002.cr2.xmp\n"
           "card/DCIM/101CANON/IMG_2.JPG\tdest/Img_002.jpg\triserva/Img_002.jpg\n"
           "card/DCIM/101CANON/IMG_3.XMP\t-\t-\n"_ba
        << QString();
    QTest::newRow("copy of DCIM with a backup")
        << QStringList { "copia", "-r", "card/DCIM", "dest", "--riserva", "riserva" }
        << QByteArray()
        << "Questi file .xmp sono rimasti dove sono, perché la loro foto non era tra i file "
           "scelti: «%1/DCIM/101CANON/IMG_3.XMP».\n";
    QTest::newRow("copy of DCIM, each photo read twice")
        << QStringList { "copia", "-r", "card/DCIM", "dest", "--verifica" } << QByteArray()
        << "Questi file .xmp sono rimasti dove sono, perché la loro foto non era tra i file "
           "scelti: «%1/DCIM/101CANON/IMG_3.XMP».\n";
    QTest::newRow("move of the whole card")
        << QStringList { "sposta", "-r", "card", "dest" } << QByteArray()
        << "Questi file .xmp sono rimasti dove sono, perché la loro foto non era tra i file "
           "scelti: «%1/DCIM/101CANON/IMG_3.XMP».\nQuesti file che non sono foto né video sono "
           "rimasti dove sono: «%1/CANONMSC/M0100.CTG».\n";
}

// A card keeps its photos in DCIM/100CANON, DCIM/101CANON...: -r takes them
// all, and leaves hidden folders, links to folders and the camera's
// catalogues alone.
void TestRiga::cardWithItsFolders()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, out);
    QFETCH(QString, err);
    for (const char *folder : { "card/DCIM/100CANON", "card/DCIM/101CANON", "card/DCIM/.miniature",
             "card/CANONMSC", "altrove", "dest", "riserva" })
        QVERIFY(QDir().mkpath(path(QLatin1String(folder))));
    // RAW and JPEG pairs, a sidecar of a shot and one of a file, and one
    // without its photo.
    for (const char *name : { "IMG_1.JPG", "IMG_1.CR2", "IMG_1.xmp" })
        test::writeFile(path(u"card/DCIM/100CANON"_s), QLatin1String(name), name, at(10, 0));
    for (const char *name : { "IMG_2.JPG", "IMG_2.CR2", "IMG_2.CR2.xmp", "IMG_3.XMP" })
        test::writeFile(path(u"card/DCIM/101CANON"_s), QLatin1String(name), name, at(10, 1));
    test::writeFile(path(u"card/DCIM/100CANON"_s), u".nascosta.jpg"_s);
    test::writeFile(path(u"card/DCIM/.miniature"_s), u"IMG_1.JPG"_s);
    test::writeFile(path(u"altrove"_s), u"IMG_9.JPG"_s);
    QVERIFY(QFile::link(u"../../altrove"_s, path(u"card/DCIM/collegamento"_s)));
    test::writeFile(path(u"card/CANONMSC"_s), u"M0100.CTG"_s);

    const Run run = terminal(arguments);
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, out);
    QCOMPARE(QString::fromUtf8(run.err), err.replace(u"%1"_s, path(u"card"_s)));
    QCOMPARE(test::entriesOf(path(u"card/CANONMSC"_s)), QStringList { "M0100.CTG" });
    // A backup gets each new file under the same name and bytes; a trial nothing.
    const QStringList copies = test::entriesOf(path(u"riserva"_s));
    QCOMPARE(copies,
        arguments.contains(u"--riserva"_s) && !arguments.contains(u"--prova"_s)
            ? test::entriesOf(path(u"dest"_s))
            : QStringList());
    for (const QString &name : copies)
        QCOMPARE(
            test::contentOf(path(u"riserva/"_s + name)), test::contentOf(path(u"dest/"_s + name)));
}

void TestRiga::theCardMounted_data()
{
    QTest::addColumn<QStringList>("tops"); // the top folder of each card mounted
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said"); // %1, %2 for the cards' mount points

    QTest::newRow("none, a disk without DCIM") << QStringList { "Foto" } << 2
                                               << "copia-e-rinomina: --scheda: nessuna scheda "
                                                  "montata ha una cartella DCIM\n";
    QTest::newRow("one, its DCIM in lower case")
        << QStringList { "dcim" } << 0
        << "%1/dcim/100CANON/IMG_1.JPG\tdest/Img_001.jpg\n"
           "%1/dcim/101CANON/IMG_2.JPG\tdest/Img_002.jpg\n";
    QTest::newRow("two") << QStringList { "DCIM", "DCIM" } << 2
                         << "copia-e-rinomina: --scheda: 2 schede montate hanno una cartella "
                            "DCIM: «media» in %1, «media» in %2; indicare la cartella DCIM di una "
                            "di esse, con -r\n";
}

// --scheda takes the DCIM of the one card mounted, with its subfolders; with
// none or more it names them and writes nothing.
void TestRiga::theCardMounted()
{
    QFETCH(QStringList, tops);
    QFETCH(int, status);
    QFETCH(QString, said);
    const QList<platform::MountedCard> already = platform::mountedCards();
    if (!already.isEmpty())
        QSKIP(qPrintable(u"a card is mounted already, in "_s + already.first().mountPoint));
    std::vector<std::unique_ptr<test::Medium>> cards;
    for (const QString &top : std::as_const(tops)) {
        cards.push_back(std::make_unique<test::Medium>(u"exfat"_s));
        if (!cards.back()->isMounted())
            QSKIP(qPrintable(cards.back()->whyNot()));
        const QString folder = cards.back()->filePath(top);
        QVERIFY(QDir().mkpath(folder + u"/100CANON"_s) && QDir().mkpath(folder + u"/101CANON"_s));
        test::writeFile(folder + u"/100CANON"_s, u"IMG_1.JPG"_s, "uno", at(10, 0));
        test::writeFile(folder + u"/101CANON"_s, u"IMG_2.JPG"_s, "due", at(10, 1));
        said.replace(u"%"_s + QString::number(cards.size()), cards.back()->path());
    }
    QVERIFY(QDir().mkpath(path(u"dest"_s)));

    const Run run = terminal({ "copia", "--scheda", "dest", "--prova" });
    QCOMPARE(run.status, status);
    QCOMPARE(
        QString::fromUtf8(status == 0 ? run.out : run.err.left(run.err.indexOf('\n') + 1)), said);
    QCOMPARE(test::entriesOf(path(u"dest"_s)), QStringList());
}

// A card imported twice, with a new photo since: only --salta-doppioni
// leaves out what the destination has, and says so at the end.
void TestRiga::secondImportSkipsWhatIsThere()
{
    QVERIFY(QDir().mkpath(path(u"card"_s)) && QDir().mkpath(path(u"dest"_s)));
    test::writeFile(path(u"card"_s), u"IMG_1.JPG"_s, "uno", at(10, 0));
    test::writeFile(path(u"card"_s), u"IMG_2.JPG"_s, "due", at(10, 1));
    QCOMPARE(terminal({ "copia", "card", "dest" }).status, 0);
    const Run proven = terminal({ "verifica", "card", "dest" });
    QCOMPARE(proven.status, 0);
    QCOMPARE(QString::fromUtf8(proven.out),
        u"Tutti i 2 file di «%1» sono nella destinazione, identici: la scheda si può "
        "formattare.\n"_s.arg(path(u"card"_s)));
    test::writeFile(path(u"card"_s), u"IMG_3.JPG"_s, "tre", at(10, 2));
    const Run unproven = terminal({ "verifica", "card", "dest" });
    QCOMPARE(unproven.status, 1);
    QCOMPARE(unproven.out,
        "«IMG_3.JPG»: manca nella destinazione.\nNon formattare la scheda: 1 file non è al "
        "sicuro.\n"_ba);

    const Run preview = terminal({ "copia", "card", "dest", "--salta-doppioni", "--prova" });
    QCOMPARE(
        preview.out, "card/IMG_3.JPG\tdest/Img_003.jpg\ncard/IMG_1.JPG\t-\ncard/IMG_2.JPG\t-\n"_ba);
    const Run run = terminal({ "copia", "card", "dest", "--salta-doppioni" });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, "2 foto già presenti, saltate\n"_ba);
    QCOMPARE(test::entriesOf(path(u"dest"_s)),
        (QStringList { "Img_001.jpg", "Img_002.jpg", "Img_003.jpg" }));
    // Without it a script's run stays as it was.
    QCOMPARE(terminal({ "copia", "card", "dest", "--prova" }).out.count('\t'), 3);
}

COPIA_TEST_MAIN(TestRiga)

#include "tst_riga.moc"
