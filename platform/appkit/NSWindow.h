#pragma once

// Windows and panels. Frames are in screen coordinates (points, origin at the bottom-left of the
// main display, y up) and are converted to the X server's pixels only where they meet the
// toolkit. A window that is not opaque and has a clear background consists only of the views
// that draw: the X shape of the window leaves out the rest, so the screen shows through there
// and clicks reach the windows below, with or without a compositing manager.
#include "platform/appkit/NSGraphics.h"
#include "platform/appkit/NSResponder.h"
#include "platform/appkit/NSScreen.h"

#include <memory>
#include <optional>

namespace platform::appkit {

class NSView;
namespace host {
class WindowWidget;
}

using NSWindowLevel = int32_t;

class NSWindow : public NSResponder {
public:
    NSWindow(NSRect contentRect, NSUInteger styleMask, NSUInteger backing, bool defer);
    ~NSWindow() override;

    NSRect frame() const { return mFrame; }
    void setFrame_display_animate(NSRect frame, bool display, bool animate);
    void setFrame_display(NSRect frame, bool display) {
        setFrame_display_animate(frame, display, false);
    }
    void setFrameOrigin(NSPoint origin);
    // A window with an autosave name keeps its frame in the user defaults, under
    // "NSWindow Frame <name>", when the application ends.
    const std::string& frameAutosaveName() const { return mFrameAutosaveName; }
    void setFrameAutosaveName(std::string name) { mFrameAutosaveName = std::move(name); }
    void saveFrameUsingName(const std::string& name) const;
    // Takes the frame kept under the name when a display still shows it; true when it did.
    bool setFrameUsingName(const std::string& name);
    NSSize minSize() const { return mMinSize; }
    NSSize maxSize() const { return mMaxSize; }
    void setMinSize(NSSize size) { mMinSize = size; }
    void setMaxSize(NSSize size) { mMaxSize = size; }

    void orderFront(NSObject* sender);
    void orderOut(NSObject* sender);
    void orderFrontRegardless();
    void makeKeyAndOrderFront(NSObject* sender);
    bool isVisible() const;
    bool isKeyWindow() const { return mKey; }
    virtual bool canBecomeKeyWindow() const;

    NSWindowLevel level() const { return mLevel; }
    // Levels above the normal one keep the window above every other window.
    void setLevel(NSWindowLevel level);

    NSPoint convertBaseToScreen(NSPoint point) const;
    NSPoint convertScreenToBase(NSPoint point) const;
    // The current pointer position in window coordinates.
    NSPoint mouseLocationOutsideOfEventStream() const;
    std::optional<NSScreen> screen() const;

    NSView* contentView() const { return mContentView.get(); }
    void setContentView(std::unique_ptr<NSView> view);
    NSObject* delegate() const { return mDelegate; }
    void setDelegate(NSObject* delegate) { mDelegate = delegate; }
    const std::string& title() const { return mTitle; }
    void setTitle(std::string title);

    void setBackgroundColor(NSColor color);
    void setOpaque(bool opaque);
    void setHasShadow(bool shadow) { mHasShadow = shadow; }
    bool hasShadow() const { return mHasShadow; }
    void setAlphaValue(CGFloat alpha);
    // A panel floats above the application's other windows and hides with it.
    void setFloatingPanel(bool floating);

    // Dispatches an event to the view under the pointer (mouse down) or the view that took the
    // press (drags, release), or to the window (keys).
    virtual void sendEvent(const NSEvent& event);
    void display();
    // Recomputes the window's shape from its views; called whenever they change.
    void invalidateShape();
    // The X window, 0 before the window was first shown.
    unsigned long windowNumber() const;

    host::WindowWidget* widget() const { return mWidget.get(); }

private:
    friend class host::WindowWidget;
    friend class NSApplication;
    void becameKey(bool key);
    // Takes the frame the server has (the window manager may refuse or change any move or size),
    // except while a drag runs: its own moves are still under way, and it catches up at its end.
    void frameChangedByServer();
    void applyFrame();
    void applyLevel();

    NSRect mFrame;
    NSSize mMinSize{1, 1};
    NSSize mMaxSize{100000, 100000};
    NSWindowLevel mLevel = 0;
    bool mKey = false;
    bool mOpaque = true;
    bool mHasShadow = true;
    bool mClear = false;
    bool mFloatingPanel = false;
    bool mBorderless;
    std::string mTitle;
    std::string mFrameAutosaveName;
    NSObject* mDelegate = nullptr;
    NSView* mMouseDownView = nullptr;
    std::unique_ptr<host::WindowWidget> mWidget;
    std::unique_ptr<NSView> mContentView;
};

using NSPanel = NSWindow;

} // namespace platform::appkit
