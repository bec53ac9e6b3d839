#include "app/views/NSUIColorContentView.h"

#include <algorithm>

void NSUIColorContentView::setFillColor() const {
    NSColor::colorWithCalibratedRed_green_blue_alpha(viewColorRGB[0], viewColorRGB[1],
                                                     viewColorRGB[2], alphaOpacity)
        .set();
}

void NSUIColorContentView::drawRect(NSRect rect) {
    setFillColor();
    NSRectFill(rect);
}

NSUIBlackOpaqueView::NSUIBlackOpaqueView(NSRect frame) : NSUIColorContentView(frame) {
    setGreyColor(kGrey);
    setOpacity(1.0f);
}

NSUIDarkGreyLozengeView::NSUIDarkGreyLozengeView(NSRect frame) : NSUIColorContentView(frame) {
    setGreyColor(0.25f);
    setOpacity(0.75f);
}

void NSUIDarkGreyLozengeView::drawRect(NSRect) {
    setFillColor();
    NSUIDrawLozenge(bounds());
}

void NSUIDrawLozenge(NSRect rect) {
    const CGFloat radius = std::min(rect.size.width, rect.size.height) * 0.5;
    NSBezierPath::bezierPathWithRoundedRect(rect, radius, radius).fill();
}
