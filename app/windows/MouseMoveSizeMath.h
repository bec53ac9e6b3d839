#pragma once

// The arithmetic of moving and resizing a window by mouse: which corner a point hits, where a
// move puts the window, and the frame a corner drag gives. Pure functions over the platform's
// coordinates (points, bottom-left origin, y up).
#include "platform/appkit/AppKitTypes.h"

#include <cstdint>
#include <functional>

namespace mousemovesize {

using platform::appkit::NSPoint;
using platform::appkit::NSRect;
using platform::appkit::NSSize;

enum NSWindow_HitTest : int32_t {
    kHitTestNone = 0,
    kHitTestTopLeft = 1,
    kHitTestTopRight = 2,
    kHitTestBottomLeft = 3,
    kHitTestBottomRight = 4,
};

// What a drag does on every pointer move; 0 while no drag runs.
enum SizeMode : int32_t {
    kSizeModeNone = 0,
    kSizeModeMove = 1,
    kSizeModeTopLeft = 2,
    kSizeModeTopRight = 3,
    kSizeModeBottomRight = 4,
    kSizeModeBottomLeft = 5,
};

// The four corner squares of the content bounds, tested in the order top-left, top-right,
// bottom-left, bottom-right; the first that holds the point wins.
NSWindow_HitTest HitTest(NSRect contentBounds, NSSize cornerSize, NSPoint location);
SizeMode SizeModeForHitRegion(NSWindow_HitTest region);

// The origin of a moved window. Unless noScreenClamp, its top edge stays below the top of
// mainScreen; the horizontal position is never clamped.
NSPoint MovedOrigin(NSPoint location, NSPoint dragOffset, NSSize frameSize, bool noScreenClamp,
                    NSRect mainScreen);

// Raised to minSize, lowered to maxSize, then passed through the aspect hook (which may leave
// the limits).
NSSize ConstrainedSize(NSSize size, NSSize minSize, NSSize maxSize,
                       const std::function<NSSize(NSSize)>& aspect);

// The frame of a corner drag: the two edges meeting at the dragged corner follow the pointer,
// and the opposite corner gives way to whatever size constrain returns.
NSRect CornerResizedFrame(SizeMode mode, NSRect startFrame, NSPoint startLocation, NSPoint location,
                          const std::function<NSSize(NSSize)>& constrain);

// Where a window of that size goes so as to cover nothing of outer, or failing that nothing of
// inner: beside, below or above it, whole on the screen with room for the window manager's title
// bar above it; the screen's top-left corner when there is no such place.
NSRect FrameClearOf(NSSize size, NSRect outer, NSRect inner, NSRect screen);

// The grab window's aspect hook: the grab view's width follows from its height (ratio > 0).
NSSize AspectConstrainedSize(NSSize size, float ratio, NSSize frameViewDelta);

} // namespace mousemovesize
