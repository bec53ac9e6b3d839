#pragma once

// The process's one connection to the X server named by $DISPLAY, with what the display
// services need to know about it. Opened on first use; a failed open is not retried.
#include <cstdint>
#include <xcb/xcb.h>

namespace platform::coregraphics::x11 {

struct Connection {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    uint16_t rootWidth = 0, rootHeight = 0;
    // RandR (its events numbered from randrFirstEvent), RandR 1.5 monitors, Xinerama heads and
    // MIT-SHM are there to be used.
    bool randr = false;
    uint8_t randrFirstEvent = 0;
    bool monitors = false;
    bool xinerama = false;
    // Segments are passed as file descriptors, so only a server on this machine gets them.
    bool sharedMemory = false;
    // The root window's pixels arrive as 32-bit little-endian words 0x??RRGGBB.
    bool capturable = false;
    // The largest request, in bytes, the server takes.
    uint32_t maximumRequestBytes = 0;
};

// Null when there is no X server to talk to, or the connection has since broken.
const Connection* TheConnection();

} // namespace platform::coregraphics::x11
