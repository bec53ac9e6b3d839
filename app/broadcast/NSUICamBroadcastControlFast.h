#pragma once

// The broadcast control with a drawing context over each frame buffer, made once when the
// broadcast starts, so that a frame is drawn straight into the shared memory: lock the write
// buffer (beginSwitchContextsClear), draw into currentCGContext, publish (endSwitchContexts).
#include "app/broadcast/NSUICamBroadcastControl.h"
#include "platform/coreimage/CoreImageContext.h"

#include <memory>

enum { kNSUICamBroadcastControlFast_Buffer0 = 0, kNSUICamBroadcastControlFast_Buffer1 = 1 };

class NSUICamBroadcastControlFast : public NSUICamBroadcastControl {
public:
    using CIContext = platform::coreimage::CIContext;
    using NSUICamBroadcastControl::NSUICamBroadcastControl;
    ~NSUICamBroadcastControlFast() override;

    void startBroadcasting() override;
    void stopBroadcasting() override;
    void createContexts(int slot);
    void destroyContexts();

    // The write buffer's contexts: the locked slot's between begin and end, else the index's.
    platform::coregraphics::CGContextRef currentCGContext() const;
    CIContext* currentCIContext() const;
    NSRect extent() const;
    // Clears that slot's frame to transparent black.
    void eraseContext(int slot);
    // Locks the write buffer, or the other one while a reader holds it, and clears it on
    // request; nil when neither could be locked.
    CIContext* beginSwitchContextsClear(bool clear);
    CIContext* beginSwitchContexts();
    // Unlocks and publishes the locked buffer and moves the index past it.
    void endSwitchContexts();
    CIContext* lockCurrentCIContext();
    bool unlockCurrentCIContext();
    void useContextZero();

    tagSHARED_CAMERA_BUFFER _camera_buffer[2]{};
    platform::coregraphics::CGContextRef _CGContext[2]{};
    std::shared_ptr<CIContext> _CIContext[2];

private:
    int currentSlot() const { return mLockedSlot >= 0 ? mLockedSlot : _SharedCameraBufferNumber; }
    int mLockedSlot = -1;
};
