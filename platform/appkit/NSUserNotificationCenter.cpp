#include "platform/appkit/NSUserNotificationCenter.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>

#include <map>
#include <optional>
#include <set>

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
    // A Notify call went out; its answer comes to answered().
    void asking() { ++mAsking; }
    // The server's answer: the notification's id, none for an error. The signal of a click and
    // the answer travel apart, so a click can come first: the action then runs now.
    void answered(std::optional<uint> id, const std::function<void()>& action) {
        if (id && action) {
            if (mClickedEarly.erase(*id))
                action();
            else
                mActions[*id] = action;
        }
        // Clicks on every program's notifications reach us: kept only while an answer is due.
        if (--mAsking == 0) mClickedEarly.clear();
    }
public slots:
    void actionInvoked(uint id, const QString& key) {
        if (key != kActionKey) return;
        const auto found = mActions.find(id);
        if (found == mActions.end()) {
            if (mAsking) mClickedEarly.insert(id);
            return;
        }
        const std::function<void()> action = found->second;
        mActions.erase(found);
        action();
    }
    void notificationClosed(uint id, uint) { mActions.erase(id); }

private:
    std::map<uint, std::function<void()>> mActions;
    std::set<uint> mClickedEarly;
    int mAsking = 0;
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
    actions->asking();
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(notify), actions);
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, actions,
        [actions, watcher, action = actionKeys.isEmpty() ? nullptr : notification.actionBlock] {
            const QDBusPendingReply<uint> reply = *watcher;
            actions->answered(reply.isError() ? std::nullopt : std::optional(reply.value()),
                              action);
            watcher->deleteLater();
        });
}

} // namespace platform::appkit

#include "NSUserNotificationCenter.moc"
