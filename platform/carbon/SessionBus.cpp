#include "platform/carbon/SessionBus.h"

#include <cstdlib>

namespace platform::carbon {

SessionBus::Message SessionBus::MethodCall(const char* destination, const char* path,
                                           const char* interface, const char* method) {
    return Message(dbus_message_new_method_call(destination, path, interface, method));
}

bool SessionBus::Open() {
    if (mConnection) return true;
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) return false;
    DBusError error;
    dbus_error_init(&error);
    mConnection = dbus_connection_open_private(address, &error);
    dbus_error_free(&error);
    if (!mConnection) return false;
    dbus_connection_set_exit_on_disconnect(mConnection, false);
    // The library's own registration waits as long as the bus likes: Hello is sent here instead,
    // with the bounded wait of every call.
    const Message welcome =
        Call(MethodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello"));
    const char* name = nullptr;
    if (!welcome || !dbus_message_get_args(welcome.get(), nullptr, DBUS_TYPE_STRING, &name,
                                           DBUS_TYPE_INVALID)) {
        Close();
        return false;
    }
    dbus_bus_set_unique_name(mConnection, name);
    return true;
}

void SessionBus::Close() {
    if (!mConnection) return;
    dbus_connection_close(mConnection);
    dbus_connection_unref(mConnection);
    mConnection = nullptr;
}

SessionBus::Message SessionBus::Call(Message request) {
    if (!mConnection || !request) return nullptr;
    DBusError error;
    dbus_error_init(&error);
    Message reply(dbus_connection_send_with_reply_and_block(mConnection, request.get(),
                                                            kCallMilliseconds, &error));
    const bool lost = dbus_error_has_name(&error, DBUS_ERROR_NO_REPLY) ||
                      dbus_error_has_name(&error, DBUS_ERROR_TIMEOUT) ||
                      !dbus_connection_get_is_connected(mConnection);
    dbus_error_free(&error);
    if (lost) Close();
    return reply;
}

void SessionBus::Send(Message request) {
    if (!mConnection || !request) return;
    dbus_message_set_no_reply(request.get(), true);
    dbus_connection_send(mConnection, request.get(), nullptr);
    // Written now if the socket takes it; the rest goes out with the next read.
    dbus_connection_read_write(mConnection, 0);
}

SessionBus::Message SessionBus::CallBus(const char* method, const std::string& argument) {
    Message request = MethodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, method);
    const char* text = argument.c_str();
    if (!request ||
        !dbus_message_append_args(request.get(), DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID))
        return nullptr;
    return Call(std::move(request));
}

bool SessionBus::NameHasOwner(const std::string& name) {
    const Message reply = CallBus("NameHasOwner", name);
    dbus_bool_t has = false;
    return reply &&
           dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_BOOLEAN, &has,
                                 DBUS_TYPE_INVALID) &&
           has;
}

bool SessionBus::AddMatch(const std::string& rule) {
    return CallBus("AddMatch", rule) != nullptr;
}

int SessionBus::Descriptor() const {
    int fd = -1;
    return mConnection && dbus_connection_get_unix_fd(mConnection, &fd) ? fd : -1;
}

SessionBus::Message SessionBus::Next() {
    if (!mConnection) return nullptr;
    // Messages read while a call waited for its answer are already queued; more are read
    // without waiting.
    Message message(dbus_connection_pop_message(mConnection));
    if (!message && dbus_connection_read_write(mConnection, 0))
        message.reset(dbus_connection_pop_message(mConnection));
    if (!dbus_connection_get_is_connected(mConnection)) Close();
    return message;
}

} // namespace platform::carbon
