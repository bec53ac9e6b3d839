#include "app/windows/MouseMoveSizeMath.h"

#include <algorithm>

namespace mousemovesize {

using platform::appkit::NSMakeRect;
using platform::appkit::NSPointInRect;

NSWindow_HitTest HitTest(NSRect bounds, NSSize corner, NSPoint location) {
    const double x = bounds.origin.x, y = bounds.origin.y;
    const double W = bounds.size.width, H = bounds.size.height;
    const double cw = corner.width, ch = corner.height;
    const struct {
        NSRect square;
        NSWindow_HitTest region;
    } squares[] = {
        {NSMakeRect(x, y + H - ch, cw, ch), kHitTestTopLeft},
        {NSMakeRect(x + W - cw, y + H - ch, cw, ch), kHitTestTopRight},
        {NSMakeRect(x, y, cw, ch), kHitTestBottomLeft},
        {NSMakeRect(x + W - cw, y, cw, ch), kHitTestBottomRight},
    };
    for (const auto& s : squares)
        if (NSPointInRect(location, s.square)) return s.region;
    return kHitTestNone;
}

SizeMode SizeModeForHitRegion(NSWindow_HitTest region) {
    switch (region) {
    case kHitTestNone:
        return kSizeModeMove;
    case kHitTestTopLeft:
        return kSizeModeTopLeft;
    case kHitTestTopRight:
        return kSizeModeTopRight;
    case kHitTestBottomRight:
        return kSizeModeBottomRight;
    case kHitTestBottomLeft:
        return kSizeModeBottomLeft;
    }
    return kSizeModeNone;
}

NSPoint MovedOrigin(NSPoint location, NSPoint dragOffset, NSSize frameSize, bool noScreenClamp,
                    NSRect mainScreen) {
    NSPoint origin{location.x - dragOffset.x, location.y - dragOffset.y};
    const double screenTop = mainScreen.origin.y + mainScreen.size.height;
    if (!noScreenClamp && origin.y + frameSize.height > screenTop)
        origin.y = mainScreen.origin.y + (mainScreen.size.height - frameSize.height);
    return origin;
}

NSSize ConstrainedSize(NSSize size, NSSize minSize, NSSize maxSize,
                       const std::function<NSSize(NSSize)>& aspect) {
    size.width = std::min(std::max(size.width, minSize.width), maxSize.width);
    size.height = std::min(std::max(size.height, minSize.height), maxSize.height);
    return aspect ? aspect(size) : size;
}

NSRect CornerResizedFrame(SizeMode mode, NSRect start, NSPoint startLocation, NSPoint location,
                          const std::function<NSSize(NSSize)>& constrain) {
    const double ox = start.origin.x, oy = start.origin.y;
    const double W = start.size.width, H = start.size.height;
    const double dx = location.x - startLocation.x; // right is positive
    const double dy = startLocation.y - location.y; // down is positive
    const bool left = mode == kSizeModeTopLeft || mode == kSizeModeBottomLeft;
    const bool top = mode == kSizeModeTopLeft || mode == kSizeModeTopRight;
    const NSSize raw{left ? W - dx : W + dx, top ? H - dy : H + dy};
    const NSSize size = constrain ? constrain(raw) : raw;
    const double x = left ? ox + dx : ox + W + dx - size.width;
    const double y = top ? oy + H - dy - size.height : oy - dy;
    return NSMakeRect(x, y, size.width, size.height);
}

NSSize AspectConstrainedSize(NSSize size, float ratio, NSSize delta) {
    if (ratio > 0) size.width = ratio * (size.height - delta.height) + delta.width;
    return size;
}

NSRect FrameClearOf(NSSize size, NSRect outer, NSRect inner, NSRect screen) {
    constexpr double kGap = 8, kTitleRoom = 30;
    const double w = size.width, h = size.height;
    const double left = screen.origin.x, right = left + screen.size.width - w;
    const double bottom = screen.origin.y, top = bottom + screen.size.height - kTitleRoom - h;
    for (const NSRect& a : {outer, inner}) {
        const double aTop = a.origin.y + a.size.height, aRight = a.origin.x + a.size.width;
        const double beside = std::clamp(aTop - h, bottom, std::max(bottom, top));
        const double along = std::clamp(a.origin.x, left, std::max(left, right));
        const NSPoint places[] = {{aRight + kGap, beside},
                                  {a.origin.x - kGap - w, beside},
                                  {along, a.origin.y - kGap - kTitleRoom - h},
                                  {along, aTop + kGap}};
        for (const NSPoint p : places)
            if (p.x >= left && p.x <= right && p.y >= bottom && p.y <= top)
                return NSMakeRect(p.x, p.y, w, h);
    }
    return NSMakeRect(left, top, w, h);
}

} // namespace mousemovesize
