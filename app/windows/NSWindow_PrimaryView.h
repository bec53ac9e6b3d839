#pragma once

// NSWindow(PrimaryView): a window's frame recorded against the frame of its primary view, and
// resizes that give the primary view an exact size. A window names its primary view by deriving
// from NSWindow_PrimaryViewSource.
#include "platform/appkit/AppKit.h"

namespace primaryview {

using namespace platform::appkit;

class NSWindow_PrimaryViewSource {
public:
    virtual ~NSWindow_PrimaryViewSource() = default;
    virtual NSView* get_NSWindow_PrimaryView() = 0;
};

struct NSWindow_PrimaryView {
    bool mDefaultRecorded = false;
    NSRect mDefaultFrameBounds{};
    NSRect mDefaultViewFrame{};
};

NSView* get_NSWindow_PrimaryView(NSWindow& window);
void recordPrimaryViewSize(NSWindow& window, NSWindow_PrimaryView& record);
NSSize primaryViewSizeDelta(const NSWindow_PrimaryView& record);
NSSize windowFrameSizeForPrimaryViewSize(const NSWindow_PrimaryView& record, NSSize viewSize);
bool resizeWindowForPrimaryViewSize(NSWindow& window, const NSWindow_PrimaryView& record,
                                    NSSize viewSize, bool animate);
void resizePrimaryViewWindowBySizeDelta(NSWindow& window, NSSize delta, bool animate);
void restorePrimaryViewSize(NSWindow& window, const NSWindow_PrimaryView& record);
void restorePrimaryViewDefaultFrameSize(NSWindow& window, const NSWindow_PrimaryView& record,
                                        bool animate);

} // namespace primaryview
