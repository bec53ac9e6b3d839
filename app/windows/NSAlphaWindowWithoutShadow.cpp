#include "app/windows/NSAlphaWindowWithoutShadow.h"

#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

using namespace platform::coregraphics;

NSAlphaWindowWithoutShadow::NSAlphaWindowWithoutShadow(NSRect contentRect, NSUInteger, NSUInteger,
                                                       bool)
    : NSWindow(contentRect, NSBorderlessWindowMask, NSBackingStoreBuffered, false) {
    setBackgroundColor(NSColor::clearColor());
    setLevel(CGWindowLevelForKey(kCGNormalWindowLevelKey));
    setAlphaValue(1.0);
    setOpaque(false);
    setHasShadow(false);
}
