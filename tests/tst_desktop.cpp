#include "support.h"

#include "window/desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

namespace {

const QString notifications = QStringLiteral("org.freedesktop.Notifications");
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");
// Set in the child that withoutSessionBus starts with no bus to reach.
const char NoBus[] = "TST_DESKTOP_NO_BUS";

// Counts the times a window became the active one.
class Activations : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::WindowActivate)
            ++count;
        return false;
    }
};

} // namespace

// The desktop's notification server, as far as the program can tell.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<QVariantList> calls;

public Q_SLOTS:
    uint Notify(const QString &appName, uint replacesId, const QString &icon,
        const QString &summary, const QString &body, const QStringList &actions,
        const QVariantMap &hints, int timeout)
    {
        calls.append({ appName, replacesId, icon, summary, body, actions, hints, timeout });
        return uint(40 + calls.size());
    }
};

class TestDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void taskbarProgress_data();
    void taskbarProgress();
    void notification_data();
    void notification();
    void withoutSessionBus();

public Q_SLOTS:
    void launcherUpdate(const QString &uri, const QVariantMap &properties)
    {
        m_updates.append({ uri, properties });
    }

private:
    // Sends a signal of the notification server.
    void emitNotificationSignal(const char *member, uint id, const QVariant &argument);

    QTemporaryDir m_runtime;
    std::unique_ptr<test::SessionBus> m_bus;
    QString m_whyNoBus;
    std::unique_ptr<QDBusConnection> m_server;
    FakeNotifications m_notifications;
    QList<QVariantList> m_updates;
};

// A private bus for the whole program: the session bus the code under test
// opens is this one, since its address is set before anything connects.
void TestDesktop::initTestCase()
{
    if (qEnvironmentVariableIsSet(NoBus))
        return;
    m_bus = std::make_unique<test::SessionBus>();
    const QString address = m_bus->address();
    if (address.isEmpty()) {
        m_whyNoBus = QStringLiteral("no private session bus: ") + m_bus->whyNot();
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLatin1());
    m_server = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(address, QStringLiteral("tst_desktop_server")));
    QVERIFY(m_server->isConnected());
    QVERIFY(m_server->registerObject(
        notificationsPath, &m_notifications, QDBusConnection::ExportAllSlots));
    QVERIFY(m_server->registerService(notifications));
    QVERIFY(
        m_server->connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
            QStringLiteral("Update"), this, SLOT(launcherUpdate(QString, QVariantMap))));
    QVERIFY2(QDBusConnection::sessionBus().interface()->isServiceRegistered(notifications),
        "the session bus is not the private one");
}

void TestDesktop::cleanupTestCase()
{
    m_server.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("tst_desktop_server"));
    m_bus.reset();
}

void TestDesktop::emitNotificationSignal(const char *member, uint id, const QVariant &argument)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(notificationsPath, notifications, QLatin1String(member));
    signal << id << argument;
    QVERIFY(m_server->send(signal));
}

void TestDesktop::taskbarProgress_data()
{
    QTest::addColumn<double>("fraction");
    QTest::addColumn<QVariantMap>("properties");

    const QString progress = QStringLiteral("progress");
    const QString visible = QStringLiteral("progress-visible");
    QTest::newRow("start") << 0.0 << QVariantMap { { progress, 0.0 }, { visible, true } };
    QTest::newRow("part way") << 0.375 << QVariantMap { { progress, 0.375 }, { visible, true } };
    QTest::newRow("past the end") << 1.5 << QVariantMap { { progress, 1.0 }, { visible, true } };
    // A negative fraction stands for the end of the run here.
    QTest::newRow("hidden") << -1.0 << QVariantMap { { visible, false } };
}

void TestDesktop::taskbarProgress()
{
    QFETCH(double, fraction);
    QFETCH(QVariantMap, properties);
    if (!m_whyNoBus.isEmpty())
        QSKIP(qPrintable(m_whyNoBus));
    m_updates.clear();
    if (fraction < 0)
        desktop::hideTaskbarProgress();
    else
        desktop::showTaskbarProgress(fraction);
    QTRY_COMPARE(m_updates.size(), 1);
    QCOMPARE(m_updates.first(),
        QVariantList(
            { QStringLiteral("application://io.github.vobi.CopiaERinomina.desktop"), properties }));
}

void TestDesktop::notification_data()
{
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("minimized");
    // What happens to the notification, in order: "token", "click", "click
    // other" (another notification's), "closed", "window gone".
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<bool>("raised");

    const QString copied = QStringLiteral("600 foto copiate in «/percorso»");
    const QString failed = QStringLiteral("Copia interrotta a «DSC_0417.JPG»");
    const QString why = QStringLiteral("Permesso negato");
    QTest::newRow("click") << copied << QString() << false << QStringList { "click" } << true;
    QTest::newRow("click, minimized")
        << failed << why << true << QStringList { "token", "click" } << true;
    QTest::newRow("another's click")
        << copied << QString() << true << QStringList { "click other" } << false;
    QTest::newRow("click after closing")
        << copied << QString() << true << QStringList { "closed", "click" } << false;
    QTest::newRow("click after the window")
        << failed << why << false << QStringList { "window gone", "click" } << false;
}

// A click reaches the window it names, and only that one, and only while the
// notification is there. Another window's notification, clicked last, tells
// when the earlier events have all been handled.
void TestDesktop::notification()
{
    QFETCH(QString, summary);
    QFETCH(QString, body);
    QFETCH(bool, minimized);
    QFETCH(QStringList, events);
    QFETCH(bool, raised);
    if (!m_whyNoBus.isEmpty())
        QSKIP(qPrintable(m_whyNoBus));

    auto window = std::make_unique<QWidget>();
    QWidget last;
    QWidget active;
    for (QWidget *shown : { window.get(), &last, &active })
        shown->show();
    active.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&active));
    if (minimized)
        window->setWindowState(Qt::WindowMinimized);
    Activations activations;
    window->installEventFilter(&activations);

    const qsizetype before = m_notifications.calls.size();
    desktop::notifyRunEnded(window.get(), summary, body);
    desktop::notifyRunEnded(&last, QStringLiteral("ultima"));
    QTRY_COMPARE(m_notifications.calls.size(), before + 2);
    QCOMPARE(m_notifications.calls.at(before),
        QVariantList({ QStringLiteral("Copia e Rinomina"), 0u, QStringLiteral("copia-e-rinomina"),
            summary, body, QStringList { QStringLiteral("default"), QStringLiteral("Mostra") },
            QVariantMap { { QStringLiteral("desktop-entry"),
                QStringLiteral("io.github.vobi.CopiaERinomina") } },
            -1 }));
    const uint id = uint(41 + before);

    for (const QString &event : events) {
        if (event == QLatin1String("token"))
            emitNotificationSignal("ActivationToken", id, QStringLiteral("token"));
        else if (event == QLatin1String("click"))
            emitNotificationSignal("ActionInvoked", id, QStringLiteral("default"));
        else if (event == QLatin1String("click other"))
            emitNotificationSignal("ActionInvoked", id + 100, QStringLiteral("default"));
        else if (event == QLatin1String("closed"))
            emitNotificationSignal("NotificationClosed", id, 2u);
        else if (event == QLatin1String("window gone"))
            window.reset();
    }
    emitNotificationSignal("ActionInvoked", id + 1, QStringLiteral("default"));
    QTRY_VERIFY(last.isActiveWindow());
    QCOMPARE(activations.count > 0, raised);
    if (window)
        QCOMPARE(window->isMinimized(), minimized && !raised);
    QVERIFY(!qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
}

// No session bus: every call returns at once, with no message.
void TestDesktop::withoutSessionBus()
{
    if (qEnvironmentVariableIsSet(NoBus)) {
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QWidget window;
        window.show();
        desktop::showTaskbarProgress(0.5);
        desktop::hideTaskbarProgress();
        desktop::notifyRunEnded(&window, QStringLiteral("600 foto copiate in «/percorso»"));
        QVERIFY(!QDBusConnection::sessionBus().isConnected());
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(NoBus), QStringLiteral("1"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
        QStringLiteral("unix:path=") + m_runtime.filePath(QStringLiteral("no-bus")));
    // Qt's own word on a missing runtime folder is not the program's.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("withoutSessionBus") });
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput();
    QVERIFY2(
        child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
    QCOMPARE(child.readAllStandardError(), QByteArray());
    QVERIFY(output.contains("PASS   : TestDesktop::withoutSessionBus()"));
}

COPIA_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
