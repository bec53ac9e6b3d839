#pragma once

// The displays of the X screen: RandR 1.5 monitors, or the Xinerama heads where RandR knows
// fewer monitors than there are heads (nested servers report only their first screen through
// RandR), or else the whole screen.
//
// The list is kept for the connection and asked for again when the server announces a RandR
// change, or a quarter of a second after it was last asked for (the server announces no change
// of the monitors a client defines itself). Every display call reads it, so that the several
// lookups of each broadcast frame seldom cost a round trip.
#include "platform/quartzdisplay/DisplayBackend.h"
#include "platform/quartzdisplay/XConnection.h"

namespace platform::coregraphics::x11 {

// Screen pixels are root window pixels.
using Display = ScreenDisplay;
using DisplayList = ScreenDisplayList;

DisplayList OnlineDisplayList(const Connection& x);

} // namespace platform::coregraphics::x11
