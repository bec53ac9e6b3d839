#pragma once

#include "channel/SharedCameraRecords.h"

// The component's calls a frame writer makes. SharedCameraBundle answers them from the loaded
// component; a test answers with buffers and failures of its own.
class SharedCameraWriteCalls {
public:
    virtual ~SharedCameraWriteCalls() = default;
    virtual bool GetWriteableFrameBuffer_N(int n, tagSHARED_CAMERA_BUFFER* record) = 0;
    virtual bool SetCurrentReadBuffer(void* address) = 0;
    // The writer's lock gives up after about one frame interval rather than waiting for ever.
    virtual bool LockFrameBuffer(void* address) = 0;
    // Locks only a buffer that nobody holds; never waits.
    virtual bool TryLockFrameBuffer(void* address) = 0;
    virtual bool UnLockFrameBuffer(void* address) = 0;
};
