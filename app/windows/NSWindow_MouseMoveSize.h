#pragma once

// NSWindow(MouseMoveSize): moves and resizes a window by left-button drags through the capture
// loop, within its minimum and maximum sizes and an overridable aspect hook. A window that wants
// other hooks than the defaults derives from NSWindow_MouseMoveSizeHooks as well.
#include "app/windows/MouseMoveSizeMath.h"
#include "app/windows/protocol_MouseCapture.h"

namespace mousemovesize {

using namespace platform::appkit;
using mousecapture::self_MouseCapture;

// The overridable operations of the category.
class NSWindow_MouseMoveSizeHooks {
public:
    virtual ~NSWindow_MouseMoveSizeHooks() = default;
    virtual NSSize windowMouseMoveSize_ConstrainAspectRatio(NSSize size) { return size; }
    virtual void windowMouseMoveSize_OnDragMoved() {}
    virtual void windowMouseMoveSize_SingleClick() {}
};

// One drag: the capture followed by where it started and what it does.
struct NSWindow_MouseMoveSize : self_MouseCapture {
    using self_MouseCapture::self_MouseCapture;
    NSWindow_HitTest mHitRegion = kHitTestNone;
    NSPoint mDragOffset{0, 0};
    NSRect mStartFrame{};
    int32_t mSizeMode = kSizeModeNone;
    bool mNoScreenClamp = false;
};

NSWindow_HitTest windowMouseMoveSize_MouseHitTest_cornerSize(NSWindow& window, const NSEvent& event,
                                                             NSSize cornerSize);
// A drag from that region, never clamped to the screen top.
void windowMouseMoveSize_FromHitRegion_inHitRegion(NSWindow& window, const NSEvent& event,
                                                   NSWindow_HitTest region);
// A drag with 32 x 32 corners of which only the bottom-right resizes, clamped to the screen top.
void windowMouseMoveSize_StandardBehaviour(NSWindow& window, const NSEvent& event);
void windowConstrainSize_newWindowSize(NSWindow& window, NSWindow_MouseMoveSize& drag,
                                       NSSize& size);

// The steps of a drag, in the order the capture loop calls them.
void windowMouseDownBegin(NSWindow& window, NSWindow_MouseMoveSize& drag);
void windowMouseMove(NSWindow& window, NSWindow_MouseMoveSize& drag);
void windowMouseUp(NSWindow& window, NSWindow_MouseMoveSize& drag);

} // namespace mousemovesize
