#pragma once

// The transparent grabber window the user places over the screen: its grab view is the region
// the capture engine grabs; bars, corner handles and displays surround it. It moves and resizes
// through NSWindow(MouseMoveSize), may be tied to an aspect ratio, may have one fixed size, and
// floats above every other window while it is key and its float flag is on.
#include "app/views/GrabberViews.h"
#include "app/windows/NSAlphaWindowWithoutShadow.h"
#include "app/windows/NSWindow_MouseMoveSize.h"
#include "app/windows/NSWindow_PrimaryView.h"

// What the window asks of its delegate for a key press: true when handled.
class GrabRegionWindowKeyDelegate {
public:
    virtual ~GrabRegionWindowKeyDelegate() = default;
    virtual bool onKeyDown(const NSEvent& event) = 0;
};

class GrabRegionWindow : public NSAlphaWindowWithoutShadow,
                         public mousemovesize::NSWindow_MouseMoveSizeHooks,
                         public primaryview::NSWindow_PrimaryViewSource,
                         public GrabberResizeModeSource {
public:
    GrabRegionWindow(NSRect contentRect, NSUInteger styleMask, NSUInteger backing, bool defer);

    void awakeFromNib();
    bool canBecomeKeyWindow() const override { return true; }
    bool floatAboveMenus() const { return mFloatAboveMenus; }
    void setFloatAboveMenus(bool flag);
    float constrainedAspectRatio() const { return mConstrainedAspectRatio; }
    void setConstrainedAspectRatio(float ratio) { mConstrainedAspectRatio = ratio; }
    void setFrameViewDelta(NSSize delta) { mFrameViewDelta = delta; }
    NSSize windowMouseMoveSize_ConstrainAspectRatio(NSSize size) override;
    void windowMouseMoveSize_OnDragMoved() override { repaintGrabberDimensions(); }
    bool canBeMouseResized() const override;
    void grabResizeModeChanged(NSObject* sender);
    void repaintGrabberDimensions();
    // Lights the bars and corners for a moment: the grab happened.
    void flashFrame();
    void mouseDown(const NSEvent& event) override;
    void keyDown(const NSEvent& event) override;
    void buttonGrabAction(NSObject* sender);
    // Hiding needs a tray to bring the grabber back: without one the grabber stays shown.
    void showHideGrabber(NSObject* sender);
    bool validateMenuItem(NSMenuItem* item) override;
    NSView* grabThisViewContentRect() const { return mGrabTransparentView; }
    NSView* get_NSWindow_PrimaryView() override { return mGrabTransparentView; }

    // Outlets, connected by the interface.
    NSView* mGrabTransparentView = nullptr;
    GrabberDisplayView* mDisplayView1 = nullptr;
    GrabberDisplayView* mDisplayView2 = nullptr;
    GrabberMoveView* mMoveTopBar = nullptr;
    GrabberMoveView* mMoveLeftBar = nullptr;
    GrabberMoveView* mMoveRightBar = nullptr;
    GrabberMoveView* mMoveBottomBar = nullptr;
    GrabberResizeView* mSizeTopLeft = nullptr;
    GrabberResizeView* mSizeTopRight = nullptr;
    GrabberResizeView* mSizeBottomLeft = nullptr;
    GrabberResizeView* mSizeBottomRight = nullptr;

private:
    void windowKeyWindowBegin(NSObject* notification);
    void windowKeyWindowEnd(NSObject* notification);
    void applyLevel(bool floating);
    void paintFrame(float grey);
    void endFlash(NSObject* timer);

    bool mFloatAboveMenus = false;
    float mConstrainedAspectRatio = 0;
    NSSize mFrameViewDelta{0, 0};
    std::unique_ptr<NSTimer> mFlashTimer;
};
