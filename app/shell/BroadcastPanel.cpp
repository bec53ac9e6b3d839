#include "app/shell/BroadcastPanel.h"

namespace {

constexpr NSSize kContentSize{360, 178};
// The pop-up's fixed items: the grabber, then the main display twice over (its bounds).
const char* const kFixedSources[GrabBroadcastControl::kFixedSourceItems] = {
    "Grabber Window", "Main Display", "Main Display Bounds"};

template <typename View, typename... Args> View* Add(NSView& parent, Args&&... args) {
    return static_cast<View*>(parent.addSubview(std::make_unique<View>(args...)));
}

void Connect(NSControl& control, NSObject& target, const char* action) {
    control.setTarget(&target);
    control.setAction(NSSelectorFromString(action));
}

void Label(NSView& parent, NSRect frame, const char* text) {
    Add<NSTextField>(parent, frame, false)->setStringValue(text);
}

} // namespace

BroadcastPanel BuildBroadcastPanel(NSRect frame, CameraComponentCalls& component) {
    BroadcastPanel built;
    built.panel =
        std::make_unique<NSWindow>(frame, NSTitledWindowMask, NSBackingStoreBuffered, false);
    built.panel->setTitle("Broadcast");
    built.panel->setFloatingPanel(true);
    auto owned = std::make_unique<GrabBroadcastControl>(
        NSMakeRect(0, 0, kContentSize.width, kContentSize.height), component);
    GrabBroadcastControl& c = *owned;
    built.panel->setContentView(std::move(owned));
    built.control = &c;

    const double top = kContentSize.height;
    c._rebroadcastButton = Add<NSButton>(c, NSMakeRect(16, top - 36, 320, 24), "Broadcast",
                                         NSButtonType::NSSwitchButton);
    Connect(*c._rebroadcastButton, c, "broadcastButtonChanged:");
    c._allowCameraButton = Add<NSButton>(c, NSMakeRect(36, top - 64, 300, 24),
                                         "Allow Camera Connections", NSButtonType::NSSwitchButton);
    Connect(*c._allowCameraButton, c, "cameraConnectChanged:");
    c._allowCameraButton->setState(NSOnState);
    c._allowCameraButton->setHidden(true);
    // In the allow box's place, which is hidden while a wanted broadcast waits to start.
    c._statusText = Add<NSTextField>(c, NSMakeRect(36, top - 64, 320, 24), false);
    c._statusText->setHidden(true);

    Label(c, NSMakeRect(16, top - 100, 90, 24), "Source:");
    c._sourcePopUp = Add<NSPopUpButton>(c, NSMakeRect(110, top - 100, 234, 26));
    for (const char* title : kFixedSources)
        c._sourcePopUp->addItemWithTitle(title);
    // No action: the grab timer reads the selection on every tick.

    Label(c, NSMakeRect(16, top - 136, 90, 24), "Frame Rate:");
    c._frameRateSlider = Add<NSSlider>(c, NSMakeRect(110, top - 136, 160, 24), 0.0, 3.0);
    c._frameRateSlider->setNumberOfTickMarks(4);
    c._frameRateSlider->setAllowsTickMarkValuesOnly(true);
    c._frameRateSlider->setDoubleValue(3.0);
    Connect(*c._frameRateSlider, c, "frameRateChanged:");
    c._frameRateDisplay = Add<NSTextField>(c, NSMakeRect(280, top - 136, 64, 24), false);

    c.awakeFromNib();
    c.frameRateChanged(c._frameRateSlider);
    return built;
}
