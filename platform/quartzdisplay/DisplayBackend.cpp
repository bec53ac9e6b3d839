#include "platform/quartzdisplay/DisplayBackend.h"

#include <algorithm>

namespace platform::coregraphics {

const DisplayBackend& TheDisplayBackend() {
    // X11 is the one desktop served; another one's backend is picked here, from the session.
    static const DisplayBackend& sBackend = X11DisplayBackend();
    return sBackend;
}

std::optional<ScreenDisplay> FindDisplay(const ScreenDisplayList& displays, CGDirectDisplayID id) {
    auto found = std::find_if(displays.begin(), displays.end(),
                              [id](const ScreenDisplay& d) { return d.id == id; });
    if (found == displays.end()) return std::nullopt;
    return *found;
}

} // namespace platform::coregraphics
