#include "tests/support/XKeyboard.h"

#include "tests/support/XClient.h"

#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

namespace testsupport {

XKeyboard::XKeyboard(const std::string& display)
    : mConnection(xcb_connect(display.c_str(), nullptr)) {
    if (xcb_connection_has_error(mConnection)) return;
    mRoot = xcb_setup_roots_iterator(xcb_get_setup(mConnection)).data->root;
    mSymbols = xcb_key_symbols_alloc(mConnection);
    Reply<xcb_test_get_version_reply_t> version(
        xcb_test_get_version_reply(mConnection, xcb_test_get_version(mConnection, 2, 2), nullptr));
    mTest = version != nullptr;
}

XKeyboard::~XKeyboard() {
    if (mSymbols) xcb_key_symbols_free(mSymbols);
    xcb_disconnect(mConnection);
}

bool XKeyboard::Ok() const {
    return !xcb_connection_has_error(mConnection) && mSymbols && mTest;
}

uint8_t XKeyboard::Keycode(uint32_t keysym) const {
    Reply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(mSymbols, keysym));
    return codes ? codes.get()[0] : 0;
}

bool XKeyboard::Sync() const {
    Reply<xcb_get_input_focus_reply_t> r(
        xcb_get_input_focus_reply(mConnection, xcb_get_input_focus(mConnection), nullptr));
    return r && !xcb_connection_has_error(mConnection);
}

bool XKeyboard::Chord(const std::vector<uint32_t>& keysyms) {
    std::vector<uint8_t> codes;
    for (uint32_t keysym : keysyms) {
        codes.push_back(Keycode(keysym));
        if (!codes.back()) return false;
    }
    for (uint8_t code : codes)
        xcb_test_fake_input(mConnection, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, mRoot, 0, 0, 0);
    for (auto code = codes.rbegin(); code != codes.rend(); ++code)
        xcb_test_fake_input(mConnection, XCB_KEY_RELEASE, *code, XCB_CURRENT_TIME, mRoot, 0, 0, 0);
    return Sync();
}

uint16_t XKeyboard::ModifierState() const {
    Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(mConnection, xcb_query_pointer(mConnection, mRoot), nullptr));
    return pointer ? uint16_t(pointer->mask & 0xFF) : 0;
}

bool XKeyboard::Grab(uint8_t keycode, uint16_t modifiers) {
    Reply<xcb_generic_error_t> error(xcb_request_check(
        mConnection, xcb_grab_key_checked(mConnection, 1, mRoot, modifiers, keycode,
                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    return !error && Sync();
}

void XKeyboard::Ungrab(uint8_t keycode, uint16_t modifiers) {
    xcb_ungrab_key(mConnection, keycode, mRoot, modifiers);
    Sync();
}

} // namespace testsupport
