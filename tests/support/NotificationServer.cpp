// A desktop notification server for tests, run on a private session bus: it prints the bus
// address, then each notification as "title\ttext\tactions" on a line of its own, and invokes the
// first action a notification offers, as a user's click would, at once: every other one even
// before it answers with the notification's id.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

#include <cstdio>

namespace {

const QString kPath = "/org/freedesktop/Notifications";
const QString kInterface = "org.freedesktop.Notifications";

class Server : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        const QVariantList args = call.arguments();
        if (call.member() != "Notify" || args.size() != 8) return false;
        const QStringList actions = args[5].toStringList();
        std::printf("%s\t%s\t%s\n", qPrintable(args[3].toString()), qPrintable(args[4].toString()),
                    qPrintable(actions.join(',')));
        std::fflush(stdout);
        const QDBusMessage click = QDBusMessage::createSignal(kPath, kInterface, "ActionInvoked")
                                   << ++mLastId << actions.value(0);
        // Every other click goes out before the reply: the earliest a program can learn of it.
        const bool early = mLastId % 2;
        if (early && !actions.isEmpty()) bus.send(click);
        bus.send(call.createReply(QVariant::fromValue(mLastId)));
        if (!early && !actions.isEmpty()) bus.send(click);
        return true;
    }

private:
    uint mLastId = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    Server server;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject(kPath, &server) || !bus.registerService(kInterface)) return 1;
    std::printf("%s\n", qPrintable(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS")));
    std::fflush(stdout);
    return application.exec();
}
