#pragma once

// The broadcast panel, built in code: the broadcast box, the allow-connections box (shown while
// broadcasting), the source pop-up and the frame-rate slider with its label, all inside the
// broadcast control that answers them.
#include "app/broadcast/GrabBroadcastControl.h"

#include <memory>

struct BroadcastPanel {
    std::unique_ptr<NSWindow> panel;
    GrabBroadcastControl* control = nullptr;
};
BroadcastPanel BuildBroadcastPanel(NSRect frame,
                                   CameraComponentCalls& component = ApplicationCameraComponent());
