#include "tests/support/XWindows.h"

#include "tests/support/TestSupport.h"
#include "tests/support/XClient.h"
#include "tests/support/XServer.h"

#include <xcb/shape.h>

#include <algorithm>
#include <chrono>
#include <unistd.h>

namespace testsupport {

std::optional<RootBox> RootGeometry(const std::string& display, uint32_t window) {
    XClient x(display);
    if (!x.Ok()) return std::nullopt;
    Reply<xcb_get_geometry_reply_t> g(
        xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        x.c, xcb_translate_coordinates(x.c, window, x.Root(), 0, 0), nullptr));
    if (!g || !at) return std::nullopt;
    return RootBox{at->dst_x, at->dst_y, g->width, g->height};
}

std::optional<std::vector<RootBox>> BoundingShape(const std::string& display, uint32_t window) {
    XClient x(display);
    Reply<xcb_shape_query_extents_reply_t> extents(
        xcb_shape_query_extents_reply(x.c, xcb_shape_query_extents(x.c, window), nullptr));
    if (!extents || !extents->bounding_shaped) return std::nullopt;
    Reply<xcb_shape_get_rectangles_reply_t> shape(xcb_shape_get_rectangles_reply(
        x.c, xcb_shape_get_rectangles(x.c, window, XCB_SHAPE_SK_BOUNDING), nullptr));
    if (!shape) return std::nullopt;
    std::vector<RootBox> boxes;
    const xcb_rectangle_t* r = xcb_shape_get_rectangles_rectangles(shape.get());
    for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(shape.get()); ++i)
        boxes.push_back({r[i].x, r[i].y, r[i].width, r[i].height});
    return boxes;
}

bool KeptAbove(const std::string& display, uint32_t window) {
    XClient x(display);
    const std::vector<uint32_t> states = x.Words(window, "_NET_WM_STATE", XCB_ATOM_ATOM);
    return x.Ok() && std::count(states.begin(), states.end(), x.Atom("_NET_WM_STATE_ABOVE")) == 1;
}

bool StackedAbove(const std::string& display, uint32_t a, uint32_t b) {
    XClient x(display);
    const std::vector<uint32_t> order =
        x.Words(x.Root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW);
    const auto ia = std::find(order.begin(), order.end(), a);
    const auto ib = std::find(order.begin(), order.end(), b);
    return ia != order.end() && ib != order.end() && ia > ib;
}

uint32_t RootPixel(const std::string& display, int x, int y) {
    XClient c(display);
    Reply<xcb_get_image_reply_t> r(xcb_get_image_reply(
        c.c,
        xcb_get_image(c.c, XCB_IMAGE_FORMAT_Z_PIXMAP, c.Root(), int16_t(x), int16_t(y), 1, 1, ~0u),
        nullptr));
    const auto* data = r ? reinterpret_cast<const uint32_t*>(xcb_get_image_data(r.get())) : nullptr;
    return data && xcb_get_image_data_length(r.get()) >= 4 ? *data & 0xFFFFFFu : 0xFFFFFFFFu;
}

namespace {
ProcessResult RunXdotool(const std::string& display, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{XServer::ProgramPath("xdotool")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv[0].empty() ? ProcessResult{} : RunProcess(argv, {"DISPLAY=" + display});
}
} // namespace

bool Xdotool(const std::string& display, const std::vector<std::string>& arguments) {
    return RunXdotool(display, arguments).exitCode == 0;
}

uint32_t XdotoolWindow(const std::string& display, const std::vector<std::string>& arguments) {
    const ProcessResult run = RunXdotool(display, arguments);
    return run.exitCode == 0 && !run.out.empty() ? uint32_t(std::stoul(run.out)) : 0;
}

std::vector<std::string> DragSteps(int x, int y, int dx, int dy) {
    const auto at = [](int v) { return std::to_string(v); };
    return {"mousemove", at(x),       at(y),          "mousedown",
            "1",         "mousemove", at(x + dx / 2), at(y + dy / 2),
            "mousemove", at(x + dx),  at(y + dy),     "mouseup",
            "1"};
}

PatternWindow::PatternWindow(const std::string& display, RootBox where, uint32_t seed)
    : mX(std::make_unique<XClient>(display)), mWhere(where),
      mPattern(TestPattern(where.width, where.height, seed)) {
    xcb_connection_t* c = mX->c;
    if (!mX->Ok()) return;
    xcb_screen_t* screen = mX->Screen();
    mPixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, mPixmap, screen->root, uint16_t(where.width),
                      uint16_t(where.height));
    if (!mX->PutPixels(mPixmap, 0, 0, where.width, where.height, mPattern.data())) return;
    mWindow = xcb_generate_id(c);
    const uint32_t values[] = {mPixmap, 1, XCB_EVENT_MASK_BUTTON_PRESS};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, mWindow, screen->root, int16_t(where.x),
                      int16_t(where.y), uint16_t(where.width), uint16_t(where.height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(c, mWindow);
    const uint32_t below = XCB_STACK_MODE_BELOW;
    xcb_configure_window(c, mWindow, XCB_CONFIG_WINDOW_STACK_MODE, &below);
    mShown = mX->Sync();
}

PatternWindow::~PatternWindow() {
    if (mX->Ok() && mWindow) {
        xcb_destroy_window(mX->c, mWindow);
        xcb_free_pixmap(mX->c, mPixmap);
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

// The tray's window and selection go with its connection.
XEmbedTray::XEmbedTray(const std::string& display) : mX(std::make_unique<XClient>(display)) {
    xcb_connection_t* c = mX->c;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, mX->Root(), -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t selection = mX->Atom("_NET_SYSTEM_TRAY_S0");
    xcb_set_selection_owner(c, window, selection, XCB_CURRENT_TIME);
    xcb_client_message_event_t manager{};
    manager.response_type = XCB_CLIENT_MESSAGE;
    manager.format = 32;
    manager.window = mX->Root();
    manager.type = mX->Atom("MANAGER");
    manager.data.data32[1] = selection;
    manager.data.data32[2] = window;
    xcb_send_event(c, 0, mX->Root(), XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&manager));
    mX->Sync();
}

uint32_t XEmbedTray::DockRequest(double waitSeconds) {
    const xcb_atom_t opcode = mX->Atom("_NET_SYSTEM_TRAY_OPCODE");
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
    while (std::chrono::steady_clock::now() < end) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(mX->c)) {
            Reply<xcb_generic_event_t> held(event);
            const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(event);
            // Opcode 0 asks to dock the window in data[2].
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && m->type == opcode &&
                m->data.data32[1] == 0)
                return m->data.data32[2];
        }
        ::usleep(20000);
    }
    return 0;
}

} // namespace testsupport
