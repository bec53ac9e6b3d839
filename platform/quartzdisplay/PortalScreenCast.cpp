// The conversation with the desktop portal on the session bus, on a main context of its own that
// only these waits run, so that it neither needs nor disturbs the application's event loop.
#include "platform/quartzdisplay/PortalScreenCast.h"

#include <cstdlib>
#include <functional>
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::coregraphics::portal {

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr const char* kTokenKey = "Screen Cast Restore Token";
// The portal's values: the monitor source type, the hidden cursor, a permission kept until the
// user takes it back.
constexpr guint32 kMonitors = 1, kCursorHidden = 1, kPersistent = 2;
// Restore tokens came with this version of the interface.
constexpr guint32 kTokenVersion = 4;
// A bus or a portal that keeps this long from answering is taken for one that will not; the user
// is given longer to answer the portal's question.
constexpr int kAnswerMs = 10000, kUserMs = 120000;

// The session bus's address, without the bus library's last resort of launching a bus.
std::string SessionBusAddress() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return address;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return "";
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st;
    if (::stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return "";
    gchar* escaped = g_dbus_address_escape_value(socket.c_str());
    std::string unix = std::string("unix:path=") + escaped;
    g_free(escaped);
    return unix;
}

// An asynchronous operation's end. When the waiter gives up first, the operation frees it.
struct Pending {
    GAsyncResult* result = nullptr;
    bool abandoned = false;
};

void Finished(GObject*, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<Pending*>(data);
    if (pending->abandoned)
        delete pending;
    else
        pending->result = G_ASYNC_RESULT(g_object_ref(result));
}

// What a request's Response signal brought.
struct Answer {
    bool came = false;
    guint32 response = 2;
    GVariant* results = nullptr;
};

void Responded(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
               GVariant* parameters, gpointer data) {
    auto* answer = static_cast<Answer*>(data);
    if (answer->came || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) return;
    answer->came = true;
    g_variant_get(parameters, "(u@a{sv})", &answer->response, &answer->results);
}

std::string Why(const GError* error) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT))
        return "the desktop portal does not answer";
    gchar* remote = g_dbus_error_get_remote_error(error);
    const std::string name = remote ? remote : "";
    g_free(remote);
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == "org.freedesktop.DBus.Error.NameHasNoOwner")
        return "no desktop portal (org.freedesktop.portal.Desktop) is on the session bus";
    if (name == "org.freedesktop.DBus.Error.UnknownInterface" ||
        name == "org.freedesktop.DBus.Error.UnknownMethod" ||
        name == "org.freedesktop.DBus.Error.InvalidArgs")
        return "the desktop portal offers no screen cast (org.freedesktop.portal.ScreenCast)";
    GError* plain = g_error_copy(error);
    g_dbus_error_strip_remote_error(plain);
    std::string text = "the desktop portal failed (" + std::string(plain->message) + ")";
    g_error_free(plain);
    return text;
}

class Conversation {
public:
    Conversation() : mContext(g_main_context_new()) {
        g_main_context_push_thread_default(mContext);
    }
    ~Conversation() {
        if (mBus) g_object_unref(mBus);
        g_main_context_pop_thread_default(mContext);
        g_main_context_unref(mContext);
    }
    Conversation(const Conversation&) = delete;

    bool Connect(const std::string& address, std::string& why) {
        auto* pending = new Pending;
        g_dbus_connection_new_for_address(
            address.c_str(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, Finished, pending);
        GError* error = nullptr;
        if (GAsyncResult* result = Await(pending, kAnswerMs)) {
            mBus = g_dbus_connection_new_for_address_finish(result, &error);
            g_object_unref(result);
        }
        if (!mBus) {
            why = "the session bus does not answer";
            if (error)
                why = std::string("the session bus cannot be reached (") + error->message + ")";
            g_clear_error(&error);
            return false;
        }
        // The portal names its requests after the caller's unique name.
        std::string sender = g_dbus_connection_get_unique_name(mBus) + 1;
        for (char& c : sender)
            if (c == '.') c = '_';
        mRequests = std::string(kPortalPath) + "/request/" + sender + "/";
        return true;
    }

    // A method of the portal's; its reply, or null with why.
    GVariant* Call(const char* interface, const char* method, GVariant* arguments,
                   const char* replyType, std::string& why, GUnixFDList** fds = nullptr) {
        auto* pending = new Pending;
        g_dbus_connection_call_with_unix_fd_list(
            mBus, kPortal, kPortalPath, interface, method, arguments, G_VARIANT_TYPE(replyType),
            G_DBUS_CALL_FLAGS_NONE, kAnswerMs, nullptr, nullptr, Finished, pending);
        // The call times out by itself; the wait's own bound is for a bus library that did not.
        GAsyncResult* result = Await(pending, kAnswerMs + 1000);
        if (!result) {
            why = "the desktop portal does not answer";
            return nullptr;
        }
        GError* error = nullptr;
        GVariant* reply =
            g_dbus_connection_call_with_unix_fd_list_finish(mBus, fds, result, &error);
        g_object_unref(result);
        if (!reply) {
            why = Why(error);
            g_error_free(error);
        }
        return reply;
    }

    // One of the portal's requests, answered by a Response signal on an object of its own; the
    // results, or null with why. The request's token is added to the options, which the
    // arguments are made around.
    GVariant* Request(const char* method, GVariantBuilder* options,
                      const std::function<GVariant*(GVariant* options)>& arguments, int waitMs,
                      std::string& why) {
        const std::string token = "vistrel" + std::to_string(++mTokens);
        g_variant_builder_add(options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
        // Listening before asking: the answer may come at once.
        Answer answer;
        std::string path = mRequests + token;
        guint listening = Listen(path, answer);
        GVariant* reply =
            Call(kScreenCast, method, arguments(g_variant_builder_end(options)), "(o)", why);
        if (reply) {
            const gchar* handle = nullptr;
            g_variant_get(reply, "(&o)", &handle);
            // Portals older than request tokens choose the path themselves.
            if (path != handle) {
                g_dbus_connection_signal_unsubscribe(mBus, listening);
                listening = Listen(path = handle, answer);
            }
            g_variant_unref(reply);
        }
        const bool came = reply && RunUntil([&] { return answer.came; }, waitMs);
        g_dbus_connection_signal_unsubscribe(mBus, listening);
        if (!reply) return nullptr;
        if (!came) {
            // The question's dialog goes away with the request.
            g_dbus_connection_call(mBus, kPortal, path.c_str(), "org.freedesktop.portal.Request",
                                   "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                                   nullptr, nullptr);
            why = "the desktop portal did not answer within " + std::to_string(waitMs / 1000) +
                  " seconds";
            return nullptr;
        }
        if (answer.response == 0) return answer.results;
        g_variant_unref(answer.results);
        why = answer.response == 1 ? "the screen cast was refused at the desktop portal"
                                   : "the desktop portal ended the screen cast";
        return nullptr;
    }

    GDBusConnection* Bus() const { return mBus; }

private:
    guint Listen(const std::string& path, Answer& answer) {
        return g_dbus_connection_signal_subscribe(
            mBus, nullptr, "org.freedesktop.portal.Request", "Response", path.c_str(), nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, Responded, &answer, nullptr);
    }

    // Runs the conversation's context until done or ms have passed; whether done.
    bool RunUntil(const std::function<bool()>& done, int ms) {
        bool late = false;
        GSource* limit = g_timeout_source_new(guint(ms));
        g_source_set_callback(
            limit,
            [](gpointer flag) {
                *static_cast<bool*>(flag) = true;
                return G_SOURCE_REMOVE;
            },
            &late, nullptr);
        g_source_attach(limit, mContext);
        while (!done() && !late)
            g_main_context_iteration(mContext, TRUE);
        g_source_destroy(limit);
        g_source_unref(limit);
        return done();
    }

    // The operation's result (a reference of the caller's), or null when ms passed first.
    GAsyncResult* Await(Pending* pending, int ms) {
        if (!RunUntil([pending] { return pending->result != nullptr; }, ms)) {
            pending->abandoned = true;
            return nullptr;
        }
        GAsyncResult* result = pending->result;
        delete pending;
        return result;
    }

    GMainContext* mContext;
    GDBusConnection* mBus = nullptr;
    std::string mRequests;
    unsigned mTokens = 0;
};

// The portal's screen cast properties; false with why where it offers no monitors.
bool Offers(Conversation& talk, guint32& version, guint32& cursors, std::string& why) {
    GVariant* reply = talk.Call("org.freedesktop.DBus.Properties", "GetAll",
                                g_variant_new("(s)", kScreenCast), "(a{sv})", why);
    if (!reply) return false;
    GVariant* properties = g_variant_get_child_value(reply, 0);
    guint32 sources = 0;
    version = cursors = 0;
    g_variant_lookup(properties, "version", "u", &version);
    g_variant_lookup(properties, "AvailableSourceTypes", "u", &sources);
    g_variant_lookup(properties, "AvailableCursorModes", "u", &cursors);
    g_variant_unref(properties);
    g_variant_unref(reply);
    if (!(sources & kMonitors)) why = "the desktop portal's screen cast offers no monitors";
    return sources & kMonitors;
}

} // namespace

ScreenCast::~ScreenCast() {
    if (remote >= 0) ::close(remote);
}

bool StartScreenCast(ScreenCast& cast, std::string& why) {
    const std::string address = SessionBusAddress();
    if (address.empty()) return false;
    Conversation talk;
    guint32 version = 0, cursors = 0;
    if (!talk.Connect(address, why) || !Offers(talk, version, cursors, why)) return false;

    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "session_handle_token",
                          g_variant_new_string("vistrel"));
    GVariant* created = talk.Request(
        "CreateSession", &options, [](GVariant* o) { return g_variant_new("(@a{sv})", o); },
        kAnswerMs, why);
    const gchar* session = nullptr;
    if (!created || !g_variant_lookup(created, "session_handle", "&s", &session) ||
        !g_variant_is_object_path(session)) {
        if (created) why = "the desktop portal made no screen cast session";
        if (created) g_variant_unref(created);
        return false;
    }
    // From here the session lasts as long as the connection.
    cast.session.reset(g_object_ref(talk.Bus()), [](void* bus) {
        g_dbus_connection_close(G_DBUS_CONNECTION(bus), nullptr, nullptr, nullptr);
        g_object_unref(bus);
    });

    const DisplayServicesHooks& hooks = TheDisplayServicesHooks();
    const std::string token = hooks.setting ? hooks.setting(kTokenKey) : "";
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(kMonitors));
    g_variant_builder_add(&options, "{sv}", "multiple", g_variant_new_boolean(true));
    if (cursors & kCursorHidden)
        g_variant_builder_add(&options, "{sv}", "cursor_mode", g_variant_new_uint32(kCursorHidden));
    if (version >= kTokenVersion) {
        g_variant_builder_add(&options, "{sv}", "persist_mode", g_variant_new_uint32(kPersistent));
        if (!token.empty())
            g_variant_builder_add(&options, "{sv}", "restore_token",
                                  g_variant_new_string(token.c_str()));
    }
    const auto ofSession = [&](GVariant* o) { return g_variant_new("(o@a{sv})", session, o); };
    GVariant* selected = talk.Request("SelectSources", &options, ofSession, kUserMs, why);
    GVariant* started = nullptr;
    if (selected) {
        g_variant_unref(selected);
        g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
        // No window of ours to hang the question's dialog on exists yet.
        started = talk.Request(
            "Start", &options,
            [&](GVariant* o) { return g_variant_new("(os@a{sv})", session, "", o); }, kUserMs, why);
    }
    // Whatever token the start gives back (or none) replaces the one kept; without a start the
    // portal has not said whether the kept one is still good.
    const gchar* kept = nullptr;
    if (started) g_variant_lookup(started, "restore_token", "&s", &kept);
    if (started && hooks.keepSetting) hooks.keepSetting(kTokenKey, kept ? kept : "");

    if (started) {
        GVariant* streams = g_variant_lookup_value(started, "streams", G_VARIANT_TYPE("a(ua{sv})"));
        cast.streams = MonitorStreams(streams);
        if (streams) g_variant_unref(streams);
        g_variant_unref(started);
        if (cast.streams.empty()) why = "the desktop portal's screen cast shows no monitor";
    }
    GUnixFDList* fds = nullptr;
    GVariant* opened = nullptr;
    if (!cast.streams.empty())
        opened = talk.Call(kScreenCast, "OpenPipeWireRemote",
                           ofSession(g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                           "(h)", why, &fds);
    if (opened) {
        gint32 index = -1;
        g_variant_get(opened, "(h)", &index);
        cast.remote = fds ? g_unix_fd_list_get(fds, index, nullptr) : -1;
        if (cast.remote < 0) why = "the desktop portal gave no PipeWire remote";
        g_variant_unref(opened);
    }
    if (fds) g_object_unref(fds);
    g_variant_unref(created);
    return cast.remote >= 0;
}

} // namespace platform::coregraphics::portal
