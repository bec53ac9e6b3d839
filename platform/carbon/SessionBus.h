#pragma once

// A private connection to the session bus whose every call waits a bounded time: a service that
// does not answer costs its caller that time once, after which the connection is closed and every
// later call fails at once. Main thread only.
#include <dbus/dbus.h>

#include <memory>
#include <string>

namespace platform::carbon {

class SessionBus {
public:
    struct Unref {
        void operator()(DBusMessage* m) const { dbus_message_unref(m); }
    };
    using Message = std::unique_ptr<DBusMessage, Unref>;

    static constexpr int kCallMilliseconds = 3000;

    static Message MethodCall(const char* destination, const char* path, const char* interface,
                              const char* method);

    // Connects to $DBUS_SESSION_BUS_ADDRESS; false without one or when the bus does not answer.
    bool Open();
    bool IsOpen() const { return mConnection != nullptr; }
    void Close();
    // The reply; nothing for an error reply or no answer in time (which closes the connection).
    Message Call(Message request);
    // A call whose answer nobody waits for.
    void Send(Message request);
    bool NameHasOwner(const std::string& name);
    bool AddMatch(const std::string& rule);

    // Readable when messages wait; -1 when closed.
    int Descriptor() const;
    // The next message received, without waiting; nothing when none. A lost bus closes.
    Message Next();

private:
    Message CallBus(const char* method, const std::string& argument);

    DBusConnection* mConnection = nullptr;
};

} // namespace platform::carbon
