#pragma once

// What the broadcast control asks of the camera component: the frame writer's calls, installing
// and whether the component is loaded. The application's answers go to
// SharedCameraBundle::sComponent; a test gives its own buffers and failures.
#include "channel/SharedCameraWriteCalls.h"

class CameraComponentCalls : public SharedCameraWriteCalls {
public:
    // Removing leaves a link this process did not make.
    virtual bool InstallLocation(bool install, int location) = 0;
    virtual bool IsComponentLoaded() const = 0;
    virtual bool SetCameraControl(tagSHARED_CAMERA_CONTROL* control) = 0;
};

// The calls over the application's component binding.
CameraComponentCalls& ApplicationCameraComponent();
