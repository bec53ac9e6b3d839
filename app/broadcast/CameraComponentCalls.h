#pragma once

// What the broadcast control asks of the camera component: the writer's calls of the client
// binding, installing and whether the component is loaded. The application's answers go to
// SharedCameraBundle::sComponent; a test gives its own buffers and failures.
#include "channel/SharedCameraRecords.h"

class CameraComponentCalls {
public:
    virtual ~CameraComponentCalls() = default;
    // Removing leaves a link this process did not make.
    virtual bool InstallLocation(bool install, int location) = 0;
    virtual bool IsComponentLoaded() const = 0;
    virtual bool SetCameraControl(tagSHARED_CAMERA_CONTROL* control) = 0;
    virtual bool GetWriteableFrameBuffer_N(int n, tagSHARED_CAMERA_BUFFER* record) = 0;
    virtual bool SetCurrentReadBuffer(void* address) = 0;
    // The writer's lock gives up after about one frame interval rather than waiting for ever.
    virtual bool LockFrameBuffer(void* address) = 0;
    virtual bool TryLockFrameBuffer(void* address) = 0;
    virtual bool UnLockFrameBuffer(void* address) = 0;
};

// The calls over the application's component binding.
CameraComponentCalls& ApplicationCameraComponent();
