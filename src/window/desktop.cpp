#include "window/desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

#include <algorithm>
#include <optional>

namespace desktop {

namespace {

const QString appId = QStringLiteral("io.github.vobi.CopiaERinomina");
const QString notifications = QStringLiteral("org.freedesktop.Notifications");
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");

// A desktop says where its session bus is, in the environment or as the
// socket in the runtime folder. Without one there is no taskbar or
// notification to reach, and no connection is tried: it would start a
// thread and load code for nothing, during a run.
bool sessionBusDeclared()
{
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
        || (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")
            && QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus")));
}

// The bus is looked at only when there is something to say; a desktop
// without one is no fault, so nothing is reported.
void updateLauncherEntry(const QVariantMap &properties)
{
    if (!sessionBusDeclared())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage update =
        QDBusMessage::createSignal(QStringLiteral("/io/github/vobi/CopiaERinomina"),
            QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    update << QStringLiteral("application://%1.desktop").arg(appId) << properties;
    bus.send(update);
}

// Waits for the click on one notification. A child of its window, so that it
// goes with the window and a later click finds nothing to raise.
class NotificationClick : public QObject
{
    Q_OBJECT

public:
    explicit NotificationClick(QWidget *window)
        : QObject(window)
    { }

    void setId(uint id) { m_id = id; }

public Q_SLOTS:
    // Sent before the click on Wayland, where only the token lets a window
    // in the background take the focus; Qt reads it from the environment.
    void activationToken(uint id, const QString &token)
    {
        if (m_id == id)
            m_token = token;
    }

    void actionInvoked(uint id, const QString &action)
    {
        if (m_id != id || action != QLatin1String("default"))
            return;
        auto *window = static_cast<QWidget *>(parent());
        if (!m_token.isEmpty())
            qputenv("XDG_ACTIVATION_TOKEN", m_token.toUtf8());
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
        window->activateWindow();
        qunsetenv("XDG_ACTIVATION_TOKEN");
    }

    // A click already on its way must find the notification gone too.
    void notificationClosed(uint id, uint)
    {
        if (m_id != id)
            return;
        m_id.reset();
        deleteLater();
    }

private:
    std::optional<uint> m_id;
    QString m_token;
};

} // namespace

void showTaskbarProgress(double fraction)
{
    updateLauncherEntry({ { QStringLiteral("progress"), std::clamp(fraction, 0.0, 1.0) },
        { QStringLiteral("progress-visible"), true } });
}

void hideTaskbarProgress()
{
    updateLauncherEntry({ { QStringLiteral("progress-visible"), false } });
}

void notifyRunEnded(QWidget *window, const QString &summary, const QString &body)
{
    if (!sessionBusDeclared())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Listening starts before the call, so that no answer to it is missed.
    auto *click = new NotificationClick(window);
    const auto listen = [&](const char *member, const char *slot) {
        bus.connect(
            notifications, notificationsPath, notifications, QLatin1String(member), click, slot);
    };
    listen("ActivationToken", SLOT(activationToken(uint, QString)));
    listen("ActionInvoked", SLOT(actionInvoked(uint, QString)));
    listen("NotificationClosed", SLOT(notificationClosed(uint, uint)));

    QDBusMessage notify = QDBusMessage::createMethodCall(
        notifications, notificationsPath, notifications, QStringLiteral("Notify"));
    notify << QStringLiteral("Copia e Rinomina") << uint(0) << QStringLiteral("copia-e-rinomina")
           << summary << body << QStringList { QStringLiteral("default"), QStringLiteral("Mostra") }
           << QVariantMap { { QStringLiteral("desktop-entry"), appId } } << -1;
    // Asynchronous: a slow server must not hold up the window.
    auto *reply = new QDBusPendingCallWatcher(bus.asyncCall(notify), click);
    QObject::connect(reply, &QDBusPendingCallWatcher::finished, click,
        [click](QDBusPendingCallWatcher *watcher) {
            const QDBusPendingReply<uint> id = *watcher;
            watcher->deleteLater();
            if (id.isError())
                click->deleteLater();
            else
                click->setId(id.value());
        });
}

} // namespace desktop

#include "desktop.moc"
