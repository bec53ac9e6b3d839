#include "platform/appkit/WindowSystemBackend.h"

namespace platform::appkit {

WindowSystemBackend& TheWindowSystem() {
    // X11 is the one window server served; another one's backend is picked here, once.
    static WindowSystemBackend& sBackend = X11WindowSystem();
    return sBackend;
}

} // namespace platform::appkit
