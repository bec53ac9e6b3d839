#pragma once

// A view tree with frames in the superview's coordinates (bottom-left origin, y up), bounds at
// the origin, autoresizing, drawing through drawRect: and hit testing. Each view is shown by a
// widget of its own inside its window.
#include "platform/appkit/NSResponder.h"

#include <memory>
#include <vector>

class QWidget;

namespace platform::appkit {

class NSMenu;
class NSWindow;

// Autoresizing mask bits.
constexpr NSUInteger NSViewNotSizable = 0;
constexpr NSUInteger NSViewMinXMargin = 1;
constexpr NSUInteger NSViewWidthSizable = 2;
constexpr NSUInteger NSViewMaxXMargin = 4;
constexpr NSUInteger NSViewMinYMargin = 8;
constexpr NSUInteger NSViewHeightSizable = 16;
constexpr NSUInteger NSViewMaxYMargin = 32;

namespace host {
class ViewWidget;
}

class NSView : public NSResponder {
public:
    explicit NSView(NSRect frame);
    ~NSView() override;

    NSRect frame() const { return mFrame; }
    NSRect bounds() const { return NSMakeRect(0, 0, mFrame.size.width, mFrame.size.height); }
    void setFrame(NSRect frame);
    void setFrameSize(NSSize size);
    void setFrameOrigin(NSPoint origin);
    void setAutoresizingMask(NSUInteger mask) { mAutoresizing = mask; }
    bool isHidden() const { return mHidden; }
    void setHidden(bool hidden);

    NSView* superview() const { return mSuperview; }
    const std::vector<std::unique_ptr<NSView>>& subviews() const { return mSubviews; }
    NSView* addSubview(std::unique_ptr<NSView> view);
    NSWindow* window() const { return mWindow; }

    // Point conversions between this view and another of the same window (null: the window).
    NSPoint convertPoint_fromView(NSPoint point, const NSView* view) const;
    NSRect convertRect_toView(NSRect rect, const NSView* view) const;

    // The deepest visible view containing the point, given in the superview's coordinates.
    NSView* hitTest(NSPoint point);
    virtual bool acceptsFirstMouse(const NSEvent* event);
    // Whether the view paints anything: in a clear window, the screen shows through a view
    // that does not, and clicks go to whatever lies below it.
    virtual bool drawsContent() const { return false; }
    virtual void drawRect(NSRect dirtyRect);
    void setNeedsDisplay(bool flag);
    void display();

    // Opened by a right-button press on the view.
    NSMenu* menu() const { return mMenu; }
    void setMenu(NSMenu* menu) { mMenu = menu; }
    void rightMouseDown(const NSEvent& event) override;

    QWidget* widget() const;

protected:
    virtual void viewDidMoveToWindow() {}

private:
    friend class NSWindow;
    void setWindow(NSWindow* window);
    void resizeSubviewsWithOldSize(NSSize old);
    void placeWidget();

    NSRect mFrame;
    NSUInteger mAutoresizing = NSViewNotSizable;
    bool mHidden = false;
    NSView* mSuperview = nullptr;
    NSWindow* mWindow = nullptr;
    NSMenu* mMenu = nullptr;
    std::vector<std::unique_ptr<NSView>> mSubviews;
    host::ViewWidget* mWidget;
};

} // namespace platform::appkit
