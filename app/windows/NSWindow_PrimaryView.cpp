#include "app/windows/NSWindow_PrimaryView.h"

#include "core/CoreVerify.h"

namespace primaryview {

NSView* get_NSWindow_PrimaryView(NSWindow& window) {
    auto* source = dynamic_cast<NSWindow_PrimaryViewSource*>(&window);
    return source ? source->get_NSWindow_PrimaryView() : nullptr;
}

void recordPrimaryViewSize(NSWindow& window, NSWindow_PrimaryView& category_self) {
    if (!VERIFY(!category_self.mDefaultRecorded)) return;
    category_self.mDefaultFrameBounds = window.frame();
    NSView* primaryView = get_NSWindow_PrimaryView(window);
    if (VERIFY(primaryView)) category_self.mDefaultViewFrame = primaryView->frame();
    category_self.mDefaultRecorded = true;
}

NSSize primaryViewSizeDelta(const NSWindow_PrimaryView& record) {
    return NSMakeSize(record.mDefaultFrameBounds.size.width - record.mDefaultViewFrame.size.width,
                      record.mDefaultFrameBounds.size.height -
                          record.mDefaultViewFrame.size.height);
}

NSSize windowFrameSizeForPrimaryViewSize(const NSWindow_PrimaryView& record, NSSize viewSize) {
    const NSSize delta = primaryViewSizeDelta(record);
    return NSMakeSize(viewSize.width + delta.width, viewSize.height + delta.height);
}

bool resizeWindowForPrimaryViewSize(NSWindow& window, const NSWindow_PrimaryView&, NSSize viewSize,
                                    bool animate) {
    NSView* primaryView = get_NSWindow_PrimaryView(window);
    if (!primaryView) return false;
    const NSSize current = primaryView->bounds().size;
    if (NSEqualSizes(current, viewSize)) return false;
    resizePrimaryViewWindowBySizeDelta(
        window, NSMakeSize(viewSize.width - current.width, viewSize.height - current.height),
        animate);
    return true;
}

void resizePrimaryViewWindowBySizeDelta(NSWindow& window, NSSize delta, bool animate) {
    NSRect frame = window.frame();
    frame.size.width += delta.width;
    frame.size.height += delta.height;
    window.setFrame_display_animate(frame, true, animate);
}

void restorePrimaryViewSize(NSWindow& window, const NSWindow_PrimaryView& category_self) {
    if (!VERIFY(category_self.mDefaultRecorded)) return;
    NSView* primaryView = get_NSWindow_PrimaryView(window);
    if (!primaryView || NSEqualRects(primaryView->frame(), category_self.mDefaultViewFrame)) return;
    primaryView->setFrameSize(category_self.mDefaultViewFrame.size);
    primaryView->setFrameOrigin(category_self.mDefaultViewFrame.origin);
}

void restorePrimaryViewDefaultFrameSize(NSWindow& window, const NSWindow_PrimaryView& category_self,
                                        bool animate) {
    if (!VERIFY(category_self.mDefaultRecorded)) return;
    if (!NSEqualRects(window.frame(), category_self.mDefaultFrameBounds))
        window.setFrame_display_animate(category_self.mDefaultFrameBounds, animate, animate);
}

} // namespace primaryview
