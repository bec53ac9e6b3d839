#include "app/shell/LaunchRequests.h"

#include "app/broadcast/GrabBroadcastControl.h"
#include "app/shell/GrabberController.h"
#include "app/shell/Product.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

#include <string_view>

using namespace platform::appkit;

namespace {

// The grab actions by option: the hot keys' selectors.
struct GrabRequest {
    const char* option;
    const char* selector;
};
constexpr GrabRequest kGrabRequests[] = {{"grab-save", "grabQuickSave:"},
                                         {"grab-screen-save", "grabScreenQuickSave:"},
                                         {"grab-copy", "grabAndCopy:"},
                                         {"grab-screen-copy", "grabScreenAndCopy:"}};

std::string Check(const NSLaunchRequest& request) {
    if (request.name == "broadcast" && request.value != "on" && request.value != "off")
        return "--broadcast takes on or off, not '" + request.value + "'";
    return {};
}

std::string Perform(const NSLaunchRequest& request) {
    auto* c = dynamic_cast<GrabberController*>(NSApp() ? NSApp()->delegate() : nullptr);
    if (!c || !c->mGrabWindow) return "Vistrel is still starting";
    if (request.name == "show") {
        c->mGrabWindow->makeKeyAndOrderFront(nullptr);
        return {};
    }
    if (request.name == "broadcast") {
        const bool on = request.value == "on";
        if (!c->_broadcastControl) return "Vistrel has no broadcast";
        c->_broadcastControl->setBroadcastEnabled(on);
        if (c->_broadcastControl->isBroadcasting() != on)
            return on ? "the broadcast did not start: the camera component could not be installed "
                        "or loaded (see the system log)"
                      : "the broadcast did not stop";
        return {};
    }
    for (const GrabRequest& grab : kGrabRequests) {
        if (request.name != grab.option) continue;
        const NSBitmapImageRep* before = c->grabbedBitmapImageRep();
        c->performSelector(NSSelectorFromString(grab.selector), c);
        // A grab that gave no image keeps the previous one and saves or copies nothing new.
        if (!c->hasGrabbedImage() || c->grabbedBitmapImageRep() == before) {
            const std::string problem = platform::coregraphics::CGDisplayImageProblem();
            return "nothing was grabbed: " +
                   (problem.empty() ? "the grabber lies off every display" : problem);
        }
        return {};
    }
    return "unknown request " + request.name;
}

} // namespace

const NSApplicationLaunch& VistrelLaunch() {
    static const NSApplicationLaunch launch{
        "vistrel",
        kProductVersion,
        "The screen-region grabber and virtual camera. A launch while Vistrel runs shows its "
        "grabber; an action is carried out by the running Vistrel, started first if need be.",
        {{"show", nullptr, "Shows the grabber and brings it to the front."},
         {"grab-save", nullptr, "Grabs the rectangle under the grabber and quick-saves it."},
         {"grab-screen-save", nullptr, "Grabs the grabber's whole display and quick-saves it."},
         {"grab-copy", nullptr, "Grabs the rectangle and copies it to the clipboard."},
         {"grab-screen-copy", nullptr, "Grabs the whole display and copies it."},
         {"broadcast", "on|off", "Starts or stops the broadcast to the camera."}},
        Check,
        Perform};
    return launch;
}
