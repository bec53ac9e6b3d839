#include "platform/appkit/X11Window.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
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

// Sends a window manager request about the window: a client message to the root.
void SendToManager(QWidget* window, const char* type, uint32_t d0, const char* d1, uint32_t d3) {
    auto* x = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x || !window->testAttribute(Qt::WA_WState_Created)) return;
    xcb_connection_t* c = x->connection();
    if (!c) return; // a platform that only imitates X11's interface
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

} // namespace

// 1 adds and 0 removes; the request comes from an application (1).
void SetAbove(QWidget* window, bool above) {
    SendToManager(window, "_NET_WM_STATE", above ? 1 : 0, "_NET_WM_STATE_ABOVE", 1);
}

// Source 2 (a pager or taskbar), at the current time.
void Activate(QWidget* window) {
    SendToManager(window, "_NET_ACTIVE_WINDOW", 2, nullptr, 0);
}

} // namespace platform::appkit::x11
