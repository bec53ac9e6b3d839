#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

#include <climits>
#include <cstdint>

namespace platform::coregraphics {

namespace {

// The platform reserves a few levels at each end of the range for itself.
constexpr CGWindowLevel kBase = INT32_MIN;
constexpr CGWindowLevel kMinimum = kBase + 5;
constexpr CGWindowLevel kDesktop = kMinimum + 20;
constexpr CGWindowLevel kMaximum = INT32_MAX - 16;

constexpr CGWindowLevel kLevels[kCGNumberOfWindowLevelKeys] = {
    kBase,         // kCGBaseWindowLevelKey
    kMinimum,      // kCGMinimumWindowLevelKey
    kDesktop,      // kCGDesktopWindowLevelKey
    -20,           // kCGBackstopMenuLevelKey
    0,             // kCGNormalWindowLevelKey
    3,             // kCGFloatingWindowLevelKey
    3,             // kCGTornOffMenuWindowLevelKey
    20,            // kCGDockWindowLevelKey
    24,            // kCGMainMenuWindowLevelKey
    25,            // kCGStatusWindowLevelKey
    8,             // kCGModalPanelWindowLevelKey
    101,           // kCGPopUpMenuWindowLevelKey
    500,           // kCGDraggingWindowLevelKey
    1000,          // kCGScreenSaverWindowLevelKey
    kMaximum,      // kCGMaximumWindowLevelKey
    102,           // kCGOverlayWindowLevelKey
    200,           // kCGHelpWindowLevelKey
    19,            // kCGUtilityWindowLevelKey
    kDesktop + 20, // kCGDesktopIconWindowLevelKey
    kMaximum - 1,  // kCGCursorWindowLevelKey
    1500,          // kCGAssistiveTechHighWindowLevelKey
};

} // namespace

CGWindowLevel CGWindowLevelForKey(CGWindowLevelKey key) {
    if (key < 0 || key >= kCGNumberOfWindowLevelKeys) return kLevels[kCGNormalWindowLevelKey];
    return kLevels[key];
}

} // namespace platform::coregraphics
