// Hot keys over the X connection of their own, and their delivery as events.
#include "platform/carbon/CarbonEvents.h"
#include "platform/carbon/XHotKeyConnection.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace platform::carbon {

struct OpaqueEventHotKeyRef {
    xcb_keycode_t keycode;
    uint16_t modifiers; // X mask, without locks
    uint16_t locks;     // the lock bits grabbed under
    EventHotKeyID identifier;
    EventTargetRef target;
    bool down = false; // pressed and not yet released: later presses are key repeats
};

namespace {

using x11::HotKeyConnection;

std::vector<std::unique_ptr<OpaqueEventHotKeyRef>>& HotKeys() {
    static std::vector<std::unique_ptr<OpaqueEventHotKeyRef>> sHotKeys;
    return sHotKeys;
}

OpaqueEventHotKeyRef* Find(bool (*matches)(const OpaqueEventHotKeyRef&, xcb_keycode_t, uint16_t),
                           xcb_keycode_t keycode, uint16_t state) {
    for (const auto& hotKey : HotKeys())
        if (matches(*hotKey, keycode, state)) return hotKey.get();
    return nullptr;
}

bool PressMatches(const OpaqueEventHotKeyRef& h, xcb_keycode_t keycode, uint16_t state) {
    return h.keycode == keycode && h.modifiers == (state & x11::kAllModifiersMask & ~h.locks);
}

// A release matches the pressed key whatever modifiers were let go of first.
bool ReleaseMatches(const OpaqueEventHotKeyRef& h, xcb_keycode_t keycode, uint16_t) {
    return h.keycode == keycode && h.down;
}

// Sends the event of a hot key. The handlers may unregister it, so nothing of it is used after.
void Deliver(const OpaqueEventHotKeyRef& hotKey, UInt32 kind) {
    const EventHotKeyID identifier = hotKey.identifier;
    const EventTargetRef target = hotKey.target;
    EventRef event = nullptr;
    if (CreateEvent(nullptr, kEventClassKeyboard, kind, 0, 0, &event) != noErr) return;
    SetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, sizeof identifier,
                      &identifier);
    SendEventToEventTarget(event, target);
    ReleaseEvent(event);
}

struct FreeEvent {
    void operator()(xcb_generic_event_t* e) const { std::free(e); }
};
using Event = std::unique_ptr<xcb_generic_event_t, FreeEvent>;

} // namespace

OSStatus RegisterEventHotKey(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers,
                             EventHotKeyID inHotKeyID, EventTargetRef inTarget,
                             OptionBits inOptions, EventHotKeyRef* outRef) {
    if (outRef) *outRef = nullptr;
    if (!outRef || !inTarget || inOptions) return paramErr;
    HotKeyConnection* connection = HotKeyConnection::Get();
    if (!connection) return eventInternalErr;
    const uint32_t keysym = x11::KeysymForVirtualKey(inHotKeyCode);
    const std::optional<xcb_keycode_t> keycode =
        keysym ? connection->KeycodeFor(keysym) : std::nullopt;
    const std::optional<uint16_t> modifiers =
        x11::XModifiers(inHotKeyModifiers, connection->Roles());
    if (!keycode || !modifiers) return paramErr;
    // The server lets a client grab what it already holds, so this process checks its own.
    if (Find(PressMatches, *keycode, *modifiers)) return eventHotKeyExistsErr;
    const uint16_t locks = connection->Roles().locks;
    if (const OSStatus status = connection->Grab(*keycode, *modifiers, locks); status != noErr)
        return status;
    HotKeys().push_back(std::make_unique<OpaqueEventHotKeyRef>(
        OpaqueEventHotKeyRef{*keycode, *modifiers, locks, inHotKeyID, inTarget}));
    *outRef = HotKeys().back().get();
    return noErr;
}

OSStatus UnregisterEventHotKey(EventHotKeyRef inHotKey) {
    auto& hotKeys = HotKeys();
    const auto found = std::find_if(hotKeys.begin(), hotKeys.end(),
                                    [inHotKey](const auto& h) { return h.get() == inHotKey; });
    if (!inHotKey || found == hotKeys.end()) return eventHotKeyInvalidErr;
    if (HotKeyConnection* connection = HotKeyConnection::Get())
        connection->Ungrab(inHotKey->keycode, inHotKey->modifiers, inHotKey->locks);
    hotKeys.erase(found);
    return noErr;
}

int HotKeyEventsDescriptor() {
    HotKeyConnection* connection = HotKeyConnection::Get();
    return connection ? xcb_get_file_descriptor(connection->Connection()) : -1;
}

void DispatchPendingHotKeyEvents() {
    HotKeyConnection* connection = HotKeyConnection::Get();
    if (!connection) return;
    xcb_connection_t* c = connection->Connection();
    Event next;
    for (;;) {
        Event event = next ? std::move(next) : Event(xcb_poll_for_event(c));
        if (!event) break;
        switch (event->response_type & 0x7F) {
        case XCB_KEY_PRESS: {
            const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event.get());
            OpaqueEventHotKeyRef* hotKey = Find(PressMatches, key->detail, key->state);
            if (hotKey && !hotKey->down) {
                hotKey->down = true;
                Deliver(*hotKey, kEventHotKeyPressed);
            }
            break;
        }
        case XCB_KEY_RELEASE: {
            const auto* key = reinterpret_cast<xcb_key_release_event_t*>(event.get());
            // Key repeat arrives as a release and a press with the same time: neither counts.
            next.reset(xcb_poll_for_queued_event(c));
            if (next && (next->response_type & 0x7F) == XCB_KEY_PRESS) {
                const auto* press = reinterpret_cast<xcb_key_press_event_t*>(next.get());
                if (press->detail == key->detail && press->time == key->time) {
                    next.reset();
                    break;
                }
            }
            if (OpaqueEventHotKeyRef* hotKey = Find(ReleaseMatches, key->detail, key->state)) {
                hotKey->down = false;
                Deliver(*hotKey, kEventHotKeyReleased);
            }
            break;
        }
        case XCB_MAPPING_NOTIFY:
            connection->Refresh(event.get());
            break;
        default:
            break;
        }
    }
}

} // namespace platform::carbon
