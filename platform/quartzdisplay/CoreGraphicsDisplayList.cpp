// The display list calls of the display services, all answered from the backend's list.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/DisplayBackend.h"

#include <algorithm>

namespace platform::coregraphics {

namespace {

ScreenDisplayList Displays() {
    return TheDisplayBackend().Displays();
}

} // namespace

CGError CGGetOnlineDisplayList(CGDisplayCount maxDisplays, CGDirectDisplayID* onlineDisplays,
                               CGDisplayCount* displayCount) {
    if (!displayCount) return kCGErrorIllegalArgument;
    *displayCount = 0;
    const ScreenDisplayList displays = Displays();
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
    const ScreenDisplayList displays = Displays();
    return displays.empty() ? kCGNullDirectDisplay : displays.front().id;
}

// The main display's top-left corner is the origin of the global display coordinates.
CGRect CGDisplayBounds(CGDirectDisplayID display) {
    const ScreenDisplayList displays = Displays();
    const std::optional<ScreenDisplay> found = FindDisplay(displays, display);
    if (!found) return CGRectMake(0, 0, 0, 0);
    const ScreenDisplay& main = displays.front();
    return CGRectMake(found->x - main.x, found->y - main.y, found->width, found->height);
}

size_t CGDisplayPixelsWide(CGDirectDisplayID display) {
    return size_t(CGDisplayBounds(display).size.width);
}

size_t CGDisplayPixelsHigh(CGDirectDisplayID display) {
    return size_t(CGDisplayBounds(display).size.height);
}

CGOpenGLDisplayMask CGDisplayIDToOpenGLDisplayMask(CGDirectDisplayID display) {
    const ScreenDisplayList displays = Displays();
    for (size_t i = 0; i < displays.size(); ++i)
        if (displays[i].id == display) return CGOpenGLDisplayMask(1) << i;
    return 0;
}

} // namespace platform::coregraphics
