#pragma once

// Displays in the platform's screen coordinates (points, origin at the bottom-left of the main
// display, y up) and the conversion to the X server's root-window pixels (origin top-left, y
// down). The main display need not sit at the root window's origin.
#include "platform/appkit/AppKitTypes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform::appkit {

class NSScreen {
public:
    static std::optional<NSScreen> mainScreen();
    static std::vector<NSScreen> screens();
    // The display holding the greater part of the rectangle, if any part lies on one.
    static std::optional<NSScreen> screenForRect(NSRect rect);

    NSRect frame() const { return mFrame; }
    // "NSScreenNumber": the display identifier of the display services.
    std::map<std::string, uint32_t> deviceDescription() const {
        return {{"NSScreenNumber", mDisplay}};
    }

private:
    uint32_t mDisplay = 0;
    NSRect mFrame{};
};

// The layer's boundary conversions.
namespace screens {
struct RootRect {
    int x, y, width, height;
};
RootRect ToRoot(NSRect rect);
NSRect FromRoot(RootRect rect);
NSPoint FromRootPoint(double x, double y);
} // namespace screens

} // namespace platform::appkit
