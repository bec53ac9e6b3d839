#pragma once

// The display services' own connection to the Wayland compositor: its outputs, placed in the
// compositor's layout (which is XWayland's coordinate space, where the grabber lives), and the
// globals a screen copy needs. One per process, opened on first use; callers hold its lock.
#include "platform/quartzdisplay/DisplayBackend.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

struct wl_display;
struct wl_registry;
struct wl_output;
struct wl_shm;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_screencopy_manager_v1;

namespace platform::coregraphics::wayland {

struct Output {
    uint32_t name = 0; // the registry's, never 0: the display's id; 0 for a free place
    wl_output* output = nullptr;
    zxdg_output_v1* logical = nullptr;
    int x = 0, y = 0, width = 0, height = 0; // in the layout
    int32_t transform = 0;                   // a rotated output's buffers are not upright
};

struct Connection {
    std::mutex lock;
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_shm* shm = nullptr;
    zxdg_output_manager_v1* outputManager = nullptr;
    zwlr_screencopy_manager_v1* screenCopy = nullptr;
    uint32_t screenCopyVersion = 0;
    std::array<Output, kCGMaxDisplays> outputs{};
    bool lost = false;
};

// The compositor's connection, or null with why it cannot serve (no compositor, no screen copy).
// Asked once: later calls give the same answer.
Connection* TheConnection(std::string& why);

// Handles what the compositor sent, waiting up to timeoutMs for the first of it. False once the
// connection is lost.
bool Dispatch(Connection& c, int timeoutMs);

// The outputs as the compositor last described them, the one at the layout's origin first.
ScreenDisplayList OutputList(const Connection& c);

} // namespace platform::coregraphics::wayland
