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

    // Older calls (NSUICamBroadcastControlCompat.cpp): lock the write buffer (cleared on
    // request), draw into currentCGContext, publish with endSwitchContexts.
    bool beginSwitchContextsClear(bool clear);
    platform::coregraphics::CGContextRef currentCGContext();
    void endSwitchContexts();
};
