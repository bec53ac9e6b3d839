#pragma once

// The displays of the X screen: RandR 1.5 monitors, or the Xinerama heads where RandR knows
// fewer monitors than there are heads (nested servers report only their first screen through
// RandR), or else the whole screen.
//
// The list is kept for the connection. The grab path reads the kept list, which is asked for
// again when the server announces a RandR change, or a quarter of a second after it was last
// asked for (the server announces no change of the monitors a client defines itself), so that a
// grab seldom costs a round trip. Calls that list displays for people ask the server each time,
// which also brings the kept list up to date.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/XConnection.h"

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

namespace platform::coregraphics::x11 {

struct Display {
    CGDirectDisplayID id;
    // In root window pixels.
    int x, y, width, height;
};

// At most kCGMaxDisplays, the main display first; a plain value, so a copy allocates nothing.
struct DisplayList {
    std::array<Display, kCGMaxDisplays> displays{};
    size_t count = 0;

    bool empty() const { return count == 0; }
    size_t size() const { return count; }
    const Display& operator[](size_t i) const { return displays[i]; }
    const Display& front() const { return displays[0]; }
    const Display* begin() const { return displays.data(); }
    const Display* end() const { return displays.data() + count; }
};

enum class Freshness { kKept, kAsk };
DisplayList OnlineDisplayList(const Connection& x, Freshness freshness);
// Asked for now, as a vector.
std::vector<Display> OnlineDisplays(const Connection& x);

std::optional<Display> FindDisplay(const DisplayList& displays, CGDirectDisplayID id);

} // namespace platform::coregraphics::x11
