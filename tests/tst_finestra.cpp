#include "support.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

// Set in the child that "-xvfb" or "-atspi" starts when no X server could be had.
const char NoX[] = "TST_FINESTRA_NO_X";
// Set in the child that "-atspi" starts: where the accessibility bus could
// not be had, to why; else empty.
const char AtSpi[] = "TST_FINESTRA_ATSPI";

// Presses a key on the X server, as the user's keyboard would.
bool press(const char *keys)
{
    return QProcess::execute(
               QStringLiteral("xdotool"), { QStringLiteral("key"), QLatin1String(keys) })
        == 0;
}

// Starts the accessibility bus of a session, by asking its launcher for its
// address as screen readers and Qt do, and the registry that lists the
// programs on it. Returns why not, where either cannot start.
QString startAccessibilityBus(const QString &session)
{
    const auto call = [](const QString &bus, const QString &service, const QString &path,
                          const QString &interface, const QString &method) {
        QDBusConnection connection = QDBusConnection::connectToBus(bus, QStringLiteral("atspi"));
        const QDBusMessage answer = connection.call(
            QDBusMessage::createMethodCall(service, path, interface, method), QDBus::Block, 30000);
        QDBusConnection::disconnectFromBus(QStringLiteral("atspi"));
        return answer;
    };
    const QDBusMessage address =
        call(session, QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
            QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    if (address.type() != QDBusMessage::ReplyMessage)
        return QStringLiteral("at-spi-bus-launcher did not answer: ") + address.errorMessage();
    const QDBusMessage registry = call(address.arguments().value(0).toString(),
        QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    if (registry.type() != QDBusMessage::ReplyMessage)
        return QStringLiteral("the accessibility registry did not answer: ")
            + registry.errorMessage();
    return QString();
}

// "-xvfb" runs the given test functions in a child on a private X server;
// "-atspi" does too, with a private session bus and its accessibility bus.
// Where these cannot be had, the child skips them.
int onPrivateX(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool atSpi = app.arguments().at(1) == QLatin1String("-atspi");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess server;
    QString whyNot;
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        whyNot = QStringLiteral("Xvfb is not installed");
    else if (!atSpi && QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        whyNot = QStringLiteral("xdotool is not installed");
    if (whyNot.isEmpty()) {
        // Xvfb writes its display number once it takes clients.
        server.start(QStringLiteral("Xvfb"),
            { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                QStringLiteral("1024x768x24") });
        while (!server.canReadLine() && server.waitForReadyRead(30000)) { }
        if (server.canReadLine()) {
            environment.insert(QStringLiteral("DISPLAY"),
                QLatin1Char(':') + QString::fromLatin1(server.readLine().trimmed()));
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            // The X keyboard library hands strndup() text with no end mark,
            // which AddressSanitizer's strict string checks take for an
            // overflow; full stacks let the X plugin's lasting objects be
            // told from leaks.
            const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
            if (!asan.isEmpty())
                environment.insert(QStringLiteral("ASAN_OPTIONS"),
                    asan + QStringLiteral(":strict_string_checks=0:fast_unwind_on_malloc=0"));
        } else {
            whyNot = QStringLiteral("Xvfb did not start: ")
                + QString::fromLocal8Bit(server.readAllStandardError()).trimmed();
        }
    }
    if (!whyNot.isEmpty()) {
        environment.insert(QLatin1String(NoX), whyNot);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    // The buses, the launcher and the registry keep their sockets here.
    QTemporaryDir runtime;
    std::unique_ptr<test::SessionBus> session;
    if (atSpi && whyNot.isEmpty()) {
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        session = std::make_unique<test::SessionBus>(environment);
        environment.insert(QLatin1String(AtSpi),
            session->address().isEmpty() ? session->whyNot()
                                         : startAccessibilityBus(session->address()));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), session->address());
        // Qt and the reader find the accessibility bus through the session
        // bus. Not through AT_SPI_BUS_ADDRESS: given it, Qt 6.4 joins the bus
        // before it listens for having joined, and never shows its windows.
        // Without QT_LINUX_ACCESSIBILITY_ALWAYS_ON, it waits for a screen
        // reader to say it is there.
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), app.arguments().mid(2));
    child.waitForFinished(-1);
    session.reset();
    server.terminate();
    server.waitForFinished();
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
}

// What a screen reader learns of one object of the window.
struct Heard
{
    QString name;
    QString description;
    bool focusable = false;
    // The Alt keys of its actions, in upper case.
    QSet<QString> keys;
};

QSet<QString> altKeys(const QStringList &keys)
{
    QSet<QString> alt;
    for (const QString &key : keys) {
        if (key.startsWith(QLatin1String("Alt+")))
            alt.insert(key.toUpper());
    }
    return alt;
}

// The window's objects as Qt tells them, where no bus carries them.
QList<Heard> readInProcess(QWidget *window)
{
    QList<Heard> heard;
    QAccessibleInterface *frame = QAccessible::queryAccessibleInterface(window);
    for (int i = -1; i < frame->childCount(); ++i) {
        QAccessibleInterface *object = i < 0 ? frame : frame->child(i);
        QStringList keys { object->text(QAccessible::Accelerator) };
        if (QAccessibleActionInterface *actions = object->actionInterface()) {
            for (const QString &action : actions->actionNames())
                keys += actions->keyBindingsForAction(action);
        }
        heard.append({ object->text(QAccessible::Name), object->text(QAccessible::Description),
            bool(object->state().focusable), altKeys(keys) });
    }
    return heard;
}

// The name of the one object with that description.
QString nameDescribedAs(const QList<Heard> &heard, const QString &description)
{
    QStringList names;
    for (const Heard &object : heard) {
        if (object.description == description)
            names.append(object.name);
    }
    return names.size() == 1 ? names.first() : QStringLiteral("(%1 objects)").arg(names.size());
}

} // namespace

class TestFinestra : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRun();
    void controls_data();
    void controls();
    void tabOrder_data();
    void tabOrder();
    void darkTheme_data();
    void darkTheme();
    void clockCorrectionSteps_data();
    void clockCorrectionSteps();
    void terminaClosesWithoutWriting();
    void accessibleNames_data();
    void accessibleNames();
    void screenReader();
};

void TestFinestra::firstRun()
{
    test::Sandbox sandbox;
    test::Window window;
    Form1 &form = window.form();
    QCOMPARE(form.windowTitle(), QStringLiteral("Copia e Rinomina"));
    QCOMPARE(form.size(), QSize(557, 456));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(!form.windowIcon().isNull());
    QVERIFY(!form.findChild<QCheckBox *>(QStringLiteral("CorrOra"))->isChecked());
    QVERIFY(form.findChild<QRadioButton *>(QStringLiteral("OptionData"))->isChecked());
    QVERIFY(!form.findChild<QRadioButton *>(QStringLiteral("OptionNome"))->isChecked());
    QCOMPARE(window.text("DiffOra") + window.text("Text1") + window.text("DiffMin")
            + window.text("Text3") + window.text("DiffSec"),
        QStringLiteral("00:00:00"));
    QCOMPARE(window.text("Suffisso"), QStringLiteral("000"));
    QCOMPARE(window.text("SrcPath"), QString());
    QCOMPARE(window.text("DestPath"), QString());
    QCOMPARE(window.text("NomeBase"), QStringLiteral("Img_"));
    QCOMPARE(window.text("SrcInfo"), QStringLiteral("Nessun file selezionato"));
    QCOMPARE(window.state().NumFile, 0);
    QVERIFY(window.state().NomeCambiato);
    QCOMPARE(QApplication::focusWidget(), window.button("SfogliaS"));
    for (const char *name :
        { "SrcPath", "DestPath", "RiservaPath", "DiffOra", "Text1", "DiffMin", "Text3", "DiffSec" })
        QVERIFY2(window.lineEdit(name)->isReadOnly(), name);
    QVERIFY(!window.lineEdit("NomeBase")->isReadOnly());
    QVERIFY(!QFile::exists(sandbox.configFile()));
}

void TestFinestra::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("toolTip");

    const QString verifica = QStringLiteral(
        "Rilegge dalla scheda ogni file della cartella di origine e lo cerca, per contenuto, "
        "nella destinazione e nella cartella di riserva: dice se la scheda si può formattare");
    const QString source = QStringLiteral(
        "Indicare la cartella contenente i file ed eventualmente selezionare i file da copiare.");
    const QString destination = QStringLiteral("Indicare la cartella in cui copiare i file");
    const QString backup = QStringLiteral(
        "Indicare una seconda cartella che riceva una copia di ogni file, con lo stesso nome");
    const QString verify =
        QStringLiteral("Copia rilegge ogni foto dalla scheda, come fa Sposta, e la copia conta "
                       "solo se la scheda dà gli stessi byte la seconda volta");
    const auto row = [](const char *name, int l, int t, int w, int h, const QString &caption,
                         qreal points, bool bold, const QString &tip = QString()) {
        QTest::newRow(name) << QString::fromLatin1(name) << QRect(l, t, w, h) << caption << points
                            << bold << tip;
    };
    row("Label4", 360, 240, 7455, 375, "Copia i file assegnando un nome base e suffisso numerico",
        12, true);
    row("Label2", 360, 840, 492, 252, "&Da:", 9.75, true);
    row("SrcPath", 960, 840, 4935, 255, "", 8.25, true, source);
    row("SfogliaS", 5880, 840, 855, 285, "Sfo&glia", 8.25, true, source);
    row("Copia", 6960, 840, 1095, 495, "&Copia", 9.75, true);
    row("SrcInfo", 960, 1152, 4932, 252, "Nessun file selezionato", 8.25, true,
        "Indica i file attualmente selezionati");
    row("Label3", 72, 1440, 852, 252, "&Nome:", 9.75, true);
    row("NomeBase", 960, 1440, 4935, 255, "Img_", 8.25, true,
        "Inserire il nome di base da assegnare ai file");
    row("Suffisso", 5880, 1440, 612, 252, "000", 9.75, true,
        "File presenti con il nome base impostato, nella cartella destinazione.");
    row("Sposta", 6960, 1440, 1095, 495, "&Sposta", 9.75, true);
    row("Label1", 360, 2040, 492, 252, "&A:", 9.75, true);
    row("DestPath", 960, 2040, 4935, 255, "", 8.25, true, destination);
    row("SfogliaD", 5880, 2040, 855, 285, "Sfog&lia", 8.25, true, destination);
    row("Termina", 6960, 2040, 1095, 495, "&Termina", 9.75, true);
    row("Label7", 72, 2640, 852, 252, "Riser&va:", 9.75, true);
    row("RiservaPath", 960, 2640, 4935, 255, "", 8.25, true, backup);
    row("SfogliaR", 5880, 2640, 855, 285, "Sfoglia", 8.25, true, backup);
    row("NessunaRiserva", 6960, 2640, 1095, 285, "Nessuna", 8.25, true,
        "Copia i file senza una cartella di riserva");
    row("OptionData", 1440, 3240, 2292, 255, "&Ordina per Data/Ora", 9.75, false);
    row("OptionNome", 4680, 3240, 2052, 255, "Ordina per No&me", 9.75, false);
    row("CorrOra", 1440, 3720, 3972, 492,
        "Correggi Ore:Min:Sec  per compensare  differen&ze di impostazione fotocamere.", 9.75,
        false);
    row("OraPiu_0", 5520, 3630, 240, 240, "▲", 7.5, true);
    row("OraPiu_1", 5880, 3630, 240, 240, "▲", 7.5, true);
    row("OraPiu_2", 6240, 3630, 240, 240, "▲", 7.5, true);
    row("DiffOra", 5400, 3855, 372, 228, "00", 9, false);
    row("Text1", 5760, 3855, 132, 228, ":", 10.5, true);
    row("DiffMin", 5880, 3855, 255, 228, "00", 9, false);
    row("Text3", 6120, 3840, 132, 228, ":", 10.5, true);
    row("DiffSec", 6240, 3855, 320, 228, "00", 9, false);
    row("OraMeno_0", 5520, 4080, 240, 216, "▼", 7.5, true);
    row("OraMeno_1", 5880, 4080, 240, 216, "▼", 7.5, true);
    row("OraMeno_2", 6240, 4080, 240, 216, "▼", 7.5, true);
    row("SottoCartelle", 1440, 4560, 2292, 255, "&Includi sottocartelle", 9.75, false,
        "Seleziona anche i file delle sottocartelle, come DCIM/100CANON di una scheda");
    row("Label6", 3840, 4560, 1320, 255, "&Fotocamera:", 9.75, false);
    row("VerificaCopia", 1440, 4920, 3612, 255, "Verifica la scheda dopo la copia", 9.75, false,
        verify);
    row("Label8", 3240, 5280, 1920, 255, "Cart&elle per data:", 9.75, false);
    row("Label5", 72, 5700, 852, 252, "Esito:", 9.75, true);
    row("Esito", 960, 5700, 5760, 504, "Nessuna corsa in questa sessione.", 8.25, false,
        "Nessuna corsa in questa sessione.");
    row("ApriCartella", 6840, 5700, 1215, 375, "Ap&ri cartella", 8.25, true,
        "Apre la cartella dell'ultima corsa nel gestore dei file");
    row("UsaScheda", 6840, 6135, 1215, 375, "Usa la scheda", 8.25, true,
        "Prende come origine la cartella DCIM della scheda inserita, con le sue sottocartelle");
    row("Anteprima", 4200, 6300, 1455, 375, "Ante&prima", 8.25, true,
        "Mostra che cosa farebbe la corsa, file per file, senza toccare nulla");
    row("AnnullaCorsa", 5760, 6300, 2295, 375, "Annulla &ultima corsa", 8.25, true,
        "Riporta indietro l'ultima corsa, della finestra o del terminale, dopo averlo chiesto");
    row("VerificaScheda", 2040, 6300, 2055, 375, "Verifica sc&heda", 8.25, true, verifica);
}

void TestFinestra::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QFETCH(qreal, points);
    QFETCH(bool, bold);
    QFETCH(QString, toolTip);
    test::Sandbox sandbox;
    test::Window window;
    auto *control = window.form().findChild<QWidget *>(name);
    QVERIFY(control);
    const auto pixels = [](int t) { return qRound(t / 15.0); };
    QCOMPARE(control->geometry(),
        QRect(pixels(twips.x()), pixels(twips.y()), pixels(twips.width()), pixels(twips.height())));
    QString text;
    if (auto *label = qobject_cast<QLabel *>(control))
        text = label->text();
    else if (auto *edit = qobject_cast<QLineEdit *>(control))
        text = edit->text();
    else
        text = qobject_cast<QAbstractButton *>(control)->text();
    QCOMPARE(text, caption);
    QCOMPARE(control->font().pointSizeF(), points);
    QCOMPARE(control->font().bold(), bold);
    QCOMPARE(control->toolTip(), toolTip);
}

void TestFinestra::tabOrder_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("backwardsFirst");
    QTest::newRow("date order, Tab then Shift+Tab") << "OptionData" << false;
    QTest::newRow("date order, Shift+Tab then Tab") << "OptionData" << true;
    QTest::newRow("name order, Tab then Shift+Tab") << "OptionNome" << false;
    QTest::newRow("name order, Shift+Tab then Tab") << "OptionNome" << true;
}

// The pair of order options is one stop, at the selected option, from either
// side, round after round. Run with "-xvfb" (see main), the keys come from a
// real X server.
void TestFinestra::tabOrder()
{
    QFETCH(QString, option);
    QFETCH(bool, backwardsFirst);
    if (qEnvironmentVariableIsSet(NoX))
        QSKIP(qPrintable(
            QStringLiteral("no X server for the real keyboard: ") + qEnvironmentVariable(NoX)));
    const bool realX = QGuiApplication::platformName() == QLatin1String("xcb");
    test::Sandbox sandbox;
    // Set as at start-up: a click would give the option its Tab stop itself.
    test::remember(
        "OrdineNome", QLatin1String(option == QLatin1String("OptionNome") ? "True" : "False"));
    test::Window window;
    QVERIFY(window.form().findChild<QRadioButton *>(option)->isChecked());
    window.form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window.form()));
    const QStringList round { "SfogliaS", "SfogliaD", "NomeBase", "Copia", "Sposta", "Termina",
        "SrcPath", "DestPath", option, "DiffOra", "OraPiu_1", "OraMeno_0", "CorrOra", "Text1",
        "DiffMin", "OraMeno_1", "OraPiu_0", "DiffSec", "Text3", "OraPiu_2", "OraMeno_2",
        "RiservaPath", "SfogliaR", "SottoCartelle", "Fotocamere", "VerificaCopia", "SchemaCartelle",
        "VerificaScheda", "Anteprima", "AnnullaCorsa", "SfogliaS" };
    for (const bool backwards : { backwardsFirst, !backwardsFirst }) {
        QStringList expected = round;
        if (backwards)
            std::reverse(expected.begin(), expected.end());
        QStringList visited { QApplication::focusWidget()->objectName() };
        for (qsizetype i = 1; i < expected.size(); ++i) {
            QWidget *before = QApplication::focusWidget();
            if (realX)
                QVERIFY(press(backwards ? "shift+Tab" : "Tab"));
            else if (backwards)
                QTest::keyClick(before, Qt::Key_Backtab, Qt::ShiftModifier);
            else
                QTest::keyClick(before, Qt::Key_Tab);
            QTRY_VERIFY(QApplication::focusWidget() != before);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited, expected);
    }
}

void TestFinestra::darkTheme_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("text");
    for (const char *name : { "SrcPath", "DestPath", "RiservaPath", "NomeBase" })
        QTest::newRow(name) << QString::fromLatin1(name) << QColor(Qt::white) << QColor(Qt::black);
    for (const char *name : { "DiffOra", "Text1", "DiffMin", "Text3", "DiffSec" })
        QTest::newRow(name) << QString::fromLatin1(name) << QColor(224, 224, 224)
                            << QColor(Qt::black);
    // No colour given: the control takes the theme's.
    for (const char *name :
        { "Label4", "SrcInfo", "Suffisso", "SfogliaS", "OptionData", "CorrOra", "OraPiu_0" })
        QTest::newRow(name) << QString::fromLatin1(name) << QColor() << QColor();
}

// A field with a fixed background has text of its own that reads on it.
void TestFinestra::darkTheme()
{
    QFETCH(QString, name);
    QFETCH(QColor, background);
    QFETCH(QColor, text);
    const QPalette dark(QColor(50, 50, 50));
    QVERIFY(dark.color(QPalette::Text).lightness() > 200);
    const QPalette before = QApplication::palette();
    QApplication::setPalette(dark);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    test::Sandbox sandbox;
    test::Window window;
    const QPalette shown = window.form().findChild<QWidget *>(name)->palette();
    for (const auto group : { QPalette::Active, QPalette::Inactive }) {
        if (background.isValid()) {
            QCOMPARE(shown.color(group, QPalette::Base), background);
            QCOMPARE(shown.color(group, QPalette::Text), text);
            continue;
        }
        for (const auto role : { QPalette::Window, QPalette::WindowText, QPalette::Base,
                 QPalette::Text, QPalette::Button, QPalette::ButtonText })
            QCOMPARE(shown.color(group, role), dark.color(group, role));
    }
}

void TestFinestra::clockCorrectionSteps_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("shown");

    const auto times = [](const char *button, int count) {
        return QStringList(count, QString::fromLatin1(button));
    };
    QTest::newRow("off: buttons do nothing")
        << QStringList({ "OraPiu_0", "OraMeno_1", "OraPiu_2" }) << "00:00:00";
    QTest::newRow("one hour back") << QStringList({ "CorrOra", "OraMeno_0" }) << "-01:00:00";
    QTest::newRow("twelve back") << QStringList("CorrOra") + times("OraMeno_0", 12) << "-12:00:00";
    QTest::newRow("thirteen back wraps to +12")
        << QStringList("CorrOra") + times("OraMeno_0", 13) << "+12:00:00";
    QTest::newRow("+12 up gives 00")
        << QStringList("CorrOra") + times("OraMeno_0", 13) + times("OraPiu_0", 1) << "00:00:00";
    QTest::newRow("eleven up") << QStringList("CorrOra") + times("OraPiu_0", 11) << "+11:00:00";
    QTest::newRow("twelve up") << QStringList("CorrOra") + times("OraPiu_0", 12) << "+12:00:00";
    QTest::newRow("thirteen up wraps to 00")
        << QStringList("CorrOra") + times("OraPiu_0", 13) << "00:00:00";
    QTest::newRow("minutes from 00 down") << QStringList({ "CorrOra", "OraMeno_1" }) << "00:59:00";
    QTest::newRow("minutes from 59 up, hours stay")
        << QStringList({ "CorrOra", "OraMeno_1", "OraPiu_1" }) << "00:00:00";
    QTest::newRow("minutes up") << QStringList("CorrOra") + times("OraPiu_1", 7) << "00:07:00";
    QTest::newRow("seconds from 00 down") << QStringList({ "CorrOra", "OraMeno_2" }) << "00:00:59";
    QTest::newRow("seconds from 59 up")
        << QStringList({ "CorrOra", "OraMeno_2", "OraPiu_2" }) << "00:00:00";
    QTest::newRow("switching off clears")
        << QStringList({ "CorrOra", "OraPiu_0", "OraPiu_0", "OraPiu_1", "OraPiu_2", "CorrOra" })
        << "00:00:00";
    QTest::newRow("switching on again restores nothing")
        << QStringList({ "CorrOra", "OraPiu_0", "CorrOra", "CorrOra" }) << "00:00:00";
}

void TestFinestra::clockCorrectionSteps()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, shown);
    test::Sandbox sandbox;
    test::Window window;
    for (const QString &name : clicks)
        window.click(name.toLatin1().constData());
    QCOMPARE(window.text("DiffOra") + QLatin1Char(':') + window.text("DiffMin") + QLatin1Char(':')
            + window.text("DiffSec"),
        shown);
    // The fields are what the boxes show.
    const StatoFinestra &state = window.state();
    const int hours = shown.left(3).toInt();
    QCOMPARE(state.CorrOre, hours);
    QCOMPARE(state.CorrMin, shown.mid(shown.indexOf(QLatin1Char(':')) + 1, 2).toInt());
    QCOMPARE(state.CorrSec, shown.right(2).toInt());
}

void TestFinestra::terminaClosesWithoutWriting()
{
    test::Sandbox sandbox;
    test::Window window;
    window.check("OptionNome");
    QFile config(sandbox.configFile());
    QVERIFY(config.open(QIODevice::ReadOnly));
    const QByteArray before = config.readAll();
    config.close();
    QVERIFY(before.contains("OrdineNome=True"));

    window.click("Termina");
    QVERIFY(!window.form().isVisible());
    QVERIFY(config.open(QIODevice::ReadOnly));
    QCOMPARE(config.readAll(), before);
}

void TestFinestra::accessibleNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("accessibleName");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QAccessible::Role>("role");

    const QString verifica = QStringLiteral(
        "Rilegge dalla scheda ogni file della cartella di origine e lo cerca, per contenuto, "
        "nella destinazione e nella cartella di riserva: dice se la scheda si può formattare");
    const QString source = QStringLiteral(
        "Indicare la cartella contenente i file ed eventualmente selezionare i file da copiare.");
    const QString destination = QStringLiteral("Indicare la cartella in cui copiare i file");
    const QString backup = QStringLiteral(
        "Indicare una seconda cartella che riceva una copia di ogni file, con lo stesso nome");
    const auto row = [](const char *name, const QString &accessibleName, QAccessible::Role role,
                         const QString &description = QString()) {
        QTest::newRow(*name ? name : "window")
            << QString::fromLatin1(name) << accessibleName << description << role;
    };
    // The window itself, which has no object name.
    row("", "Copia e Rinomina", QAccessible::Window);
    row("SrcPath", "Cartella di origine", QAccessible::EditableText, source);
    row("SfogliaS", "Sfoglia origine", QAccessible::PushButton, source);
    row("Copia", "Copia", QAccessible::PushButton);
    // The labels that show a value are named by it, and described by what it is.
    row("SrcInfo", "Nessun file selezionato", QAccessible::StaticText, "File selezionati");
    row("Esito", "Nessuna corsa in questa sessione.", QAccessible::StaticText, "Esito");
    row("BarraAvanzamento", "Avanzamento", QAccessible::ProgressBar);
    row("Label6", "Fotocamera", QAccessible::StaticText);
    row("Fotocamere", "Fotocamera", QAccessible::ComboBox,
        "La fotocamera di cui la correzione qui sopra mostra e imposta l'ora; «Tutte le "
        "fotocamere» vale per le foto delle altre");
    row("SottoCartelle", "Includi sottocartelle", QAccessible::CheckBox,
        "Seleziona anche i file delle sottocartelle, come DCIM/100CANON di una scheda");
    row("VerificaCopia", "Verifica la scheda dopo la copia", QAccessible::CheckBox,
        "Copia rilegge ogni foto dalla scheda, come fa Sposta, e la copia conta solo se la "
        "scheda dà gli stessi byte la seconda volta");
    row("SchemaCartelle", "Cartelle per data", QAccessible::ComboBox,
        "Mette ogni foto nella sottocartella del giorno in cui è stata scattata, creandola se "
        "manca, e numera in ogni cartella dopo il numero più alto che già contiene");
    row("ApriCartella", "Apri cartella", QAccessible::PushButton,
        "Apre la cartella dell'ultima corsa nel gestore dei file");
    row("UsaScheda", "Usa la scheda", QAccessible::PushButton,
        "Prende come origine la cartella DCIM della scheda inserita, con le sue sottocartelle");
    row("Anteprima", "Anteprima", QAccessible::PushButton,
        "Mostra che cosa farebbe la corsa, file per file, senza toccare nulla");
    row("AnnullaCorsa", "Annulla ultima corsa", QAccessible::PushButton,
        "Riporta indietro l'ultima corsa, della finestra o del terminale, dopo averlo chiesto");
    row("VerificaScheda", "Verifica scheda", QAccessible::PushButton, verifica);
    row("NomeBase", "Nome base", QAccessible::EditableText,
        "Inserire il nome di base da assegnare ai file");
    row("Suffisso", "000", QAccessible::StaticText, "Ultimo numero");
    row("Sposta", "Sposta", QAccessible::PushButton);
    row("DestPath", "Cartella di destinazione", QAccessible::EditableText, destination);
    row("SfogliaD", "Sfoglia destinazione", QAccessible::PushButton, destination);
    row("Termina", "Termina", QAccessible::PushButton);
    row("RiservaPath", "Cartella di riserva", QAccessible::EditableText, backup);
    row("SfogliaR", "Sfoglia riserva", QAccessible::PushButton, backup);
    row("NessunaRiserva", "Nessuna riserva", QAccessible::PushButton,
        "Copia i file senza una cartella di riserva");
    row("OptionData", "Ordina per Data/Ora", QAccessible::RadioButton);
    row("OptionNome", "Ordina per Nome", QAccessible::RadioButton);
    row("CorrOra", "Correggi Ore:Min:Sec  per compensare  differenze di impostazione fotocamere.",
        QAccessible::CheckBox);
    row("OraPiu_0", "Ore più", QAccessible::PushButton, "Aggiunge un'ora alla correzione");
    row("OraMeno_0", "Ore meno", QAccessible::PushButton, "Toglie un'ora dalla correzione");
    row("OraPiu_1", "Minuti più", QAccessible::PushButton, "Aggiunge un minuto alla correzione");
    row("OraMeno_1", "Minuti meno", QAccessible::PushButton, "Toglie un minuto dalla correzione");
    row("OraPiu_2", "Secondi più", QAccessible::PushButton, "Aggiunge un secondo alla correzione");
    row("OraMeno_2", "Secondi meno", QAccessible::PushButton, "Toglie un secondo dalla correzione");
    row("DiffOra", "Ore", QAccessible::EditableText, "Ore della correzione");
    row("Text1", "Separatore ore minuti", QAccessible::EditableText);
    row("DiffMin", "Minuti", QAccessible::EditableText, "Minuti della correzione");
    row("Text3", "Separatore minuti secondi", QAccessible::EditableText);
    row("DiffSec", "Secondi", QAccessible::EditableText, "Secondi della correzione");
}

// What a screen reader says of each control, and that no two controls the
// focus can reach sound alike.
void TestFinestra::accessibleNames()
{
    QFETCH(QString, name);
    QFETCH(QString, accessibleName);
    QFETCH(QString, description);
    QFETCH(QAccessible::Role, role);
    test::Sandbox sandbox;
    test::Window window;
    QWidget *control = name.isEmpty() ? &window.form() : window.form().findChild<QWidget *>(name);
    QVERIFY(control);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), accessibleName);
    QCOMPARE(accessible->text(QAccessible::Description), description);
    QCOMPARE(accessible->role(), role);

    QStringList focusable;
    for (QWidget *other : window.form().findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (other->focusPolicy() & Qt::TabFocus)
            focusable.append(QAccessible::queryAccessibleInterface(other)->text(QAccessible::Name));
    }
    QCOMPARE(focusable.size(), 34);
    QVERIFY(!focusable.contains(QString()));
    QCOMPARE(QSet<QString>(focusable.cbegin(), focusable.cend()).size(), focusable.size());
}

// What a screen reader reads of the window, and hears of a change: the
// focusable controls by distinct names, the labels that show a value by that
// value. Run with "-atspi" (see main), through the accessibility bus, by
// pyatspi as screen readers use it; else as Qt tells them.
void TestFinestra::screenReader()
{
    if (qEnvironmentVariableIsSet(NoX))
        QSKIP(qPrintable(
            QStringLiteral("no X server to read the window on: ") + qEnvironmentVariable(NoX)));
    if (!qEnvironmentVariable(AtSpi).isEmpty())
        QSKIP(qPrintable(QStringLiteral("no accessibility bus: ") + qEnvironmentVariable(AtSpi)));
    const bool onBus = qEnvironmentVariableIsSet(AtSpi);
    test::Sandbox sandbox;
    QTemporaryDir source;
    QTemporaryDir destination;
    for (const char *name : { "a.jpg", "b.jpg", "c.jpg" })
        test::writeFile(source.path(), QLatin1String(name));
    test::writeFile(destination.path(), QStringLiteral("Img_004.jpg"));
    test::remember("Sorgente", test::slashed(source.path()));
    test::remember("Destinazione", test::slashed(destination.path()));
    test::remember("Riserva", test::slashed(destination.path()));
    test::Window window;
    // A disabled control has no action, nor a key for it, to tell.
    window.button("ApriCartella")->setEnabled(true);
    const QString number = QStringLiteral("Ultimo numero");
    const QString selection = QStringLiteral("File selezionati");
    const QString chosen = QStringLiteral("3 file .JPG selezionati");

    QProcess reader;
    QList<QJsonObject> lines;
    const auto hears = [&](const char *kind) {
        while (reader.canReadLine()) {
            lines.append(QJsonDocument::fromJson(reader.readLine()).object());
            qInfo().noquote() << QJsonDocument(lines.last()).toJson(QJsonDocument::Compact);
        }
        return std::any_of(lines.cbegin(), lines.cend(),
            [kind](const QJsonObject &line) { return line[QLatin1String("kind")] == kind; });
    };
    const auto phase = [&](const char *kind) {
        QList<Heard> heard;
        for (const QJsonObject &line : std::as_const(lines)) {
            if (line[QLatin1String("kind")] == kind)
                heard.append({ line[QLatin1String("name")].toString(),
                    line[QLatin1String("description")].toString(),
                    line[QLatin1String("focusable")].toBool(),
                    altKeys(line[QLatin1String("keys")].toVariant().toStringList()) });
        }
        return heard;
    };
    QList<Heard> before;
    if (onBus) {
        // Debian's own Python, where pyatspi is installed.
        QString python = QStandardPaths::findExecutable(
            QStringLiteral("python3"), { QStringLiteral("/usr/bin") });
        if (python.isEmpty())
            python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        reader.start(python,
            { QStringLiteral(SCREEN_READER), window.form().windowTitle(), QStringLiteral("006"),
                chosen });
        // The window answers the reader from this event loop.
        QTRY_VERIFY_WITH_TIMEOUT(hears("ready") || reader.state() == QProcess::NotRunning, 60000);
        for (const QJsonObject &line : std::as_const(lines)) {
            if (line[QLatin1String("kind")] == QLatin1String("skip"))
                QSKIP(qPrintable(line[QLatin1String("why")].toString()));
        }
        QVERIFY2(hears("ready"), reader.readAllStandardError().constData());
        before = phase("before");
    } else {
        before = readInProcess(&window.form());
    }

    QStringList focusable;
    for (const Heard &object : std::as_const(before)) {
        if (object.focusable)
            focusable.append(object.name);
    }
    QCOMPARE(focusable.size(), 34);
    QVERIFY(!focusable.contains(QString()));
    QCOMPARE(QSet<QString>(focusable.cbegin(), focusable.cend()).size(), focusable.size());
    QVERIFY(focusable.contains(QStringLiteral("Includi sottocartelle")));
    for (const char *name :
        { "Apri cartella", "Anteprima", "Annulla ultima corsa", "Verifica scheda", "Fotocamera",
            "Cartelle per data", "Cartella di riserva", "Sfoglia riserva", "Nessuna riserva" })
        QVERIFY(focusable.contains(QString::fromUtf8(name)));
    // An Alt key for every control but the offset's arrows and fields, the
    // backup's Sfoglia and «Nessuna», next to its field, the check after a
    // copy and «Usa la scheda»: the captions hold no more letters.
    QStringList withoutKey;
    QSet<QString> keys;
    for (const Heard &object : std::as_const(before)) {
        if (object.focusable && object.keys.isEmpty())
            withoutKey.append(object.name);
        QVERIFY2(!keys.intersects(object.keys), qPrintable(object.name));
        keys += object.keys;
    }
    QCOMPARE(withoutKey,
        (QStringList { "Sfoglia riserva", "Nessuna riserva", "Ore più", "Ore meno", "Minuti più",
            "Minuti meno", "Secondi più", "Secondi meno", "Ore", "Separatore ore minuti", "Minuti",
            "Separatore minuti secondi", "Secondi", "Verifica la scheda dopo la copia",
            "Usa la scheda" }));
    QCOMPARE(keys.size(), 19);
    QCOMPARE(nameDescribedAs(before, QStringLiteral("Esito")),
        QStringLiteral("Nessuna corsa in questa sessione."));
    QCOMPARE(nameDescribedAs(before, number), QStringLiteral("004"));
    QCOMPARE(nameDescribedAs(before, selection), QStringLiteral("Tutti i file (3)"));

    // Choosing the files of a type again, with a new photo at the destination.
    test::writeFile(destination.path(), QStringLiteral("Img_006.jpg"));
    window.cannedDialog().answerFileName =
        source.filePath(QStringLiteral("Tutti i file del tipo selezionato.jpg"));
    window.cannedDialog().answerFileTitle = QStringLiteral("Tutti i file del tipo selezionato.jpg");
    window.click("SfogliaS");
    QCOMPARE(window.text("SrcInfo"), chosen);

    QList<Heard> after;
    if (onBus) {
        reader.write("\n");
        QTRY_VERIFY_WITH_TIMEOUT(reader.state() == QProcess::NotRunning, 60000);
        hears("after");
        QVERIFY2(reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 0,
            reader.readAllStandardError().constData());
        // Each change is told as it happens, as a screen reader hears it.
        const QList<Heard> events = phase("event");
        const auto told = [&events](const QString &name, const QString &description) {
            return std::any_of(events.cbegin(), events.cend(), [&](const Heard &event) {
                return event.name == name && event.description == description;
            });
        };
        QVERIFY(told(QStringLiteral("006"), number));
        QVERIFY(told(chosen, selection));
        after = phase("after");
    } else {
        after = readInProcess(&window.form());
    }
    QCOMPARE(nameDescribedAs(after, number), QStringLiteral("006"));
    QCOMPARE(nameDescribedAs(after, selection), chosen);
}

// COPIA_TEST_MAIN, and "-xvfb" or "-atspi" first.
int main(int argc, char *argv[])
{
    if (argc > 1 && (qstrcmp(argv[1], "-xvfb") == 0 || qstrcmp(argv[1], "-atspi") == 0))
        return onPrivateX(argc, argv);
    return test::runReportingSkips(argc, argv, [](int &count, char **arguments) {
        QApplication app(count, arguments);
        app.setAttribute(Qt::AA_Use96Dpi, true);
        TestFinestra tests;
        QTEST_SET_MAIN_SOURCE_PATH
        return QTest::qExec(&tests, count, arguments);
    });
}
#include "tst_finestra.moc"
