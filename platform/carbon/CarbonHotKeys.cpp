// Hot keys over the backend's grabs, and their delivery as events.
#include "platform/carbon/CarbonEvents.h"
#include "platform/carbon/HotKeyBackend.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace platform::carbon {

struct OpaqueEventHotKeyRef {
    HotKeyBackend::Key key;
    EventHotKeyID identifier;
    EventTargetRef target;
    bool down = false; // pressed and not yet released: later presses are key repeats
};

namespace {

using KeyEvent = HotKeyBackend::KeyEvent;

std::vector<std::unique_ptr<OpaqueEventHotKeyRef>>& HotKeys() {
    static std::vector<std::unique_ptr<OpaqueEventHotKeyRef>> sHotKeys;
    return sHotKeys;
}

OpaqueEventHotKeyRef* Find(bool (*matches)(const OpaqueEventHotKeyRef&, const KeyEvent&),
                           const KeyEvent& event) {
    for (const auto& hotKey : HotKeys())
        if (matches(*hotKey, event)) return hotKey.get();
    return nullptr;
}

bool PressMatches(const OpaqueEventHotKeyRef& h, const KeyEvent& e) {
    return h.key.code == e.code && h.key.modifiers == (e.modifiers & ~h.key.locks);
}

// A release matches the pressed key whatever modifiers were let go of first.
bool ReleaseMatches(const OpaqueEventHotKeyRef& h, const KeyEvent& e) {
    return h.key.code == e.code && h.down;
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

} // namespace

OSStatus RegisterEventHotKey(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers,
                             EventHotKeyID inHotKeyID, EventTargetRef inTarget,
                             OptionBits inOptions, EventHotKeyRef* outRef) {
    if (outRef) *outRef = nullptr;
    if (!outRef || !inTarget || inOptions) return paramErr;
    HotKeyBackend& backend = TheHotKeyBackend();
    if (!backend.Reachable()) return eventInternalErr;
    const std::optional<HotKeyBackend::Key> key = backend.KeyFor(inHotKeyCode, inHotKeyModifiers);
    if (!key) return paramErr;
    // The server lets a client grab what it already holds, so this process checks its own.
    if (Find(PressMatches, {true, key->code, key->modifiers})) return eventHotKeyExistsErr;
    if (const OSStatus status = backend.Grab(*key, inHotKeyID.signature); status != noErr)
        return status;
    HotKeys().push_back(
        std::make_unique<OpaqueEventHotKeyRef>(OpaqueEventHotKeyRef{*key, inHotKeyID, inTarget}));
    *outRef = HotKeys().back().get();
    return noErr;
}

OSStatus UnregisterEventHotKey(EventHotKeyRef inHotKey) {
    auto& hotKeys = HotKeys();
    const auto found = std::find_if(hotKeys.begin(), hotKeys.end(),
                                    [inHotKey](const auto& h) { return h.get() == inHotKey; });
    if (!inHotKey || found == hotKeys.end()) return eventHotKeyInvalidErr;
    TheHotKeyBackend().Ungrab(inHotKey->key);
    hotKeys.erase(found);
    return noErr;
}

void SetEventHotKeyApplication(const char* identifier, const char* name) {
    TheHotKeyBackend().SetApplication(identifier, name);
}

void SetEventHotKeyTitle(OSType signature, const char* title) {
    TheHotKeyBackend().SetTitle(signature, title);
}

int HotKeyEventsDescriptor() {
    return TheHotKeyBackend().EventsDescriptor();
}

void DispatchPendingHotKeyEvents() {
    while (const std::optional<KeyEvent> event = TheHotKeyBackend().NextEvent()) {
        if (event->pressed) {
            OpaqueEventHotKeyRef* hotKey = Find(PressMatches, *event);
            if (hotKey && !hotKey->down) {
                hotKey->down = true;
                Deliver(*hotKey, kEventHotKeyPressed);
            }
        } else if (OpaqueEventHotKeyRef* hotKey = Find(ReleaseMatches, *event)) {
            hotKey->down = false;
            Deliver(*hotKey, kEventHotKeyReleased);
        }
    }
}

} // namespace platform::carbon
