#include "platform/appkit/NSView.h"

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/QtHost.h"
#include "platform/appkit/StatusMenus.h"

#include <cmath>

namespace platform::appkit {

NSView::NSView(NSRect frame) : mFrame(frame), mWidget(new host::ViewWidget(*this, nullptr)) {}

NSView::~NSView() {
    mSubviews.clear();
    delete mWidget;
}

QWidget* NSView::widget() const {
    return mWidget;
}

void NSView::placeWidget() {
    const CGFloat parentHeight = mSuperview ? mSuperview->mFrame.size.height : mFrame.size.height;
    const double top = parentHeight - (mFrame.origin.y + mFrame.size.height);
    mWidget->setGeometry(int(std::lround(mFrame.origin.x)), int(std::lround(top)),
                         int(std::lround(mFrame.size.width)), int(std::lround(mFrame.size.height)));
    // A taller or shorter superview moves every subview's widget: its y counts from the top.
    for (const auto& sub : mSubviews)
        sub->placeWidget();
}

void NSView::setFrame(NSRect frame) {
    const NSSize old = mFrame.size;
    mFrame = frame;
    if (!NSEqualSizes(old, frame.size)) resizeSubviewsWithOldSize(old);
    placeWidget();
    if (mWindow) mWindow->invalidateShape();
}

void NSView::setFrameSize(NSSize size) {
    setFrame(NSRect{mFrame.origin, size});
}

void NSView::setFrameOrigin(NSPoint origin) {
    setFrame(NSRect{origin, mFrame.size});
}

void NSView::setHidden(bool hidden) {
    mHidden = hidden;
    mWidget->setVisible(!hidden);
    if (mWindow) mWindow->invalidateShape();
}

// The platform's rule: the flexible parts of each axis share the change equally.
void NSView::resizeSubviewsWithOldSize(NSSize old) {
    const CGFloat dw = mFrame.size.width - old.width, dh = mFrame.size.height - old.height;
    for (const auto& sub : mSubviews) {
        const NSUInteger m = sub->mAutoresizing;
        NSRect f = sub->mFrame;
        const auto share = [](CGFloat delta, bool low, bool size, bool high, CGFloat& origin,
                              CGFloat& length) {
            const int parts = int(low) + int(size) + int(high);
            if (parts == 0) return;
            const CGFloat each = delta / parts;
            if (low) origin += each;
            if (size) length += each;
        };
        share(dw, m & NSViewMinXMargin, m & NSViewWidthSizable, m & NSViewMaxXMargin, f.origin.x,
              f.size.width);
        share(dh, m & NSViewMinYMargin, m & NSViewHeightSizable, m & NSViewMaxYMargin, f.origin.y,
              f.size.height);
        const NSSize subOld = sub->mFrame.size;
        sub->mFrame = f;
        if (!NSEqualSizes(subOld, f.size)) sub->resizeSubviewsWithOldSize(subOld);
    }
}

NSView* NSView::addSubview(std::unique_ptr<NSView> view) {
    NSView* added = view.get();
    added->mSuperview = this;
    added->setNextResponder(this);
    added->mWidget->setParent(mWidget);
    mSubviews.push_back(std::move(view));
    added->setWindow(mWindow);
    added->placeWidget();
    added->mWidget->setVisible(!added->mHidden);
    if (mWindow) mWindow->invalidateShape();
    return added;
}

void NSView::setWindow(NSWindow* window) {
    mWindow = window;
    for (const auto& sub : mSubviews)
        sub->setWindow(window);
    viewDidMoveToWindow();
}

NSPoint NSView::convertPoint_fromView(NSPoint point, const NSView* view) const {
    // Both through window coordinates.
    for (const NSView* v = view; v; v = v->mSuperview)
        point.x += v->mFrame.origin.x, point.y += v->mFrame.origin.y;
    for (const NSView* v = this; v; v = v->mSuperview)
        point.x -= v->mFrame.origin.x, point.y -= v->mFrame.origin.y;
    return point;
}

NSRect NSView::convertRect_toView(NSRect rect, const NSView* view) const {
    NSPoint origin = rect.origin;
    for (const NSView* v = this; v; v = v->mSuperview)
        origin.x += v->mFrame.origin.x, origin.y += v->mFrame.origin.y;
    for (const NSView* v = view; v; v = v->mSuperview)
        origin.x -= v->mFrame.origin.x, origin.y -= v->mFrame.origin.y;
    return NSRect{origin, rect.size};
}

NSView* NSView::hitTest(NSPoint point) {
    if (mHidden || !NSPointInRect(point, mFrame)) return nullptr;
    const NSPoint local{point.x - mFrame.origin.x, point.y - mFrame.origin.y};
    // Later subviews lie on top.
    for (auto it = mSubviews.rbegin(); it != mSubviews.rend(); ++it)
        if (NSView* hit = (*it)->hitTest(local)) return hit;
    return this;
}

bool NSView::acceptsFirstMouse(const NSEvent*) {
    return false;
}

void NSView::drawRect(NSRect) {}

void NSView::setNeedsDisplay(bool flag) {
    if (flag) mWidget->update();
}

void NSView::display() {
    mWidget->repaint();
}

void NSView::rightMouseDown(const NSEvent& event) {
    if (mMenu)
        PopUpContextMenu(*mMenu, event);
    else
        NSResponder::rightMouseDown(event);
}

} // namespace platform::appkit
