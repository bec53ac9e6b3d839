// The window requests the toolkit does not make for the layer, on the toolkit's own X connection.
#include "platform/appkit/WindowSystemBackend.h"
#include "platform/quartzdisplay/DisplayBackend.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QRegion>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace platform::appkit::x11 {

namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

xcb_connection_t* ToolkitConnection() {
    auto* x = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x ? x->connection() : nullptr;
}

xcb_connection_t* ConnectionOf(QWidget* window) {
    return window->testAttribute(Qt::WA_WState_Created) ? ToolkitConnection() : nullptr;
}

// Sends a window manager request about the window: a client message to the root.
void SendToManager(QWidget* window, const char* type, uint32_t d0, const char* d1, uint32_t d3) {
    xcb_connection_t* c = ConnectionOf(window);
    if (!c) return;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window->winId());
    message.type = Atom(c, type);
    message.data.data32[0] = d0;
    message.data.data32[1] = d1 ? Atom(c, d1) : 0;
    message.data.data32[3] = d3;
    xcb_send_event(c, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
}

class X11Windows final : public WindowSystemBackend {
public:
    // The toolkit is asked for its xcb platform unless told otherwise: a Wayland session offers
    // both, and the grabber must be a window of the X server whose screen is grabbed.
    std::string SessionProblem() override {
        const char* platform = std::getenv("QT_QPA_PLATFORM");
        if (!platform || !*platform) {
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        } else if (std::strncmp(platform, "xcb", 3) != 0 || (platform[3] && platform[3] != ':')) {
            return std::string("needs the X11 platform, but QT_QPA_PLATFORM is \"") + platform +
                   "\" (set it to xcb or unset it)";
        }
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) return "no X display: DISPLAY is not set";
        xcb_connection_t* connection = xcb_connect(display, nullptr);
        const bool reached = xcb_connection_has_error(connection) == 0;
        xcb_disconnect(connection);
        if (!reached) return std::string("cannot open the X display \"") + display + "\"";
        return {};
    }

    // 1 adds and 0 removes; the request comes from an application (1).
    void SetAbove(QWidget* window, bool above) override {
        SendToManager(window, "_NET_WM_STATE", above ? 1 : 0, "_NET_WM_STATE_ABOVE", 1);
    }

    // Source 2 (a pager or taskbar), at the current time.
    void Activate(QWidget* window) override {
        SendToManager(window, "_NET_ACTIVE_WINDOW", 2, nullptr, 0);
    }

    // Both questions go out before either answer is awaited: one round trip.
    std::optional<QRect> PlaceOnScreen(QWidget* window) override {
        xcb_connection_t* c = ConnectionOf(window);
        if (!c) return std::nullopt;
        const xcb_window_t id = xcb_window_t(window->winId());
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const xcb_get_geometry_cookie_t sizeAsked = xcb_get_geometry(c, id);
        const xcb_translate_coordinates_cookie_t placeAsked =
            xcb_translate_coordinates(c, id, root, 0, 0);
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> size(
            xcb_get_geometry_reply(c, sizeAsked, nullptr), &std::free);
        std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> place(
            xcb_translate_coordinates_reply(c, placeAsked, nullptr), &std::free);
        if (!size || !place) return std::nullopt;
        return QRect(place->dst_x, place->dst_y, size->width, size->height);
    }

    bool IsGeometryChange(const QByteArray& type, const void* event) override {
        return type == "xcb_generic_event_t" &&
               (static_cast<const xcb_generic_event_t*>(event)->response_type & 0x7F) ==
                   XCB_CONFIGURE_NOTIFY;
    }

    // The toolkit's xcb platform makes a widget's mask the X window's bounding shape, which is
    // also where clicks land.
    // Under Wayland the compositor draws a window's whole rectangle, shape or not: what the shape
    // leaves out is shown through only where the window is transparent there, and this must be
    // chosen before the window is made.
    void SetShape(QWidget* window, const QRegion& shown) override {
        if (!shown.isEmpty() && !window->testAttribute(Qt::WA_WState_Created) &&
            coregraphics::WaylandSession())
            window->setAttribute(Qt::WA_TranslucentBackground);
        if (shown.isEmpty()) {
            if (!window->mask().isEmpty()) window->clearMask();
        } else if (shown != window->mask()) {
            window->setMask(shown);
        }
    }

    // Any request with a reply will do: the server answers requests in order.
    void RoundTrip() override {
        if (xcb_connection_t* c = ToolkitConnection())
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
};

} // namespace

} // namespace platform::appkit::x11

namespace platform::appkit {

WindowSystemBackend& X11WindowSystem() {
    static WindowSystemBackend* const sBackend = new x11::X11Windows;
    return *sBackend;
}

} // namespace platform::appkit
