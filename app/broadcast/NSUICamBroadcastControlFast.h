#pragma once

// The broadcast control whose frames are drawn straight into the shared memory through the
// writer's drawing context over each frame buffer, made once when the broadcast starts.
#include "app/broadcast/NSUICamBroadcastControl.h"

class NSUICamBroadcastControlFast : public NSUICamBroadcastControl {
public:
    using NSUICamBroadcastControl::NSUICamBroadcastControl;

    // The image stretched over the whole frame, while broadcasting; what it leaves transparent
    // shows the frame two publications back.
    void broadcastImage(platform::coregraphics::CGImageRef image);
    // draw fills the frame through the locked buffer's context and answers whether it did; a
    // frame it did not fill is not published.
    template <class Draw> void broadcastInFrame(Draw&& draw) {
        if (isBroadcasting()) frameWriter().WriteInContext(draw);
    }

    // Older calls (NSUICamBroadcastControlCompat.cpp): lock the write buffer (cleared on
    // request), draw into currentCGContext, publish with endSwitchContexts.
    bool beginSwitchContextsClear(bool clear);
    platform::coregraphics::CGContextRef currentCGContext();
    void endSwitchContexts();
};
