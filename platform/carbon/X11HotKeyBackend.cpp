// Hot keys as passive grabs on the root window, over the X connection of their own.
#include "platform/carbon/HotKeyBackend.h"
#include "platform/carbon/XHotKeyConnection.h"

#include <cstdlib>
#include <memory>

namespace platform::carbon::x11 {

namespace {

struct FreeEvent {
    void operator()(xcb_generic_event_t* e) const { std::free(e); }
};
using Event = std::unique_ptr<xcb_generic_event_t, FreeEvent>;

class X11HotKeys final : public HotKeyBackend {
public:
    bool Reachable() override { return HotKeyConnection::Get() != nullptr; }

    std::optional<Key> KeyFor(UInt32 virtualKey, UInt32 hotKeyModifiers) override {
        HotKeyConnection* connection = HotKeyConnection::Get();
        if (!connection) return std::nullopt;
        const uint32_t keysym = KeysymForVirtualKey(virtualKey);
        const std::optional<xcb_keycode_t> keycode =
            keysym ? connection->KeycodeFor(keysym) : std::nullopt;
        const std::optional<uint16_t> modifiers = XModifiers(hotKeyModifiers, connection->Roles());
        if (!keycode || !modifiers) return std::nullopt;
        return Key{*keycode, *modifiers, connection->Roles().locks};
    }

    OSStatus Grab(const Key& key, OSType) override {
        HotKeyConnection* connection = HotKeyConnection::Get();
        return connection ? connection->Grab(xcb_keycode_t(key.code), key.modifiers, key.locks)
                          : eventInternalErr;
    }

    void Ungrab(const Key& key) override {
        if (HotKeyConnection* connection = HotKeyConnection::Get())
            connection->Ungrab(xcb_keycode_t(key.code), key.modifiers, key.locks);
    }

    int EventsDescriptor() override {
        HotKeyConnection* connection = HotKeyConnection::Get();
        return connection ? xcb_get_file_descriptor(connection->Connection()) : -1;
    }

    std::optional<KeyEvent> NextEvent() override {
        HotKeyConnection* connection = HotKeyConnection::Get();
        if (!connection) return std::nullopt;
        xcb_connection_t* c = connection->Connection();
        for (;;) {
            Event event = mNext ? std::move(mNext) : Event(xcb_poll_for_event(c));
            if (!event) return std::nullopt;
            switch (event->response_type & 0x7F) {
            case XCB_KEY_PRESS: {
                const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event.get());
                return KeyEvent{true, key->detail, uint16_t(key->state & kAllModifiersMask)};
            }
            case XCB_KEY_RELEASE: {
                const auto* key = reinterpret_cast<xcb_key_release_event_t*>(event.get());
                // Key repeat arrives as a release and a press with the same time: neither counts.
                mNext.reset(xcb_poll_for_queued_event(c));
                if (mNext && (mNext->response_type & 0x7F) == XCB_KEY_PRESS) {
                    const auto* press = reinterpret_cast<xcb_key_press_event_t*>(mNext.get());
                    if (press->detail == key->detail && press->time == key->time) {
                        mNext.reset();
                        continue;
                    }
                }
                return KeyEvent{false, key->detail, uint16_t(key->state & kAllModifiersMask)};
            }
            case XCB_MAPPING_NOTIFY:
                connection->Refresh(event.get());
                continue;
            default:
                continue;
            }
        }
    }

private:
    // An event read while looking behind a release, handed out next.
    Event mNext;
};

} // namespace

} // namespace platform::carbon::x11

namespace platform::carbon {

HotKeyBackend& X11HotKeyBackend() {
    // Never destroyed: the event loop may still ask during the process's exit.
    static HotKeyBackend* const sBackend = new x11::X11HotKeys;
    return *sBackend;
}

} // namespace platform::carbon
