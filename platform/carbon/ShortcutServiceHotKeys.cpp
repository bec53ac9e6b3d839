// Hot keys kept by KDE's global shortcut service on the session bus: each is an action of this
// application's component, named by its signature, so the desktop's settings list it and the user
// may give it other keys, which the service keeps and reports presses of by the action's name.
#include "platform/carbon/HotKeyBackend.h"
#include "platform/carbon/SessionBus.h"
#include "platform/carbon/VirtualKeys.h"

#include <cerrno>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace platform::carbon {
namespace {

constexpr const char* kService = "org.kde.kglobalaccel";
constexpr const char* kComponentInterface = "org.kde.kglobalaccel.Component";
// setShortcutKeys flags: the keys given are the defaults; they are the ones wanted now (the
// service answers the user's own where it keeps some).
constexpr dbus_uint32_t kIsDefault = 1, kSetPresent = 2;

std::string SignatureText(OSType signature) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += char(signature >> shift & 0xFF);
    return text;
}

// The service's key sequences, a(ai): one sequence of up to four combinations each.
void AppendSequences(DBusMessageIter* to, const std::vector<dbus_int32_t>& combinations) {
    DBusMessageIter sequences, sequence, keys;
    dbus_message_iter_open_container(to, DBUS_TYPE_ARRAY, "(ai)", &sequences);
    for (dbus_int32_t combination : combinations) {
        dbus_message_iter_open_container(&sequences, DBUS_TYPE_STRUCT, nullptr, &sequence);
        dbus_message_iter_open_container(&sequence, DBUS_TYPE_ARRAY, "i", &keys);
        for (dbus_int32_t key : {combination, 0, 0, 0})
            dbus_message_iter_append_basic(&keys, DBUS_TYPE_INT32, &key);
        dbus_message_iter_close_container(&sequence, &keys);
        dbus_message_iter_close_container(&sequences, &sequence);
    }
    dbus_message_iter_close_container(to, &sequences);
}

// Whether an a(ai) answer holds any combination.
bool HoldsAKey(DBusMessage* reply) {
    DBusMessageIter it, sequences, sequence, keys;
    if (!reply || !dbus_message_iter_init(reply, &it) ||
        dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_ARRAY)
        return false;
    for (dbus_message_iter_recurse(&it, &sequences);
         dbus_message_iter_get_arg_type(&sequences) == DBUS_TYPE_STRUCT;
         dbus_message_iter_next(&sequences)) {
        dbus_message_iter_recurse(&sequences, &sequence);
        if (dbus_message_iter_get_arg_type(&sequence) != DBUS_TYPE_ARRAY) continue;
        for (dbus_message_iter_recurse(&sequence, &keys);
             dbus_message_iter_get_arg_type(&keys) == DBUS_TYPE_INT32;
             dbus_message_iter_next(&keys)) {
            dbus_int32_t key = 0;
            dbus_message_iter_get_basic(&keys, &key);
            if (key) return true;
        }
    }
    return false;
}

class ShortcutServiceHotKeys final : public HotKeyBackend {
public:
    // Whether the service runs now: one that D-Bus would only start on demand is not the
    // desktop's.
    bool Present() {
        if (mBus.Open() && mBus.NameHasOwner(kService) &&
            mBus.AddMatch(std::string("type='signal',interface='") + kComponentInterface +
                          "',member='globalShortcutPressed'"))
            return true;
        mBus.Close();
        return false;
    }

    bool Reachable() override { return mBus.IsOpen(); }

    std::optional<Key> KeyFor(UInt32 virtualKey, UInt32 hotKeyModifiers) override {
        const std::optional<uint32_t> code = ShortcutKeyCode(virtualKey, hotKeyModifiers);
        if (!code) return std::nullopt;
        return Key{*code, 0, 0};
    }

    OSStatus Grab(const Key& key, OSType signature) override {
        const std::string name = SignatureText(signature);
        if (mKeys.count(name)) return eventHotKeyExistsErr;
        if (!Call("doRegister", name, nullptr)) return eventInternalErr;
        const std::vector<dbus_int32_t> keys{dbus_int32_t(key.code)};
        Call("setShortcutKeys", name, &keys, kIsDefault);
        const SessionBus::Message present = Call("setShortcutKeys", name, &keys, kSetPresent);
        if (!present) return eventInternalErr;
        // No keys: another action holds them (or the user took them away); nothing stays active.
        if (!HoldsAKey(present.get())) {
            Call("setInactive", name, nullptr);
            return eventHotKeyExistsErr;
        }
        mKeys[name] = key;
        return noErr;
    }

    void Ungrab(const Key& key) override {
        for (auto it = mKeys.begin(); it != mKeys.end(); ++it)
            if (it->second.code == key.code) {
                mBus.Send(Request("setInactive", it->first, nullptr));
                mKeys.erase(it);
                return;
            }
    }

    int EventsDescriptor() override { return mBus.Descriptor(); }

    std::optional<KeyEvent> NextEvent() override {
        while (mEvents.empty()) {
            const SessionBus::Message message = mBus.Next();
            if (!message) return std::nullopt;
            const char *component = nullptr, *action = nullptr;
            dbus_int64_t time = 0;
            if (!dbus_message_is_signal(message.get(), kComponentInterface,
                                        "globalShortcutPressed") ||
                !dbus_message_get_args(message.get(), nullptr, DBUS_TYPE_STRING, &component,
                                       DBUS_TYPE_STRING, &action, DBUS_TYPE_INT64, &time,
                                       DBUS_TYPE_INVALID) ||
                mComponent != component)
                continue;
            // Each press the service reports is one press of the hot key, released at once:
            // a press it invokes itself (from the settings' test, say) has no release.
            if (const auto found = mKeys.find(action); found != mKeys.end())
                for (bool pressed : {true, false})
                    mEvents.push_back({pressed, found->second.code, 0});
        }
        const KeyEvent event = mEvents.front();
        mEvents.pop_front();
        return event;
    }

    void SetApplication(const std::string& identifier, const std::string& name) override {
        mComponent = identifier, mComponentName = name;
    }
    void SetTitle(OSType signature, const std::string& title) override {
        mTitles[SignatureText(signature)] = title;
    }

private:
    // A call of the service's main object about the action of that name: its keys and flags when
    // given.
    SessionBus::Message Request(const char* method, const std::string& name,
                                const std::vector<dbus_int32_t>* keys, dbus_uint32_t flags = 0) {
        SessionBus::Message request =
            SessionBus::MethodCall(kService, "/kglobalaccel", "org.kde.KGlobalAccel", method);
        if (!request) return request;
        const auto title = mTitles.find(name);
        const std::string id[] = {mComponent, name, mComponentName,
                                  title == mTitles.end() ? name : title->second};
        DBusMessageIter it, strings;
        dbus_message_iter_init_append(request.get(), &it);
        dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "s", &strings);
        for (const std::string& part : id) {
            const char* text = part.c_str();
            dbus_message_iter_append_basic(&strings, DBUS_TYPE_STRING, &text);
        }
        dbus_message_iter_close_container(&it, &strings);
        if (keys) {
            AppendSequences(&it, *keys);
            dbus_message_iter_append_basic(&it, DBUS_TYPE_UINT32, &flags);
        }
        return request;
    }
    SessionBus::Message Call(const char* method, const std::string& name,
                             const std::vector<dbus_int32_t>* keys, dbus_uint32_t flags = 0) {
        return mBus.Call(Request(method, name, keys, flags));
    }

    SessionBus mBus;
    std::string mComponent = program_invocation_short_name, mComponentName = mComponent;
    std::map<std::string, std::string> mTitles;
    std::map<std::string, Key> mKeys; // by action name
    std::deque<KeyEvent> mEvents;
};

} // namespace

HotKeyBackend* ShortcutServiceHotKeyBackend() {
    // Never destroyed, as the X11 backend: the event loop may still ask during the process's exit.
    static ShortcutServiceHotKeys* const sBackend = new ShortcutServiceHotKeys;
    static const bool sPresent = sBackend->Present();
    return sPresent ? sBackend : nullptr;
}

} // namespace platform::carbon
