#include "platform/quartzdisplay/XConnection.h"

#include <cstdlib>
#include <memory>
#include <sys/socket.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xinerama.h>

namespace platform::coregraphics::x11 {

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> Owned(T* reply) {
    return Reply<T>(reply, &std::free);
}

bool Present(xcb_connection_t* c, xcb_extension_t* extension) {
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension);
    return data && data->present;
}

bool IsLocal(xcb_connection_t* c) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    return ::getsockname(xcb_get_file_descriptor(c), reinterpret_cast<sockaddr*>(&address),
                         &length) == 0 &&
           address.ss_family == AF_UNIX;
}

// Only the common direct-colour layout is read: 8 bits each of red, green and blue in a 32-bit
// little-endian pixel, which is exactly the opaque image layout handed out.
bool RootIsCapturable(const xcb_setup_t* setup, const xcb_screen_t* screen) {
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
    if (screen->root_depth != 24 && screen->root_depth != 32) return false;
    bool wholeWords = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == screen->root_depth)
            wholeWords = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32;
    if (!wholeWords) return false;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        if (d.data->depth != screen->root_depth) continue;
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            const xcb_visualtype_t& visual = *v.data;
            if (visual.visual_id != screen->root_visual) continue;
            return visual._class == XCB_VISUAL_CLASS_TRUE_COLOR && visual.red_mask == 0xFF0000 &&
                   visual.green_mask == 0xFF00 && visual.blue_mask == 0xFF;
        }
    }
    return false;
}

Connection* Open() {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    const xcb_setup_t* setup = xcb_get_setup(c);
    auto screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(c);
        return nullptr;
    }
    auto* x = new Connection;
    x->connection = c;
    x->root = screens.data->root;
    x->rootWidth = screens.data->width_in_pixels;
    x->rootHeight = screens.data->height_in_pixels;
    x->capturable = RootIsCapturable(setup, screens.data);
    x->maximumRequestBytes = xcb_get_maximum_request_length(c) * 4;

    xcb_prefetch_extension_data(c, &xcb_randr_id);
    xcb_prefetch_extension_data(c, &xcb_xinerama_id);
    xcb_prefetch_extension_data(c, &xcb_shm_id);
    // The server answers monitor requests only to a client that announced RandR 1.5.
    if (Present(c, &xcb_randr_id)) {
        x->randr = true;
        x->randrFirstEvent = xcb_get_extension_data(c, &xcb_randr_id)->first_event;
        auto version =
            Owned(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
        x->monitors = version && (version->major_version > 1 ||
                                  (version->major_version == 1 && version->minor_version >= 5));
    }
    if (Present(c, &xcb_xinerama_id)) {
        auto active = Owned(xcb_xinerama_is_active_reply(c, xcb_xinerama_is_active(c), nullptr));
        x->xinerama = active && active->state;
    }
    if (Present(c, &xcb_shm_id) && IsLocal(c)) {
        auto version = Owned(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
        // Passing a segment as a file descriptor came with version 1.2.
        x->sharedMemory = version && (version->major_version > 1 ||
                                      (version->major_version == 1 && version->minor_version >= 2));
    }
    return x;
}

} // namespace

const Connection* TheConnection() {
    // Kept to the end of the process: captures on other threads may still be using it.
    static const Connection* const sConnection = Open();
    if (!sConnection || xcb_connection_has_error(sConnection->connection)) return nullptr;
    return sConnection;
}

} // namespace platform::coregraphics::x11
