#include "app/shell/MainInterface.h"

#include "app/shell/GrabberController.h"
#include "app/shell/GrabberMenus.h"
#include "app/shell/Product.h"
#include "app/windows/PDFSkinAboutBox.h"

#include <algorithm>
#include <string>

namespace {

// The grabber's frame around its grab view: bars as thick as the corner handles, so that no
// handle reaches into the grab view; the displays sit in the bottom bar.
constexpr double kBar = 18;
constexpr double kDisplayWidth = 96, kDisplayHeight = 14;
constexpr NSSize kGrabViewSize{640, 480};

struct Interface : NSObject {
    std::unique_ptr<GrabberController> controller;
    std::unique_ptr<NSMenu> menu;
    std::unique_ptr<GrabRegionWindow> grabber;
    std::unique_ptr<PDFSkinAboutBox> about;
    std::unique_ptr<NSStatusItem> tray;
    ~Interface() override {
        // The windows go first: their views and notifications refer to the controller.
        tray.reset();
        about.reset();
        grabber.reset();
    }
};

template <typename View> View* Add(NSView& parent, NSRect frame, NSUInteger autoresizing) {
    auto view = std::make_unique<View>(frame);
    view->setAutoresizingMask(autoresizing);
    return static_cast<View*>(parent.addSubview(std::move(view)));
}

NSRect CentredFrame(NSSize size) {
    const std::optional<NSScreen> main = NSScreen::mainScreen();
    const NSRect screen = main ? main->frame() : NSMakeRect(0, 0, size.width, size.height);
    return NSMakeRect(screen.origin.x + std::max(0.0, (screen.size.width - size.width) / 2),
                      screen.origin.y + std::max(0.0, (screen.size.height - size.height) / 2),
                      size.width, size.height);
}

std::unique_ptr<GrabRegionWindow> BuildGrabber() {
    const NSSize grab{kGrabViewSize.width, kGrabViewSize.height};
    const NSRect frame = CentredFrame(NSMakeSize(grab.width + 2 * kBar, grab.height + 2 * kBar));
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
    w->setTitle(kProductName);
    w->awakeFromNib();
    return w;
}

} // namespace

std::unique_ptr<NSObject> LoadMainInterface(NSApplication& app) {
    auto ui = std::make_unique<Interface>();
    ui->controller = std::make_unique<GrabberController>();
    ui->grabber = BuildGrabber();
    ui->menu = BuildGrabberMenu(*ui->controller, *ui->grabber);
    ui->about = std::make_unique<PDFSkinAboutBox>(
        CentredFrame(NSMakeSize(360, 200)), std::string(kProductName) + " " + kProductVersion);

    GrabberController& c = *ui->controller;
    c.mGrabWindow = ui->grabber.get();
    c.aboutPanel = ui->about.get();
    ui->grabber->setDelegate(&c);
    ui->grabber->contentView()->setMenu(ui->menu.get());
    app.setDelegate(&c);
    app.setMainMenu(ui->menu.get());
    if (NSStatusItem::isAvailable()) {
        ui->tray = std::make_unique<NSStatusItem>();
        ui->tray->setMenu(ui->menu.get());
        ui->tray->setToolTip(kProductName);
    }
    c.awakeFromNib();
    ui->grabber->makeKeyAndOrderFront(nullptr);
    return ui;
}
