#pragma once

// The main controller: the application's and the grabber window's delegate. It restores the menu
// choices at start-up, records the grabber's frame against its grab view, applies the grabber
// size, aspect, float and save-size choices, nudges the grabber by keys, and saves the choices
// when the application ends.
#include "app/shell/GrabWindowController.h"
#include "platform/appkit/NSRunLoopSources.h"
#include "platform/appkit/NSTimer.h"
#include "platform/quartzdisplay/ScreenChangeWatch.h"

#include <cstdint>
#include <memory>

class GrabBroadcastControl;

class GrabberController : public GrabWindowController, public GrabRegionWindowKeyDelegate {
public:
    GrabberController();
    ~GrabberController() override;
    void awakeFromNib() override;
    void applicationDidFinishLaunching(NSObject* notification);
    void applicationWillTerminate(NSObject* notification);
    // Tells the user, once, what went wrong with the settings file.
    void tellSettingsProblem();
    void orderFrontStandardAboutPanel(NSObject* sender);
    bool onKeyDown(const NSEvent& event) override;
    void moveLookpane_withShiftDown(NSSize delta, bool shift);
    NSSize outerFrameSize(NSSize viewSize) const;
    void menuGrabberViewSize(NSSize viewSize);
    void menuGrabberViewMinSize_withMaxViewSize(NSSize minSize, NSSize maxSize);
    void showBroadcastPanel(NSObject* sender);
    // The window manager closes the grabber: it hides where a tray can bring it back, else the
    // application ends as by its Quit item.
    void grabberWillClose(NSObject* notification);

    // The grab timer: 30 ticks a second while broadcasting (stopped at the first tick without a
    // broadcast, started again when one starts); every n-th tick, n the broadcast's frame-rate
    // factor, composes a camera frame when the screen under its rectangle changed. After a tick
    // that found no change it sleeps, where the screen tells when it is drawn on, until then or
    // until the last frame is due again (GrabberController_Timer.cpp).
    void constructGrabberTimer();
    void broadcastDidStart(NSObject* notification);
    bool grabTimerRuns() const { return _grabTimer && _grabTimer->isValid(); }
    bool grabTimerSleeps() const { return _grabTimerAsleep; }
    void grabTimer(NSObject* timer);
    void grabTimerFactor(NSObject* timer);
    int32_t grabCounter() const { return _grabCounter; }

    // Outlets.
    NSWindow* aboutPanel = nullptr;
    NSMenu* mGrabberSizeMenu = nullptr;
    NSMenu* mGrabberConstrainMenu = nullptr;
    NSMenu* mGrabberSaveMenu = nullptr;
    NSMenu* mGrabDefaultsMenu = nullptr;
    NSMenuItem* mGrabberSizeCustomMenuItem = nullptr;
    NSMenuItem* mGrabberSaveCustomMenuItem = nullptr;
    primaryview::NSWindow_PrimaryView mPrimaryViewDefaults;
    GrabBroadcastControl* _broadcastControl = nullptr;
    NSWindow* mBroadcastPanel = nullptr;

private:
    void addGrabberActions();
    // The custom size items and their panels (GrabberController_Custom.cpp).
    void addCustomSizeActions();
    void menuGrabberSizeAny(NSObject* sender);
    void menuSelectGrabberSizeFromSenderText(NSObject* sender);
    void menuGrabberFloatAboveMenus(NSObject* sender);
    void menuSaveSizeFromSenderText(NSObject* sender);

    void startGrabberTimer();
    NSRect broadcastRectangle() const;
    void sleepGrabTimer(NSRect rect, double now);
    double frameInterval() const;
    void wakeGrabTimerOnChange();
    void wakeGrabTimer(double seconds);

    std::unique_ptr<NSTimer> _grabTimer;
    int32_t _grabCounter = 0;
    platform::coregraphics::ScreenChangeWatch _screenWatch;
    double _framePublished = 0, _frameGrabbed = 0; // when, on the steady clock
    // Asleep, the timer's next firing grabs at once; the drawing wakes it (brings that firing
    // forward), as does a move of the rectangle it last looked at.
    bool _grabTimerAsleep = false, _grabTimerWoken = false;
    double _grabTicked = 0;
    NSRect _grabSleepsOver{};
    std::unique_ptr<platform::appkit::NSRunLoopDescriptorSource> _drawingWatch;
};

// One tick of the grab clock: counts it (wrapping past the largest count) and tells whether it
// is an n-th tick, n the factor's integer part (at least 1).
bool GrabClockTick(int32_t& counter, float factor);
