#include "tests/support/XKeyboard.h"

#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

namespace testsupport {

XKeyboard::XKeyboard(const std::string& display) : XClient(display) {
    if (!XClient::Ok()) return;
    mSymbols = xcb_key_symbols_alloc(c);
    Reply<xcb_test_get_version_reply_t> version(
        xcb_test_get_version_reply(c, xcb_test_get_version(c, 2, 2), nullptr));
    mTest = version != nullptr;
}

XKeyboard::~XKeyboard() {
    if (mSymbols) xcb_key_symbols_free(mSymbols);
}

bool XKeyboard::Ok() const {
    return XClient::Ok() && mSymbols && mTest;
}

uint8_t XKeyboard::Keycode(uint32_t keysym) const {
    Reply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(mSymbols, keysym));
    return codes ? codes.get()[0] : 0;
}

bool XKeyboard::Chord(const std::vector<uint32_t>& keysyms) {
    std::vector<uint8_t> codes;
    for (uint32_t keysym : keysyms) {
        codes.push_back(Keycode(keysym));
        if (!codes.back()) return false;
    }
    for (uint8_t code : codes)
        xcb_test_fake_input(c, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, Root(), 0, 0, 0);
    for (auto code = codes.rbegin(); code != codes.rend(); ++code)
        xcb_test_fake_input(c, XCB_KEY_RELEASE, *code, XCB_CURRENT_TIME, Root(), 0, 0, 0);
    return Sync();
}

uint16_t XKeyboard::ModifierState() const {
    Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, Root()), nullptr));
    return pointer ? uint16_t(pointer->mask & 0xFF) : 0;
}

bool XKeyboard::Grab(uint8_t keycode, uint16_t modifiers) {
    Reply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_grab_key_checked(c, 1, Root(), modifiers, keycode,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    return !error && Sync();
}

void XKeyboard::Ungrab(uint8_t keycode, uint16_t modifiers) {
    xcb_ungrab_key(c, keycode, Root(), modifiers);
    Sync();
}

} // namespace testsupport
