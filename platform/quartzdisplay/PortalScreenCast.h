#pragma once

// The desktop portal's screen cast of every monitor, asked for on the session bus: the user is
// asked once, and the restore token the portal gives back is kept in the application's settings
// and passed on the next start, which then asks nobody. The monitors' pictures come as PipeWire
// streams read through the remote the portal opens.
#include "platform/quartzdisplay/DisplayBackend.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _GVariant GVariant;

namespace platform::coregraphics::portal {

// A monitor's stream as the portal describes it: its PipeWire node, and its place and size in
// the compositor's layout (a size of 0 where the portal gave none).
struct Stream {
    uint32_t node = 0;
    bool placed = false;
    int x = 0, y = 0, width = 0, height = 0;
};

// A started screen cast. It lasts as long as the bus connection it was asked on: dropping the
// session drops that connection, which ends the cast.
struct ScreenCast {
    std::shared_ptr<void> session;
    int remote = -1; // the PipeWire remote's descriptor, for whoever takes it
    std::vector<Stream> streams;
    ~ScreenCast();
};

// Asks the portal for every monitor; false with why, which is empty where there is no session
// bus to ask on. Every wait is bounded; the user's answer is waited for the longest.
bool StartScreenCast(ScreenCast& cast, std::string& why);

// The monitors' streams of the portal's answer (a(ua{sv})); what is not a monitor's, or not
// described as the portal describes it, is left out.
std::vector<Stream> MonitorStreams(GVariant* streams);

// The displays the streams show, each stream's id its index + 1, the one at the layout's origin
// first; streams the portal did not place lie side by side right of those it did.
ScreenDisplayList PlaceStreams(const std::vector<Stream>& streams);

} // namespace platform::coregraphics::portal
