#include "platform/quartzdisplay/DisplayBackend.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform::coregraphics {

bool WaylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return (type && std::strcmp(type, "wayland") == 0) || (display && *display);
}

namespace {

DisplayServicesHooks& Hooks() {
    static DisplayServicesHooks sHooks;
    return sHooks;
}

// Under Wayland the grabber is an X11 window all the same, but XWayland's screen holds only the
// X11 windows: the pixels come from the compositor where it can give them, else through the
// desktop portal.
const DisplayBackend& Choose() {
    if (!WaylandSession()) return X11DisplayBackend();
    std::string why, portalWhy;
    if (const DisplayBackend* backend = WaylandDisplayBackend(why)) return *backend;
    if (const DisplayBackend* backend = PortalDisplayBackend(portalWhy)) return *backend;
    if (!portalWhy.empty()) why += " and " + portalWhy;
    std::fprintf(stderr,
                 "vistrel: %s; capturing through XWayland, where native Wayland windows do not "
                 "show\n",
                 why.c_str());
    if (Hooks().tellUser)
        Hooks().tellUser("Native Wayland windows will not show",
                         "Vistrel captures through XWayland, which holds only X11 windows: " + why +
                             ".");
    return X11DisplayBackend();
}

} // namespace

void SetDisplayServicesHooks(DisplayServicesHooks hooks) {
    Hooks() = std::move(hooks);
}

const DisplayServicesHooks& TheDisplayServicesHooks() {
    return Hooks();
}

const DisplayBackend& TheDisplayBackend() {
    static const DisplayBackend& sBackend = Choose();
    return sBackend;
}

std::optional<ScreenDisplay> FindDisplay(const ScreenDisplayList& displays, CGDirectDisplayID id) {
    auto found = std::find_if(displays.begin(), displays.end(),
                              [id](const ScreenDisplay& d) { return d.id == id; });
    if (found == displays.end()) return std::nullopt;
    return *found;
}

} // namespace platform::coregraphics
