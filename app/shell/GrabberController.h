#pragma once

// The main controller: the application's and the grabber window's delegate. It restores the menu
// choices at start-up, records the grabber's frame against its grab view, applies the grabber
// size, aspect, float and save-size choices, nudges the grabber by keys, and saves the choices
// when the application ends.
#include "app/shell/GrabWindowController.h"

class GrabberController : public GrabWindowController, public GrabRegionWindowKeyDelegate {
public:
    GrabberController();
    void awakeFromNib() override;
    void applicationDidFinishLaunching(NSObject* notification);
    void applicationWillTerminate(NSObject* notification);
    void orderFrontStandardAboutPanel(NSObject* sender);
    bool onKeyDown(const NSEvent& event) override;
    void moveLookpane_withShiftDown(NSSize delta, bool shift);
    NSSize outerFrameSize(NSSize viewSize) const;
    void menuGrabberViewSize(NSSize viewSize);
    void menuGrabberViewMinSize_withMaxViewSize(NSSize minSize, NSSize maxSize);

    // Outlets.
    NSWindow* aboutPanel = nullptr;
    NSMenu* mGrabberSizeMenu = nullptr;
    NSMenu* mGrabberConstrainMenu = nullptr;
    NSMenu* mGrabberSaveMenu = nullptr;
    NSMenu* mGrabDefaultsMenu = nullptr;
    NSMenuItem* mGrabberSizeCustomMenuItem = nullptr;
    NSMenuItem* mGrabberSaveCustomMenuItem = nullptr;
    primaryview::NSWindow_PrimaryView mPrimaryViewDefaults;

private:
    void addGrabberActions();
    // The custom size items and their panels (GrabberController_Custom.cpp).
    void addCustomSizeActions();
    void menuGrabberSizeAny(NSObject* sender);
    void menuSelectGrabberSizeFromSenderText(NSObject* sender);
    void menuGrabberFloatAboveMenus(NSObject* sender);
    void menuSaveSizeFromSenderText(NSObject* sender);
};
