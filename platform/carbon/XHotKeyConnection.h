#pragma once

// The hot keys' own X connection: the keymap and modifier roles read from the server, and
// passive key grabs on the root window under every lock combination.
#include "platform/carbon/XKeyMapping.h"

#include <optional>
#include <xcb/xcb.h>

struct _XCBKeySymbols;

namespace platform::carbon::x11 {

class HotKeyConnection {
public:
    // The process's connection, opened from $DISPLAY on first use; null without an X server or
    // once the connection has broken.
    static HotKeyConnection* Get();

    xcb_connection_t* Connection() const { return mConnection; }
    const ModifierRoles& Roles() const { return mRoles; }
    // The key code that types the key symbol in the current keymap.
    std::optional<xcb_keycode_t> KeycodeFor(uint32_t keysym) const;

    // Grabs the key with exactly these modifiers plus each lock combination. When any grab is
    // refused, every one is released again and the answer is eventHotKeyExistsErr (another
    // client holds it) or eventInternalErr.
    // The lock bits are those of the roles when the grab was made: the keymap may change since.
    OSStatus Grab(xcb_keycode_t keycode, uint16_t modifiers, uint16_t locks);
    void Ungrab(xcb_keycode_t keycode, uint16_t modifiers, uint16_t locks);

    // Reads the keymap and modifier roles again after the server said they changed.
    void Refresh(xcb_generic_event_t* mappingNotify);

private:
    HotKeyConnection() = default;
    bool Open();
    void ReadModifierRoles();

    xcb_connection_t* mConnection = nullptr;
    xcb_window_t mRoot = 0;
    _XCBKeySymbols* mSymbols = nullptr;
    ModifierRoles mRoles;
};

} // namespace platform::carbon::x11
