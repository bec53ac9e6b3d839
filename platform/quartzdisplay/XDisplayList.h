#pragma once

// The displays of the X screen as they are now: RandR 1.5 monitors, or the Xinerama heads
// where RandR knows fewer monitors than there are heads (nested servers report only their first
// screen through RandR), or else the whole screen.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/XConnection.h"

#include <optional>
#include <vector>

namespace platform::coregraphics::x11 {

struct Display {
    CGDirectDisplayID id;
    // In root window pixels.
    int x, y, width, height;
};

// The main display comes first; at most kCGMaxDisplays.
std::vector<Display> OnlineDisplays(const Connection& x);

std::optional<Display> FindDisplay(const std::vector<Display>& displays, CGDirectDisplayID id);

} // namespace platform::coregraphics::x11
