#pragma once

// The application class: a first click on an inactive application acts on the view under the
// pointer, as a right-button press sent to that view's window, when the view accepts it.
#include "platform/appkit/AppKit.h"

using namespace platform::appkit;

class NSUIFirstClickApp : public NSApplication {
public:
    void sendEvent(const NSEvent& event) override;
};
