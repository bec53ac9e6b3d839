#include "tests/support/XWindows.h"

#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <xcb/xcb.h>

namespace testsupport {

namespace {

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, Free>;

struct Client {
    explicit Client(const std::string& display) : c(xcb_connect(display.c_str(), nullptr)) {}
    ~Client() { xcb_disconnect(c); }
    Client(const Client&) = delete;
    bool Ok() const { return !xcb_connection_has_error(c); }
    xcb_window_t Root() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }
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
    xcb_connection_t* c;
};

} // namespace

std::optional<RootBox> RootGeometry(const std::string& display, uint32_t window) {
    Client x(display);
    if (!x.Ok()) return std::nullopt;
    Reply<xcb_get_geometry_reply_t> g(
        xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        x.c, xcb_translate_coordinates(x.c, window, x.Root(), 0, 0), nullptr));
    if (!g || !at) return std::nullopt;
    return RootBox{at->dst_x, at->dst_y, g->width, g->height};
}

std::vector<std::string> NetWmState(const std::string& display, uint32_t window) {
    Client x(display);
    std::vector<std::string> names;
    if (!x.Ok()) return names;
    for (const uint32_t atom : x.Words(window, "_NET_WM_STATE", XCB_ATOM_ATOM)) {
        Reply<xcb_get_atom_name_reply_t> name(
            xcb_get_atom_name_reply(x.c, xcb_get_atom_name(x.c, atom), nullptr));
        if (name)
            names.emplace_back(xcb_get_atom_name_name(name.get()),
                               size_t(xcb_get_atom_name_name_length(name.get())));
    }
    return names;
}

std::vector<uint32_t> ClientStacking(const std::string& display) {
    Client x(display);
    return x.Ok() ? x.Words(x.Root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW)
                  : std::vector<uint32_t>{};
}

bool StackedAbove(const std::string& display, uint32_t a, uint32_t b) {
    const std::vector<uint32_t> order = ClientStacking(display);
    const auto ia = std::find(order.begin(), order.end(), a);
    const auto ib = std::find(order.begin(), order.end(), b);
    return ia != order.end() && ib != order.end() && ia > ib;
}

bool Xdotool(const std::string& display, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{XServer::ProgramPath("xdotool")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return !argv[0].empty() && RunProcess(argv, {"DISPLAY=" + display}).exitCode == 0;
}

struct PatternWindow::Connection : Client {
    using Client::Client;
    xcb_window_t window = 0;
    xcb_pixmap_t pixmap = 0;
};

PatternWindow::PatternWindow(const std::string& display, RootBox where, uint32_t seed)
    : mX(std::make_unique<Connection>(display)), mWhere(where),
      mPattern(TestPattern(where.width, where.height, seed)) {
    xcb_connection_t* c = mX->c;
    if (!mX->Ok()) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    mX->pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, mX->pixmap, screen->root, uint16_t(where.width),
                      uint16_t(where.height));
    xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, mX->pixmap, 0, nullptr);
    const size_t limit = size_t(xcb_get_maximum_request_length(c)) * 4 - 24;
    const int band = std::max(1, int(limit / (size_t(where.width) * 4)));
    for (int row = 0; row < where.height; row += band) {
        const int rows = std::min(band, where.height - row);
        xcb_put_image(
            c, XCB_IMAGE_FORMAT_Z_PIXMAP, mX->pixmap, gc, uint16_t(where.width), uint16_t(rows), 0,
            int16_t(row), 0, screen->root_depth, uint32_t(size_t(where.width) * size_t(rows) * 4),
            reinterpret_cast<const uint8_t*>(mPattern.data() + size_t(row) * size_t(where.width)));
    }
    xcb_free_gc(c, gc);
    mX->window = xcb_generate_id(c);
    const uint32_t values[] = {mX->pixmap, 1, XCB_EVENT_MASK_BUTTON_PRESS};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, mX->window, screen->root, int16_t(where.x),
                      int16_t(where.y), uint16_t(where.width), uint16_t(where.height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(c, mX->window);
    const uint32_t below = XCB_STACK_MODE_BELOW;
    xcb_configure_window(c, mX->window, XCB_CONFIG_WINDOW_STACK_MODE, &below);
    Reply<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    mShown = sync && mX->Ok();
}

PatternWindow::~PatternWindow() {
    if (mX->Ok() && mX->window) {
        xcb_destroy_window(mX->c, mX->window);
        xcb_free_pixmap(mX->c, mX->pixmap);
        xcb_flush(mX->c);
    }
}

uint32_t PatternWindow::At(int x, int y) const {
    return mPattern[size_t(y) * size_t(mWhere.width) + size_t(x)];
}

int PatternWindow::Presses(double waitSeconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
    const int before = mPresses;
    while (mX->Ok()) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(mX->c)) {
            if ((event->response_type & 0x7F) == XCB_BUTTON_PRESS) ++mPresses;
            std::free(event);
        }
        if (mPresses > before || std::chrono::steady_clock::now() >= deadline) break;
        ::usleep(10000);
    }
    return mPresses;
}

} // namespace testsupport
