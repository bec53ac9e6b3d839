#include "platform/carbon/XHotKeyConnection.h"

#include <cstdlib>
#include <memory>
#include <xcb/xcb_keysyms.h>

namespace platform::carbon::x11 {
namespace {

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, Free>;

constexpr uint8_t kBadAccess = 10;

} // namespace

HotKeyConnection* HotKeyConnection::Get() {
    static HotKeyConnection* sConnection = [] {
        auto* connection = new HotKeyConnection;
        if (connection->Open()) return connection;
        delete connection;
        return static_cast<HotKeyConnection*>(nullptr);
    }();
    if (sConnection && xcb_connection_has_error(sConnection->mConnection)) return nullptr;
    return sConnection;
}

bool HotKeyConnection::Open() {
    mConnection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(mConnection)) {
        xcb_disconnect(mConnection);
        mConnection = nullptr;
        return false;
    }
    mRoot = xcb_setup_roots_iterator(xcb_get_setup(mConnection)).data->root;
    mSymbols = xcb_key_symbols_alloc(mConnection);
    ReadModifierRoles();
    return mSymbols != nullptr;
}

void HotKeyConnection::ReadModifierRoles() {
    Reply<xcb_get_modifier_mapping_reply_t> mapping(xcb_get_modifier_mapping_reply(
        mConnection, xcb_get_modifier_mapping(mConnection), nullptr));
    if (!mapping) return;
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perRow = mapping->keycodes_per_modifier;
    std::array<std::vector<uint32_t>, 8> rows;
    for (int row = 0; row < 8; ++row)
        for (int i = 0; i < perRow; ++i) {
            const xcb_keycode_t keycode = keycodes[row * perRow + i];
            if (!keycode) continue;
            // Every symbol the key can type, so that a row shows Super or Num Lock at any level.
            for (int column = 0; column < 4; ++column)
                if (const xcb_keysym_t keysym =
                        xcb_key_symbols_get_keysym(mSymbols, keycode, column))
                    rows[row].push_back(keysym);
        }
    mRoles = RolesFromModifierKeysyms(rows);
}

std::optional<xcb_keycode_t> HotKeyConnection::KeycodeFor(uint32_t keysym) const {
    std::unique_ptr<xcb_keycode_t, Free> keycodes(xcb_key_symbols_get_keycode(mSymbols, keysym));
    if (!keycodes || keycodes.get()[0] == XCB_NO_SYMBOL) return std::nullopt;
    return keycodes.get()[0];
}

OSStatus HotKeyConnection::Grab(xcb_keycode_t keycode, uint16_t modifiers, uint16_t locks) {
    std::vector<xcb_void_cookie_t> grabs;
    for (uint16_t lock : LockCombinations(locks))
        grabs.push_back(xcb_grab_key_checked(mConnection, 1, mRoot, uint16_t(modifiers | lock),
                                             keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    OSStatus status = noErr;
    for (const xcb_void_cookie_t& grab : grabs) {
        Reply<xcb_generic_error_t> error(xcb_request_check(mConnection, grab));
        if (error && status == noErr)
            status = error->error_code == kBadAccess ? eventHotKeyExistsErr : eventInternalErr;
    }
    if (xcb_connection_has_error(mConnection)) return eventInternalErr;
    // Releasing a combination only ever releases this client's own grab of it.
    if (status != noErr) Ungrab(keycode, modifiers, locks);
    return status;
}

void HotKeyConnection::Ungrab(xcb_keycode_t keycode, uint16_t modifiers, uint16_t locks) {
    for (uint16_t lock : LockCombinations(locks))
        xcb_ungrab_key(mConnection, keycode, mRoot, uint16_t(modifiers | lock));
    xcb_flush(mConnection);
}

void HotKeyConnection::Refresh(xcb_generic_event_t* mappingNotify) {
    xcb_refresh_keyboard_mapping(mSymbols,
                                 reinterpret_cast<xcb_mapping_notify_event_t*>(mappingNotify));
    ReadModifierRoles();
}

} // namespace platform::carbon::x11
