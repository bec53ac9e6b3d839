#include "platform/carbon/HotKeyBackend.h"

namespace platform::carbon {

HotKeyBackend& TheHotKeyBackend() {
    // A desktop that keeps global shortcuts itself gets the keys, under X11 too: there its service
    // grabs the keys already, and the user sees and may change them in the desktop's settings.
    static HotKeyBackend& sBackend = [&]() -> HotKeyBackend& {
        HotKeyBackend* service = ShortcutServiceHotKeyBackend();
        return service ? *service : X11HotKeyBackend();
    }();
    return sBackend;
}

} // namespace platform::carbon
