#pragma once

// Where hot keys are grabbed and their presses read: one backend per kind of desktop, chosen once
// per process. The event layer keeps the registry, the matching and the delivery; a backend
// turns a virtual key into a key of its own, grabs it and reads what was typed.
#include "platform/carbon/CarbonEvents.h"

#include <cstdint>
#include <optional>
#include <string>

namespace platform::carbon {

class HotKeyBackend {
public:
    // A key in the backend's terms: its code, the modifier bits it is held with and the lock bits
    // (or other modifiers no hot key uses) that a press may carry on top of them.
    struct Key {
        uint32_t code;
        uint16_t modifiers, locks;
    };
    // A press or release, with every modifier bit held then.
    struct KeyEvent {
        bool pressed;
        uint32_t code;
        uint16_t modifiers;
    };

    virtual ~HotKeyBackend() = default;
    // False when the keyboard cannot be reached: never opened, or lost since.
    virtual bool Reachable() = 0;
    // The key a virtual key code and hot-key modifier bits stand for in the current keymap;
    // nothing for a key the keymap cannot type or modifiers no hot key has.
    virtual std::optional<Key> KeyFor(UInt32 virtualKey, UInt32 hotKeyModifiers) = 0;
    // Grabs the key for the hot keys of that signature: noErr, eventHotKeyExistsErr when another
    // client holds the key (nothing is left grabbed), or eventInternalErr.
    virtual OSStatus Grab(const Key& key, OSType signature) = 0;
    virtual void Ungrab(const Key& key) = 0;
    // Readable when events wait; -1 when not reachable.
    virtual int EventsDescriptor() = 0;
    // The next press or release already received, without waiting; key repeats are left out.
    virtual std::optional<KeyEvent> NextEvent() = 0;
    // The names a desktop that keeps the keys itself shows for them; other backends ignore them.
    virtual void SetApplication(const std::string& /*identifier*/, const std::string& /*name*/) {}
    virtual void SetTitle(OSType /*signature*/, const std::string& /*title*/) {}
};

// The process's backend, chosen on first use and kept to the end of the process.
HotKeyBackend& TheHotKeyBackend();

// Passive grabs on the root window of the X server named by $DISPLAY.
HotKeyBackend& X11HotKeyBackend();

// The desktop's global shortcut service on the session bus (KDE's), or null when none runs there.
HotKeyBackend* ShortcutServiceHotKeyBackend();

} // namespace platform::carbon
