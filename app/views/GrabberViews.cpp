#include "app/views/GrabberViews.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr double kDisplayVisibleFraction = 0.35;

std::string Format(const char* format, double a, double b) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

void FillDisc(NSRect rect, double diameter, double grey) {
    NSColor::colorWithCalibratedRed_green_blue_alpha(grey, grey, grey, 0.9).set();
    NSBezierPath::bezierPathWithOvalInRect(
        NSMakeRect(rect.origin.x + (rect.size.width - diameter) * 0.5,
                   rect.origin.y + (rect.size.height - diameter) * 0.5, diameter, diameter))
        .fill();
}

} // namespace

const NSStringAttributes& GrabberMoveView::titleTextAttributes() {
    static const NSStringAttributes sTitleAttributes = [] {
        NSStringAttributes attributes;
        attributes.font =
            NSFont::boldSystemFontOfSize(NSFontSystemFontSizeForControlSize(NSSmallControlSize));
        attributes.foregroundColor =
            NSColor::colorWithCalibratedRed_green_blue_alpha(0.9, 0.9, 0.9, 0.5);
        NSParagraphStyle paragraph = NSParagraphStyle::defaultParagraphStyle();
        paragraph.alignment = NSLeftTextAlignment;
        paragraph.lineBreakMode = NSLineBreakByTruncatingTail;
        attributes.paragraphStyle = paragraph;
        return attributes;
    }();
    return sTitleAttributes;
}

void GrabberResizeView::drawRect(NSRect rect) {
    NSUIBlackOpaqueView::drawRect(rect);
    auto* source = dynamic_cast<const GrabberResizeModeSource*>(window());
    if (!source || !source->canBeMouseResized()) return;
    const double d = std::min(rect.size.width, rect.size.height);
    NSGraphicsContext::saveGraphicsState();
    FillDisc(rect, 0.8 * d, 0.15);
    FillDisc(rect, 0.6 * d, 0.25);
    NSGraphicsContext::restoreGraphicsState();
}

void GrabberDisplayView::drawRect(NSRect rect) {
    if (!_grabberView ||
        !(_grabberView->frame().size.width * kDisplayVisibleFraction > bounds().size.width))
        return;
    NSUIDarkGreyLozengeView::drawRect(rect);
    drawTitleRect(rect);
}

void GrabberDisplayView::drawTitleRect(NSRect) {
    NSGraphicsContext::saveGraphicsState();
    const std::string text = title();
    const NSStringAttributes& attributes = GrabberMoveView::titleTextAttributes();
    const NSSize size = NSStringSizeWithAttributes(text, attributes);
    const NSRect b = bounds();
    NSRect titleRect{b.origin, size};
    if (b.size.width != size.width)
        titleRect.origin.x = b.origin.x + (b.size.width - size.width) * 0.5;
    if (b.size.height != size.height)
        titleRect.origin.y = b.origin.y + (b.size.height - size.height) * 0.5;
    adjustTitleRectSelf_titleRect(b, &titleRect);
    NSStringDrawInRect(text, titleRect, attributes);
    NSGraphicsContext::restoreGraphicsState();
}

std::string GrabberDisplaySizeView::title() const {
    if (!_grabberView) return "";
    const NSSize size = _grabberView->frame().size;
    return Format("%1.f x %1.f", size.width, size.height);
}

std::string GrabberDisplayOriginView::title() const {
    if (!_grabberView || !window()) return "";
    const NSPoint origin = window()->convertBaseToScreen(_grabberView->frame().origin);
    return Format("(%1.f,%1.f)", origin.x, origin.y);
}
