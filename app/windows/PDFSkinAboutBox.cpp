#include "app/windows/PDFSkinAboutBox.h"

namespace {

// The picture: the product's name and version on a dark rounded plate.
class AboutPictureView : public NSView {
public:
    AboutPictureView(NSRect frame, std::string title) : NSView(frame), mTitle(std::move(title)) {}
    bool drawsContent() const override { return true; }
    void drawRect(NSRect) override {
        NSColor::colorWithCalibratedRed_green_blue_alpha(0.12, 0.12, 0.14, 1).set();
        NSRectFill(bounds());
        NSColor::colorWithCalibratedRed_green_blue_alpha(0.3, 0.3, 0.34, 1).set();
        const NSRect b = bounds();
        NSBezierPath::bezierPathWithRoundedRect(
            NSMakeRect(b.origin.x + 12, b.origin.y + 12, b.size.width - 24, b.size.height - 24), 14,
            14)
            .fill();
        NSStringAttributes attributes;
        attributes.font = NSFont::boldSystemFontOfSize(20);
        attributes.foregroundColor = NSColor::colorWithCalibratedRed_green_blue_alpha(1, 1, 1, 0.9);
        const NSSize size = NSStringSizeWithAttributes(mTitle, attributes);
        NSStringDrawInRect(mTitle,
                           NSMakeRect((b.size.width - size.width) * 0.5,
                                      (b.size.height - size.height) * 0.5, size.width, size.height),
                           attributes);
    }

private:
    std::string mTitle;
};

} // namespace

PDFSkinAboutBox::PDFSkinAboutBox(NSRect contentRect, std::string title)
    : NSWindow(contentRect, NSBorderlessWindowMask, NSBackingStoreBuffered, false) {
    setHasShadow(false);
    auto picture = std::make_unique<AboutPictureView>(
        NSMakeRect(0, 0, contentRect.size.width, contentRect.size.height), std::move(title));
    picture->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
    contentView()->addSubview(std::move(picture));
}

void PDFSkinAboutBox::mouseDown(const NSEvent& event) {
    mousemovesize::windowMouseMoveSize_StandardBehaviour(*this, event);
}
