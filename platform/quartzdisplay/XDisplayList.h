#pragma once

// The displays of the X screen: RandR 1.5 monitors, or the Xinerama heads where RandR knows
// fewer monitors than there are heads (nested servers report only their first screen through
// RandR), or else the whole screen.
//
// The list is kept for the connection and asked for again when the server announces a RandR
// change, or a quarter of a second after it was last asked for (the server announces no change
// of the monitors a client defines itself). Every display call reads it, so that the several
// lookups of each broadcast frame seldom cost a round trip.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/XConnection.h"

#include <array>
#include <cstddef>
#include <optional>

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

DisplayList OnlineDisplayList(const Connection& x);

std::optional<Display> FindDisplay(const DisplayList& displays, CGDirectDisplayID id);

} // namespace platform::coregraphics::x11
