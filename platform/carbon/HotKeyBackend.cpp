#include "platform/carbon/HotKeyBackend.h"

namespace platform::carbon {

HotKeyBackend& TheHotKeyBackend() {
    // X11 is the one desktop served; another one's backend is picked here, from the session.
    static HotKeyBackend& sBackend = X11HotKeyBackend();
    return sBackend;
}

} // namespace platform::carbon
