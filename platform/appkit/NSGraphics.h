#pragma once

// The drawing calls available inside a view's drawRect:, in the view's own coordinates
// (bottom-left origin, y up): colours with opacity, rectangle and path fills, strings with
// attributes, and the graphics state stack.
#include "platform/appkit/AppKitTypes.h"

#include <string>

namespace platform::appkit {

struct NSColor {
    CGFloat red = 0, green = 0, blue = 0, alpha = 1;
    static NSColor colorWithCalibratedRed_green_blue_alpha(CGFloat r, CGFloat g, CGFloat b,
                                                           CGFloat a) {
        return {r, g, b, a};
    }
    static NSColor clearColor() { return {0, 0, 0, 0}; }
    static NSColor blackColor() { return {0, 0, 0, 1}; }
    // Makes this the fill colour of the current drawing.
    void set() const;
};

struct NSFont {
    CGFloat pointSize = 13;
    bool bold = false;
    static NSFont boldSystemFontOfSize(CGFloat size) { return {size, true}; }
};

using NSControlSize = NSUInteger;
constexpr NSControlSize NSRegularControlSize = 0;
constexpr NSControlSize NSSmallControlSize = 1;
constexpr NSControlSize NSMiniControlSize = 2;
CGFloat NSFontSystemFontSizeForControlSize(NSControlSize size);

using NSTextAlignment = NSUInteger;
constexpr NSTextAlignment NSLeftTextAlignment = 0;
using NSLineBreakMode = NSUInteger;
constexpr NSLineBreakMode NSLineBreakByTruncatingTail = 4;

struct NSParagraphStyle {
    NSTextAlignment alignment = NSLeftTextAlignment;
    NSLineBreakMode lineBreakMode = 0;
    static NSParagraphStyle defaultParagraphStyle() { return {}; }
};

// The attributes of drawn text: font, foreground colour and paragraph style.
struct NSStringAttributes {
    NSFont font;
    NSColor foregroundColor = NSColor::blackColor();
    NSParagraphStyle paragraphStyle;
};

NSSize NSStringSizeWithAttributes(const std::string& text, const NSStringAttributes& attributes);
void NSStringDrawInRect(const std::string& text, NSRect rect, const NSStringAttributes& attributes);

// Fills with the current colour, blended over what is there.
void NSRectFill(NSRect rect);

class NSBezierPath {
public:
    static NSBezierPath bezierPathWithOvalInRect(NSRect rect) { return {rect, -1, -1}; }
    static NSBezierPath bezierPathWithRoundedRect(NSRect rect, CGFloat xRadius, CGFloat yRadius) {
        return {rect, xRadius, yRadius};
    }
    void fill() const;

private:
    NSBezierPath(NSRect rect, CGFloat rx, CGFloat ry) : mRect(rect), mRx(rx), mRy(ry) {}
    NSRect mRect;
    CGFloat mRx, mRy; // negative: an oval
};

namespace NSGraphicsContext {
void saveGraphicsState();
void restoreGraphicsState();
} // namespace NSGraphicsContext

} // namespace platform::appkit
