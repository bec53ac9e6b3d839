#include "app/windows/GrabRegionWindowLayout.h"

namespace {

// The grabber's frame around its grab view: bars as thick as the corner handles, so that no
// handle reaches into the grab view; the displays sit in the bottom bar.
constexpr double kBar = 18;
constexpr double kDisplayWidth = 96, kDisplayHeight = 14;

template <typename View> View* Add(NSView& parent, NSRect frame, NSUInteger autoresizing) {
    auto view = std::make_unique<View>(frame);
    view->setAutoresizingMask(autoresizing);
    return static_cast<View*>(parent.addSubview(std::move(view)));
}

} // namespace

NSSize GrabRegionWindowFrameSize(NSSize grabViewSize) {
    return NSMakeSize(grabViewSize.width + 2 * kBar, grabViewSize.height + 2 * kBar);
}

std::unique_ptr<GrabRegionWindow> BuildGrabRegionWindow(NSRect frame) {
    auto w = NSAlphaWindowWithoutShadow::initWithContentRect<GrabRegionWindow>(
        frame, NSBorderlessWindowMask, NSBackingStoreBuffered, false);
    NSView& content = *w->contentView();
    const double W = frame.size.width, H = frame.size.height, b = kBar;
    w->mGrabTransparentView = Add<NSView>(content, NSMakeRect(b, b, W - 2 * b, H - 2 * b),
                                          NSViewWidthSizable | NSViewHeightSizable);
    w->mMoveTopBar = Add<GrabberMoveView>(content, NSMakeRect(b, H - b, W - 2 * b, b),
                                          NSViewWidthSizable | NSViewMinYMargin);
    w->mMoveBottomBar = Add<GrabberMoveView>(content, NSMakeRect(b, 0, W - 2 * b, b),
                                             NSViewWidthSizable | NSViewMaxYMargin);
    w->mMoveLeftBar = Add<GrabberMoveView>(content, NSMakeRect(0, b, b, H - 2 * b),
                                           NSViewHeightSizable | NSViewMaxXMargin);
    w->mMoveRightBar = Add<GrabberMoveView>(content, NSMakeRect(W - b, b, b, H - 2 * b),
                                            NSViewHeightSizable | NSViewMinXMargin);
    w->mSizeTopLeft = Add<GrabberResizeView>(content, NSMakeRect(0, H - b, b, b),
                                             NSViewMinYMargin | NSViewMaxXMargin);
    w->mSizeTopRight = Add<GrabberResizeView>(content, NSMakeRect(W - b, H - b, b, b),
                                              NSViewMinYMargin | NSViewMinXMargin);
    w->mSizeBottomLeft = Add<GrabberResizeView>(content, NSMakeRect(0, 0, b, b),
                                                NSViewMaxYMargin | NSViewMaxXMargin);
    w->mSizeBottomRight = Add<GrabberResizeView>(content, NSMakeRect(W - b, 0, b, b),
                                                 NSViewMaxYMargin | NSViewMinXMargin);
    const double y = (b - kDisplayHeight) / 2;
    w->mDisplayView1 = Add<GrabberDisplaySizeView>(
        *w->mMoveBottomBar, NSMakeRect(4, y, kDisplayWidth, kDisplayHeight), NSViewMaxXMargin);
    w->mDisplayView2 = Add<GrabberDisplayOriginView>(
        *w->mMoveBottomBar,
        NSMakeRect(W - 2 * b - 4 - kDisplayWidth, y, kDisplayWidth, kDisplayHeight),
        NSViewMinXMargin);
    w->mDisplayView1->_grabberView = w->mDisplayView2->_grabberView = w->mGrabTransparentView;
    for (GrabberMoveView* bar :
         {w->mMoveTopBar, w->mMoveBottomBar, w->mMoveLeftBar, w->mMoveRightBar})
        bar->awakeFromNib();
    for (GrabberResizeView* corner :
         {w->mSizeTopLeft, w->mSizeTopRight, w->mSizeBottomLeft, w->mSizeBottomRight})
        corner->awakeFromNib();
    w->awakeFromNib();
    return w;
}
