// The display list calls of the display services, all answered from the list kept for the
// connection (see XDisplayList.h).
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/XDisplayList.h"

#include <algorithm>

namespace platform::coregraphics {

namespace {

x11::DisplayList Displays() {
    const x11::Connection* x = x11::TheConnection();
    return x ? x11::OnlineDisplayList(*x) : x11::DisplayList{};
}

} // namespace

CGError CGGetOnlineDisplayList(CGDisplayCount maxDisplays, CGDirectDisplayID* onlineDisplays,
                               CGDisplayCount* displayCount) {
    if (!displayCount) return kCGErrorIllegalArgument;
    *displayCount = 0;
    const x11::DisplayList displays = Displays();
    if (displays.empty()) return kCGErrorFailure;
    if (!onlineDisplays) {
        *displayCount = CGDisplayCount(displays.size());
        return kCGErrorSuccess;
    }
    const size_t count = std::min<size_t>(maxDisplays, displays.size());
    for (size_t i = 0; i < count; ++i)
        onlineDisplays[i] = displays[i].id;
    *displayCount = CGDisplayCount(count);
    return kCGErrorSuccess;
}

CGDirectDisplayID CGMainDisplayID() {
    const x11::DisplayList displays = Displays();
    return displays.empty() ? kCGNullDirectDisplay : displays.front().id;
}

// The main display's top-left corner is the origin of the global display coordinates.
CGRect CGDisplayBounds(CGDirectDisplayID display) {
    const x11::DisplayList displays = Displays();
    const std::optional<x11::Display> found = x11::FindDisplay(displays, display);
    if (!found) return CGRectMake(0, 0, 0, 0);
    const x11::Display& main = displays.front();
    return CGRectMake(found->x - main.x, found->y - main.y, found->width, found->height);
}

size_t CGDisplayPixelsWide(CGDirectDisplayID display) {
    return size_t(CGDisplayBounds(display).size.width);
}

size_t CGDisplayPixelsHigh(CGDirectDisplayID display) {
    return size_t(CGDisplayBounds(display).size.height);
}

CGOpenGLDisplayMask CGDisplayIDToOpenGLDisplayMask(CGDirectDisplayID display) {
    const x11::DisplayList displays = Displays();
    for (size_t i = 0; i < displays.size(); ++i)
        if (displays[i].id == display) return CGOpenGLDisplayMask(1) << i;
    return 0;
}

} // namespace platform::coregraphics
