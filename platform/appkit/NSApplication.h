#pragma once

// The application: its event loop, the event dispatch a subclass may override, the window list,
// the delegate's launch and terminate notifications, deferred performs, modal panels and the
// mouse-capture primitive nextEventMatchingMask. applicationWillTerminate: runs once on every
// orderly end: terminate:, SIGTERM or SIGINT, the session manager's end, the X connection lost.
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSResponder.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::appkit {

class NSMenu;
class NSWindow;

// untilDate values of nextEventMatchingMask.
enum class NSDate { distantPast, distantFuture };
extern const char* const NSDefaultRunLoopMode;
extern const char* const NSEventTrackingRunLoopMode;

class NSApplication : public NSResponder {
public:
    NSApplication();
    ~NSApplication() override;
    static NSApplication* sharedApplication();

    virtual void sendEvent(const NSEvent& event);
    // Returns the first queued event matching the mask: waits for one (distantFuture) or only
    // looks at what is there (distantPast). Events of the pointer are queued for this call, not
    // dispatched, while a capture is running (see beginCapture).
    std::optional<NSEvent> nextEventMatchingMask_untilDate_inMode_dequeue(NSUInteger mask,
                                                                          NSDate until,
                                                                          const char* mode,
                                                                          bool dequeue);
    // Between these two calls the pointer's events wait for nextEventMatchingMask.
    void beginCapture();
    void endCapture();
    bool isCapturing() const { return mCaptures > 0; }
    // Discards key presses that are already waiting.
    void flushBufferedKeyEvents();

    bool isActive() const;
    void activateIgnoringOtherApps(bool flag);
    const std::vector<NSWindow*>& windows() const { return mWindows; }
    NSWindow* keyWindow() const;
    NSObject* delegate() const { return mDelegate; }
    void setDelegate(NSObject* delegate) { mDelegate = delegate; }
    void setMainMenu(NSMenu* menu) { mMainMenu = menu; }

    NSObject* targetForAction(SEL action) const;

    void terminate(NSObject* sender);
    void orderFrontStandardAboutPanel(NSObject* sender);

    // Internal: windows register themselves; the host widgets feed events.
    void addWindow(NSWindow* window);
    void removeWindow(NSWindow* window);
    // A press that closely follows an activation the application did not ask for (the click
    // that brought it to the front) is first sent as the activation event, NSAppKitDefined, while
    // isActive still answers false; the press itself follows only if that event reached this
    // class's sendEvent, as a subclass that acted on it keeps it back.
    void postPointerEvent(const NSEvent& event);
    void noteActivationRequested() { mActivationRequested = Clock::now(); }
    void noteActivated() { mActivated = Clock::now(); }
    bool discardingKeys() const { return mDiscardingKeys; }
    // Runs the event loop until terminate:.
    int run();
    // Once: the delegate's applicationWillTerminate:, then the user defaults are written.
    void willTerminate();
    void didFinishLaunching();

private:
    using Clock = std::chrono::steady_clock;
    std::vector<NSWindow*> mWindows;
    Clock::time_point mActivationRequested{}, mActivated{};
    bool mActivating = false, mActivationPassedOn = false;
    std::deque<NSEvent> mCaptured;
    int mCaptures = 0;
    bool mDiscardingKeys = false;
    bool mTerminated = false;
    NSObject* mDelegate = nullptr;
    NSMenu* mMainMenu = nullptr;
};

inline NSApplication* NSApp() {
    return NSApplication::sharedApplication();
}

// The toolkit's application and this layer's, with the user defaults of the main bundle's
// identifier, the deferred calls and the orderly ends from outside (SIGTERM, SIGINT, the session
// manager, a lost X connection) wired to applicationWillTerminate:. For a program's main or a test.
class NSApplicationHost {
public:
    NSApplicationHost(int& argc, char** argv, std::unique_ptr<NSApplication> app);
    ~NSApplicationHost();
    NSApplicationHost(const NSApplicationHost&) = delete;
    NSApplicationHost& operator=(const NSApplicationHost&) = delete;
    NSApplication& application() const;

private:
    struct Parts;
    std::unique_ptr<Parts> mParts;
};

// Runs the event loop until done() holds or the seconds are over; true when done.
bool NSRunLoopRunUntil(double seconds, const std::function<bool()>& done);

struct NSApplicationLaunch;

// Reads the command line, checks the X11 session and becomes the user's one running copy on this
// display (a later launch hands its requests over and returns the status to exit with). Then
// creates the application object, loads the main interface (whose returned object lives as long
// as the event loop runs), tells the delegate the launch finished, carries out the launch's own
// requests, and runs until terminate:. The user defaults and the desktop file are those of the
// main bundle's identifier.
int NSApplicationMain(
    int argc, char** argv, const NSApplicationLaunch& launch,
    const std::function<std::unique_ptr<NSApplication>()>& principalClass,
    const std::function<std::unique_ptr<NSObject>(NSApplication&)>& loadMainInterface);

} // namespace platform::appkit
