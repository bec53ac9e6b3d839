#include "app/shell/MainInterface.h"

#include "app/shell/BroadcastPanel.h"
#include "app/shell/CustomSizePanels.h"
#include "app/shell/GrabberController.h"
#include "app/shell/GrabberMenus.h"
#include "app/shell/Product.h"
#include "app/windows/GrabRegionWindowLayout.h"
#include "app/windows/PDFSkinAboutBox.h"
#include "channel/SharedCameraFormat.h"
#include "platform/bundles/PlatformMainBundle.h"

#include <algorithm>
#include <string>

namespace {

constexpr NSSize kGrabViewSize{SharedCamera::kFrameWidth, SharedCamera::kFrameHeight};
constexpr NSSize kBroadcastPanelSize{360, 178};

struct Interface : NSObject {
    std::unique_ptr<GrabberController> controller;
    std::unique_ptr<NSMenu> menu;
    std::unique_ptr<GrabRegionWindow> grabber;
    std::unique_ptr<PDFSkinAboutBox> about;
    std::unique_ptr<NSStatusItem> tray;
    CustomSizePanels panels;
    BroadcastPanel broadcast;
    ~Interface() override {
        // The windows go first: their views and notifications refer to the controller.
        broadcast = {};
        panels = {};
        tray.reset();
        about.reset();
        grabber.reset();
    }
};

NSRect CentredFrame(NSSize size) {
    const std::optional<NSScreen> main = NSScreen::mainScreen();
    const NSRect screen = main ? main->frame() : NSMakeRect(0, 0, size.width, size.height);
    return NSMakeRect(screen.origin.x + std::max(0.0, (screen.size.width - size.width) / 2),
                      screen.origin.y + std::max(0.0, (screen.size.height - size.height) / 2),
                      size.width, size.height);
}

// Near the main display's top-left corner, clear of the grabber that starts in its centre.
NSRect TopLeftFrame(NSSize size) {
    constexpr double kMargin = 24;
    const std::optional<NSScreen> main = NSScreen::mainScreen();
    const NSRect screen = main ? main->frame() : NSMakeRect(0, 0, size.width, size.height);
    return NSMakeRect(screen.origin.x + kMargin,
                      screen.origin.y + std::max(0.0, screen.size.height - size.height - kMargin),
                      size.width, size.height);
}

} // namespace

std::unique_ptr<NSObject> LoadMainInterface(NSApplication& app) {
    auto ui = std::make_unique<Interface>();
    ui->controller = std::make_unique<GrabberController>();
    ui->grabber = BuildGrabRegionWindow(CentredFrame(GrabRegionWindowFrameSize(kGrabViewSize)));
    ui->grabber->setTitle(kProductName);
    ui->menu = BuildGrabberMenu(*ui->controller, *ui->grabber);
    ui->about = std::make_unique<PDFSkinAboutBox>(
        CentredFrame(NSMakeSize(360, 200)), std::string(kProductName) + " " + kProductVersion);

    ui->panels = BuildCustomSizePanels();
    ui->broadcast = BuildBroadcastPanel(TopLeftFrame(kBroadcastPanelSize));
    ui->broadcast.control->setCompanionProgram(
        platform::bundles::MainBundle::Get().ExecutableFolder() + "/vistrel-pipewire");
    GrabberController& c = *ui->controller;
    c._broadcastControl = ui->broadcast.control;
    c.mBroadcastPanel = ui->broadcast.panel.get();
    c.mGrabWindow = ui->grabber.get();
    c.aboutPanel = ui->about.get();
    ui->grabber->setDelegate(&c);
    ui->grabber->contentView()->setMenu(ui->menu.get());
    app.setDelegate(&c);
    app.setMainMenu(ui->menu.get());
    // Made with or without a tray: the toolkit docks it when a tray appears later.
    ui->tray = std::make_unique<NSStatusItem>();
    ui->tray->setImageName(kProductIdentifier);
    ui->tray->setMenu(ui->menu.get());
    ui->tray->setToolTip(kProductName);
    c.awakeFromNib();
    // The grabber comes back where the user left it, if a display still shows that place.
    ui->grabber->setFrameUsingName(kProductName);
    ui->grabber->setFrameAutosaveName(kProductName);
    ui->grabber->makeKeyAndOrderFront(nullptr);
    return ui;
}
