#include "platform/appkit/NSUserNotificationCenter.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>

#include <map>

namespace platform::appkit {
namespace {

const QString kService = "org.freedesktop.Notifications";
const QString kPath = "/org/freedesktop/Notifications";
const QString kInterface = "org.freedesktop.Notifications";
const QString kActionKey = "default";

// Without an address the bus library would try to launch a bus of its own; a session without
// one gets no notifications instead.
bool HasSessionBus() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + "/bus").exists();
}

// The actions of the notifications still shown, by the server's id.
class NotificationActions : public QObject {
    Q_OBJECT
public:
    explicit NotificationActions(QObject* parent) : QObject(parent) {}
    std::map<uint, std::function<void()>> actions;
public slots:
    void actionInvoked(uint id, const QString& key) {
        const auto found = actions.find(id);
        if (found == actions.end() || key != kActionKey) return;
        const std::function<void()> action = found->second;
        actions.erase(found);
        action();
    }
    void notificationClosed(uint id, uint) { actions.erase(id); }
};

NotificationActions* Actions() {
    static NotificationActions* actions = nullptr;
    if (actions || !qApp || !HasSessionBus()) return actions;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return nullptr;
    actions = new NotificationActions(qApp);
    bus.connect(kService, kPath, kInterface, "ActionInvoked", actions,
                SLOT(actionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, "NotificationClosed", actions,
                SLOT(notificationClosed(uint, uint)));
    return actions;
}

} // namespace

NSUserNotificationCenter& NSUserNotificationCenter::defaultUserNotificationCenter() {
    static NSUserNotificationCenter center;
    return center;
}

void NSUserNotificationCenter::deliverNotification(const NSUserNotification& notification) {
    NotificationActions* actions = Actions();
    if (!actions) return;
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    // The server does not start for us: a session without one stays without notifications.
    notify.setAutoStartService(false);
    QStringList actionKeys;
    if (notification.actionBlock && !notification.actionButtonTitle.empty())
        actionKeys << kActionKey << QString::fromStdString(notification.actionButtonTitle);
    notify << QCoreApplication::applicationName() << uint(0) << QString()
           << QString::fromStdString(notification.title)
           << QString::fromStdString(notification.informativeText) << actionKeys << QVariantMap()
           << int(-1);
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(notify), actions);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, actions,
                     [actions, watcher, action = notification.actionBlock, actionKeys] {
                         const QDBusPendingReply<uint> reply = *watcher;
                         if (!reply.isError() && !actionKeys.isEmpty())
                             actions->actions[reply.value()] = action;
                         watcher->deleteLater();
                     });
}

} // namespace platform::appkit

#include "NSUserNotificationCenter.moc"
