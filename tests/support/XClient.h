#pragma once

// The support files' own X connection: replies freed by scope, a round trip, atoms and 32-bit
// properties, and pixel uploads in bands that respect the server's request limit.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace testsupport {

struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

struct XClient {
    explicit XClient(const std::string& display) : c(xcb_connect(display.c_str(), nullptr)) {}
    ~XClient() { xcb_disconnect(c); }
    XClient(const XClient&) = delete;
    bool Ok() const { return !xcb_connection_has_error(c); }
    xcb_screen_t* Screen() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data; }
    xcb_window_t Root() const { return Screen()->root; }
    // A round trip: true when the server has taken every request so far.
    bool Sync() const {
        Reply<xcb_get_input_focus_reply_t> r(
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        return r && Ok();
    }
    xcb_atom_t Atom(const char* name) const {
        Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    std::vector<uint32_t> Words(xcb_window_t window, const char* property, xcb_atom_t type) const {
        Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
            c, xcb_get_property(c, 0, window, Atom(property), type, 0, 1024), nullptr));
        if (!r || r->format != 32) return {};
        const auto* words = static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
        return std::vector<uint32_t>(words, words + xcb_get_property_value_length(r.get()) / 4);
    }
    // Puts 0x00RRGGBB rows of width at (x, y) of the drawable; false on a refused band.
    bool PutPixels(xcb_drawable_t drawable, int x, int y, int width, int height,
                   const uint32_t* pixels) const {
        xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, drawable, 0, nullptr);
        // A put request has a 24-byte header before its pixels.
        const size_t limit = size_t(xcb_get_maximum_request_length(c)) * 4 - 24;
        const int band = std::max(1, int(limit / (size_t(width) * 4)));
        bool ok = true;
        for (int row = 0; row < height && ok; row += band) {
            const int rows = std::min(band, height - row);
            Reply<xcb_generic_error_t> error(xcb_request_check(
                c, xcb_put_image_checked(
                       c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, gc, uint16_t(width), uint16_t(rows),
                       int16_t(x), int16_t(y + row), 0, Screen()->root_depth,
                       uint32_t(size_t(width) * size_t(rows) * 4),
                       reinterpret_cast<const uint8_t*>(pixels + size_t(row) * size_t(width)))));
            ok = !error;
        }
        xcb_free_gc(c, gc);
        return ok;
    }
    xcb_connection_t* c;
};

} // namespace testsupport
