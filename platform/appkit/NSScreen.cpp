#include "platform/appkit/NSScreen.h"

#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/DisplayBackend.h"

#include <cmath>

namespace platform::appkit {

namespace cg = platform::coregraphics;

namespace {

// The main display's rectangle in root pixels; the whole of a 1x1 screen without a server.
screens::RootRect MainInRoot() {
    const cg::ScreenDisplayList displays = cg::TheDisplayBackend().Displays();
    if (displays.empty()) return {0, 0, 1, 1};
    const cg::ScreenDisplay& d = displays.front();
    return {d.x, d.y, d.width, d.height};
}

} // namespace

namespace screens {

RootRect ToRoot(NSRect r) {
    const RootRect main = MainInRoot();
    const double top = main.height - (r.origin.y + r.size.height);
    return {main.x + int(std::lround(r.origin.x)), main.y + int(std::lround(top)),
            int(std::lround(r.size.width)), int(std::lround(r.size.height))};
}

NSRect FromRoot(RootRect r) {
    const RootRect main = MainInRoot();
    return NSMakeRect(r.x - main.x, main.height - (r.y - main.y) - r.height, r.width, r.height);
}

NSPoint FromRootPoint(double x, double y) {
    const RootRect main = MainInRoot();
    return NSMakePoint(x - main.x, main.height - (y - main.y));
}

} // namespace screens

std::vector<NSScreen> NSScreen::screens() {
    std::vector<NSScreen> all;
    cg::CGDirectDisplayID ids[cg::kCGMaxDisplays];
    cg::CGDisplayCount count = 0;
    if (cg::CGGetOnlineDisplayList(cg::kCGMaxDisplays, ids, &count) != cg::kCGErrorSuccess)
        return all;
    const double mainHeight = cg::CGDisplayBounds(ids[0]).size.height;
    for (cg::CGDisplayCount i = 0; i < count; ++i) {
        const cg::CGRect b = cg::CGDisplayBounds(ids[i]);
        NSScreen screen;
        screen.mDisplay = ids[i];
        screen.mFrame = NSMakeRect(b.origin.x, mainHeight - (b.origin.y + b.size.height),
                                   b.size.width, b.size.height);
        all.push_back(screen);
    }
    return all;
}

std::optional<NSScreen> NSScreen::mainScreen() {
    const std::vector<NSScreen> all = screens();
    if (all.empty()) return std::nullopt;
    return all.front();
}

std::optional<NSScreen> NSScreen::screenForRect(NSRect rect) {
    std::optional<NSScreen> best;
    double bestArea = 0;
    for (const NSScreen& s : screens()) {
        const NSRect common = NSIntersectionRect(rect, s.frame());
        const double area = common.size.width * common.size.height;
        if (area > bestArea) best = s, bestArea = area;
    }
    return best;
}

} // namespace platform::appkit
