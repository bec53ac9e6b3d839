#pragma once

// The platform's geometry, event and modifier values as the system's code uses them. Screen and
// window coordinates are points with the origin at the bottom-left and y growing upwards; the
// layer converts them to the X server's top-left pixels at its boundary.
#include "platform/coregraphics/CoreGraphicsDrawing.h"

#include <cstdint>

namespace platform::appkit {

using CGFloat = coregraphics::CGFloat;
using NSPoint = coregraphics::CGPoint;
using NSSize = coregraphics::CGSize;
using NSRect = coregraphics::CGRect;
using NSInteger = long;
using NSUInteger = unsigned long;

inline NSPoint NSMakePoint(CGFloat x, CGFloat y) {
    return NSPoint{x, y};
}
inline NSSize NSMakeSize(CGFloat w, CGFloat h) {
    return NSSize{w, h};
}
inline NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h) {
    return NSRect{{x, y}, {w, h}};
}
inline bool NSEqualPoints(NSPoint a, NSPoint b) {
    return a.x == b.x && a.y == b.y;
}
inline bool NSEqualSizes(NSSize a, NSSize b) {
    return a.width == b.width && a.height == b.height;
}
inline bool NSEqualRects(NSRect a, NSRect b) {
    return NSEqualPoints(a.origin, b.origin) && NSEqualSizes(a.size, b.size);
}
// Half-open on the far edges, like the platform's test for a non-flipped view.
inline bool NSPointInRect(NSPoint p, NSRect r) {
    return p.x >= r.origin.x && p.y >= r.origin.y && p.x < r.origin.x + r.size.width &&
           p.y < r.origin.y + r.size.height;
}
inline CGFloat NSMaxX(NSRect r) {
    return r.origin.x + r.size.width;
}
inline CGFloat NSMaxY(NSRect r) {
    return r.origin.y + r.size.height;
}
inline NSRect NSIntersectionRect(NSRect a, NSRect b) {
    const CGFloat x0 = a.origin.x > b.origin.x ? a.origin.x : b.origin.x;
    const CGFloat y0 = a.origin.y > b.origin.y ? a.origin.y : b.origin.y;
    const CGFloat x1 = NSMaxX(a) < NSMaxX(b) ? NSMaxX(a) : NSMaxX(b);
    const CGFloat y1 = NSMaxY(a) < NSMaxY(b) ? NSMaxY(a) : NSMaxY(b);
    if (x1 <= x0 || y1 <= y0) return NSMakeRect(0, 0, 0, 0);
    return NSMakeRect(x0, y0, x1 - x0, y1 - y0);
}

// Event types.
using NSEventType = NSUInteger;
enum : NSEventType {
    NSLeftMouseDown = 1,
    NSLeftMouseUp = 2,
    NSRightMouseDown = 3,
    NSRightMouseUp = 4,
    NSMouseMoved = 5,
    NSLeftMouseDragged = 6,
    NSRightMouseDragged = 7,
    NSKeyDown = 10,
    NSKeyUp = 11,
    NSAppKitDefined = 13,
};
inline constexpr NSUInteger NSEventMaskFromType(NSEventType type) {
    return NSUInteger(1) << type;
}
constexpr NSUInteger NSLeftMouseUpMask = NSEventMaskFromType(NSLeftMouseUp);
constexpr NSUInteger NSLeftMouseDraggedMask = NSEventMaskFromType(NSLeftMouseDragged);
constexpr NSUInteger NSAnyEventMask = ~NSUInteger(0);

// Modifier flags.
constexpr NSUInteger NSAlphaShiftKeyMask = 1 << 16;
constexpr NSUInteger NSShiftKeyMask = 1 << 17;
constexpr NSUInteger NSControlKeyMask = 1 << 18;
constexpr NSUInteger NSAlternateKeyMask = 1 << 19;
constexpr NSUInteger NSCommandKeyMask = 1 << 20;

// Characters of the special keys.
constexpr char32_t NSEnterCharacter = 0x0003;
constexpr char32_t NSCarriageReturnCharacter = 0x000D;
constexpr char32_t NSUpArrowFunctionKey = 0xF700;
constexpr char32_t NSDownArrowFunctionKey = 0xF701;
constexpr char32_t NSLeftArrowFunctionKey = 0xF702;
constexpr char32_t NSRightArrowFunctionKey = 0xF703;

// Window styles, backings, cell states.
constexpr NSUInteger NSBorderlessWindowMask = 0;
constexpr NSUInteger NSTitledWindowMask = 1;
constexpr NSUInteger NSClosableWindowMask = 2;
constexpr NSUInteger NSBackingStoreBuffered = 2;
constexpr NSInteger NSOffState = 0;
constexpr NSInteger NSOnState = 1;

} // namespace platform::appkit
